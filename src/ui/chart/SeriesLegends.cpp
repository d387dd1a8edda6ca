// The legends of the five diagnostic charts: one entry per series, in the order
// and colours in which each chart builds its series.

#include "ui/chart/SeriesCharts.h"

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
    return Entries({{CHART_GREY, "ciśnienie 2"}, {CHART_RED, "ciśn. różnicowe"}, {CHART_BLACK, "obciążenie (101 − ciśn. 3)"}});
}

std::vector<LegendEntry> CTemprLPGChart::Legend() const { return Entries({{CHART_RED, "temperatura LPG"}}); }

std::vector<LegendEntry> CLambdaChart::Legend() const { return Entries({{CHART_RED, "napięcie sondy"}}); }

} // namespace zefirel
