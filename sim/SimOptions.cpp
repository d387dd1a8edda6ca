#include "SimOptions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>

namespace zefirel::sim {

namespace {

/// An unsigned number in decimal or with a 0x prefix, within [min, max].
bool parseUnsigned(const std::string& text, unsigned long long min, unsigned long long max,
                   unsigned long long& out) {
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    out = v;
    return true;
}

bool parseDouble(const std::string& text, double min, double max, double& out) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !(v >= min && v <= max))
        return false;
    out = v;
    return true;
}

bool parseDate(const std::string& text, uint16_t& out) {
    int y = 0;
    unsigned m = 0, d = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d-%u-%u%c", &y, &m, &d, &tail) != 3 || m < 1 || m > 12 || d < 1 || d > 31)
        return false;
    const int days = daysSinceEpoch2004(y, m, d);
    if (days < 0 || days > 65535)
        return false;
    out = static_cast<uint16_t>(days);
    return true;
}

bool parseErrors(const std::string& text, std::array<uint8_t, 11>& out) {
    std::array<uint8_t, 11> r{};
    size_t i = 0, pos = 0;
    while (pos <= text.size()) {
        const size_t comma = text.find(',', pos);
        const std::string item = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        unsigned long long v = 0;
        if (i >= r.size() || !parseUnsigned(item, 0, 255, v))
            return false;
        r[i++] = static_cast<uint8_t>(v);
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    out = r;
    return true;
}

/// "N:MS": injector 1..8 and the petrol time its signal reads, 0..100 ms.
bool parseInjectorTime(const std::string& text, std::array<double, 8>& times) {
    const size_t colon = text.find(':');
    unsigned long long n = 0;
    double ms = 0;
    if (colon == std::string::npos || !parseUnsigned(text.substr(0, colon), 1, times.size(), n) ||
        !parseDouble(text.substr(colon + 1), 0, 100, ms))
        return false;
    times[n - 1] = ms;
    return true;
}

} // namespace

std::string simHelpText() {
    return R"(usage: zefirel-sim [options]

A virtual LPG controller (firmware 5) on a pseudo-terminal. The first line of
standard output is the terminal's path; connect a client to it, e.g.
  zefirelctl --device /dev/pts/N info
SIGINT or SIGTERM ends it (the link is removed, the EEPROM image saved);
SIGUSR1 switches answering off and on again (as if unplugged and plugged in).

The controller:
  --identity TEXT          identity in the version record (at most 16 characters)
  --version-word N         firmware version word (default 5)
  --injectors N            number of injectors, 1..8 (default 4)
  --features MASK          feature mask, decimal or 0x... (default 0x1057)
  --extended               extended diagnostic layout (feature bit 0x0080)
  --timer-frequency HZ     timer frequency F (default 40000)
  --date YYYY-MM-DD        programming date (default 2026-03-16)
  --errors B0,B1,...       error report held at start, up to 11 bytes
  --eeprom FILE            EEPROM image (512 bytes) loaded at start if it exists
                           and saved back at exit
The car:
  --idle-rpm N             warm idle speed (default 800)
  --petrol-ms MS           petrol injection time at warm idle (default 3.2)
  --true-correction MS     LPG time the car needs above the petrol time (default 1.8)
  --ambient C              starting temperature (default 15)
  --seed N                 noise seed (default 1)
  --injector-ms N:MS       the controller reads MS ms on petrol injector N's
                           signal whatever the engine does (60: a signal read
                           inverted; 0: no signal); may be given per injector
  --drive                  drive a test lap for the injection map instead of
                           idling: 750 rpm and 1500..7500 rpm, each at manifold
                           pressures 96..16 kPa, 4 s of model time per point,
                           petrol or LPG as the controller is switched; on LPG the
                           car needs the main correction plus a hidden map's
                           percentage of the petrol time
  --true-map FILE          the hidden map (400 bytes, percent + 100, at most 250);
                           without it one is drawn from --seed
The line:
  --link PATH              also make PATH a symbolic link to the terminal
  --baud-timing            pace every byte at 14400 baud (about 0.694 ms) and
                           answer after the request's own wire time
  --latency MS             controller reaction time with --baud-timing (default 1)
  --verbose                log every request on standard error
Faults:
  --mute-after N           stop answering after N requests
  --bad-checksum CMD       answer command code CMD with a wrong checksum
  --drop-every N           drop one byte out of every N bytes sent
  --swap-sync-every N      send every Nth answer with its sync bytes swapped
  --bad-checksum-every N   send every Nth answer with a wrong checksum
  --garbage-ms N           send a few unasked bytes every N milliseconds
  --close-after N          close the line after answering N requests
  --help                   this text
  --version                the program's version
)";
}

