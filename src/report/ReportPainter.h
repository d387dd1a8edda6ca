#pragma once
/// Lays the service report out on A4 pages with QPainter. Page 1 is the summary a
/// customer reads: the verdict, the controller and the car, what was done and the
/// main findings. Page 2 holds the details: the controller's features, every
/// setting (changed ones marked), the error report, the recording's summary with
/// the check's verdict and the time-correction curve as a chart. Page 3 the
/// injection map's grid (cells in use shaded) beside the check's grid, over the
/// rows that hold a correction or were driven. Only Qt's GUI module is used, so
/// the command line can print it offscreen.
///
/// Every page is painted in a logical frame of 2100 × 2970 units (0.1 mm) mapped
/// onto the page, so the same code fills a PDF, a printer and an image.

#include <QString>

#include "settings/ServiceReport.h"

class QPainter;
class QImage;
class QRect;

namespace zefirel {

/// The pages of every report: the preview and the PDF writer print all of them.
inline constexpr int REPORT_PAGES = 3;

/// Paints page (0-based) into target, a rectangle of the A4 proportions.
void paintReportPage(QPainter& painter, const QRect& target, const ServiceReportData& report, int page);

/// Writes the report as a PDF file (A4, fonts embedded), whole or not at all.
/// False with the reason in why.
bool writeReportPdf(const QString& path, const ServiceReportData& report, QString& why);

/// One page as an image width pixels wide (for a preview or a test).
QImage renderReportPage(const ServiceReportData& report, int page, int width);

} // namespace zefirel
