#pragma once
/// Diagnostic samples in engineering units: the conversions of the sample fields,
/// the live readout texts with their formats and "BRAK" rules, and the
/// normalisation of a fresh controller answer (work state, colour, the 0.2 ms rule,
/// splitting an answer that carries two measurements).
///
/// Conversions use the process-wide timer constants (link/Conversions.h). The
/// supply voltage depends on the controller's feature mask, which is passed in.

#include <cstdint>
#include <string>

#include "diag/Diag.h"

namespace zefirel {

/// Text shown instead of a value that is out of the sensor's useful range.
inline constexpr const char* READOUT_MISSING = "BRAK";
/// Readouts below these limits show READOUT_MISSING.
inline constexpr double RPM_SHOWN_FROM = 100.0;
inline constexpr double PRESSURE_SHOWN_FROM = 15.0;
inline constexpr double TEMPERATURE_SHOWN_FROM = -30.0;
/// Sub-record 0 petrol times below this many ms are taken as 0 on acquisition.
inline constexpr double MIN_PETROL_MS = 0.2;
/// Work state of a controller running on petrol (anything else counts as LPG).
inline constexpr uint8_t WORK_STATE_PETROL = 2;

// --- conversions --------------------------------------------------------------

/// Engine speed in 1/min from a period in ticks (120 × F / period); 0 for period 0.
double engineSpeed(uint16_t period);
/// The sample's engine speed from rpmPeriod.
double engineSpeed(const CDiag& d);
/// Petrol injection time of sub-record k in ms.
double petrolMs(const CDiag& d, int k = 0);
/// LPG injection time of sub-record k in ms (petrol time plus the LPG extra time).
double lpgMs(const CDiag& d, int k = 0);
/// Further injection time (auxTime) in ms.
double auxMs(const CDiag& d);
double lambdaVolts(const CDiag& d);
double supplyVolts(const CDiag& d, uint32_t featureMask);
/// Differential pressure (code 7) in kPa, never negative.
double differentialPressure(const CDiag& d);
double pressure2(const CDiag& d);
double pressure3(const CDiag& d);
double heaterTemperature(const CDiag& d);
double lpgTemperature(const CDiag& d);
double internalTemperature(const CDiag& d);

// --- readouts -----------------------------------------------------------------

std::string rpmText(const CDiag& d);          ///< "%.0f"; "BRAK" below 100 (and for period 0)
std::string petrolTimeText(const CDiag& d);   ///< "%.2f", sub-record 0
std::string lpgTimeText(const CDiag& d);      ///< "%.2f", sub-record 0
std::string pressureText(const CDiag& d);     ///< "%.1f"; "BRAK" below 15 kPa
std::string heaterTempText(const CDiag& d);   ///< "%.0f"; "BRAK" below −30 °C
std::string lpgTempText(const CDiag& d);      ///< "%.0f"; "BRAK" below −30 °C
std::string internalTempText(const CDiag& d); ///< "%.0f", always a number
std::string lambdaText(const CDiag& d);       ///< "%.1f", always a number
std::string supplyVoltageText(const CDiag& d, uint32_t featureMask); ///< "%.1f"
/// Whether the supply-voltage readout is shown: with feature 0x0800 only while the
/// work state is not petrol, otherwise always.
bool supplyVoltageVisible(const CDiag& d, uint32_t featureMask);
/// "Benzyna" for the petrol work state, "LPG" for any other.
std::string workStateText(const CDiag& d);
/// Background of the work-state field: yellow 0x00FFFF on petrol, green 0x00FF00 on LPG.
uint32_t workStateColour(const CDiag& d);

/// Every readout of the live panel for one sample.
struct DiagReadouts {
    std::string rpm, petrolTime, lpgTime, pressure, heaterTemp, lpgTemp, internalTemp, lambda,
        supplyVoltage, workState;
    uint32_t workStateColour = 0;
    bool supplyVoltageVisible = true;
};
DiagReadouts readouts(const CDiag& d, uint32_t featureMask);

// --- normalisation ------------------------------------------------------------

/// Chart colour (0x00BBGGRR) of injector 1..8; 0 for any other number.
uint32_t injectorColour(int injector);
/// Work state as stored: standard layout 4 → 2, 5 → 3; extended layout 4, 5 → 3.
uint8_t normalisedWorkState(uint8_t state, bool extendedLayout);
/// Rewrites the sample's work state under the current layout.
void normaliseWorkState(CDiag& d);
/// Colour from the injector, and the 0.2 ms rule on sub-record 0.
void normaliseSample(CDiag& d);
/// Whether sub-record 1 carries a second measurement (petrol time and period non-zero).
bool hasSecondMeasurement(const CDiag& d);
/// The second sample of a double answer: a copy of first whose sub-record 0 holds
/// sub-record 1's values. The caller numbers it.
CDiag secondMeasurement(const CDiag& first);

} // namespace zefirel
