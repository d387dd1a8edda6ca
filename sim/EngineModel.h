#pragma once
/// CEngineModel: the idling car around the virtual controller. It keeps the
/// physical state (engine speed, temperatures, the petrol computer's injection
/// time and its fuel trim, lambda, pressures, supply voltage, tank level) and
/// moves it forward in model time. The controller decides whether the engine runs
/// on LPG and how long its LPG injectors open; the model answers with what the
/// car's own petrol computer does about it.

#include <array>
#include <cstdint>
#include <random>

#include "DriveScenario.h"
#include "SimConfig.h"

namespace zefirel::sim {

/// One measurement of the running engine, in engineering units.
struct EngineSnapshot {
    double rpm = 0;
    double petrolMs[8] = {};   ///< petrol computer's time for injectors 1..8
    double meanPetrolMs = 0;   ///< mean over the fitted injectors
    double heaterC = 0;        ///< reducer (heater) temperature
    double lpgC = 0;           ///< LPG temperature
    double internalC = 0;      ///< controller's internal temperature
    double supplyV = 0;
    double lambdaV = 0;
    double pressureKPa = 0;    ///< differential (reducer) pressure
    double pressure2KPa = 0;   ///< reducer absolute pressure
    double manifoldKPa = 0;    ///< manifold absolute pressure
};

class CEngineModel {
public:
    /// Changes the LPG time the car needs above the petrol time at idle (ms), as a
    /// car whose reducer or injectors drift would.
    void setTrueCorrection(double ms) { m_cfg.trueCorrectionMs = ms; }
    explicit CEngineModel(const SimConfig& cfg);

    /// Moves the model on by dt seconds. onLpg: the engine burns LPG; lpgExtraMs:
    /// mean LPG time the controller adds to the petrol time, at the current
    /// petrol time (it only matters on LPG).
    void advance(double dt, bool onLpg, double lpgExtraMs);

    /// On the test drive: the operating point the engine is held at from the next
    /// advance, and the LPG time the car needs above its petrol time there (ms).
    void setDrivePoint(const DrivePoint& point, double lpgNeedMs);

    /// A noisy measurement of the current state.
    EngineSnapshot measure();

    /// Model time since power-on, seconds.
    double time() const { return m_time; }
    /// Petrol computer's mean time without noise (ms).
    double petrolMs() const { return m_basePetrolMs + m_trimMs; }
    /// The trim the petrol computer has added because of the LPG mixture (ms).
    double trimMs() const { return m_trimMs; }
    double rpm() const;
    double heaterC() const { return m_heaterC; }
    /// Tank filling 0..1, falling slowly while the engine burns LPG.
    double tankLevel() const { return m_tank; }

private:
    double gauss(double sigma);
    double warmIdleFactor() const;

    SimConfig m_cfg;
    std::mt19937_64 m_rng;
    double m_time = 0;
    double m_heaterC, m_lpgC, m_internalC;
    double m_basePetrolMs;
    double m_trimMs = 0;
    double m_trimTarget = 0;
    bool m_onLpg = false;
    double m_tank = 0.8;
    std::array<double, 8> m_injectorSpread{}; ///< fixed per-injector deviation (fraction)
    bool m_driving = false;
    DrivePoint m_point;
    double m_lpgNeedMs = 0;
};

} // namespace zefirel::sim
