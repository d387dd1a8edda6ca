#include "SimOptions.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>

#include <CLI/CLI.hpp>

#include "settings/VersionRecord.h"
#include "support/Version.h"

namespace zefirel::sim {

namespace {

/// An unsigned number in decimal or with a 0x prefix, within [min, max]. A leading
/// zero does not make it octal: "010" is ten.
bool parseUnsigned(const std::string& text, unsigned long long min, unsigned long long max,
                   unsigned long long& out) {
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (!std::isxdigit(static_cast<unsigned char>(text[hex ? 2 : 0])))
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
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

/// The options of the command line, declared once: CLI11 reads them and makes the
/// --help text of them.
class CSimCommandLine {
public:
    explicit CSimCommandLine(SimConfig& cfg) : m_cfg(cfg) {
        m_app.set_help_flag("-h,--help", "this text");
        m_app.set_version_flag("--version", std::string("zefirel-sim ") + ZEFIREL_VERSION, "the program's version");
        m_app.formatter(std::make_shared<CUsageFirst>());
        m_app.get_formatter()->column_width(27);
        m_app.footer(FOOTER);
        declareController();
        declareCar();
        declareLine();
        declareFaults();
    }

    EOptions parse(const std::vector<std::string>& args, std::string& error) {
        std::vector<std::string> reversed(args.rbegin(), args.rend()); // CLI11 takes them last first
        try {
            m_app.parse(reversed);
        } catch (const CLI::CallForHelp&) {
            return EOptions::Help;
        } catch (const CLI::CallForVersion&) {
            return EOptions::Version;
        } catch (const CLI::ParseError& e) {
            error = e.what();
            return EOptions::Invalid;
        }
        if (m_extended)
            m_cfg.featureMask |= 0x0080;
        return EOptions::Run;
    }

    std::string help() const { return m_app.help(); }

private:
    /// Usage first, then what the program is, then the options by group, each
    /// group after one blank line.
    class CUsageFirst : public CLI::Formatter {
    public:
        std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override {
            std::string text = make_usage(app, name) + "\n" + make_description(app) + make_groups(app, mode) + "\n" +
                               make_footer(app);
            for (size_t at; (at = text.find("\n\n\n")) != std::string::npos;)
                text.erase(at, 1);
            return text;
        }
    };

    static constexpr const char* FOOTER =
        "SIGINT or SIGTERM ends it (the link is removed, the EEPROM image saved);\n"
        "SIGUSR1 switches answering off and on again (as if unplugged and plugged in).";

    /// A whole number from min to max into field (decimal or 0x...; no sign).
    template <typename T>
    void whole(const char* name, T& field, unsigned long long min, unsigned long long max, const char* type,
               const std::string& help) {
        m_app.add_option(name, help)
            ->type_name(type)
            ->group(m_group)
            ->each([&field, min, max](const std::string& v) {
                unsigned long long x = 0;
                if (!parseUnsigned(v, min, max, x))
                    throw CLI::ValidationError("needs a whole number from " + std::to_string(min) + " to " +
                                                         std::to_string(max) + ", got " + v);
                field = static_cast<T>(x);
            });
    }

    /// A number from min to max into field ("nan" is not one).
    void number(const char* name, double& field, double min, double max, const char* type, const std::string& help) {
        m_app.add_option(name, help)->type_name(type)->group(m_group)->each([&field, min, max](const std::string& v) {
            if (!parseDouble(v, min, max, field))
                throw CLI::ValidationError("needs a number from " + CLI::detail::to_string(min) + " to " +
                                           CLI::detail::to_string(max) + ", got " + v);
        });
    }

    /// A value read by parse, which says whether it is valid.
    void text(const char* name, const char* type, const std::string& help, std::function<bool(const std::string&)> parse) {
        m_app.add_option(name, help)->type_name(type)->group(m_group)->each([parse](const std::string& v) {
            if (!parse(v))
                throw CLI::ValidationError("invalid value " + v);
        });
    }

    void flag(const char* name, bool& field, const std::string& help) {
        m_app.add_flag(name, field, help)->group(m_group)->disable_flag_override();
    }

    void declareController() {
        SimConfig& c = m_cfg;
        m_group = "The controller";
        // A controller keeps its identity in CP1250, as the version dialog writes it.
        text("--identity", "TEXT", "identity in the version record (at most 16 characters)",
             [&c](const std::string& v) {
                 c.identity = identityBytes(v);
                 return identityFits(v);
             });
        whole("--version-word", c.versionWord, 0, 65535, "N", "firmware version word (default 5)");
        whole("--injectors", c.injectors, 1, 8, "N", "number of injectors, 1..8 (default 4)");
        whole("--features", c.featureMask, 0, 0xFFFFFFFFull, "MASK", "feature mask, decimal or 0x... (default 0x1057)");
        flag("--extended", m_extended, "extended diagnostic layout (feature bit 0x0080)");
        whole("--timer-frequency", c.timerFrequency, 1000, 10000000, "HZ", "timer frequency F (default 40000)");
        text("--date", "YYYY-MM-DD", "programming date (default 2026-03-16)",
             [&c](const std::string& v) { return parseDate(v, c.programmingDate); });
        text("--errors", "B0,B1,...", "error report held at start, up to 11 bytes",
             [&c](const std::string& v) { return parseErrors(v, c.errors); });
        text("--eeprom", "FILE", "EEPROM image (512 bytes) loaded at start if it exists\nand saved back at exit",
             [&c](const std::string& v) { c.eepromFile = v; return !v.empty(); });
    }

    void declareCar() {
        SimConfig& c = m_cfg;
        m_group = "The car";
        number("--idle-rpm", c.idleRpm, 300, 3000, "N", "warm idle speed (default 800)");
        number("--petrol-ms", c.petrolIdleMs, 0.5, 20, "MS", "petrol injection time at warm idle (default 3.2)");
        number("--true-correction", c.trueCorrectionMs, -5, 10, "MS",
               "LPG time the car needs above the petrol time (default 1.8)");
        number("--ambient", c.ambientC, -30, 60, "C", "starting temperature (default 15)");
        whole("--seed", c.seed, 0, std::numeric_limits<uint64_t>::max(), "N", "noise seed (default 1)");
        text("--injector-ms", "N:MS",
             "the controller reads MS ms on petrol injector N's\nsignal whatever the engine does (60: a signal read\n"
             "inverted; 0: no signal); may be given per injector",
             [&c](const std::string& v) { return parseInjectorTime(v, c.injectorPetrolMs); });
        m_app.get_option("--injector-ms")->take_all();
        flag("--drive", c.drive,
             "drive a test lap for the injection map instead of\nidling: 750 rpm and 1500..7500 rpm, each at manifold\n"
             "pressures 96..16 kPa, 4 s of model time per point,\npetrol or LPG as the controller is switched; on LPG the\n"
             "car needs the main correction plus a hidden map's\npercentage of the petrol time");
        number("--warm-up", c.warmUpSeconds, 0, 3600, "S",
               "with --drive: model seconds of a cold start first, the\nreducer below the switch temperature (default 60;\n0: warm)");
        number("--transition", c.transitionSeconds, 0, 2, "S",
               "with --drive: model seconds a step between points takes\n(default 0.5; a step down in load cuts off; 0: jumps)");
        number("--dwell", c.dwellSeconds, 1, 60, "S",
               "with --drive: model seconds at each point (default 4)");
        text("--true-map", "FILE",
             "the hidden map (400 bytes, percent + 100, at most 250);\nwithout it one is drawn from --seed",
             [&c](const std::string& v) { c.trueMapFile = v; return !v.empty(); });
    }

    void declareLine() {
        SimConfig& c = m_cfg;
        m_group = "The line";
        text("--link", "PATH", "also make PATH a symbolic link to the terminal",
             [&c](const std::string& v) { c.linkPath = v; return !v.empty(); });
        flag("--baud-timing", c.baudTiming,
             "pace every byte at 14400 baud (about 0.694 ms) and\nanswer after the request's own wire time");
        number("--latency", c.replyLatencyMs, 0, 1000, "MS", "controller reaction time with --baud-timing (default 1)");
        flag("--verbose", c.verbose, "log every request on standard error");
    }

    void declareFaults() {
        SimFaults& f = m_cfg.faults;
        m_group = "Faults";
        const uint64_t never = std::numeric_limits<uint64_t>::max();
        whole("--mute-after", f.muteAfter, 1, never, "N", "stop answering after N requests");
        text("--bad-checksum", "CMD", "answer command code CMD with a wrong checksum", [&f](const std::string& v) {
            unsigned long long x = 0;
            if (!parseUnsigned(v, 0, 255, x))
                return false;
            f.badChecksumCommand = static_cast<int>(x);
            return true;
        });
        whole("--drop-every", f.dropEvery, 1, 1000000, "N", "drop one byte out of every N bytes sent");
        whole("--swap-sync-every", f.swapSyncEvery, 1, 1000000, "N", "send every Nth answer with its sync bytes swapped");
        whole("--bad-checksum-every", f.badChecksumEvery, 1, 1000000, "N", "send every Nth answer with a wrong checksum");
        whole("--garbage-ms", f.garbageMs, 1, 3600000, "N", "send a few unasked bytes every N milliseconds");
        whole("--close-after", f.closeAfter, 1, never, "N", "close the line after answering N requests");
    }

    SimConfig& m_cfg;
    CLI::App m_app{DESCRIPTION, "zefirel-sim"};
    std::string m_group;
    bool m_extended = false;

    static constexpr const char* DESCRIPTION =
        "A virtual LPG controller (firmware 5) on a pseudo-terminal. The first line of\n"
        "standard output is the terminal's path; connect a client to it, e.g.\n"
        "  zefirelctl --device /dev/pts/N info";
};

} // namespace

std::string simHelpText() {
    SimConfig cfg;
    return CSimCommandLine(cfg).help();
}

EOptions parseSimOptions(const std::vector<std::string>& args, SimConfig& cfg, std::string& error) {
    return CSimCommandLine(cfg).parse(args, error);
}

} // namespace zefirel::sim
