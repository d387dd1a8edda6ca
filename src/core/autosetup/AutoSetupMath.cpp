#include "autosetup/AutoSetupMath.h"

#include <algorithm>
#include <cmath>
#include <locale>
#include <sstream>

#include "link/Conversions.h"

namespace zefirel {

int settleCount(uint32_t featureMask, uint8_t petrolInjectionType, int injectors, int emulatorStepDelay) {
    const bool fullSequence = (petrolInjectionType & (INJECTION_HALF_SEQUENCE | INJECTION_NON_SEQUENCE)) == 0;
    if (!(featureMask & FEATURE_CASCADED_EMULATORS) || !fullSequence) return MIN_SETTLE_SAMPLES;
    const int count = static_cast<int>(static_cast<double>(injectors) * emulatorStepDelay / 4.0);
    return std::max(MIN_SETTLE_SAMPLES, count);
}

CorrectionFilter filterCorrections(std::vector<double> corrections, double rejectLimit, double tickMs) {
    CorrectionFilter f;
    if (corrections.empty()) return f;
    std::sort(corrections.begin(), corrections.end());
    double middle = corrections[corrections.size() / 2];
    if (middle == 0.0) middle = tickMs;
    f.reference = middle / 5.0;
    double sum = 0;
    for (double x : corrections) {
        const double q = (f.reference - x) / f.reference;
        // A quotient that is no finite number (a zero reference) keeps the value.
        if (!std::isfinite(q) || std::fabs(std::trunc(q)) < rejectLimit) {
            f.kept.push_back(x);
            sum += x;
        }
    }
    if (!f.kept.empty()) f.mean = quantizeMs(sum / static_cast<double>(f.kept.size()));
    return f;
}

std::string streamNumber(double v) {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s << v;
    return s.str();
}

} // namespace zefirel
