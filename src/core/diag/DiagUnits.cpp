#include "diag/DiagUnits.h"

#include <cstdio>

#include "link/Conversions.h"

namespace zefirel {

namespace {

std::string format(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string formatFrom(const char* fmt, double v, double shownFrom) {
    return v < shownFrom ? std::string(READOUT_MISSING) : format(fmt, v);
}

double ticksToMs(double ticks) { return ticks * tickLength(); }

} // namespace

// --- conversions --------------------------------------------------------------

double engineSpeed(uint16_t period) { return period == 0 ? 0.0 : rpmConstant() / period; }
double engineSpeed(const CDiag& d) { return engineSpeed(d.rpmPeriod()); }
double petrolMs(const CDiag& d, int k) { return ticksToMs(d.petrolTime(k)); }
double lpgMs(const CDiag& d, int k) {
    return ticksToMs(static_cast<double>(d.petrolTime(k)) + d.lpgExtraTime(k));
}
double auxMs(const CDiag& d) { return ticksToMs(d.auxTime()); }
double lambdaVolts(const CDiag& d) { return adcVoltage(d.lambdaCode()); }
double supplyVolts(const CDiag& d, uint32_t featureMask) {
    return supplyVoltage(d.supplyVoltageCode(), featureMask);
}
double differentialPressure(const CDiag& d) { return pressureKPa(d.pressureCode()); }
double pressure2(const CDiag& d) { return pressureKPa(d.pressure2Code()); }
double pressure3(const CDiag& d) { return pressureKPa(d.pressure3Code()); }
double heaterTemperature(const CDiag& d) { return temperature(d.heaterTempCode()); }
double lpgTemperature(const CDiag& d) { return temperature(d.lpgTempCode()); }
double internalTemperature(const CDiag& d) { return temperature(d.internalTempCode()); }

// --- readouts -----------------------------------------------------------------

// A period of 0 converts to 0 1/min, which is below the limit: "BRAK", no division.
std::string rpmText(const CDiag& d) { return formatFrom("%.0f", engineSpeed(d), RPM_SHOWN_FROM); }
std::string petrolTimeText(const CDiag& d) { return format("%.2f", petrolMs(d, 0)); }
std::string lpgTimeText(const CDiag& d) { return format("%.2f", lpgMs(d, 0)); }
std::string pressureText(const CDiag& d) {
    return formatFrom("%.1f", differentialPressure(d), PRESSURE_SHOWN_FROM);
}
std::string heaterTempText(const CDiag& d) {
    return formatFrom("%.0f", heaterTemperature(d), TEMPERATURE_SHOWN_FROM);
}
std::string lpgTempText(const CDiag& d) {
    return formatFrom("%.0f", lpgTemperature(d), TEMPERATURE_SHOWN_FROM);
}
std::string internalTempText(const CDiag& d) { return format("%.0f", internalTemperature(d)); }
std::string lambdaText(const CDiag& d) { return format("%.1f", lambdaVolts(d)); }
std::string supplyVoltageText(const CDiag& d, uint32_t featureMask) {
    return format("%.1f", supplyVolts(d, featureMask));
}

bool supplyVoltageVisible(const CDiag& d, uint32_t featureMask) {
    return (featureMask & FEATURE_VOLTAGE_ON_LPG_ONLY) == 0 || d.workState() != WORK_STATE_PETROL;
}

std::string workStateText(const CDiag& d) { return d.workState() == WORK_STATE_PETROL ? "Benzyna" : "LPG"; }

uint32_t workStateColour(const CDiag& d) { return d.workState() == WORK_STATE_PETROL ? 0x00FFFFu : 0x00FF00u; }

DiagReadouts readouts(const CDiag& d, uint32_t featureMask) {
    DiagReadouts r;
    r.rpm = rpmText(d);
    r.petrolTime = petrolTimeText(d);
    r.lpgTime = lpgTimeText(d);
    r.pressure = pressureText(d);
    r.heaterTemp = heaterTempText(d);
    r.lpgTemp = lpgTempText(d);
    r.internalTemp = internalTempText(d);
    r.lambda = lambdaText(d);
    r.supplyVoltage = supplyVoltageText(d, featureMask);
    r.workState = workStateText(d);
    r.workStateColour = workStateColour(d);
    r.supplyVoltageVisible = supplyVoltageVisible(d, featureMask);
    return r;
}

// --- normalisation ------------------------------------------------------------

uint32_t injectorColour(int injector) {
    static constexpr uint32_t COLOURS[8] = {0x0000FF, 0x00C0F0, 0x00FF00, 0xFF00FF,
                                            0xFFFF00, 0xC0C0FF, 0x00F0F0, 0xD000D0};
    return injector >= 1 && injector <= 8 ? COLOURS[injector - 1] : 0u;
}

uint8_t normalisedWorkState(uint8_t state, bool extendedLayout) {
    if (state == 4)
        return extendedLayout ? 3 : 2;
    if (state == 5)
        return 3;
    return state;
}

void normaliseWorkState(CDiag& d) { d.setWorkState(normalisedWorkState(d.workState(), CDiag::extendedLayout())); }

void normaliseSample(CDiag& d) {
    d.setColour(injectorColour(d.injector()));
    if (petrolMs(d, 0) < MIN_PETROL_MS)
        d.setPetrolTime(0, 0);
}

bool hasSecondMeasurement(const CDiag& d) { return d.petrolTime(1) != 0 && d.subRpmPeriod(1) != 0; }

CDiag secondMeasurement(const CDiag& first) {
    CDiag second = first;
    second.setSubRpmPeriod(0, first.subRpmPeriod(1));
    second.setPetrolTime(0, first.petrolTime(1));
    second.setLpgExtraTime(0, first.lpgExtraTime(1));
    second.setSubAuxTime(0, first.subAuxTime(1));
    return second;
}

} // namespace zefirel
