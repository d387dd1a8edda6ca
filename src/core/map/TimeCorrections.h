#pragma once
/// The injection time correction curve: 25 corrections in percent, one per whole
/// millisecond of petrol injection time (0 .. 24 ms). The rules shared by the time
/// correction view and the command line: the one-step edit within ±25 %, the
/// curve's in-use flag, and writing the curve together with that flag.

#include <array>
#include <optional>
#include <string>

#include "link/SettingsBlock.h"
#include "link/SettingsWrite.h"

namespace zefirel {

class CLPGDevice;

inline constexpr size_t TIME_CORRECTION_POINTS = block::TIME_CORRECTION_COUNT;
using TimeCorrectionCurve = std::array<double, TIME_CORRECTION_POINTS>;

/// The edit limit of a point: an edit keeps it within −25 .. +25 %.
inline constexpr double TIME_CORRECTION_EDIT_LIMIT = 25.0;
/// What the controller's table can hold: byte 0 .. 255 is −100 .. +155 %.
inline constexpr double TIME_CORRECTION_MIN = -100.0;
inline constexpr double TIME_CORRECTION_MAX = 155.0;
/// Bit of optionFlags that switches the curve on.
inline constexpr uint8_t OPTION_FLAG_TIME_CORRECTIONS = OPTION_CURVE_IN_USE;

/// One spin step of a point (step +1 raises, −1 lowers it). A point exactly at the
/// limit in the step's direction does not change: nullopt (nothing happens).
/// Otherwise the value moves by the step and is then held within ±25, so a value
/// read from the controller beyond the limit comes back to it.
std::optional<double> spinTimeCorrection(double value, int step);

TimeCorrectionCurve timeCorrections(const CSettingsBlock& blk);
void setTimeCorrections(CSettingsBlock& blk, const TimeCorrectionCurve& curve);

/// Clears the in-use bit of optionFlags and sets it again when any of the 25
/// corrections is not zero; the other bits stay.
void updateTimeCorrectionFlag(CSettingsBlock& blk);

/// The request that writes a curve through the one write path: the table first,
/// then the record with the in-use bit set by the curve; every other value is the
/// controller's own, the remarks and car texts the document's.
SettingsWriteRequest curveWriteRequest(const CLPGDevice& device, const TimeCorrectionCurve& curve, EWriteSource source);

} // namespace zefirel
