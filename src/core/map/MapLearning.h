#pragma once
/// Live map learning: the injection map computed while the car is driven, one
/// polled sample at a time, with guard rails against samples that would spoil it
/// and a second pass that checks (and refines) a written map.
///
/// First pass. Every sample the guard rails let through goes into the cells of the
/// map computation (CMapComputation: 8 speed × 11 load buckets, petrol and LPG
/// counts and means); the proposed map is that computation's result, folded exactly
/// as "Utwórz mapę..." folds it. The installer drives each operating point on petrol
/// and then on LPG (the LPG part with the map off or empty, as for a recorded map
/// drive).
///
/// Guard rails. A sample is not used, and is counted under its reason, when
///  - it falls within LEARN_SETTLE_SAMPLES samples after a change of fuel (petrol ↔
///    LPG): the petrol computer's trim still follows the other fuel;
///  - the engine is in overrun cut-off: running (at least LEARN_CUTOFF_RPM 1/min)
///    with a petrol injection time below LEARN_CUTOFF_MS;
///  - the engine is in a transient: the engine speed differs by more than
///    LEARN_MAX_RPM_CHANGE 1/min, or the load (manifold vacuum) by more than
///    LEARN_MAX_LOAD_CHANGE kPa, from any of the LEARN_TRANSIENT_SPAN samples
///    before it. At the usual 20 samples a second over 14400 baud this is a change
///    faster than about 750 1/min or 16 kPa per second, so a steady cruise, slow
///    acceleration and sensor noise pass while a gear change, a throttle blip or
///    a step between operating points does not; and since the comparison reaches
///    back LEARN_TRANSIENT_SPAN samples, the half second after a step is refused too;
///  - the reducer (heater) temperature is below the controller's switch
///    temperature (the settings' switchTemperature): a cold engine runs enriched.
/// The rules are checked in that order and a sample is counted under the first
/// that refuses it; a sample that passes them but lies outside the map's range
/// (idle below 500 1/min, a petrol time outside 2..25 ms) is neither used nor
/// counted. Every rule works on the samples alone (no clock), so learning from a
/// recording replayed sample by sample gives exactly what learning live from the
/// same samples gave.
///
/// Second pass. Once a map is written (setWritten), driving on LPG compares each
/// cell's petrol time on LPG with the first pass's petrol mean of that cell (the
/// baseline): residual = (LPG-pass mean − baseline) × 100 / baseline. A cell is
/// judged as the acceptance check judges (more than ACCEPT_MIN_COUNT samples of
/// each, within the tolerance on the shown tenths). The refined correction of a
/// cell is the written map's percentage at that cell plus its residual; the refined
/// cells are folded into the written map as the first pass folds. Writing the
/// refined map (setWritten again) starts the next pass on the same baseline.
///
/// Pure and single-threaded: samples in, tables and bytes out.

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "diag/Diag.h"
#include "map/AcceptanceCheck.h"
#include "map/MapCompute.h"

namespace zefirel {

/// Samples after a change of fuel that are not used (about 2 s at 20 samples/s).
inline constexpr int LEARN_SETTLE_SAMPLES = 40;
/// The transient rule compares a sample with the one this many samples before it
/// (about half a second at 20 samples/s).
inline constexpr int LEARN_TRANSIENT_SPAN = 10;
/// Largest engine speed change (1/min) over LEARN_TRANSIENT_SPAN samples.
inline constexpr double LEARN_MAX_RPM_CHANGE = 375.0;
/// Largest load (manifold vacuum, kPa) change over LEARN_TRANSIENT_SPAN samples.
inline constexpr double LEARN_MAX_LOAD_CHANGE = 8.0;
/// Overrun cut-off: the engine turns at least this fast (1/min) ...
inline constexpr double LEARN_CUTOFF_RPM = 1200.0;
/// ... and the petrol computer injects less than this (ms).
inline constexpr double LEARN_CUTOFF_MS = 1.0;

/// Why a sample was not used.
enum class ELearnIgnore { Switch, CutOff, Transient, Cold };
inline constexpr int LEARN_IGNORE_REASONS = 4;
/// The Polish reason for the view ("Po przełączeniu paliwa", ...).
const char* learnIgnoreText(ELearnIgnore reason);
/// The reason's key in JSON output ("switch", "transient", "cold", "cutOff").
const char* learnIgnoreKey(ELearnIgnore reason);

/// The limits of the guard rails (the defaults above; the switch temperature is the
/// controller's and is set when learning starts).
struct LearnLimits {
    int settleSamples = LEARN_SETTLE_SAMPLES;
    int transientSpan = LEARN_TRANSIENT_SPAN;
    double maxRpmChange = LEARN_MAX_RPM_CHANGE;
    double maxLoadChange = LEARN_MAX_LOAD_CHANGE;
    double cutoffRpm = LEARN_CUTOFF_RPM;
    double cutoffMs = LEARN_CUTOFF_MS;
    /// °C; samples with a colder reducer are not used. Below −40: no such rule.
    double switchTemperature = -100;
};

/// The state of one speed × load cell, as the view colours it.
enum class ELearnCell {
    NoData,  ///< no sample used there
    Partial, ///< driven, but not yet more than MAP_MIN_COUNT samples of both fuels
             ///< (usually the petrol part done, the LPG part to come)
    Enough,  ///< enough of both: the cell gives its correction
    Within,  ///< second pass: judged within the acceptance check's tolerance
    Outside, ///< second pass: judged outside it
};

/// One cell for the view.
struct LearnCell {
    ELearnCell state = ELearnCell::NoData;
    int petrolCount = 0;   ///< first pass (the baseline)
    int lpgCount = 0;      ///< first pass
    int checkCount = 0;    ///< LPG samples of the current check pass (0 in the first pass)
    double petrolMean = 0; ///< ms, first pass
    double lpgMean = 0;    ///< ms, first pass
    double checkMean = 0;  ///< ms, petrol time on LPG in the current check pass
    /// Percent: the first pass's correction; in a check pass the refined one
    /// (written + residual) once the cell is judged.
    double correction = 0;
    double residual = 0;   ///< percent, check pass, judged cells only
};

/// A judged cell of a check pass.
struct LearnResidual {
    int speed = 0;       ///< speed bucket 0..7 (1000 1/min each)
    int load = 0;        ///< load bucket 0..10 (10 kPa each)
    double percent = 0;  ///< (check mean − baseline) × 100 / baseline
};

class CMapLearner {
public:
    explicit CMapLearner(const MapUnits& units = MapUnits::current(), const LearnLimits& limits = {});

