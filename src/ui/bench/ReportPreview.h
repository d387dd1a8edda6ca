#pragma once
/// The service report in the window: gathered from the controller under a progress
/// window, then shown in a print preview (A4) from which it is printed or saved
/// as a PDF with "Zapisz jako PDF...".

#include <QString>

#include <functional>

class QPrintPreviewDialog;
class QWidget;

namespace zefirel {

struct ServiceReportData;

/// A preview dialog of the report (not yet shown). askPdfPath asks where to save
/// the PDF (empty on Cancel).
QPrintPreviewDialog* makeReportPreview(QWidget* parent, const ServiceReportData& report,
                                       std::function<QString()> askPdfPath);

} // namespace zefirel
