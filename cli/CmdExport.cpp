// zefirelctl export RECORDING OUT.csv: a recording for a spreadsheet, without a
// controller.

#include "CtlCli.h"
#include "diag/Companion.h"
#include "diag/CsvExport.h"
#include "link/Conversions.h"

namespace zefirel::ctl {

namespace {

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

struct ExportOptions {
    std::string recording, csv;
    std::string separator, decimal; ///< empty: the format's default
    CsvFormat format;
    bool featuresGiven = false;
    double frequency = 0;
};

int runExport(CCtlContext& ctx, ExportOptions& o) {
    CsvFormat& format = o.format;
    if ((!o.separator.empty() && !oneCharacter(o.separator, format.separator)) ||
        (!o.decimal.empty() && !oneCharacter(o.decimal, format.decimal)))
        return ctx.usageError("--separator i --decimal przyjmują jeden znak (albo \"tab\")");
    if (std::string why; !validCsvFormat(format, why))
        return ctx.usageError(why);
    // Without --features, the features of the controller that made the recording.
    if (!o.featuresGiven)
        recordingFeatureMask(o.recording, format.featureMask);
    setTimerFrequency(o.frequency);
    ctx.host().setProgressLabel("Eksport");
    const CsvExportResult r =
        exportRecordingCsv(o.recording, o.csv, format, [&](int percent) { ctx.host().setProgress(percent); });
    ctx.host().setProgress(0); // ends the progress line
    if (r.status != ECsvExport::Ok) {
        ctx.message(r.message);
        return EXIT_FAILED;
    }
    if (ctx.jsonOutput()) {
        CJsonWriter w;
        w.beginObject().key("rows").value(static_cast<int64_t>(r.rows)).key("file").value(o.csv);
        ctx.json(linesJson(w, r.lines).endObject());
    } else {
        ctx.out("Zapisano " + rowsText(r.rows) + " w pliku " + o.csv);
    }
    ctx.message(r.lines.linesSkipped ? recordingDamageText(o.recording, r.lines) : recordingStatsText(r.lines));
    return EXIT_OK;
}

CtlRunner declareExport(CLI::App& cmd) {
    auto o = std::make_shared<ExportOptions>();
    cmd.add_option("RECORDING", o->recording, "the recording to read")->required();
    cmd.add_option("OUT.csv", o->csv, "the CSV file to write")->required();
    cmd.add_option("--separator", o->separator, "the field separator, one character or \"tab\" (default ;)")
        ->type_name("C")
        ->check(nonEmpty());
    cmd.add_option("--decimal", o->decimal, "the decimal mark, one character (default ,)")
        ->type_name("C")
        ->check(nonEmpty());
    cmd.add_option("--features", o->format.featureMask,
                   "the controller's feature mask, decimal or 0x..., for the supply voltage (default: the "
                   "recording's -config file, else 0)")
        ->type_name("MASK")
        ->each([o](const std::string&) { o->featuresGiven = true; });
    cmd.add_flag("--events", o->format.events,
                 "add a last column \"Zdarzenie\" with the events and markers of each sample");
    addTimerFrequency(cmd, o->frequency);
    return [o](CCtlContext& ctx) { return runExport(ctx, *o); };
}

const CCtlRegistration reg{{"export", "export RECORDING OUT.csv [--separator C] [--decimal C]",
                            "a recording as CSV for a spreadsheet (default ; and decimal comma)", declareExport}};

} // namespace

} // namespace zefirel::ctl
