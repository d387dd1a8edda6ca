#include "ui/bench/BenchCommands.h"

#include <QDir>
#include <QFileInfo>
#include <QPrintPreviewDialog>

#include <memory>

#include "diag/Companion.h"
#include "diag/CsvExport.h"
#include "diag/DeviceDoc.h"
#include "diag/Recording.h"
#include "settings/ServiceReport.h"
#include "ui/app/Commands.h"
#include "ui/bench/AcceptanceDlg.h"
#include "ui/bench/BenchWork.h"
#include "ui/bench/ConnDoctorDlg.h"
#include "ui/bench/ReportPreview.h"
#include "ui/diag/DeviceDocUi.h"
#include "ui/events/CompareDlg.h"
#include "ui/history/HistoryNotes.h"
#include "ui/support/MsgHelper.h"

namespace zefirel {

namespace {

/// The display refresh slows down while a modal window of the document is open.
class CSlowRefresh {
public:
    explicit CSlowRefresh(CDeviceDocUi* doc) : m_doc(doc ? &doc->doc() : nullptr) {
        if (m_doc)
            m_doc->slowRefresh();
    }
    ~CSlowRefresh() {
        if (m_doc)
            m_doc->normalRefresh();
    }
    CSlowRefresh(const CSlowRefresh&) = delete;
    CSlowRefresh& operator=(const CSlowRefresh&) = delete;

private:
    CDeviceDoc* m_doc;
};

void onConnDoctor(CDeviceDocUi* doc, QWidget* parent) {
    CSlowRefresh slow(doc);
    CConnDoctorDlg dlg(parent);
    dlg.start();
    dlg.exec();
}

/// Asks for a recording, starting at start (a file is offered as the choice) or
/// else in the document's data folder.
QString chooseRecording(CDeviceDocUi* doc, QWidget* parent, const QString& title, const QString& start = QString()) {
    QString folder = QDir::homePath();
    if (doc) {
        doc->doc().resetDataFolder();
        folder = qstr(doc->doc().dataFolder());
    }
    if (!start.isEmpty())
        folder = start;
    return CDeviceDocUi::askFile(parent, false, folder, QString::fromUtf8(RECORDING_FILTER), QStringLiteral("lpgd"),
                                 title);
}

void onCsvExport(CDeviceDocUi* doc, QWidget* parent) {
    CSlowRefresh slow(doc);
    const QString recording = chooseRecording(doc, parent, QStringLiteral("Eksport do CSV — nagranie"));
    if (recording.isEmpty())
        return;
    const QFileInfo info(recording);
    const QString proposed = info.dir().filePath(info.completeBaseName() + QStringLiteral(".csv"));
    // The event column is offered each time, as the installer left it last time.
    bool& eventColumn = csvEventColumnChoice();
    const QString output = CDeviceDocUi::askFile(parent, true, proposed, QStringLiteral("Pliki CSV(*.csv)"),
                                                 QStringLiteral("csv"), QStringLiteral("Eksport do CSV — zapisz jako"),
                                                 QStringLiteral("Dodaj kolumnę „Zdarzenie” (zdarzenia i znaczniki nagrania)"),
                                                 eventColumn);
    if (output.isEmpty())
        return;
    CsvFormat format;
    format.events = eventColumn;
    // The supply voltage in the features of the controller that made the recording
    // (its companion); the connected one's only when the recording has none.
    if (!recordingFeatureMask(recording.toStdString(), format.featureMask) && doc)
        format.featureMask = doc->doc().settings().featureMask();
    CsvExportResult result;
    guarded(parent, "onCsvExport()", [&] {
        runWithProgress(parent, QStringLiteral("Eksport do CSV..."), [&](const auto& progress, const auto& stop) {
            result = exportRecordingCsv(recording.toStdString(), output.toStdString(), format, progress, &stop);
        });
        if (result.status == ECsvExport::Ok)
            zefMessageBox(parent,
                          QStringLiteral("Zapisano %1 w pliku %2.\n%3")
                              .arg(qstr(rowsText(result.rows)), output,
                                   qstr(result.lines.linesSkipped ? recordingDamageText(recording.toStdString(), result.lines)
                                                                  : recordingStatsText(result.lines))),
                          QString(APP_CAPTION), EMsgStyle::Info);
        else
            zefMessageBox(parent, qstr(result.message), QString(APP_CAPTION),
                          result.status == ECsvExport::Cancelled ? EMsgStyle::Info : EMsgStyle::Error);
    });
}

void onAcceptanceCheck(CDeviceDocUi* doc, QWidget* parent) {
    CSlowRefresh slow(doc);
    CAcceptanceDlg dlg(parent, [doc, parent] {
        return chooseRecording(doc, parent, QStringLiteral("Sprawdzenie ustawień — nagranie z jazdą na benzynie i LPG"));
    });
    // The recording being made or replayed is the natural one to check.
    const std::string current = doc ? doc->doc().recordingPath() : std::string();
    const QString first = current.empty() ? chooseRecording(doc, parent, QStringLiteral("Sprawdzenie ustawień — nagranie"))
                                          : qstr(current);
    if (first.isEmpty())
        return;
    dlg.load(first);
    dlg.exec();
}

void onServiceReport(CDeviceDocUi* doc, QWidget* parent) {
    if (!doc || !doc->doc().isVersionOk()) {
        zefMessageBox(parent, QStringLiteral("Raport serwisowy wymaga połączenia ze sterownikiem."), QString(APP_CAPTION),
                      EMsgStyle::Info);
        return;
    }
    CSlowRefresh slow(doc);
    // The installer chooses the recording to summarise; the one being made or
    // replayed is offered first. Cancel makes the report without a recording.
    const std::string recording =
        chooseRecording(doc, parent, QStringLiteral("Raport serwisowy — nagranie do podsumowania (Anuluj: bez nagrania)"),
                        qstr(doc->doc().recordingPath()))
            .toStdString();
    if (std::string why; !recording.empty() && !recordingReadable(recording, why)) {
        zefMessageBox(parent, qstr(why), QString(APP_CAPTION), EMsgStyle::Error);
        return;
    }
    ServiceReportData report;
    bool finished = false;
    guarded(parent, "onServiceReport()", [&] {
        finished = runWithProgress(parent, QStringLiteral("Zbieranie danych do raportu..."), [&](const auto& progress, const auto&) {
            report = gatherServiceReport(doc->doc(), recording, [&](int percent, const std::string&) { progress(percent); });
        });
    });
    if (!finished)
        return;
    const QString folder = qstr(doc->doc().dataFolder());
    const QString name = QStringLiteral("Raport-%1.pdf").arg(qstr(report.identity));
    std::unique_ptr<QPrintPreviewDialog> preview(makeReportPreview(parent, report, [doc, parent, folder, name, recording] {
        const QString pdf = CDeviceDocUi::askFile(parent, true, QDir(folder).filePath(name), QStringLiteral("Pliki PDF(*.pdf)"),
                                                  QStringLiteral("pdf"), QStringLiteral("Raport serwisowy — zapisz jako"));
        if (!pdf.isEmpty() && !recording.empty() && outputIsRecording(recording, pdf.toStdString())) {
            zefMessageBox(parent, qstr(std::string(MSG_OUTPUT_IS_RECORDING) + ": ") + pdf, QString(APP_CAPTION),
                          EMsgStyle::Error);
            return QString();
        }
        if (!pdf.isEmpty()) noteReport(doc->doc(), pdf.toStdString());
        return pdf;
    }));
    preview->exec();
}

void onCompare(CDeviceDocUi* doc, QWidget* parent) {
    CSlowRefresh slow(doc);
    CCompareDlg dlg(parent, [doc, parent](const QString& title) { return chooseRecording(doc, parent, title); });
    const QString a = chooseRecording(doc, parent, QStringLiteral("Porównaj nagrania — nagranie A (przed zmianą)"));
    if (a.isEmpty())
        return;
    const QString b = chooseRecording(doc, parent, QStringLiteral("Porównaj nagrania — nagranie B (po zmianie)"));
    if (b.isEmpty())
        return;
    if (dlg.load(a, b))
        dlg.exec();
}

} // namespace

bool& csvEventColumnChoice() {
    static bool choice = false;
    return choice;
}

bool onBenchCommand(int id, CDeviceDocUi* doc, QWidget* parent) {
    switch (id) {
    case ID_CONN_DOCTOR: onConnDoctor(doc, parent); return true;
    case ID_CSV_EXPORT: onCsvExport(doc, parent); return true;
    case ID_ACCEPTANCE_CHECK: onAcceptanceCheck(doc, parent); return true;
    case ID_SERVICE_REPORT: onServiceReport(doc, parent); return true;
    case ID_COMPARE: onCompare(doc, parent); return true;
    default: return false;
    }
}

} // namespace zefirel