EOptions parseSimOptions(const std::vector<std::string>& args, SimConfig& cfg, std::string& error) {
    using Setter = std::function<bool(const std::string&)>;
    auto unsignedInto = [](auto& field, unsigned long long min, unsigned long long max) {
        return [&field, min, max](const std::string& v) {
            unsigned long long x = 0;
            if (!parseUnsigned(v, min, max, x))
                return false;
            field = static_cast<std::remove_reference_t<decltype(field)>>(x);
            return true;
        };
    };
    auto doubleInto = [](double& field, double min, double max) {
        return [&field, min, max](const std::string& v) { return parseDouble(v, min, max, field); };
    };
    SimFaults& f = cfg.faults;
    const std::map<std::string, Setter> withValue = {
        {"--identity", [&](const std::string& v) { cfg.identity = v; return v.size() <= 16; }},
        {"--version-word", unsignedInto(cfg.versionWord, 0, 65535)},
        {"--injectors", unsignedInto(cfg.injectors, 1, 8)},
        {"--features", unsignedInto(cfg.featureMask, 0, 0xFFFFFFFFull)},
        {"--timer-frequency", unsignedInto(cfg.timerFrequency, 1000, 10000000)},
        {"--date", [&](const std::string& v) { return parseDate(v, cfg.programmingDate); }},
        {"--errors", [&](const std::string& v) { return parseErrors(v, cfg.errors); }},
        {"--eeprom", [&](const std::string& v) { cfg.eepromFile = v; return !v.empty(); }},
        {"--true-map", [&](const std::string& v) { cfg.trueMapFile = v; return !v.empty(); }},
        {"--idle-rpm", doubleInto(cfg.idleRpm, 300, 3000)},
        {"--petrol-ms", doubleInto(cfg.petrolIdleMs, 0.5, 20)},
        {"--true-correction", doubleInto(cfg.trueCorrectionMs, -5, 10)},
        {"--ambient", doubleInto(cfg.ambientC, -30, 60)},
        {"--injector-ms", [&](const std::string& v) { return parseInjectorTime(v, cfg.injectorPetrolMs); }},
        {"--seed", unsignedInto(cfg.seed, 0, std::numeric_limits<uint64_t>::max())},
        {"--link", [&](const std::string& v) { cfg.linkPath = v; return !v.empty(); }},
        {"--latency", doubleInto(cfg.replyLatencyMs, 0, 1000)},
        {"--mute-after", unsignedInto(f.muteAfter, 1, std::numeric_limits<uint64_t>::max())},
        {"--bad-checksum", [&](const std::string& v) {
             unsigned long long x = 0;
             if (!parseUnsigned(v, 0, 255, x))
                 return false;
             f.badChecksumCommand = static_cast<int>(x);
             return true;
         }},
        {"--drop-every", unsignedInto(f.dropEvery, 1, 1000000)},
        {"--swap-sync-every", unsignedInto(f.swapSyncEvery, 1, 1000000)},
        {"--bad-checksum-every", unsignedInto(f.badChecksumEvery, 1, 1000000)},
        {"--garbage-ms", unsignedInto(f.garbageMs, 1, 3600000)},
        {"--close-after", unsignedInto(f.closeAfter, 1, std::numeric_limits<uint64_t>::max())},
    };
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i], value;
        bool haveValue = false;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            haveValue = true;
        }
        if (name == "--help" || name == "-h")
            return EOptions::Help;
        if (name == "--extended" || name == "--baud-timing" || name == "--verbose" || name == "--drive") {
            if (haveValue) {
                error = name + " takes no value";
                return EOptions::Invalid;
            }
            if (name == "--extended")
                cfg.featureMask |= 0x0080;
            else if (name == "--baud-timing")
                cfg.baudTiming = true;
            else if (name == "--drive")
                cfg.drive = true;
            else
                cfg.verbose = true;
            continue;
        }
        const auto it = withValue.find(name);
        if (it == withValue.end()) {
            error = "unknown option " + args[i];
            return EOptions::Invalid;
        }
        if (!haveValue) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return EOptions::Invalid;
            }
            value = args[++i];
        }
        if (!it->second(value)) {
            error = "invalid value for " + name + ": " + value;
            return EOptions::Invalid;
        }
    }
    return EOptions::Run;
}

} // namespace zefirel::sim
