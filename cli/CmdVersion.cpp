// zefirelctl version [set --date DD/MM/YYYY --version N --injectors N --identity TEXT]:
// the controller's version record as the version dialog reads and writes it.

#include <cerrno>
#include <cstdlib>
#include <map>

#include "CtlCommon.h"
#include "settings/VersionRecord.h"

namespace zefirel::ctl {

namespace {

const char* const USAGE = "usage: version | version set --date DD/MM/YYYY --version N --injectors N --identity TEXT";

/// Reads "--name VALUE" and "--name=VALUE" pairs; false on anything else or a repeat.
bool parseOptions(const std::vector<std::string>& words, std::map<std::string, std::string>& out) {
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w.rfind("--", 0) != 0)
            return false;
        std::string name = w.substr(2), value;
        const size_t eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        } else if (i + 1 < words.size()) {
            value = words[++i];
        } else {
            return false;
        }
        if (!out.emplace(name, value).second)
            return false;
    }
    return true;
}

bool parseWhole(const std::string& text, unsigned long max, unsigned long& out) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 10)
        return false;
    errno = 0;
    out = std::strtoul(text.c_str(), nullptr, 10);
    return errno == 0 && out <= max;
}

void printRecord(CCtlContext& ctx, const std::string& date, unsigned version, unsigned injectors,
                 const std::string& identity) {
    if (ctx.jsonOutput()) {
        ctx.json(CJsonWriter()
                     .beginObject()
                     .key("programmingDate").value(date)
                     .key("version").value(static_cast<int>(version))
                     .key("injectors").value(static_cast<int>(injectors))
                     .key("identity").value(identity)
                     .endObject());
        return;
    }
    ctx.out("programmingDate: " + date);
    ctx.out("version: " + std::to_string(version));
    ctx.out("injectors: " + std::to_string(injectors));
    ctx.out("identity: " + identity);
}

int setVersion(CCtlContext& ctx, const std::vector<std::string>& words) {
    std::map<std::string, std::string> opt;
    if (!parseOptions(words, opt) || opt.size() != 4 || !opt.count("date") || !opt.count("version") ||
        !opt.count("injectors") || !opt.count("identity"))
        return ctx.usageError(USAGE);
    uint16_t days = 0;
    if (parseProgrammingDate(opt["date"], days) != EDateText::Ok)
        return ctx.usageError(std::string(MSG_VERSION_DATE_INVALID) + ": " + opt["date"]);
    unsigned long version = 0, injectors = 0;
    if (!parseWhole(opt["version"], 0xFFFF, version))
        return ctx.usageError("--version takes a whole number 0..65535");
    if (!parseWhole(opt["injectors"], 0xFF, injectors))
        return ctx.usageError("--injectors takes a whole number 0..255");
    // The identity travels as one enciphered 16-byte block; a longer one would be cut.
    if (opt["identity"].size() > IDENTITY_MAX_BYTES)
        return ctx.usageError(MSG_VERSION_IDENTITY_TOO_LONG);
    if (const int rc = ctx.connect(false); rc != EXIT_OK)
        return rc;
    if (!ctx.device().writeVersion(days, static_cast<uint16_t>(version), static_cast<uint8_t>(injectors),
                                   opt["identity"])) {
        ctx.message(MSG_VERSION_WRITE_FAILED);
        return EXIT_FAILED;
    }
    printRecord(ctx, formatProgrammingDate(days), static_cast<unsigned>(version), static_cast<unsigned>(injectors),
                opt["identity"]);
    return EXIT_OK;
}

int runVersion(CCtlContext& ctx, const std::vector<std::string>& args) {
    if (!args.empty() && args[0] == "set")
        return setVersion(ctx, std::vector<std::string>(args.begin() + 1, args.end()));
    // A controller of another version can be read (and rewritten) too.
    if (const int rc = ctx.begin(args.empty(), USAGE, false); rc != EXIT_OK)
        return rc;
    uint8_t record[VERSION_RECORD_SIZE] = {};
    if (!ctx.device().readVersionRecord(record)) {
        ctx.message(MSG_VERSION_READ_FAILED);
        return EXIT_FAILED;
    }
    const VersionFields f = decodeVersionRecord(record);
    printRecord(ctx, formatProgrammingDate(f.programmingDate), f.version, f.injectors, f.identity);
    return EXIT_OK;
}

const CCtlRegistration reg{{"version", "version [set --date DD/MM/YYYY --version N --injectors N --identity TEXT]",
                            "the controller's version record (programming date, version, injectors, identity)",
                            runVersion}};

} // namespace

} // namespace zefirel::ctl
