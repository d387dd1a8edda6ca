// The legends and units of the five diagnostic charts: one entry per series, in
// the order and colours in which each chart builds its series; and the legend of
// what a window shows, which names the series hidden under another.

#include "ui/chart/SeriesCharts.h"
#include "ui/chart/SeriesMapper.h"

namespace zefirel {

namespace {

std::vector<LegendEntry> Entries(std::initializer_list<std::pair<uint32_t, const char*>> list) {
    std::vector<LegendEntry> out;
    for (const auto& [colour, text] : list) out.push_back({colour, QString::fromUtf8(text)});
    return out;
}

} // namespace

std::vector<LegendEntry> CRPMChart::Legend() const {
    return Entries({{CHART_RED, "obroty na LPG"}, {CHART_GREEN, "obroty na benzynie"}, {CHART_BLUE, "obroty średnie"}});
}

std::vector<LegendEntry> CTimeChart::Legend() const {
    return Entries({{CHART_GREY, "czas dodatkowy"},
                    {CHART_GREEN, "benzyna (jazda na benzynie)"},
                    {CHART_RED, "benzyna (jazda na LPG)"},
                    {CHART_BLUE, "LPG"}});
}

std::vector<LegendEntry> CPressureChart::Legend() const {
    // The two pressures are charted for samples taken on LPG only.
    return Entries({{CHART_GREY, "ciśnienie 2 (na LPG)"},
                    {CHART_RED, "ciśn. różnicowe (na LPG)"},
                    {CHART_BLACK, "obciążenie (101 − ciśn. 3)"}});
}

std::vector<LegendEntry> CTemprLPGChart::Legend() const { return Entries({{CHART_RED, "temperatura LPG"}}); }

std::vector<LegendEntry> CLambdaChart::Legend() const { return Entries({{CHART_RED, "napięcie sondy"}}); }

QString CRPMChart::Unit() const { return QString::fromUtf8("obr/min"); }
QString CTimeChart::Unit() const { return QString::fromUtf8("ms"); }
QString CPressureChart::Unit() const { return QString::fromUtf8("kPa"); }
QString CTemprLPGChart::Unit() const { return QString::fromUtf8("°C"); }
QString CLambdaChart::Unit() const { return QString::fromUtf8("V"); }

std::vector<LegendEntry> CSeriesChart::ShownSeriesLegend() const {
    std::vector<LegendEntry> entries = Legend();
    if (entries.size() != m_series.size()) return entries;
    const Mapper map(*this);
    const double yLo = YMin(), yHi = YMax();
    auto shown = [&](const ChartPoint& p) { return p.y >= yLo && p.y <= yHi; };
    // Series are drawn in list order, so a later one paints over an earlier one. An
    // earlier series of which every point shown has a point of the later one at the
    // same sample, at most a pixel row away, cannot be seen.
    auto covers = [&](const ChartSeries& under, const ChartSeries& over) {
        if (!under.sortedByX || !over.sortedByX) return false;
        const auto [from, to] = VisibleSpan(under);
        auto [j, end] = VisibleSpan(over);
        size_t seen = 0;
        for (size_t i = from; i < to; ++i) {
            const ChartPoint& p = under.points[i];
            if (!shown(p)) continue;
            ++seen;
            while (j < end && over.points[j].x < p.x) ++j;
            bool hit = false;
            for (size_t k = j; k < end && over.points[k].x == p.x && !hit; ++k)
                hit = shown(over.points[k]) && std::abs(map.y(over.points[k].y) - map.y(p.y)) <= 1;
            if (!hit) return false;
        }
        return seen > 0;
    };
    for (size_t i = 0; i < m_series.size(); ++i)
        for (size_t j = m_series.size(); j-- > i + 1;)
            if (covers(m_series[i], m_series[j])) {
                entries[i].text = QStringLiteral("%1 (leży pod: %2)").arg(entries[i].text, entries[j].text);
                break;
            }
    return entries;
}

} // namespace zefirel
