#include "support/ChartScaleText.h"

#include <cmath>
#include <sstream>

namespace zefirel {

ChartScaleText parseChartScale(const std::string& text) {
    ChartScaleText scale;
    std::istringstream in(text);
    std::string keyword;
    auto range = [](double lo, double hi) { return std::isfinite(lo) && std::isfinite(hi) && lo < hi; };
    auto step = [](double v) { return std::isfinite(v) && v > 0; };
    while (in >> keyword) {
        double a = 0, b = 0;
        if (keyword == "XAXIS" || keyword == "YAXIS") {
            if (!(in >> a >> b))
                break;
            if (range(a, b))
                (keyword == "XAXIS" ? scale.xAxis : scale.yAxis) = ChartScaleRange{a, b};
        } else if (keyword == "XGRID" || keyword == "YGRID") {
            if (!(in >> a))
                break;
            if (step(a))
                (keyword == "XGRID" ? scale.xGrid : scale.yGrid) = a;
        }
    }
    return scale;
}

} // namespace zefirel
