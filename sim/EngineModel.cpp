#include "EngineModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zefirel::sim {

namespace {

// Warm-up: end temperatures and time constants (seconds).
constexpr double HEATER_END_C = 80, HEATER_TAU_S = 150;
/// The drive's warm-up: the reducer stays at most this warm, and warms with this
/// time constant once it is over.
constexpr double WARM_UP_MAX_C = 20, DRIVE_WARM_TAU_S = 3;
constexpr double LPG_END_C = 30, LPG_TAU_S = 300;
constexpr double INTERNAL_END_C = 45, INTERNAL_TAU_S = 400;
/// How fast the petrol computer's lambda loop corrects a wrong LPG mixture.
constexpr double TRIM_TAU_S = 0.7;
/// Fast idle of a cold engine: extra rpm at the coldest, fading out by 45 °C.
constexpr double FAST_IDLE_RPM = 450;
/// Tank drain on LPG: one per cent a minute (a demonstration, not a real car).
constexpr double TANK_DRAIN_PER_S = 0.01 / 60.0;

double relax(double x, double target, double dt, double tau) {
    return x + (target - x) * (1.0 - std::exp(-dt / tau));
}

double clamp01(double x) { return std::clamp(x, 0.0, 1.0); }

} // namespace

CEngineModel::CEngineModel(const SimConfig& cfg)
    : m_cfg(cfg), m_rng(cfg.seed), m_heaterC(cfg.ambientC), m_lpgC(cfg.ambientC),
      m_internalC(cfg.ambientC), m_basePetrolMs(cfg.petrolIdleMs) {
    // Every injector of a real engine is a little different; the seed fixes how.
    std::uniform_real_distribution<double> spread(-0.02, 0.02);
    for (double& s : m_injectorSpread)
        s = spread(m_rng);
    if (cfg.drive) {
        // The car arrives for its test drive warm, or starts cold and warms up first.
        m_heaterC = cfg.warmUpSeconds > 0 ? cfg.ambientC : HEATER_END_C;
        m_lpgC = LPG_END_C;
        m_internalC = INTERNAL_END_C;
    }
    advance(0, false, 0);
}

double CEngineModel::gauss(double sigma) {
    std::normal_distribution<double> n(0.0, sigma);
    return n(m_rng);
}

double CEngineModel::warmIdleFactor() const { return clamp01((45.0 - m_heaterC) / 30.0); }

double CEngineModel::rpm() const {
    return m_driving ? m_point.rpm : m_cfg.idleRpm + FAST_IDLE_RPM * warmIdleFactor();
}

void CEngineModel::setDrivePoint(const DrivePoint& point, double lpgNeedMs) {
    m_driving = true;
    m_point = point;
    m_lpgNeedMs = lpgNeedMs;
}

void CEngineModel::advance(double dt, bool onLpg, double lpgExtraMs) {
    dt = std::max(dt, 0.0);
    m_time += dt;
    if (m_cfg.drive && m_cfg.warmUpSeconds > 0 && m_time < m_cfg.warmUpSeconds)
        // The drive's warm-up: the reducer stays near the ambient temperature (below
        // any switch temperature) until the warm-up ends, then warms within seconds.
        m_heaterC = std::min(m_cfg.ambientC + 5.0 * m_time / m_cfg.warmUpSeconds, WARM_UP_MAX_C);
    else if (m_cfg.drive && m_cfg.warmUpSeconds > 0)
        m_heaterC = relax(m_heaterC, HEATER_END_C, dt, DRIVE_WARM_TAU_S);
    else
        m_heaterC = relax(m_heaterC, HEATER_END_C, dt, HEATER_TAU_S);
    m_lpgC = relax(m_lpgC, LPG_END_C, dt, LPG_TAU_S);
    m_internalC = relax(m_internalC, INTERNAL_END_C, dt, INTERNAL_TAU_S);

    double needMs = m_cfg.trueCorrectionMs;
    if (m_driving) {
        // The fuel trim is a fraction of the injection time: it follows a change of
        // operating point at once and only then settles to the new point's need.
        if (m_basePetrolMs > 0)
            m_trimMs *= m_point.petrolMs / m_basePetrolMs;
        m_basePetrolMs = m_point.petrolMs;
        needMs = m_lpgNeedMs;
    } else {
        // A cold engine gets a richer mixture from its petrol computer.
        const double cold = clamp01((60.0 - m_heaterC) / 45.0);
        m_basePetrolMs = m_cfg.petrolIdleMs * (1.0 + 0.35 * cold);
    }

    // On LPG the engine needs base + needMs of LPG time. The controller gives
    // (petrol time + its extra); the lambda loop moves the petrol time until the
    // two agree, within the computer's adaptation limits.
    double target = onLpg ? needMs - lpgExtraMs : 0.0;
    target = std::clamp(target, -0.6 * m_basePetrolMs, 1.0 * m_basePetrolMs);
    m_trimMs = relax(m_trimMs, target, dt, TRIM_TAU_S);
    m_trimTarget = target;
    m_onLpg = onLpg;

    if (onLpg)
        m_tank = std::max(0.02, m_tank - dt * TANK_DRAIN_PER_S);
}

EngineSnapshot CEngineModel::measure() {
    EngineSnapshot s;
    s.rpm = std::max(0.0, rpm() + gauss(6.0));
    const double mean = petrolMs();
    const int n = std::clamp<int>(m_cfg.injectors, 0, 8);
    double sum = 0;
    for (int i = 0; i < 8; ++i) {
        s.petrolMs[i] = i < n && !(m_driving && m_point.cutOff) ? std::max(0.0, mean * (1.0 + m_injectorSpread[i]) * (1.0 + gauss(0.006))) : 0.0;
        sum += s.petrolMs[i];
    }
    s.meanPetrolMs = n > 0 ? sum / n : 0.0;

    s.heaterC = m_heaterC + gauss(0.3);
    s.lpgC = m_lpgC + gauss(0.3);
    s.internalC = m_internalC + gauss(0.2);
    s.supplyV = 14.1 + gauss(0.04);

    // Closed-loop lambda swings around 0.45 V about once a second; a mixture the
    // petrol computer has not yet corrected pulls it lean (low) or rich (high).
    if (m_heaterC < 30.0) {
        s.lambdaV = 0.15 + gauss(0.02); // cold: open loop, probe not yet working
    } else {
        const double wave = 0.38 * std::sin(2.0 * std::numbers::pi * m_time / 1.1);
        const double lean = std::clamp((m_trimTarget - m_trimMs) / 0.4, -1.0, 1.0);
        s.lambdaV = 0.45 + wave - 0.3 * lean + gauss(0.03);
    }
    s.lambdaV = std::clamp(s.lambdaV, 0.02, 0.95);

    s.pressureKPa = 100.0 + (m_onLpg ? 0.0 : -2.0) + gauss(1.2);
    s.pressure2KPa = s.pressureKPa + 12.0 + gauss(0.8);
    s.manifoldKPa = (m_driving ? m_point.manifoldKPa : 33.0 + (s.rpm - m_cfg.idleRpm) * 0.005) + gauss(0.8);
    return s;
}

} // namespace zefirel::sim
