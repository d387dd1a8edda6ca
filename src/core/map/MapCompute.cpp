#include "map/MapCompute.h"

#include <algorithm>
#include <cmath>

#include "diag/DiagUnits.h"
#include "diag/Recording.h"
#include "link/Conversions.h"
#include "support/Error.h"

namespace zefirel {

namespace {

/// Samples are used only within these bounds (ms, 1/min, load).
constexpr double MAP_MIN_MS = 2.0, MAP_MAX_MS = 25.0;
constexpr double MIN_RPM = 500.0, MAX_RPM = 8000.0;
constexpr double MAX_LOAD = 110.0;
/// Load = this minus the third pressure channel in kPa.
constexpr double LOAD_ZERO_KPA = 101.0;

} // namespace

MapBytes emptyMap() {
    MapBytes m;
    m.fill(MAP_NO_CORRECTION);
    return m;
}

bool mapInUse(const MapBytes& bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b != MAP_NO_CORRECTION; });
}

double sampleLoad(const CDiag& d) { return LOAD_ZERO_KPA - pressureKPa(d.pressure3Code()); }

MapUnits MapUnits::current() { return MapUnits{tickLength(), zefirel::rpmConstant()}; }

MapUnits MapUnits::ofFrequency(double hz) { return MapUnits{1000.0 / hz, 120.0 * hz}; }

// --- result ---------------------------------------------------------------------

bool MapResult::filled(int row, int column) const { return grid[row / 2][column] != 0; }

int MapResult::percent(int row, int column) const {
    const double g = grid[row / 2][column];
    return static_cast<int>(std::clamp(roundToInt(g), double(MAP_MIN_PERCENT), double(MAP_MAX_PERCENT)));
}

bool MapResult::weak(int row, int column) const {
    const uint16_t folded = sources[row / 2][column];
    for (int load = 0; load < LOAD_BUCKETS; ++load) {
        if (!(folded & (1u << load)))
            continue;
        const MapCell& cell = cells[column][load];
        if (cell.petrolCount < MAP_FEW_SAMPLES || cell.lpgCount < MAP_FEW_SAMPLES)
            return true;
    }
    return false;
}

uint16_t MapResult::unjudged(int row, int column) const {
    uint16_t out = 0;
    for (int load = 0; load < LOAD_BUCKETS; ++load) {
        const MapCell& cell = cells[column][load];
        if (cell.petrolCount + cell.lpgCount == 0 ||
            (cell.petrolCount > MAP_MIN_COUNT && cell.lpgCount > MAP_MIN_COUNT))
            continue;
        const double mean = cell.petrolCount > 0 ? cell.petrolMean : cell.lpgMean;
        if (static_cast<int>(mean) == row / 2)
            out = static_cast<uint16_t>(out | (1u << load));
    }
    return out;
}

// --- computation ------------------------------------------------------------------

CMapComputation::CMapComputation(const MapUnits& units) : m_units(units) {}

bool CMapComputation::add(const CDiag& d) {
    const uint16_t period = d.rpmPeriod();
    if (period == 0)
        return false; // no engine speed: outside the map
    const double t = d.petrolTime(0) * m_units.tickMs;
    const double n = m_units.rpmConstant / period;
    const double v = sampleLoad(d);
    if (!(t > MAP_MIN_MS && t < MAP_MAX_MS && n >= MIN_RPM && n < MAX_RPM && v < MAX_LOAD))
        return false;
    const int load = static_cast<int>(std::trunc(v)) / 10;
    if (load < 0)
        return false; // a pressure above the load scale: below the first load bucket
    const int speed = static_cast<int>(n) / 1000;
    MapCell& cell = m_sums.cells[speed][load];
    if (d.workState() == WORK_STATE_PETROL) {
        cell.petrolMean += t;
        ++cell.petrolCount;
    } else {
        cell.lpgMean += t;
        ++cell.lpgCount;
    }
    ++m_sums.used;
    return true;
}

MapResult CMapComputation::finish() const {
    MapResult r = m_sums;
    for (auto& column : r.cells) {
        for (MapCell& cell : column) {
            if (cell.petrolCount != 0)
                cell.petrolMean /= cell.petrolCount;
            if (cell.lpgCount != 0)
                cell.lpgMean /= cell.lpgCount;
            if (cell.petrolCount > MAP_MIN_COUNT && cell.lpgCount > MAP_MIN_COUNT && cell.petrolMean != 0 &&
                cell.lpgMean != 0)
                cell.correction = (cell.lpgMean - cell.petrolMean) * 100.0 / cell.petrolMean;
        }
    }
    foldCells(r);
    return r;
}

void foldCells(MapResult& r) {
    // Load outer, speed inner: a later cell counts as much as everything before it.
    for (int load = 0; load < LOAD_BUCKETS; ++load) {
        for (int speed = 0; speed < SPEED_BUCKETS; ++speed) {
            const MapCell& cell = r.cells[speed][load];
            if (cell.correction == 0)
                continue;
            const int k = static_cast<int>(cell.petrolMean);
            if (k < 0 || k >= GRID_ROWS)
                continue;
            double& g = r.grid[k][speed];
            g = g == 0 ? cell.correction : (g + cell.correction) / 2;
            r.sources[k][speed] |= static_cast<uint16_t>(1u << load);
        }
    }
    for (int row = 0; row < MAP_ROWS; ++row)
        for (int column = 0; column < MAP_COLUMNS; ++column)
            if (r.filled(row, column))
                r.bytes[row * MAP_COLUMNS + column] = static_cast<uint8_t>(r.percent(row, column) + 100);
}

MapResult computeMap(const std::vector<CDiag>& samples, const MapUnits& units) {
    CMapComputation c(units);
    for (const CDiag& d : samples)
        c.add(d);
    return c.finish();
}

MapResult computeMapFromFile(const std::string& path, const MapUnits& units, uint64_t* samplesRead,
                             RecordingReadStats* stats) {
    CRecordingReader reader;
    if (!reader.open(path))
        raiseError(ERROR_FILE_OPEN, MSG_RECORDING_OPEN, __LINE__, __FILE__);
    CMapComputation c(units);
    CDiag d;
    uint64_t count = 0;
    while (reader.read(d)) {
        c.add(d);
        ++count;
    }
    if (samplesRead)
        *samplesRead = count;
    if (stats)
        *stats = reader.stats();
    requireRecords(path, reader.stats());
    return c.finish();
}

} // namespace zefirel
