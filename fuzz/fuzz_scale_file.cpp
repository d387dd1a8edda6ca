// The chart scale-file reader on any text. Property: whatever it hands the chart
// is a finite, increasing range or a finite, positive step.
#include <cmath>
#include <string>

#include "FuzzSupport.h"
#include "support/ChartScaleText.h"

using namespace zefirel;

namespace {
void requireRange(const std::optional<ChartScaleRange>& r) {
    if (r)
        fuzz::require(std::isfinite(r->min) && std::isfinite(r->max) && r->min < r->max, "ranges are increasing");
}
void requireStep(const std::optional<double>& s) {
    if (s)
        fuzz::require(std::isfinite(*s) && *s > 0, "steps are positive");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ChartScaleText scale = parseChartScale(std::string(reinterpret_cast<const char*>(data), size));
    requireRange(scale.xAxis);
    requireRange(scale.yAxis);
    requireStep(scale.xGrid);
    requireStep(scale.yGrid);
    return 0;
}
