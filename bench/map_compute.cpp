// Map computation speed: a generated drive recording of 1 000 000 lines (or the
// count given as the first argument), spread over the whole map, petrol and LPG,
// is read and computed as "zefirelctl map compute" does (streamed from the file),
// and as the map pane does (loaded whole, then computed). Prints seconds and
// lines/s of each.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "diag/Recording.h"
#include "map/InjMap.h"
#include "map/MapCompute.h"

using namespace zefirel;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

void generate(const std::string& path, int lines) {
    CRecordingWriter w;
    if (!w.open(path)) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        std::exit(1);
    }
    CDiag d;
    for (int i = 1; i <= lines; ++i) {
        const bool petrol = i < lines / 2;
        d.setSampleNo(static_cast<uint32_t>(i));
        d.setInjector(1);
        d.setWorkState(petrol ? 2 : 3);
        d.setInjectorActivity(15);
        d.setRpmPeriod(static_cast<uint16_t>(700 + (i * 7) % 8000));           // 600 .. 6900 rpm
        d.setSubRpmPeriod(0, d.rpmPeriod());
        d.setPetrolTime(0, static_cast<uint16_t>(90 + (i * 13) % 850 + (petrol ? 0 : 20)));
        d.setLpgExtraTime(0, static_cast<uint16_t>(petrol ? 0 : 70));
        d.setAuxTime(130);
        d.setHeaterTempCode(100);
        d.setLpgTempCode(120);
        d.setInternalTempCode(110);
        d.setSupplyVoltageCode(70);
        d.setLambdaCode(static_cast<uint8_t>(i % 40));
        d.setPressureCode(120);
        d.setPressure2Code(130);
        d.setPressure3Code(static_cast<uint8_t>(20 + (i * 11) % 100));
        if (!w.write(d)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            std::exit(1);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::atoi(argv[1]) : 1000000;
    char tmpl[] = "/tmp/zefirel-bench-map-XXXXXX";
    const int fd = ::mkstemp(tmpl);
    if (fd < 0)
        return 1;
    ::close(fd);
    const std::string path = tmpl;
    generate(path, lines);

    auto t0 = Clock::now();
    uint64_t read = 0;
    const MapResult streamed = computeMapFromFile(path, MapUnits::ofFrequency(40000), &read);
    const double s1 = seconds(t0);

    t0 = Clock::now();
    CInjMap recording(path);
    recording.load();
    const MapResult whole = computeMap(recording.samples(), MapUnits::ofFrequency(40000));
    const double s2 = seconds(t0);
    ::unlink(path.c_str());

    int filled = 0;
    for (uint8_t b : streamed.bytes)
        filled += b != MAP_NO_CORRECTION;
    std::printf("map compute, streamed:   %llu lines in %.3f s (%.0f lines/s), %llu used, %d cells filled\n",
                static_cast<unsigned long long>(read), s1, read / s1, static_cast<unsigned long long>(streamed.used),
                filled);
    std::printf("map compute, whole load: %zu lines in %.3f s (%.0f lines/s)%s\n", recording.samples().size(), s2,
                recording.samples().size() / s2, whole.bytes == streamed.bytes ? "" : " - DIFFERENT RESULT");
    return whole.bytes == streamed.bytes ? 0 : 1;
}
