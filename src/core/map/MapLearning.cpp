#include "map/MapLearning.h"

#include <algorithm>
#include <cmath>

#include "diag/DiagUnits.h"

namespace zefirel {

namespace {

/// Below this the switch temperature rule is off (the sensor's scale starts at −40 °C).
constexpr double NO_TEMPERATURE_RULE = -40.0;

bool enoughOfBoth(const MapCell& c) { return c.petrolCount > MAP_MIN_COUNT && c.lpgCount > MAP_MIN_COUNT; }

} // namespace

const char* learnIgnoreText(ELearnIgnore reason) {
    switch (reason) {
    case ELearnIgnore::Switch: return "Tuż po przełączeniu paliwa";
    case ELearnIgnore::Transient: return "Zmiana obrotów lub obciążenia";
    case ELearnIgnore::Cold: return "Silnik poniżej temperatury przełączenia";
    case ELearnIgnore::CutOff: return "Odcięcie wtrysku (hamowanie silnikiem)";
    }
    return "";
}

const char* learnIgnoreKey(ELearnIgnore reason) {
    switch (reason) {
    case ELearnIgnore::Switch: return "switch";
    case ELearnIgnore::Transient: return "transient";
    case ELearnIgnore::Cold: return "cold";
    case ELearnIgnore::CutOff: return "cutOff";
    }
    return "";
}

CMapLearner::CMapLearner(const MapUnits& units, const LearnLimits& limits)
    : m_units(units), m_limits(limits), m_first(units), m_check(units), m_sinceSwitch(limits.settleSamples) {}

void CMapLearner::clear() {
    m_first = CMapComputation(m_units);
    m_check = CMapComputation(m_units);
    m_written = emptyMap();
    m_pass = 1;
    m_ignored.fill(0);
    m_used = 0;
    breakStream();
}

void CMapLearner::breakStream() {
    m_recent.clear();
    m_lastFuel = -1;
    m_sinceSwitch = m_limits.settleSamples;
}

uint64_t CMapLearner::ignoredTotal() const {
    uint64_t sum = 0;
    for (uint64_t n : m_ignored)
        sum += n;
    return sum;
}

int CMapLearner::refusal(const CDiag& d, double rpm, double load) {
    // The stream memory follows every sample, used or not.
    const int fuel = d.workState() == WORK_STATE_PETROL ? 1 : 0;
    if (m_lastFuel >= 0 && fuel != m_lastFuel)
        m_sinceSwitch = 0;
    m_lastFuel = fuel;
    const bool settling = m_sinceSwitch < m_limits.settleSamples;
    if (settling)
        ++m_sinceSwitch;

    bool transient = false;
    for (const Recent& r : m_recent)
        if (std::fabs(rpm - r.rpm) > m_limits.maxRpmChange || std::fabs(load - r.load) > m_limits.maxLoadChange)
            transient = true;
    m_recent.push_back(Recent{rpm, load});
    while (static_cast<int>(m_recent.size()) > std::max(m_limits.transientSpan, 0))
        m_recent.pop_front();

    if (settling)
        return static_cast<int>(ELearnIgnore::Switch);
    // Cut-off before the transient: a closed throttle usually comes with a falling
    // load, and the injectors standing still is the reason that says more.
    if (rpm >= m_limits.cutoffRpm && d.petrolTime(0) * m_units.tickMs < m_limits.cutoffMs)
        return static_cast<int>(ELearnIgnore::CutOff);
    if (transient)
        return static_cast<int>(ELearnIgnore::Transient);
    if (m_limits.switchTemperature >= NO_TEMPERATURE_RULE && heaterTemperature(d) < m_limits.switchTemperature)
        return static_cast<int>(ELearnIgnore::Cold);
    return -1;
}

bool CMapLearner::add(const CDiag& d) {
    const uint16_t period = d.rpmPeriod();
    const double rpm = period ? m_units.rpmConstant / period : 0.0;
    const int refused = refusal(d, rpm, sampleLoad(d));
    if (refused >= 0) {
        ++m_ignored[static_cast<size_t>(refused)];
        return false;
    }
    const bool used = (m_pass == 1 ? m_first : m_check).add(d);
    if (used)
        ++m_used;
    return used;
}

MapResult CMapLearner::firstPass() const { return m_first.finish(); }

void CMapLearner::setWritten(const MapBytes& bytes) {
    m_written = bytes;
    ++m_pass;
    m_check = CMapComputation(m_units);
}

void CMapLearner::backToFirstPass() {
    m_written = emptyMap();
    m_pass = 1;
    m_check = CMapComputation(m_units);
}

CMapLearner::LearnTable CMapLearner::table() const {
    LearnTable t{};
    const MapResult first = m_first.finish();
    const MapResult check = checking() ? m_check.finish() : MapResult{};
    for (int speed = 0; speed < SPEED_BUCKETS; ++speed) {
        for (int load = 0; load < LOAD_BUCKETS; ++load) {
            const MapCell& f = first.cells[speed][load];
            LearnCell& c = t[speed][load];
            c.petrolCount = f.petrolCount;
            c.lpgCount = f.lpgCount;
            c.petrolMean = f.petrolMean;
            c.lpgMean = f.lpgMean;
            c.correction = f.correction;
            c.state = f.petrolCount + f.lpgCount == 0 ? ELearnCell::NoData
                      : enoughOfBoth(f)               ? ELearnCell::Enough
                                                      : ELearnCell::Partial;
            if (!checking())
                continue;
            const MapCell& k = check.cells[speed][load];
            c.checkCount = k.lpgCount;
            c.checkMean = k.lpgMean;
            // The check pass's petrol time on LPG against the first pass's petrol baseline.
            MapCell judged = f;
            judged.lpgCount = k.lpgCount;
            judged.lpgMean = k.lpgMean;
            const CheckCell verdict = judgeCell(judged, m_tolerance);
            if (verdict.state != ECheckCell::Pass && verdict.state != ECheckCell::Fail)
                continue;
            c.state = verdict.state == ECheckCell::Pass ? ELearnCell::Within : ELearnCell::Outside;
            c.residual = verdict.difference;
            const int k2 = static_cast<int>(f.petrolMean);
            const double written =
                k2 >= 0 && k2 < GRID_ROWS ? m_written[static_cast<size_t>(2 * k2 * MAP_COLUMNS + speed)] - 100.0 : 0.0;
            c.correction = written + c.residual;
        }
    }
    return t;
}

LearnCell CMapLearner::cell(int speed, int load) const { return table()[speed][load]; }

MapBytes CMapLearner::proposal() const {
    if (!checking())
        return m_first.finish().bytes;
    // The written map with every judged cell's refined correction folded in.
    const LearnTable t = table();
    MapResult refined;
    refined.bytes = m_written;
    for (int speed = 0; speed < SPEED_BUCKETS; ++speed) {
        for (int load = 0; load < LOAD_BUCKETS; ++load) {
            const LearnCell& c = t[speed][load];
            if (c.state != ELearnCell::Within && c.state != ELearnCell::Outside)
                continue;
            MapCell& m = refined.cells[speed][load];
            m.petrolMean = c.petrolMean;
            // The fold reads 0 as "no correction"; a refined 0 % must still replace
            // what was written, so it enters as a value that rounds to 0.
            m.correction = c.correction == 0 ? 1e-9 : c.correction;
        }
    }
    foldCells(refined);
    return refined.bytes;
}

std::vector<LearnResidual> CMapLearner::residuals() const {
    std::vector<LearnResidual> out;
    if (!checking())
        return out;
    const LearnTable t = table();
    for (int speed = 0; speed < SPEED_BUCKETS; ++speed)
        for (int load = 0; load < LOAD_BUCKETS; ++load)
            if (t[speed][load].state == ELearnCell::Within || t[speed][load].state == ELearnCell::Outside)
                out.push_back(LearnResidual{speed, load, t[speed][load].residual});
    return out;
}

namespace {

struct Tally {
    int driven = 0, enough = 0, within = 0, toCheck = 0;
};

Tally tally(const CMapLearner::LearnTable& t) {
    Tally n;
    for (const auto& column : t) {
        for (const LearnCell& c : column) {
            if (c.state == ELearnCell::NoData)
                continue;
            ++n.driven;
            const bool judged = c.state == ELearnCell::Within || c.state == ELearnCell::Outside;
            if (c.state == ELearnCell::Enough)
                ++n.enough;
            if (c.state == ELearnCell::Within)
                ++n.within;
            // A check pass can finish a cell with a correction, and any cell it judged.
            if (judged || c.state == ELearnCell::Enough)
                ++n.toCheck;
        }
    }
    return n;
}

} // namespace

int CMapLearner::drivenCells() const { return tally(table()).driven; }

int CMapLearner::doneCells() const {
    const Tally n = tally(table());
    return checking() ? n.within : n.enough;
}

int CMapLearner::doneShare() const {
    const Tally n = tally(table());
    const int done = checking() ? n.within : n.enough;
    const int of = checking() ? n.toCheck : n.driven;
    return of > 0 ? done * 100 / of : 0;
}

bool CMapLearner::converged() const {
    if (!checking())
        return false;
    const Tally n = tally(table());
    return n.toCheck > 0 && n.within == n.toCheck;
}

} // namespace zefirel
