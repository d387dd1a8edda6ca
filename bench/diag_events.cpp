// Events of a long drive: a generated recording of 1 000 000 lines (or the count
// given as the first argument) with petrol and LPG stretches, pressure dips, cold
// gas and voltage sags is read and searched for events as "zefirelctl events"
// does (streamed from the file), and the rules alone are timed on samples held in
// memory. Prints seconds, lines/s and the number of events of each; the file pass
// must stay under a second.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "diag/Recording.h"
#include "events/DiagEvents.h"

using namespace zefirel;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

CDiag sampleAt(uint32_t i) {
    CDiag d;
    d.setSampleNo(i);
    d.setInjector(1);
    d.setWorkState((i / 3000) % 4 == 0 ? 2 : 3);       // a petrol stretch every 12 000 samples
    d.setRpmPeriod(static_cast<uint16_t>(700 + (i * 7) % 4000));
    d.setSubRpmPeriod(0, d.rpmPeriod());
    d.setPetrolTime(0, static_cast<uint16_t>(90 + (i * 13) % 850));
    d.setHeaterTempCode(100);
    d.setLpgTempCode((i / 50000) % 5 == 0 ? 205 : 120); // cold gas now and then
    d.setInternalTempCode(110);
    d.setSupplyVoltageCode(i % 20000 < 5 ? 50 : 112);   // a short sag every 20 000
    d.setPressureCode(i % 7000 < 4 ? 60 : 120);          // a dip every 7 000
    d.setPressure3Code(static_cast<uint8_t>(20 + (i * 11) % 200));
    return d;
}

} // namespace

int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::atoi(argv[1]) : 1000000;
    char dir[] = "/tmp/zefirel-bench-events-XXXXXX";
    if (!::mkdtemp(dir))
        return 1;
    const std::string path = std::string(dir) + "/drive.lpgd";
    {
        CRecordingWriter w;
        if (!w.open(path))
            return 1;
        for (int i = 1; i <= lines; ++i)
            w.write(sampleAt(static_cast<uint32_t>(i)));
    }

    auto t0 = Clock::now();
    const RecordingEvents r = findRecordingEvents(path);
    const double fileSeconds = seconds(t0);
    std::printf("events from file: %d lines in %.3f s (%.0f lines/s), %zu events\n", lines, fileSeconds,
                lines / fileSeconds, r.events.size());

    std::vector<CDiag> samples;
    samples.reserve(static_cast<size_t>(lines));
    for (int i = 1; i <= lines; ++i)
        samples.push_back(sampleAt(static_cast<uint32_t>(i)));
    t0 = Clock::now();
    CEventFinder finder;
    for (const CDiag& d : samples)
        finder.add(d);
    const size_t found = finder.events().size();
    const double ruleSeconds = seconds(t0);
    std::printf("rules alone: %d samples in %.3f s (%.0f samples/s), %zu events\n", lines, ruleSeconds,
                lines / ruleSeconds, found);
    std::printf("%s: the file pass %s under a second\n", fileSeconds < 1.0 ? "OK" : "SLOW",
                fileSeconds < 1.0 ? "is" : "is NOT");

    ::unlink(path.c_str());
    ::unlink(sidecarPath(path).c_str());
    ::rmdir(dir);
    return fileSeconds < 1.0 ? 0 : 2;
}
