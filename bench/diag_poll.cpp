// Polling speed against the virtual controller with 14400-baud byte timing:
// samples per second recorded by the polling thread, next to the most diagnostic
// exchanges the line can carry per second.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "SimServer.h"
#include "diag/DeviceDoc.h"
#include "link/Protocol.h"

using namespace zefirel;
using namespace zefirel::sim;

int main(int argc, char** argv) {
    const double runSeconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    SimConfig cfg;
    cfg.baudTiming = true;
    CSimController controller(cfg);
    CSimServer server(controller, cfg);
    std::string error;
    if (!server.open(error)) {
        std::fprintf(stderr, "zefirel-sim: %s\n", error.c_str());
        return 1;
    }
    server.start();

    // Frame sizes of one exchange: the 30-byte request and the controller's answer.
    uint8_t request[DIAG_REQUEST_SIZE] = {CMD_DIAG};
    const SimReply reply =
        controller.handle(MSG_TYPE_COMMAND, std::vector<uint8_t>(request, request + DIAG_REQUEST_SIZE), 0.0);
    const size_t requestBytes = FRAME_HEADER_SIZE + DIAG_REQUEST_SIZE + FRAME_CHECKSUM_SIZE;
    const size_t exchangeBytes = requestBytes + reply.frame.size();
    const double bytesPerSecond = 1.0 / LINE_BYTE_SECONDS;
    const double maxExchanges = bytesPerSecond / static_cast<double>(exchangeBytes);

    CDeviceDoc doc;
    if (!doc.connectPath(server.slavePath())) {
        std::fprintf(stderr, "no connection to the simulator\n");
        return 1;
    }
    const std::string path = "/tmp/zefirel-bench-poll.lpgd";
    const uint64_t before = server.requestCount();
    const auto t0 = std::chrono::steady_clock::now();
    doc.startDiagnostics(path);
    std::this_thread::sleep_for(std::chrono::duration<double>(runSeconds));
    doc.stopDiagnostics();
    doc.waitInputThread(CLOSE_WAIT_MS);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double polls = static_cast<double>(server.requestCount() - before);
    const int samples = doc.diagData().count();
    std::printf("exchange: %zu + %zu bytes; line maximum %.1f exchanges/s at 14400 baud\n", requestBytes,
                reply.frame.size(), maxExchanges);
    std::printf("polled %.1f s: %.1f polls/s (%.0f%% of the line maximum), %.1f samples/s recorded (%d samples)\n",
                s, polls / s, 100.0 * polls / s / maxExchanges, samples / s, samples);
    std::remove(path.c_str());
    std::remove((path + "-config").c_str());
    return 0;
}
