// zefirelctl export RECORDING OUT.csv: a recording for a spreadsheet, without a
// controller.

#include <cstdlib>

#include "CtlCommon.h"
#include "CtlUnits.h"
#include "diag/CsvExport.h"
#include "link/Conversions.h"

namespace zefirel::ctl {

namespace {

constexpr const char* USAGE =
    "usage: export RECORDING OUT.csv [--separator C] [--decimal C] [--timer-frequency F] [--features MASK]";

/// One character given on the command line; "tab" stands for the tab.
bool oneCharacter(const std::string& text, char& out) {
    if (text == "tab" || text == "\\t") {
        out = '\t';
        return true;
    }
    if (text.size() != 1)
        return false;
    out = text[0];
    return true;
}

int runExport(CCtlContext& ctx, const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    std::string separator, decimal, features, why;
    bool haveSeparator = false, haveDecimal = false, haveFeatures = false;
    double frequency = 0;
    if (!takeTimerFrequency(args, frequency, why))
        return ctx.usageError(why);
    if (!takeOption(args, "--separator", separator, haveSeparator) ||
        !takeOption(args, "--decimal", decimal, haveDecimal) || !takeOption(args, "--features", features, haveFeatures) ||
        args.size() != 2)
        return ctx.usageError(USAGE);
    CsvFormat format;
    if ((haveSeparator && !oneCharacter(separator, format.separator)) ||
        (haveDecimal && !oneCharacter(decimal, format.decimal)))
        return ctx.usageError("--separator and --decimal take one character (or \"tab\")");
    if (haveFeatures) {
        char* end = nullptr;
        format.featureMask = static_cast<uint32_t>(std::strtoul(features.c_str(), &end, 0));
        if (features.empty() || *end != '\0')
            return ctx.usageError("--features needs a feature mask, decimal or 0x...");
    }
    if (!validCsvFormat(format, why))
        return ctx.usageError(why);
    setTimerFrequency(frequency);
    ctx.host().setProgressLabel("Eksport");
    const CsvExportResult r =
        exportRecordingCsv(args[0], args[1], format, [&](int percent) { ctx.host().setProgress(percent); });
    ctx.host().setProgress(0); // ends the progress line
    if (r.status != ECsvExport::Ok) {
        ctx.message(r.message);
        return EXIT_FAILED;
    }
    if (ctx.jsonOutput()) {
        CJsonWriter w;
        ctx.json(w.beginObject().key("rows").value(static_cast<int64_t>(r.rows)).key("file").value(args[1]).endObject());
    } else {
        ctx.out("Zapisano " + rowsText(r.rows) + " w pliku " + args[1]);
    }
    return EXIT_OK;
}

const CCtlRegistration reg{{"export", "export RECORDING OUT.csv [--separator C] [--decimal C]",
                            "a recording as CSV for a spreadsheet (default ; and decimal comma)", runExport}};

} // namespace

} // namespace zefirel::ctl
