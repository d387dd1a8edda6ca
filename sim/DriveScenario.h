#pragma once
/// CDriveScenario: a test drive for the injection map. The car goes round a lap of
/// operating points, one per speed column (750 rpm, then 1500 .. 7500 rpm) and load
/// step (manifold pressure 96 kPa down to 16 kPa in steps of 10 kPa), holding each
/// for DWELL_SECONDS of model time (or the configured dwell), in a snake order so neighbouring points differ
/// by one step, and then back the same way (no jump from the last point to the
/// first, which the fuel trim would carry into the next point). Each point has its
/// own petrol injection time, 2.5 to 19.5 ms, half-way between two whole
/// milliseconds, so an LPG time up to a quarter longer stays within the map. On LPG the car needs the controller's main correction plus
/// a hidden map's percentage of the petrol time; a recording of a petrol lap and an
/// LPG lap lets the map computation find that hidden map again.

#include <array>
#include <cstdint>
#include <vector>

#include "SimConfig.h"

namespace zefirel::sim {

/// Where the drive is at one moment.
struct DrivePoint {
    double rpm = 0;
    double petrolMs = 0;    ///< the petrol computer's time without trim
    double manifoldKPa = 0;
    /// Overrun cut-off: the petrol computer injects nothing (its time is kept for
    /// when it injects again).
    bool cutOff = false;
};

class CDriveScenario {
public:
    static constexpr double DWELL_SECONDS = 4.0;
    static constexpr int LOAD_STEPS = 9;
    static constexpr int SPEED_STEPS = 8;
    static constexpr size_t MAP_CELLS = 400;
    using HiddenMap = std::array<uint8_t, MAP_CELLS>;

    /// The hidden map is cfg.trueMap when it holds 400 bytes, else seeded from cfg.seed.
    explicit CDriveScenario(const SimConfig& cfg);

    /// The operating point at a model time (laps repeat). Over the first
    /// transition seconds of a point the car moves there from the point before
    /// (engine speed, load and petrol time in a straight line); when the load falls,
    /// the petrol computer cuts off meanwhile.
    DrivePoint at(double seconds) const;
    double lapSeconds() const { return m_dwell * static_cast<double>(m_lap.size()); }
    double dwellSeconds() const { return m_dwell; }
    /// Every operating point once.
    const std::vector<DrivePoint>& points() const { return m_points; }

    /// The hidden map's correction (percent) at a petrol time and engine speed.
    double hiddenPercent(double petrolMs, double rpm) const;
    const HiddenMap& hiddenMap() const { return m_hidden; }
    /// A smooth map of corrections between about −15 and +25 %, the same in rows 2k
    /// and 2k + 1, drawn from the seed.
    static HiddenMap seededMap(uint64_t seed);

private:
    std::vector<DrivePoint> m_points;
    std::vector<DrivePoint> m_lap; ///< the points there and back
    double m_dwell = DWELL_SECONDS; ///< seconds at each point
    double m_transition = 0;        ///< seconds
    HiddenMap m_hidden{};
};

} // namespace zefirel::sim
