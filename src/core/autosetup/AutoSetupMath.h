#pragma once
/// The arithmetic of the automatic setup: how many samples to let the engine
/// settle after a switch, the outlier filter over the five step corrections, and
/// the number form of its log lines.

#include <cstdint>
#include <string>
#include <vector>

namespace zefirel {

/// Feature bit: the emulator's parts are switched on one after the other.
inline constexpr uint32_t FEATURE_CASCADED_EMULATORS = 0x0004;
/// petrolInjectionType bits of half sequence and non-sequence.
inline constexpr uint8_t INJECTION_HALF_SEQUENCE = 0x02;
inline constexpr uint8_t INJECTION_NON_SEQUENCE = 0x04;
/// Fewest samples waited for after a switch.
inline constexpr int MIN_SETTLE_SAMPLES = 60;
/// Default limit of the outlier filter.
inline constexpr double DEFAULT_REJECT_LIMIT = 10.0;

/// Samples to wait for after a switch: 60, or with cascaded emulators and full
/// sequence injectors × emulatorStepDelay / 4 (truncated), never less than 60.
int settleCount(uint32_t featureMask, uint8_t petrolInjectionType, int injectors, int emulatorStepDelay);

/// The result of filtering the step corrections.
struct CorrectionFilter {
    double reference = 0;     ///< R: the middle sorted correction / 5 (see filterCorrections)
    std::vector<double> kept; ///< the kept corrections, ascending
    double mean = 0;          ///< their mean, quantised to whole ticks
};

/// Sorts the corrections, takes R = middle / 5 and keeps every x for which
/// |(R − x) / R|, truncated to a whole number, is below rejectLimit; the mean of
/// the kept ones is quantised to whole ticks.
///
/// A middle of exactly 0 would make R zero and keep everything, so one large
/// first-step jump would move the mean by a fifth of itself although the other
/// steps agree that nothing is left to correct. A zero middle is therefore
/// judged as if it were one tick (tickMs): the corrections of about two ticks
/// around zero are kept and a large jump is not.
CorrectionFilter filterCorrections(std::vector<double> corrections, double rejectLimit, double tickMs);

/// A number as a default text stream writes it: at most six significant digits,
/// no trailing zeros ("3.1", "2", "-0.025").
std::string streamNumber(double v);

} // namespace zefirel
