// Poll rate of the controller link against the physical limit of a 14400-baud line.
//
// Runs diagnostic requests back to back for a fixed time against the virtual
// controller with real byte timing (or against --device PATH, e.g. a separately
// started `zefirel-sim --baud-timing` or a real controller) and prints the polls
// per second next to the most the line can carry for these frame sizes, then the
// round-trip time of one settings read.
//
//   bench_link_poll [--seconds N] [--extended] [--latency MS] [--device PATH]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "SimController.h"
#include "SimServer.h"
#include "diag/Diag.h"
#include "link/LPGDevice.h"

using namespace zefirel;
using namespace zefirel::sim;

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t SETUP_REQUEST_PAYLOAD = 26;
constexpr size_t SETUP_ANSWER_PAYLOAD = 26;
constexpr int SETTINGS_READS = 20;

size_t frameBytes(size_t payload) { return FRAME_HEADER_SIZE + payload + FRAME_CHECKSUM_SIZE; }
double wireMs(size_t bytes) { return static_cast<double>(bytes) * LINE_BYTE_SECONDS * 1000.0; }
double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

int usage() {
    std::fprintf(stderr, "usage: bench_link_poll [--seconds N] [--extended] [--latency MS] [--device PATH]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 5.0;
    SimConfig cfg;
    cfg.baudTiming = true;
    std::string device;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--extended")
            cfg.featureMask |= 0x0080;
        else if (a == "--seconds" && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (a == "--latency" && i + 1 < argc)
            cfg.replyLatencyMs = std::atof(argv[++i]);
        else if (a == "--device" && i + 1 < argc)
            device = argv[++i];
        else
            return usage();
    }
    if (seconds <= 0)
        return usage();

    std::unique_ptr<CSimController> controller;
    std::unique_ptr<CSimServer> server;
    if (device.empty()) {
        controller = std::make_unique<CSimController>(cfg);
        server = std::make_unique<CSimServer>(*controller, cfg);
        std::string error;
        if (!server->open(error)) {
            std::fprintf(stderr, "bench_link_poll: %s\n", error.c_str());
            return 1;
        }
        server->start();
        device = server->slavePath();
    }

    CLPGDevice dev;
    if (!dev.connectPath(device) || !dev.isVersionOk()) {
        std::fprintf(stderr, "bench_link_poll: no firmware-5 controller on %s\n", device.c_str());
        return 1;
    }
    const bool extended = dev.extendedDiag();

    // Diagnostic polls back to back, as the polling thread does.
    CDiag sample;
    int polls = 0, failed = 0;
    const auto start = Clock::now();
    while (msSince(start) < seconds * 1000.0)
        (dev.requestDiag(1, sample) ? polls : failed)++;
    const double elapsedS = msSince(start) / 1000.0;
    const size_t requestBytes = frameBytes(DIAG_REQUEST_SIZE);
    // A standard answer fills sub-records 0 and 1 (30 bytes); the extended one
    // has shorter sub-records and the LPG pair byte (27 bytes).
    const size_t answerBytes = frameBytes(extended ? 27 : 30);
    const double pollWireMs = wireMs(requestBytes + answerBytes);
    const double maxRate = 1000.0 / pollWireMs;
    const double rate = polls / elapsedS;

    // Settings reads, one at a time.
    std::vector<double> trips;
    for (int i = 0; i < SETTINGS_READS; ++i) {
        const auto t = Clock::now();
        if (dev.readSettings())
            trips.push_back(msSince(t));
    }
    const double settingsWire = wireMs(frameBytes(SETUP_REQUEST_PAYLOAD) + frameBytes(SETUP_ANSWER_PAYLOAD));

    std::printf("link_poll: %.1f s of diagnostic requests on %s (%s layout)%s\n", elapsedS, device.c_str(),
                extended ? "extended" : "standard",
                server ? ", virtual controller with 14400-baud byte timing" : "");
    if (server)
        std::printf("  controller reply latency: %.1f ms\n", cfg.replyLatencyMs);
    std::printf("  frames: request %zu bytes + answer %zu bytes = %.2f ms on the wire (10 bits per byte, 14400 baud)\n",
                requestBytes, answerBytes, pollWireMs);
    std::printf("  polls: %d in %.2f s = %.2f polls/s, %d failed\n", polls, elapsedS, rate, failed);
    std::printf("  theoretical maximum: %.2f polls/s; achieved %.1f %%\n", maxRate, 100.0 * rate / maxRate);
    if (!trips.empty()) {
        double sum = 0;
        for (double t : trips)
            sum += t;
        std::printf("  settings read round trip: mean %.2f ms, min %.2f ms, max %.2f ms over %zu reads "
                    "(wire time %.2f ms)\n",
                    sum / static_cast<double>(trips.size()), *std::min_element(trips.begin(), trips.end()),
                    *std::max_element(trips.begin(), trips.end()), trips.size(), settingsWire);
    } else {
        std::printf("  settings read failed\n");
    }
    dev.disconnect();
    if (server)
        server->stop();
    return failed == 0 && !trips.empty() ? 0 : 1;
}
