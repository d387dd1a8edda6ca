// Replay speed: a generated recording of 1 000 000 lines (or the count given as the
// first argument) is loaded into a store through the replay thread, and parsed
// alone by the reader; prints lines/s and MB/s of each, and how many times the time
// of `wc -l` over the same file, measured in the same run, each takes.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "ReplayBench.h"
#include "diag/Recording.h"

using namespace zefirel;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Values of the size a real run has: periods of thousands of ticks, codes up to 255.
void generate(const std::string& path, int lines) {
    CRecordingWriter w;
    if (!w.open(path)) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        std::exit(1);
    }
    CDiag d;
    for (int i = 1; i <= lines; ++i) {
        d.setSampleNo(static_cast<uint32_t>(i));
        d.setInjector(static_cast<uint8_t>(1 + i % 4));
        d.setWorkState(3);
        d.setInjectorActivity(15);
        d.setRpmPeriod(static_cast<uint16_t>(5000 + i % 1000));
        d.setSubRpmPeriod(0, static_cast<uint16_t>(5000 + i % 997));
        d.setPetrolTime(0, static_cast<uint16_t>(120 + i % 50));
        d.setLpgExtraTime(0, static_cast<uint16_t>(70 + i % 7));
        d.setAuxTime(static_cast<uint16_t>(130 + i % 3));
        d.setHeaterTempCode(static_cast<uint8_t>(100 + i % 20));
        d.setLpgTempCode(120);
        d.setInternalTempCode(110);
        d.setSupplyVoltageCode(111);
        d.setLambdaCode(static_cast<uint8_t>(i % 200));
        d.setPressureCode(110);
        d.setPressure2Code(123);
        d.setPressure3Code(47);
        w.write(d);
    }
}

} // namespace

int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const std::string path = "/tmp/zefirel-bench-replay-" + std::to_string(::getpid()) + ".lpgd";
    auto t0 = Clock::now();
    generate(path, lines);
    std::printf("generated %d lines in %.2f s\n", lines, seconds(t0));

    // wc -l over the same file: what merely reading and counting its lines costs.
    t0 = Clock::now();
    long counted = -1;
    if (FILE* wc = ::popen(("wc -l < " + path).c_str(), "r")) {
        if (std::fscanf(wc, "%ld", &counted) != 1) counted = -1;
        ::pclose(wc);
    }
    const double wcS = seconds(t0);
    std::printf("wc -l:         %ld lines, %.3f s, %.0f lines/s\n", counted, wcS, counted / wcS);

    // Reader alone.
    CRecordingReader reader;
    reader.open(path);
    CDiag d;
    int parsed = 0;
    t0 = Clock::now();
    while (reader.read(d))
        ++parsed;
    const double parseS = seconds(t0);
    const double mb = static_cast<double>(reader.bytesRead()) / 1e6;
    std::printf("reader:        %d lines, %.3f s, %.0f lines/s, %.1f MB/s (%.2f x the time of wc -l)\n", parsed,
                parseS, parsed / parseS, mb / parseS, parseS / wcS);

    // The replay thread into a store, as the document runs it.
    CDiagData store;
    t0 = Clock::now();
    const bench::CReplayRun replay(store, path);
    while (replay.running())
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    const double replayS = seconds(t0);
    std::printf("replay thread: %d samples, %.3f s, %.0f lines/s, %.1f MB/s (%.2f x the time of wc -l)\n",
                store.count(), replayS, store.count() / replayS, mb / replayS, replayS / wcS);
    std::printf("store: %.1f bytes per sample (sizeof(CDiag) = %zu)\n",
                static_cast<double>(store.memoryBytes()) / store.count(), sizeof(CDiag));
    ::unlink(path.c_str());
    return store.count() == lines ? 0 : 1;
}
