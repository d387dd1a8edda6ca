#include "DriveScenario.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace zefirel::sim {

namespace {

constexpr int MAP_COLUMNS = 8;
constexpr int MAP_ROWS = 50;

double columnRpm(int column) { return column == 0 ? 750.0 : column * 1000.0 + 500.0; }

/// The petrol computer's time at a load and speed: quadratic in the manifold
/// pressure, a little longer at high speed, then put half-way into its millisecond
/// so the injector-to-injector spread cannot move it into the next one.
double petrolTimeAt(double kpa, double rpm) {
    const double fill = kpa / 100.0;
    const double t = 2.2 + 17.0 * fill * fill + 0.2 * rpm / 1000.0;
    return std::floor(t) + 0.5;
}

} // namespace

CDriveScenario::CDriveScenario(const SimConfig& cfg)
    : m_dwell(cfg.dwellSeconds > 0 ? cfg.dwellSeconds : DWELL_SECONDS),
      m_transition(std::clamp(cfg.transitionSeconds, 0.0, m_dwell / 2)) {
    if (cfg.trueMap.size() == MAP_CELLS)
        std::copy(cfg.trueMap.begin(), cfg.trueMap.end(), m_hidden.begin());
    else
        m_hidden = seededMap(cfg.seed);
    for (int column = 0; column < SPEED_STEPS; ++column) {
        for (int i = 0; i < LOAD_STEPS; ++i) {
            const int step = column % 2 == 0 ? i : LOAD_STEPS - 1 - i;
            const double kpa = 96.0 - 10.0 * step;
            const double rpm = columnRpm(column);
            m_points.push_back(DrivePoint{rpm, petrolTimeAt(kpa, rpm), kpa});
        }
    }
    m_lap = m_points;
    m_lap.insert(m_lap.end(), m_points.rbegin(), m_points.rend());
}

DrivePoint CDriveScenario::at(double seconds) const {
    const double lap = std::fmod(std::max(seconds, 0.0), lapSeconds());
    const size_t i = std::min(m_lap.size() - 1, static_cast<size_t>(lap / m_dwell));
    const double into = lap - static_cast<double>(i) * m_dwell;
    if (into >= m_transition)
        return m_lap[i];
    const DrivePoint& from = m_lap[i == 0 ? m_lap.size() - 1 : i - 1];
    const DrivePoint& to = m_lap[i];
    const double f = into / m_transition;
    DrivePoint p;
    p.rpm = from.rpm + (to.rpm - from.rpm) * f;
    p.petrolMs = from.petrolMs + (to.petrolMs - from.petrolMs) * f;
    p.manifoldKPa = from.manifoldKPa + (to.manifoldKPa - from.manifoldKPa) * f;
    p.cutOff = to.manifoldKPa < from.manifoldKPa;
    return p;
}

double CDriveScenario::hiddenPercent(double petrolMs, double rpm) const {
    const int row = std::clamp(static_cast<int>(petrolMs / 0.5), 0, MAP_ROWS - 1);
    const int column = std::clamp(static_cast<int>(rpm / 1000.0), 0, MAP_COLUMNS - 1);
    return m_hidden[static_cast<size_t>(row * MAP_COLUMNS + column)] - 100.0;
}

CDriveScenario::HiddenMap CDriveScenario::seededMap(uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> base(2, 8), slope(-6, 6), wave(0, 4), phase(0, 6.28);
    const double a = base(rng), b = slope(rng), c = slope(rng), d = wave(rng), p = phase(rng);
    HiddenMap m{};
    for (int row = 0; row < MAP_ROWS; ++row) {
        const int k = row / 2;
        for (int column = 0; column < MAP_COLUMNS; ++column) {
            const double h = a + b * (k - 12) / 12.0 + c * (column - 3.5) / 3.5 + d * std::sin(0.5 * k + 0.8 * column + p);
            m[static_cast<size_t>(row * MAP_COLUMNS + column)] =
                static_cast<uint8_t>(100 + std::clamp(std::lround(h), -30L, 40L));
        }
    }
    return m;
}

} // namespace zefirel::sim
