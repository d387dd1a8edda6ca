#include "link/Conversions.h"

#include <atomic>
#include <cmath>

namespace zefirel {

namespace {
// Written by the thread that reads the feature record, read by every thread
// that converts samples; a relaxed atomic is enough for a single value.
std::atomic<double> g_timerFrequency{DEFAULT_TIMER_FREQUENCY};

double roundTo(double x, double half, double scale) {
    const double s = x >= 0 ? 1.0 : -1.0;
    return std::trunc((x + s * half) * scale) / scale;
}
} // namespace

const std::array<int, 256> TEMPERATURE_TABLE = {
    209, 203, 198, 192, 187, 182, 177, 173, 168, 164, 160, 156, 152, 148, 144, 141, 138, 135, 132,
    129, 126, 123, 121, 118, 116, 114, 111, 109, 107, 106, 104, 102, 100, 99,  97,  96,  94,  93,
    92,  91,  89,  88,  87,  86,  85,  84,  83,  82,  81,  80,  79,  78,  77,  77,  76,  75,  74,
    73,  73,  72,  71,  70,  70,  69,  68,  68,  67,  66,  66,  65,  64,  64,  63,  63,  62,  61,
    61,  60,  60,  59,  59,  58,  58,  57,  57,  56,  55,  55,  54,  54,  53,  53,  53,  52,  52,
    51,  51,  50,  50,  49,  49,  48,  48,  47,  47,  47,  46,  46,  45,  45,  44,  44,  44,  43,
    43,  42,  42,  41,  41,  41,  40,  40,  39,  39,  39,  38,  38,  37,  37,  37,  36,  36,  35,
    35,  35,  34,  34,  33,  33,  33,  32,  32,  31,  31,  31,  30,  30,  30,  29,  29,  28,  28,
    28,  27,  27,  26,  26,  26,  25,  25,  24,  24,  24,  23,  23,  23,  22,  22,  21,  21,  21,
    20,  20,  19,  19,  19,  18,  18,  17,  17,  16,  16,  16,  15,  15,  14,  14,  14,  13,  13,
    12,  12,  11,  11,  10,  10,  9,   9,   9,   8,   8,   7,   7,   6,   6,   5,   5,   4,   4,
    3,   2,   2,   1,   1,   0,   0,   -1,  -2,  -2,  -3,  -3,  -4,  -5,  -5,  -6,  -7,  -7,  -8,
    -9,  -10, -10, -11, -12, -13, -14, -15, -15, -16, -17, -18, -19, -20, -21, -22, -23, -24, -25,
    -26, -27, -29, -30, -31, -32, -33, -35, -36};

void setTimerFrequency(double hz) {
    if (hz > 0 && std::isfinite(hz))
        g_timerFrequency.store(hz, std::memory_order_relaxed);
}

double tickLength() { return 1000.0 / g_timerFrequency.load(std::memory_order_relaxed); }
double rpmConstant() { return 120.0 * g_timerFrequency.load(std::memory_order_relaxed); }

uint8_t temperatureCode(double t) {
    for (int i = 0; i < 256; ++i)
        if (t >= TEMPERATURE_TABLE[i])
            return static_cast<uint8_t>(i);
    return 0;
}

double pressureKPa(double code) {
    const double p = ((adcVoltage(code) / 5.0) - 0.04) / 0.004;
    return p <= 0 ? 0.0 : p;
}

double pressureCode(double kpa) { return ((kpa * 0.004 + 0.04) * 5.0) / (5.0 / 255.0); }

double supplyVoltage(double code, uint32_t featureMask) {
    const double v = adcVoltage(code) * 6.15;
    return (featureMask & FEATURE_VOLTAGE_ON_LPG_ONLY) ? v : v + 0.7;
}

double supplyVoltageCode(double volts, uint32_t featureMask) {
    const double v = (featureMask & FEATURE_VOLTAGE_ON_LPG_ONLY) ? volts : volts - 0.7;
    return (v / 6.15) / (5.0 / 255.0);
}

double roundToInt(double x) { return std::trunc(x >= 0 ? x + 0.5 : x - 0.5); }
double round1(double x) { return roundTo(x, 0.05, 10.0); }
double round2(double x) { return roundTo(x, 0.005, 100.0); }
double round3(double x) { return roundTo(x, 0.0005, 1000.0); }
double quantizeMs(double ms) { return round3(roundToInt(ms / tickLength()) * tickLength()); }

} // namespace zefirel
