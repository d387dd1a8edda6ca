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
constexpr QRgb INK = 0x202020, GREY = 0x707070, RULE = 0xB0B0B0, CHANGED = 0xB00000, GOOD = 0x207020;
constexpr QRgb GOOD_BAND = 0xE3F4E0, BAD_BAND = 0xFBE3E1, NEUTRAL_BAND = 0xEEEEEE;
/// Text sizes of the charts and grids: as large as the text beside them.
constexpr int CHART_LABEL = 30, GRID_TEXT = 26;
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

/// A part that could not be read, said in its place.
bool isProblem(const ServiceReportData& r, const std::string& line) {
    for (const char* missing : {MSG_REPORT_NO_VERSION, MSG_REPORT_NO_SETTINGS, MSG_REPORT_NO_CURVE, MSG_REPORT_NO_MAP,
                                MSG_REPORT_NO_ERRORS})
        if (line == missing)
            return true;
    return std::find(r.problems.begin(), r.problems.end(), line) != r.problems.end();
}

/// The time-correction curve with its axes named; labels as large as the text beside it.
void paintCurve(QPainter& p, const QRect& box, const ServiceReportData& r) {
    p.setPen(QColor(RULE));
    p.drawRect(box);
    const auto [lo, hi] = std::minmax_element(r.curve.begin(), r.curve.end());
    const double top = std::max(10.0, std::ceil(*hi / 10.0) * 10.0);
    const double bottom = std::min(-10.0, std::floor(*lo / 10.0) * 10.0);
    constexpr int LEFT = 110, RIGHT = 30, TOP = 100, BOTTOM = 110;
    const auto x = [&](double ms) { return box.left() + LEFT + (box.width() - LEFT - RIGHT) * ms / 24.0; };
    const auto y = [&](double pct) {
        return box.bottom() - BOTTOM - (box.height() - TOP - BOTTOM) * (pct - bottom) / (top - bottom);
    };
    p.setFont(font(CHART_LABEL));
    p.setPen(QColor(GREY));
    p.drawText(QRect(box.left() + 10, box.top() + 8, box.width() - 20, 44), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Poprawka [%]"));
    p.drawText(QRect(box.left(), box.bottom() - 56, box.width(), 50), Qt::AlignCenter,
               QStringLiteral("Czas wtrysku benzyny [ms]"));
    for (double v = bottom; v <= top + 1e-9; v += 10) {
        p.setPen(QColor(v == 0 ? GREY : RULE));
        p.drawLine(QPointF(x(0), y(v)), QPointF(x(24), y(v)));
        p.setPen(QColor(GREY));
        p.drawText(QRectF(box.left() + 4, y(v) - 20, LEFT - 16, 40), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("%1").arg(v, 0, 'f', 0));
    }
    for (int ms = 0; ms <= 24; ms += 2)
        p.drawText(QRectF(x(ms) - 40, box.bottom() - BOTTOM + 6, 80, 44), Qt::AlignCenter, QString::number(ms));
    QPainterPath path;
    for (size_t i = 0; i < r.curve.size(); ++i) {
        const QPointF pt(x(static_cast<double>(i)), y(r.curve[i]));
        i == 0 ? path.moveTo(pt) : path.lineTo(pt);
    }
    p.setPen(QPen(QColor(r.curveInUse ? 0x0050C0 : GREY), 5));
    p.drawPath(path);
}

/// A cell's text without its "%" (the grid's title gives the unit), in a font
/// that fits the cell.
void cellText(QPainter& p, const QRect& cell, const QString& text, int size) {
    QString shown = text;
    shown.remove(QLatin1Char('%'));
    shown = shown.simplified();
    QFont f = font(size);
    for (; f.pixelSize() > 14; f.setPixelSize(f.pixelSize() - 2)) {
        p.setFont(f);
        if (p.fontMetrics().horizontalAdvance(shown) <= cell.width() - 6)
            break;
    }
    p.setFont(f);
    p.drawText(cell, Qt::AlignCenter, shown);
}

/// One side of the grid page: a title and 8 speed columns over the given rows.
struct GridSide {
    QString title;
    int left;
    /// Empty when the side has no cells to show, else the text of (row, column).
    std::function<QString(int row, int column)> text;
    std::function<QRgb(int row, int column)> background;
    QString missing;  ///< stands under the title instead of the cells
    QRgb missingColour = GREY;
};

void paintGridPage(QPainter& p, const ServiceReportData& r) {
    const std::vector<int> rows = reportGridRows(r);
    constexpr int LEFT = MARGIN - 40, LABEL_W = 170, GAP = 40, TITLE_H = 60, HEADER_H = 70;
    const int cellW = (PAGE_W - 2 * LEFT - LABEL_W - GAP) / (2 * MAP_COLUMNS);
    const int top = MARGIN, headerTop = top + TITLE_H, rowsTop = headerTop + HEADER_H;
    const int rowsRoom = PAGE_H - 260 - rowsTop;
    const int rowH = rows.empty() ? 0 : std::clamp(rowsRoom / static_cast<int>(rows.size()), 30, 64);
    const int textSize = std::min(GRID_TEXT, rowH * 6 / 10);

    GridSide map{r.settingsRead && !r.mapInUse ? q(mapTitle(r)) + QStringLiteral(" [%]") : QStringLiteral("Mapa wtrysków [%]"),
                 LEFT + LABEL_W, {}, {}, {}};
    if (r.mapRead) {
        const MapTexts texts = mapTextsOfBytes(r.map);
        map.text = [texts](int row, int column) { return q(texts[static_cast<size_t>(row * MAP_COLUMNS + column)]); };
        map.background = [&r](int row, int column) -> QRgb {
            return r.map[static_cast<size_t>(row * MAP_COLUMNS + column)] != MAP_NO_CORRECTION ? MAP_USED : 0;
        };
    } else {
        // No grid at all: an empty or a default one would read as the controller's map.
        map.missing = QString::fromUtf8(MSG_REPORT_NO_MAP);
        map.missingColour = CHANGED;
    }
    GridSide check{QStringLiteral("Sprawdzenie ustawień [%]"), LEFT + LABEL_W + MAP_COLUMNS * cellW + GAP, {}, {}, {}};
    if (r.haveRecording) {
        const MapTexts texts = checkTexts(r.check);
        check.text = [texts](int row, int column) { return q(texts[static_cast<size_t>(row * MAP_COLUMNS + column)]); };
        check.background = [&r](int row, int column) -> QRgb {
            switch (r.check.cells[row][column].state) {
            case ECheckCell::Pass: return CHECK_PASS;
            case ECheckCell::Fail: return CHECK_FAIL;
            case ECheckCell::TooFew: return CHECK_FEW;
            case ECheckCell::Empty: break;
            }
            return 0;
        };
    } else {
        check.missing = QStringLiteral("Do raportu nie wybrano nagrania jazdy.");
    }

    // Row labels: the petrol injection time; the rows between shown ones are left out.
    p.setFont(font(GRID_TEXT, true));
    p.setPen(QColor(INK));
    p.drawText(QRect(LEFT, headerTop, LABEL_W, HEADER_H), Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("ms"));
    for (size_t i = 0; i < rows.size(); ++i) {
        p.setFont(font(textSize));
        p.setPen(QColor(GREY));
        p.drawText(QRect(LEFT, rowsTop + static_cast<int>(i) * rowH, LABEL_W, rowH), Qt::AlignLeft | Qt::AlignVCenter,
                   q(mapRowLabel(rows[i])));
    }
    for (const GridSide* side : {&map, &check}) {
        const int width = MAP_COLUMNS * cellW;
        p.setFont(font(30, true));
        p.setPen(QColor(INK));
        p.drawText(QRect(side->left, top, width, TITLE_H - 6), Qt::AlignLeft | Qt::AlignVCenter, side->title);
        if (!side->text) {
            p.setFont(font(28));
            p.setPen(QColor(side->missingColour));
            p.drawText(QRect(side->left, headerTop, width, 200), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                       side->missing);
            continue;
        }
        // Two-line speed headers ("7000–" over "8000") keep the font as large as the cells'.
        p.setFont(font(22));
        for (int c = 0; c < MAP_COLUMNS; ++c)
            p.drawText(QRect(side->left + c * cellW, headerTop, cellW, HEADER_H), Qt::AlignCenter,
                       QStringLiteral("%1–\n%2").arg(c * 1000).arg((c + 1) * 1000));
        for (size_t i = 0; i < rows.size(); ++i) {
            const int y = rowsTop + static_cast<int>(i) * rowH;
            for (int c = 0; c < MAP_COLUMNS; ++c) {
                const QRect cell(side->left + c * cellW, y, cellW, rowH);
                if (const QRgb bg = side->background(rows[i], c))
                    p.fillRect(cell, QColor(bg));
                p.setPen(QColor(RULE));
                p.drawRect(cell);
                p.setPen(QColor(INK));
                cellText(p, cell, side->text(rows[i], c), textSize);
            }
            // A heavier line where rows were left out.
            if (i > 0 && rows[i] != rows[i - 1] + 1) {
                p.setPen(QPen(QColor(GREY), 4));
                p.drawLine(side->left, y, side->left + width, y);
            }
        }
    }
    const int legendTop = rows.empty() ? headerTop + 240 : rowsTop + static_cast<int>(rows.size()) * rowH + 30;
    p.setFont(font(26));
    p.setPen(QColor(GREY));
    QString legend;
    if (rows.empty())
        legend = QStringLiteral("Mapa nie ma poprawek i nie ma przejechanych punktów pracy do pokazania.");
    else
        legend = QStringLiteral("Pokazano tylko wiersze (czasy wtrysku benzyny), w których mapa ma poprawkę albo "
                                "samochód jechał; pozostałe pominięto, a w miejscu przerwy stoi gruba linia.");
    if (r.haveRecording)
        legend += QStringLiteral(" Sprawdzenie: różnica czasu wtrysku benzyny podczas jazdy na LPG względem jazdy na "
                                 "benzynie; zielone — w tolerancji, czerwone (!) — poza nią, żółte — za mało próbek.");
    p.drawText(QRect(MARGIN, legendTop, PAGE_W - 2 * MARGIN, 200), Qt::TextWordWrap, legend);
}

/// Page 1: what the customer reads — the verdict, the controller and the car, what
/// was done and the main findings.
void paintSummaryPage(QPainter& p, const ServiceReportData& r) {
    const ReportSummary summary = summariseReport(r);
    CPageWriter w(p);
    p.setFont(font(60, true));
    p.setPen(QColor(INK));
    p.drawText(QRect(MARGIN, MARGIN, PAGE_W - 2 * MARGIN, 80), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Raport serwisowy"));
    p.setFont(font(28));
    p.drawText(QRect(MARGIN, MARGIN, PAGE_W - 2 * MARGIN, 80), Qt::AlignRight | Qt::AlignVCenter, q(r.date));

    // The verdict in a band of its colour.
    const QRgb tone = summary.verdict.tone == EReportTone::Good  ? GOOD
                      : summary.verdict.tone == EReportTone::Bad ? CHANGED
                                                                 : INK;
    const QRgb band = summary.verdict.tone == EReportTone::Good  ? GOOD_BAND
                      : summary.verdict.tone == EReportTone::Bad ? BAD_BAND
                                                                 : NEUTRAL_BAND;
    const QRect verdictBox(MARGIN, MARGIN + 110, PAGE_W - 2 * MARGIN, 230);
    p.fillRect(verdictBox, QColor(band));
    p.fillRect(QRect(verdictBox.topLeft(), QSize(16, verdictBox.height())), QColor(tone));
    p.setFont(font(52, true));
    p.setPen(QColor(tone));
    p.drawText(verdictBox.adjusted(50, 20, -30, -130), Qt::AlignLeft | Qt::AlignVCenter, q(summary.verdict.headline));
    p.setFont(font(30));
    p.setPen(QColor(INK));
    p.drawText(verdictBox.adjusted(50, 110, -30, -10), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               q(summary.verdict.reason));

    const int half = (PAGE_W - 2 * MARGIN - 60) / 2;
    const int top = verdictBox.bottom() + 30;
    w.column(MARGIN, half, top);
    w.heading(QStringLiteral("Sterownik"));
    w.line(QStringLiteral("Identyfikator"), q(r.identity));
    w.line(QStringLiteral("Wersja"), QString::number(r.version));
    w.line(QStringLiteral("Data programowania"), q(r.programmingDate));
    w.line(QStringLiteral("Wtryskiwacze"), QString::number(r.injectors));
    const int leftEnd = w.y();
    w.column(MARGIN + half + 60, half, top);
    w.heading(QStringLiteral("Samochód"));
    // The car's labels are the long ones ("Zamontowane wtryskiwacze") and its values short.
    w.setLineStyle(28, LINE, 58);
    for (const ReportLine& l : r.car)
        w.line(q(l.label), q(l.value));
    w.setLineStyle(28, LINE, 45);
    w.column(MARGIN, PAGE_W - 2 * MARGIN, std::max(leftEnd, w.y()));

    // Lines that need attention are red: settings changed from the factory's,
    // parts not read, error codes and operating points out of tolerance.
    const auto attention = [&r](const std::string& line) {
        return line.rfind("• ", 0) == 0 || line.rfind("Błąd: ", 0) == 0 || line.rfind("Poza tolerancją przy", 0) == 0 ||
               isProblem(r, line);
    };
    w.heading(QStringLiteral("Wykonane prace"));
    for (const std::string& line : summary.workDone)
        w.text(q(line), attention(line) ? CHANGED : INK);
    w.heading(QStringLiteral("Najważniejsze wyniki"));
    for (const std::string& line : summary.findings)
        w.text(q(line), attention(line) ? CHANGED : INK);

    // Room for the workshop's stamp and signature, and where the details are.
    const int signTop = std::max(w.y() + 60, PAGE_H - 420);
    p.setPen(QColor(RULE));
    p.drawLine(MARGIN, signTop + 90, MARGIN + half, signTop + 90);
    p.drawLine(MARGIN + half + 60, signTop + 90, PAGE_W - MARGIN, signTop + 90);
    p.setFont(font(24));
    p.setPen(QColor(GREY));
    p.drawText(QRect(MARGIN, signTop + 96, half, 40), Qt::AlignLeft, QStringLiteral("Pieczęć i podpis warsztatu"));
    p.drawText(QRect(MARGIN + half + 60, signTop + 96, half, 40), Qt::AlignLeft, QStringLiteral("Podpis klienta"));
    p.drawText(QRect(MARGIN, signTop + 160, PAGE_W - 2 * MARGIN, 80), Qt::TextWordWrap,
               QStringLiteral("Szczegóły: strona 2 — funkcje sterownika, wszystkie ustawienia, kody błędów, nagranie i krzywa "
                              "korekcji czasu wtrysku; strona 3 — mapa wtrysków i sprawdzenie ustawień."));
}

/// Page 2: the features, every setting, the error codes, the recording and the curve.
void paintDetailPage(QPainter& p, const ServiceReportData& r) {
    CPageWriter w(p);
    w.column(MARGIN, PAGE_W - 2 * MARGIN, MARGIN - LINE / 2);
    w.heading(QStringLiteral("Funkcje sterownika"));
    QStringList features;
    for (const std::string& f : r.features)
        features << q(f);
    w.text(features.isEmpty() ? QStringLiteral("—") : features.join(QStringLiteral("; ")), GREY);

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
               r.check.verdict == ECheckVerdict::Fail ? CHANGED : r.check.verdict == ECheckVerdict::Pass ? GOOD : GREY);
    }

    // Every part not read says so in its own place (never "Uwaga" lines apart from it).
    w.heading(q(curveTitle(r)));
    if (!r.curveRead) {
        w.text(QString::fromUtf8(MSG_REPORT_NO_CURVE), CHANGED);
        return;
    }
    const int chartTop = w.y() + 10;
    const int chartH = std::min(700, PAGE_H - 140 - chartTop);
    if (chartH > 250)
        paintCurve(p, QRect(MARGIN, chartTop, PAGE_W - 2 * MARGIN, chartH), r);
}

} // namespace

void paintReportPage(QPainter& painter, const QRect& target, const ServiceReportData& report, int page) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setViewport(target);
    painter.setWindow(0, 0, PAGE_W, PAGE_H);
    switch (page) {
    case 0: paintSummaryPage(painter, report); break;
    case 1: paintDetailPage(painter, report); break;
    default: paintGridPage(painter, report); break;
    }
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
