#include "ui/bench/ReportPreview.h"

#include <QAction>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolBar>

#include "settings/ServiceReport.h"
#include "report/ReportPainter.h"
#include "ui/support/MsgHelper.h"

namespace zefirel {

QPrintPreviewDialog* makeReportPreview(QWidget* parent, const ServiceReportData& report,
                                       std::function<QString()> askPdfPath) {
    auto* printer = new QPrinter(QPrinter::HighResolution);
    printer->setPageSize(QPageSize(QPageSize::A4));
    printer->setFullPage(true);
    printer->setDocName(QStringLiteral("Raport serwisowy %1").arg(qstr(report.identity)));
    auto* dlg = new QPrintPreviewDialog(printer, parent);
    QObject::connect(dlg, &QObject::destroyed, [printer] { delete printer; });
    dlg->setObjectName(QStringLiteral("reportPreview"));
    dlg->setWindowTitle(QStringLiteral("Raport serwisowy"));
    dlg->resize(900, 1000);
    QObject::connect(dlg, &QPrintPreviewDialog::paintRequested, dlg, [report](QPrinter* target) {
        QPainter p(target);
        for (int page = 0; page < REPORT_PAGES; ++page) {
            if (page > 0)
                target->newPage();
            paintReportPage(p, target->pageLayout().fullRectPixels(target->resolution()), report, page);
        }
    });
    if (QToolBar* bar = dlg->findChild<QToolBar*>()) {
        QAction* save = bar->addAction(QStringLiteral("Zapisz jako PDF..."));
        save->setObjectName(QStringLiteral("reportSavePdf"));
        QObject::connect(save, &QAction::triggered, dlg, [dlg, report, askPdfPath] {
            const QString path = askPdfPath ? askPdfPath() : QString();
            if (path.isEmpty())
                return;
            QString why;
            if (writeReportPdf(path, report, why))
                zefMessageBox(dlg, QStringLiteral("Raport zapisano w pliku %1.").arg(path), QString(APP_CAPTION),
                              EMsgStyle::Info);
            else
                zefMessageBox(dlg, why, QString(APP_CAPTION), EMsgStyle::Error);
        });
    }
    return dlg;
}

} // namespace zefirel
