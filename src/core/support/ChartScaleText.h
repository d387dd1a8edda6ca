#pragma once
/// The text of a chart's scale file: lines of a keyword, a tab and numbers —
/// "XAXIS" min max, "YAXIS" min max, "XGRID" step, "YGRID" step. Reading stops at the
/// first keyword whose numbers are missing or unreadable (and at the end of the
/// text); unknown words are passed over. An entry that would break the chart (a range
/// that is not finite and increasing, a step that is not finite and positive) is
/// skipped; a later valid line of the same keyword wins over an earlier one.

#include <optional>
#include <string>

namespace zefirel {

struct ChartScaleRange {
    double min = 0, max = 0;
};

/// What a scale file sets; an absent entry leaves the chart's value as it is.
struct ChartScaleText {
    std::optional<ChartScaleRange> xAxis, yAxis;
    std::optional<double> xGrid, yGrid;
};

/// Reads the text of a scale file (rules above).
ChartScaleText parseChartScale(const std::string& text);

} // namespace zefirel
