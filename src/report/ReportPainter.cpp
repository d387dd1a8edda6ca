#include "report/ReportPainter.h"

#include <QBuffer>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <functional>

#include "map/MapText.h"
#include "support/FileUtil.h"

namespace zefirel {

namespace {

constexpr int PAGE_W = 2100, PAGE_H = 2970;
constexpr int MARGIN = 150;
constexpr int LINE = 40;
constexpr QRgb INK = 0x202020, GREY = 0x707070, RULE = 0xB0B0B0, CHANGED = 0xB00000;
constexpr QRgb MAP_USED = 0xFFD9A0, CHECK_PASS = 0xA8E6A1, CHECK_FAIL = 0xF28B82, CHECK_FEW = 0xFFE08A;

QString q(const std::string& s) { return QString::fromStdString(s); }

QFont font(int pixels, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

/// A cursor going down the page.
class CPageWriter {
public:
    explicit CPageWriter(QPainter& p) : m_p(p) {}

    void heading(const QString& text) {
        m_y += LINE / 2;
        m_p.setFont(font(36, true));
        m_p.setPen(QColor(INK));
        m_p.drawText(QRect(m_x, m_y, m_w, LINE + 8), Qt::AlignLeft | Qt::AlignVCenter, text);
        m_y += LINE + 8;
        m_p.setPen(QColor(RULE));
        m_p.drawLine(m_x, m_y, m_x + m_w, m_y);
        m_y += 8;
    }
    void line(const QString& label, const QString& value, bool marked = false, const QString& note = QString()) {
        const int labelW = m_w * m_labelShare / 100;
        // A text longer than its place is cut with "…", never drawn over its neighbour.
        const auto put = [&](const QRect& box, const QString& text) {
            m_p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter,
                         m_p.fontMetrics().elidedText(text, Qt::ElideRight, box.width() - 10));
        };
        m_p.setFont(font(m_size));
        m_p.setPen(QColor(GREY));
        put(QRect(m_x, m_y, labelW, m_line), label);
        m_p.setFont(font(m_size, marked));
        m_p.setPen(QColor(marked ? CHANGED : INK));
        QString shown = value;
        if (!note.isEmpty())
            shown += QStringLiteral("  ") + note;
        put(QRect(m_x + labelW, m_y, m_w - labelW, m_line), shown);
        m_y += m_line;
    }
    /// Font size, line height and the label's share of the width (percent) of line().
    void setLineStyle(int size, int line, int labelShare) {
        m_size = size;
        m_line = line;
        m_labelShare = labelShare;
    }
    void text(const QString& t, QRgb colour = INK) {
        m_p.setFont(font(28));
        m_p.setPen(QColor(colour));
        const QRect box(m_x, m_y, m_w, PAGE_H);
        const QRect used = m_p.boundingRect(box, Qt::TextWordWrap, t);
        m_p.drawText(box, Qt::TextWordWrap, t);
        m_y += used.height() + 6;
    }
    void column(int x, int w, int y) {
        m_x = x;
        m_w = w;
        m_y = y;
    }
    int y() const { return m_y; }
    void skip(int dy) { m_y += dy; }

private:
    QPainter& m_p;
    int m_x = MARGIN, m_w = PAGE_W - 2 * MARGIN, m_y = MARGIN;
    int m_size = 28, m_line = LINE, m_labelShare = 45;
};

QString statLine(const RangeStat& s, const char* unit, int decimals) {
    if (s.count == 0)
        return QStringLiteral("—");
    const auto n = [decimals](double v) { return QString::number(v, 'f', decimals).replace(QLatin1Char('.'), QLatin1Char(',')); };
    return QStringLiteral("%1 / %2 / %3 %4").arg(n(s.min), n(s.mean), n(s.max), QString::fromUtf8(unit));
}

void paintCurve(QPainter& p, const QRect& box, const ServiceReportData& r) {
    p.setPen(QColor(RULE));
    p.drawRect(box);
    const auto [lo, hi] = std::minmax_element(r.curve.begin(), r.curve.end());
    const double top = std::max(10.0, std::ceil(*hi / 10.0) * 10.0);
    const double bottom = std::min(-10.0, std::floor(*lo / 10.0) * 10.0);
    const auto x = [&](double ms) { return box.left() + 70 + (box.width() - 90) * ms / 24.0; };
    const auto y = [&](double pct) { return box.bottom() - 50 - (box.height() - 70) * (pct - bottom) / (top - bottom); };
    p.setFont(font(22));
    for (double v = bottom; v <= top + 1e-9; v += 10) {
        p.setPen(QColor(v == 0 ? GREY : RULE));
        p.drawLine(QPointF(x(0), y(v)), QPointF(x(24), y(v)));
        p.setPen(QColor(GREY));
        p.drawText(QRectF(box.left() + 2, y(v) - 14, 64, 28), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("%1%").arg(v, 0, 'f', 0));
    }
    for (int ms = 0; ms <= 24; ms += 4)
        p.drawText(QRectF(x(ms) - 40, box.bottom() - 46, 80, 40), Qt::AlignCenter, QStringLiteral("%1 ms").arg(ms));
    QPainterPath path;
    for (size_t i = 0; i < r.curve.size(); ++i) {
        const QPointF pt(x(static_cast<double>(i)), y(r.curve[i]));
        i == 0 ? path.moveTo(pt) : path.lineTo(pt);
    }
    p.setPen(QPen(QColor(r.curveInUse ? 0x0050C0 : GREY), 5));
    p.drawPath(path);
}

/// A 50 × 8 grid of texts with per-cell backgrounds.
void paintGrid(QPainter& p, int left, int top, const QString& title, const MapTexts& texts,
               const std::function<QRgb(int row, int column)>& background) {
    constexpr int LABEL_W = 120, CELL_W = 92, ROW_H = 44;
    p.setFont(font(30, true));
    p.setPen(QColor(INK));
    p.drawText(QRect(left, top, LABEL_W + 8 * CELL_W, 50), Qt::AlignLeft | Qt::AlignVCenter, title);
    top += 56;
    p.setFont(font(15));
    for (int c = 0; c < MAP_COLUMNS; ++c)
        p.drawText(QRect(left + LABEL_W + c * CELL_W, top, CELL_W, ROW_H), Qt::AlignCenter, q(mapColumnHeader(c)));
    top += ROW_H;
    for (int row = 0; row < MAP_ROWS; ++row) {
        const int y = top + row * ROW_H;
        p.setPen(QColor(GREY));
        p.drawText(QRect(left, y, LABEL_W, ROW_H), Qt::AlignLeft | Qt::AlignVCenter, q(mapRowLabel(row)));
        for (int c = 0; c < MAP_COLUMNS; ++c) {
            const QRect cell(left + LABEL_W + c * CELL_W, y, CELL_W, ROW_H);
            if (const QRgb bg = background(row, c))
                p.fillRect(cell, QColor(bg));
            p.setPen(QColor(RULE));
            p.drawRect(cell);
            p.setPen(QColor(INK));
            p.drawText(cell, Qt::AlignCenter, q(texts[static_cast<size_t>(row * MAP_COLUMNS + c)]));
        }
    }
}

void paintFirstPage(QPainter& p, const ServiceReportData& r) {
    CPageWriter w(p);
    p.setFont(font(60, true));
    p.setPen(QColor(INK));
    p.drawText(QRect(MARGIN, MARGIN, PAGE_W - 2 * MARGIN, 80), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Raport serwisowy"));
    p.setFont(font(28));
    p.drawText(QRect(MARGIN, MARGIN, PAGE_W - 2 * MARGIN, 80), Qt::AlignRight | Qt::AlignVCenter, q(r.date));
    const int half = (PAGE_W - 2 * MARGIN - 60) / 2;
    const int top = MARGIN + 90;
    w.column(MARGIN, half, top);
    w.heading(QStringLiteral("Sterownik"));
    w.line(QStringLiteral("Identyfikator"), q(r.identity));
    w.line(QStringLiteral("Wersja"), QString::number(r.version));
    w.line(QStringLiteral("Data programowania"), q(r.programmingDate));
    w.line(QStringLiteral("Wtryskiwacze"), QString::number(r.injectors));
    QStringList features;
    for (const std::string& f : r.features)
        features << q(f);
    w.text(features.join(QStringLiteral("; ")), GREY);
    const int leftEnd = w.y();
    w.column(MARGIN + half + 60, half, top);
    w.heading(QStringLiteral("Samochód"));
    for (const ReportLine& l : r.car)
        w.line(q(l.label), q(l.value));
    const int boxesEnd = std::max(leftEnd, w.y());

    w.column(MARGIN, PAGE_W - 2 * MARGIN, boxesEnd);
    w.heading(QStringLiteral("Ustawienia (na czerwono — inne niż fabryczne)"));
    w.setLineStyle(26, 34, 55);
    if (!r.settingsRead)
        w.text(QString::fromUtf8(MSG_REPORT_NO_SETTINGS), CHANGED);
    for (const ReportLine& l : r.settings)
        w.line(q(l.label), q(l.value), l.changed,
               l.changed ? QStringLiteral("(fabr. %1)").arg(q(l.factory)) : QString());
    w.setLineStyle(28, LINE, 45);

    w.heading(QStringLiteral("Kody błędów"));
    w.text(q(r.errors).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).trimmed(), r.errorsRead ? INK : CHANGED);

    if (!r.recordingProblem.empty()) {
        w.heading(QStringLiteral("Nagranie"));
        w.text(q(r.recordingProblem), CHANGED);
    }
    if (r.haveRecording) {
        const RecordingSummary& m = r.recording;
        w.heading(QStringLiteral("Nagranie: %1").arg(q(m.path).section(QLatin1Char('/'), -1)));
        w.line(QStringLiteral("Próbki"),
               QStringLiteral("%1 (benzyna %2, LPG %3)").arg(m.samples).arg(m.petrolSamples).arg(m.lpgSamples));
        w.line(QStringLiteral("Wiersze pliku"), q(recordingStatsText(m.lines)));
        w.line(QStringLiteral("Obroty (min / średnio / maks)"), statLine(m.rpm, "obr/min", 0));
        w.line(QStringLiteral("Czas wtrysku benzyny"), statLine(m.petrolMs, "ms", 2));
        w.line(QStringLiteral("Czas wtrysku LPG"), statLine(m.lpgMs, "ms", 2));
        w.line(QStringLiteral("Temperatura reduktora"), statLine(m.heaterC, "°C", 0));
        w.line(QStringLiteral("Temperatura LPG"), statLine(m.lpgC, "°C", 0));
        w.line(QStringLiteral("Temperatura sterownika"), statLine(m.internalC, "°C", 0));
        w.text(q(checkVerdictText(r.check)),
               r.check.verdict == ECheckVerdict::Fail ? CHANGED : r.check.verdict == ECheckVerdict::Pass ? 0x207020 : GREY);
    }

    // Every part not read says so in its own place (never "Uwaga" lines apart from it).
    w.heading(q(curveTitle(r)));
    if (!r.curveRead) {
        w.text(QString::fromUtf8(MSG_REPORT_NO_CURVE), CHANGED);
        return;
    }
    const int chartTop = w.y() + 10;
    const int chartH = std::min(520, PAGE_H - MARGIN - chartTop);
    if (chartH > 200)
        paintCurve(p, QRect(MARGIN, chartTop, PAGE_W - 2 * MARGIN, chartH), r);
}

void paintSecondPage(QPainter& p, const ServiceReportData& r) {
    const QString title = r.settingsRead && !r.mapInUse ? q(mapTitle(r)) : QStringLiteral("Mapa wtrysków [%]");
    if (r.mapRead) {
        paintGrid(p, MARGIN - 40, MARGIN, title, mapTextsOfBytes(r.map), [&](int row, int column) -> QRgb {
            return r.map[static_cast<size_t>(row * MAP_COLUMNS + column)] != MAP_NO_CORRECTION ? MAP_USED : 0;
        });
    } else {
        // No grid at all: an empty or a default one would read as the controller's map.
        const QRect box(MARGIN - 40, MARGIN, PAGE_W / 2 - MARGIN, 200);
        p.setFont(font(30, true));
        p.setPen(QColor(INK));
        p.drawText(box.adjusted(0, 0, 0, -150), Qt::AlignLeft | Qt::AlignVCenter, title);
        p.setFont(font(28));
        p.setPen(QColor(CHANGED));
        p.drawText(box.adjusted(0, 56, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                   QString::fromUtf8(MSG_REPORT_NO_MAP));
    }
    const QString checkTitle = r.haveRecording ? QStringLiteral("Sprawdzenie ustawień [%]")
                                               : QStringLiteral("Sprawdzenie ustawień (brak nagrania)");
    paintGrid(p, PAGE_W / 2 + 20, MARGIN, checkTitle, checkTexts(r.check), [&](int row, int column) -> QRgb {
        switch (r.check.cells[row][column].state) {
        case ECheckCell::Pass: return CHECK_PASS;
        case ECheckCell::Fail: return CHECK_FAIL;
        case ECheckCell::TooFew: return CHECK_FEW;
        case ECheckCell::Empty: break;
        }
        return 0;
    });
    p.setFont(font(24));
    p.setPen(QColor(GREY));
    p.drawText(QRect(MARGIN, PAGE_H - MARGIN - 60, PAGE_W - 2 * MARGIN, 60), Qt::TextWordWrap,
               QStringLiteral("Sprawdzenie: różnica czasu wtrysku benzyny podczas jazdy na LPG względem jazdy na "
                              "benzynie; zielone — w tolerancji, czerwone — poza nią, żółte — za mało próbek."));
}

} // namespace

void paintReportPage(QPainter& painter, const QRect& target, const ServiceReportData& report, int page) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setViewport(target);
    painter.setWindow(0, 0, PAGE_W, PAGE_H);
    if (page == 0)
        paintFirstPage(painter, report);
    else
        paintSecondPage(painter, report);
    painter.setFont(font(22));
    painter.setPen(QColor(GREY));
    painter.drawText(QRect(MARGIN, PAGE_H - 100, PAGE_W - 2 * MARGIN, 50), Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("%1 — strona %2 z %3").arg(q(report.identity)).arg(page + 1).arg(REPORT_PAGES));
    painter.restore();
}

bool writeReportPdf(const QString& path, const ServiceReportData& report, QString& why) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setResolution(300);
        pdf.setTitle(QStringLiteral("Raport serwisowy %1").arg(q(report.identity)));
        pdf.setCreator(QStringLiteral("Zefirel"));
        QPainter p;
        if (!p.begin(&pdf)) {
            why = QStringLiteral("Nie można utworzyć pliku PDF.");
            return false;
        }
        for (int page = 0; page < REPORT_PAGES; ++page) {
            if (page > 0)
                pdf.newPage();
            paintReportPage(p, QRect(QPoint(0, 0), pdf.pageLayout().paintRectPixels(pdf.resolution()).size()), report,
                            page);
        }
        p.end();
    }
    const QByteArray& bytes = buffer.data();
    if (!writeFileAtomic(path.toStdString(), bytes.constData(), static_cast<size_t>(bytes.size()))) {
        why = QStringLiteral("Nie można zapisać pliku %1.").arg(path);
        return false;
    }
    return true;
}

QImage renderReportPage(const ServiceReportData& report, int page, int width) {
    const int height = width * PAGE_H / PAGE_W;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    paintReportPage(p, image.rect(), report, page);
    p.end();
    return image;
}

} // namespace zefirel
