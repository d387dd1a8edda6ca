#include "map/TimeCorrections.h"

#include <algorithm>

#include "link/LPGDevice.h"

namespace zefirel {

std::optional<double> spinTimeCorrection(double value, int step) {
    if ((value == TIME_CORRECTION_EDIT_LIMIT && step > 0) || (value == -TIME_CORRECTION_EDIT_LIMIT && step < 0))
        return std::nullopt;
    return std::clamp(value + step, -TIME_CORRECTION_EDIT_LIMIT, TIME_CORRECTION_EDIT_LIMIT);
}

TimeCorrectionCurve timeCorrections(const CSettingsBlock& blk) {
    TimeCorrectionCurve curve{};
    for (size_t i = 0; i < curve.size(); ++i) curve[i] = blk.timeCorrection(i);
    return curve;
}

void setTimeCorrections(CSettingsBlock& blk, const TimeCorrectionCurve& curve) {
    for (size_t i = 0; i < curve.size(); ++i) blk.setTimeCorrection(i, curve[i]);
}

void updateTimeCorrectionFlag(CSettingsBlock& blk) {
    const TimeCorrectionCurve curve = timeCorrections(blk);
    const bool inUse = std::any_of(curve.begin(), curve.end(), [](double v) { return v != 0; });
    const uint8_t others = blk.optionFlags() & static_cast<uint8_t>(~OPTION_FLAG_TIME_CORRECTIONS);
    blk.setValue(ESetting::optionFlags, others | (inUse ? OPTION_FLAG_TIME_CORRECTIONS : 0));
}

SettingsWriteRequest curveWriteRequest(const CLPGDevice& device, const TimeCorrectionCurve& curve, EWriteSource source) {
    SettingsWriteRequest request;
    request.wanted = device.settings();
    setTimeCorrections(request.wanted, curve);
    request.source = source;
    request.scope = EWriteScope::Curve;
    return request;
}

} // namespace zefirel
