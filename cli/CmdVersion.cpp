// zefirelctl version [set --date DD/MM/YYYY --version N --injectors N --identity TEXT]:
// the controller's version record as the version dialog reads and writes it.

#include "CtlCli.h"
#include "settings/VersionRecord.h"

namespace zefirel::ctl {

namespace {

/// The fields "version set" writes.
struct VersionOptions {
    std::string date;
    unsigned version = 0;
    unsigned injectors = 0;
    std::string identity;
};

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

int setVersion(CCtlContext& ctx, const VersionOptions& o) {
    uint16_t days = 0;
    if (parseProgrammingDate(o.date, days) != EDateText::Ok)
        return ctx.usageError(std::string(MSG_VERSION_DATE_INVALID) + ": " + o.date);
    // The identity travels as one enciphered 16-byte block; a longer one would be cut.
    if (!identityFits(o.identity))
        return ctx.usageError(MSG_VERSION_IDENTITY_TOO_LONG);
    if (const int rc = ctx.connect(false); rc != EXIT_OK)
        return rc;
    if (!ctx.device().writeVersion(days, static_cast<uint16_t>(o.version), static_cast<uint8_t>(o.injectors),
                                   o.identity)) {
        ctx.message(MSG_VERSION_WRITE_FAILED);
        return EXIT_FAILED;
    }
    printRecord(ctx, formatProgrammingDate(days), o.version, o.injectors, o.identity);
    return EXIT_OK;
}

int readVersion(CCtlContext& ctx) {
    // A controller of another version can be read (and rewritten) too.
    if (const int rc = ctx.connect(false); rc != EXIT_OK)
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

CtlRunner declareVersion(CLI::App& cmd) {
    cmd.require_subcommand(0, 1);
    auto o = std::make_shared<VersionOptions>();
    CLI::App* set = cmd.add_subcommand("set", "write the whole version record (all four fields)");
    set->add_option("--date", o->date, "programming date")->type_name("DD/MM/YYYY")->required();
    set->add_option("--version", o->version, "version word, 0..65535")
        ->type_name("N")
        ->required()
        ->transform(decimal())
        ->check(within(0u, 0xFFFFu));
    set->add_option("--injectors", o->injectors, "number of injectors, 0..255")
        ->type_name("N")
        ->required()
        ->transform(decimal())
        ->check(within(0u, 0xFFu));
    set->add_option("--identity", o->identity, "identity, at most 16 bytes")->type_name("TEXT")->required();
    return [set, o](CCtlContext& ctx) { return set->parsed() ? setVersion(ctx, *o) : readVersion(ctx); };
}

const CCtlRegistration reg{{"version", "version [set --date DD/MM/YYYY --version N --injectors N --identity TEXT]",
                            "the controller's version record (programming date, version, injectors, identity)",
                            declareVersion}};

} // namespace

} // namespace zefirel::ctl