    void setLimits(const LearnLimits& limits) { m_limits = limits; }
    const LearnLimits& limits() const { return m_limits; }
    void setTolerance(double percent) { m_tolerance = percent; }
    double tolerance() const { return m_tolerance; }

    /// Feeds one sample; true when it was used (counted into a cell). A sample
    /// outside the map's range is neither used nor counted as ignored.
    bool add(const CDiag& d);
    /// The sample stream broke (the line was lost): the next sample starts a new
    /// stream with no sample before it (no transient or switch is seen across the
    /// gap). The table is kept.
    void breakStream();
    /// Forgets everything learned (both passes, counters); limits stay.
    void clear();

    uint64_t ignored(ELearnIgnore reason) const { return m_ignored[static_cast<size_t>(reason)]; }
    uint64_t ignoredTotal() const;
    /// Samples counted into a cell (both passes).
    uint64_t used() const { return m_used; }

    /// 1 for the first pass, 2 and on for the check passes after each write.
    int pass() const { return m_pass; }
    bool checking() const { return m_pass > 1; }
    /// The first pass's cells, corrections and folded map (as CMapComputation gives).
    MapResult firstPass() const;
    /// The map to write: the first pass's map, or in a check pass the written map
    /// with the judged cells refined (written + residual) and folded.
    MapBytes proposal() const;
    /// The map last written (setWritten); empty (all 100) in the first pass.
    const MapBytes& written() const { return m_written; }
    /// A map was written into the controller: a check pass begins on the first
    /// pass's baseline (the check pass's own samples start from none).
    void setWritten(const MapBytes& bytes);
    /// Back to the first pass (the map from before learning was written back); the
    /// first pass's table is kept.
    void backToFirstPass();

    using LearnTable = std::array<std::array<LearnCell, LOAD_BUCKETS>, SPEED_BUCKETS>;
    /// Every cell for the view: table[speed bucket][load bucket].
    LearnTable table() const;
    /// One cell (table()[speed][load]; take table() when showing them all).
    LearnCell cell(int speed, int load) const;
    /// The judged cells of the current check pass (speed outer, load inner); empty
    /// in the first pass.
    std::vector<LearnResidual> residuals() const;
    /// Cells driven (any sample in the first pass).
    int drivenCells() const;
    /// Cells done: in the first pass those with enough of both fuels, in a check
    /// pass those judged within the tolerance.
    int doneCells() const;
    /// doneCells × 100 / the cells that can be done (driven cells in the first pass,
    /// cells with a correction in a check pass); 0 with none.
    int doneShare() const;
    /// A check pass in which every cell with a correction is judged within the tolerance.
    bool converged() const;

private:
    struct Recent {
        double rpm = 0, load = 0;
    };
    /// The guard rail that refuses the sample, or −1.
    int refusal(const CDiag& d, double rpm, double load);

    MapUnits m_units;
    LearnLimits m_limits;
    double m_tolerance = ACCEPT_DEFAULT_TOLERANCE;
    CMapComputation m_first;
    CMapComputation m_check;
    MapBytes m_written = emptyMap();
    int m_pass = 1;
    std::array<uint64_t, LEARN_IGNORE_REASONS> m_ignored{};
    uint64_t m_used = 0;
    // Stream memory for the guard rails.
    std::deque<Recent> m_recent;
    int m_lastFuel = -1;   ///< 1 petrol, 0 LPG, −1 none yet
    int m_sinceSwitch = 0; ///< samples since the last change of fuel (counts up to settleSamples)
};

} // namespace zefirel
