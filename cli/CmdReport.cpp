// zefirelctl report FILE.pdf: the service report of the connected controller as a
// PDF. The pages are laid out by the same code as the windowed program's, with
// Qt's GUI module on its offscreen platform (no window, no display needed).

#ifdef ZEFIREL_CTL_REPORT

#include <cstdlib>

#include <QGuiApplication>

#include "CtlCli.h"
#include "settings/ServiceReport.h"
#include "support/NumberLocale.h"
#include "report/ReportPainter.h"

namespace zefirel::ctl {

namespace {

int runReport(CCtlContext& ctx, const std::string& pdf, const std::string& recording) {
    if (!recording.empty() && outputIsRecording(recording, pdf)) {
        ctx.message(std::string(MSG_OUTPUT_IS_RECORDING) + ": " + pdf);
        return EXIT_FAILED;
    }
    // A recording asked for by name that cannot be read is an error before the
    // controller is asked anything and before any file is written.
    if (std::string why; !recording.empty() && !recordingReadable(recording, why)) {
        ctx.message(why);
        return EXIT_FAILED;
    }
    if (const int rc = ctx.connect(); rc != EXIT_OK)
        return rc;
    // The car data live on the PC, not in the controller: --car gives them.
    if (CarData car; ctx.options().haveCar && parseCarData(ctx.options().car, car))
        ctx.device().updateSettings([&car](CSettingsBlock& own) {
            for (size_t i = 0; i < static_cast<size_t>(ECarText::Count); ++i)
                own.setCarText(static_cast<ECarText>(i), car.texts[i]);
        });
    const ServiceReportData report = gatherServiceReport(ctx.device(), recording);
    for (const std::string& problem : report.problems)
        ctx.message(problem);
    if (!report.recordingProblem.empty())
        return EXIT_FAILED; // gone or unreadable since the check above: no report without it
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int argc = 1;
    char name[] = "zefirelctl";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    keepNumbersInCLocale(); // the report's numbers keep their decimal point under any locale
    QString why;
    if (!writeReportPdf(QString::fromStdString(pdf), report, why)) {
        ctx.message(why.toStdString());
        return EXIT_FAILED;
    }
    ctx.journal().recordReport(ctx.device().settings(), pdf);
    if (ctx.jsonOutput()) {
        CJsonWriter w;
        w.beginObject().key("file").value(pdf).key("identity").value(report.identity);
        w.key("problems").value(static_cast<int>(report.problems.size())).endObject();
        ctx.json(w);
    } else {
        ctx.out("Raport serwisowy zapisano w " + pdf);
    }
    return report.problems.empty() ? EXIT_OK : EXIT_FAILED;
}

CtlRunner declareReport(CLI::App& cmd) {
    auto pdf = std::make_shared<std::string>(), recording = std::make_shared<std::string>();
    cmd.add_option("FILE.pdf", *pdf, "the PDF to write")->required();
    cmd.add_option("--recording", *recording, "a recording whose figures the report shows too")
        ->type_name("REC")
        ->check(nonEmpty());
    return [pdf, recording](CCtlContext& ctx) { return runReport(ctx, *pdf, *recording); };
}

const CCtlRegistration reg{{"report", "report FILE.pdf [--recording REC]",
                            "the service report of the controller (and a recording) as a PDF", declareReport}};

} // namespace

} // namespace zefirel::ctl

#endif
