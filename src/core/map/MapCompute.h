#pragma once
/// The injection map and its computation from a diagnostic recording.
///
/// The map is 400 bytes, 50 rows of 0.5 ms petrol injection time × 8 columns of
/// 1000 rpm, row-major; each byte is 100 + the LPG time correction in percent.
///
/// The computation sorts samples into 8 speed buckets × 11 load buckets, keeping
/// petrol-mode and LPG-mode counts and petrol-time sums apart. A cell with more than
/// 10 samples of each gives the correction (LPG mean − petrol mean) × 100 / petrol
/// mean; the corrections are folded (load outer, speed inner; an occupied entry
/// becomes the mean of itself and the newcomer) into a 25 × 8 grid whose row is the
/// cell's whole-millisecond petrol mean. Grid row k fills map rows 2k and 2k + 1.
/// Everything here is pure: samples in, tables and bytes out.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "diag/Diag.h"
#include "diag/Recording.h"
#include "link/SettingsWrite.h"

namespace zefirel {

inline constexpr int MAP_ROWS = 50;
inline constexpr int MAP_COLUMNS = 8;
inline constexpr size_t MAP_BYTES = 400;
inline constexpr int SPEED_BUCKETS = 8;
inline constexpr int LOAD_BUCKETS = 11;
inline constexpr int GRID_ROWS = 25;
/// The byte of a cell without correction.
inline constexpr uint8_t MAP_NO_CORRECTION = 100;
/// The percentages a cell accepts (bytes 0 .. 250).
inline constexpr int MAP_MIN_PERCENT = -100;
inline constexpr int MAP_MAX_PERCENT = 150;
/// A cell gives a correction only with more than this many samples of each fuel.
inline constexpr int MAP_MIN_COUNT = 10;
/// A computed value resting on fewer samples than this (of either fuel, in any cell
/// folded into it) is marked as weak.
inline constexpr int MAP_FEW_SAMPLES = 50;
/// Bit of the settings value optionFlags that switches the map on.
inline constexpr uint8_t OPTION_MAP_IN_USE = OPTION_MAP_BIT;

using MapBytes = std::array<uint8_t, MAP_BYTES>;

/// A map with every cell at 100 (no correction).
MapBytes emptyMap();
/// Whether any cell holds a correction (a byte other than 100).
bool mapInUse(const MapBytes& bytes);

/// The timer units a recording is read in.
struct MapUnits {
    double tickMs = 0.025;         ///< 1000 / F
    double rpmConstant = 4800000;  ///< 120 × F
    /// The process-wide constants (the connected controller's, else F = 40000).
    static MapUnits current();
    static MapUnits ofFrequency(double hz);
};

/// The load a sample is sorted by: manifold vacuum in kPa (101 minus the third
/// pressure channel); load bucket = load / 10.
double sampleLoad(const CDiag& d);

/// One speed × load cell of the computation.
struct MapCell {
    int petrolCount = 0;
    double petrolMean = 0; ///< ms (the sum until the means are taken)
    int lpgCount = 0;
    double lpgMean = 0;    ///< ms, petrol time measured while on LPG
    double correction = 0; ///< percent; 0 = none
};

struct MapResult {
    /// cells[speed bucket][load bucket].
    std::array<std::array<MapCell, LOAD_BUCKETS>, SPEED_BUCKETS> cells{};
    /// grid[whole ms][speed column], percent; 0 = no value.
    std::array<std::array<double, MAP_COLUMNS>, GRID_ROWS> grid{};
    /// Which load buckets were folded into each grid entry (bit b = load bucket b).
    std::array<std::array<uint16_t, MAP_COLUMNS>, GRID_ROWS> sources{};
    /// The 400 map bytes (clamped to 0 .. 250).
    MapBytes bytes = emptyMap();
    /// Samples that were counted into a cell.
    uint64_t used = 0;

    /// Whether map cell (row, column) shows a value.
    bool filled(int row, int column) const;
    /// The percentage map cell (row, column) shows: the grid value rounded half away
    /// from zero and kept within −100 .. 150 (what its byte says).
    int percent(int row, int column) const;
    /// Whether any cell folded into map cell (row, column) has fewer than
    /// MAP_FEW_SAMPLES samples of either fuel.
    bool weak(int row, int column) const;
    /// Load buckets (bit b = load bucket b) of speed column `column` that were
    /// driven but gave no correction for too few samples of one fuel (none counts
    /// as few), placed at the row of their petrol mean (their LPG mean when no
    /// petrol sample was counted) as a correction would be.
    uint16_t unjudged(int row, int column) const;
};

/// The computation, fed one sample at a time (a recording need not be held whole).
class CMapComputation {
public:
    explicit CMapComputation(const MapUnits& units = MapUnits::current());
    /// Counts one sample into its cell; samples outside the map's range are ignored.
    /// True when the sample was counted.
    bool add(const CDiag& d);
    /// Means, corrections, the fold and the bytes.
    MapResult finish() const;

private:
    MapUnits m_units;
    MapResult m_sums;
};

/// The fold of the cells' corrections (load outer, speed inner; an occupied entry
/// becomes the mean of itself and the newcomer) into grid and sources, and of every
/// filled grid entry into its two rows of bytes; map cells without a value keep the
/// bytes they hold. Grid and sources are expected empty.
void foldCells(MapResult& r);

/// The whole computation over a sample vector.
MapResult computeMap(const std::vector<CDiag>& samples, const MapUnits& units = MapUnits::current());
/// The computation streamed from a recording file, record by record, skipping
/// lines that are not records. Raises an IError (code 4) when the file cannot be
/// opened or holds no record. samplesRead (when given) receives the number of
/// records read, stats the counts of the lines.
MapResult computeMapFromFile(const std::string& path, const MapUnits& units = MapUnits::current(),
                             uint64_t* samplesRead = nullptr, RecordingReadStats* stats = nullptr);

} // namespace zefirel
