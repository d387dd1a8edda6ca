#pragma once
/// The check after calibration: is the car set up well? From a recording that
/// holds driving on petrol and on LPG, every operating point (engine speed × load,
/// the cells of the map computation) compares the petrol computer's injection
/// time while on LPG with its time on petrol. A car whose LPG dose is right keeps
/// the same petrol time on both fuels; a difference means the petrol computer is
/// correcting a mixture that is off. A cell passes when the difference is within
/// the tolerance (±5 % by default); a cell with too few samples of either fuel is
/// shown as such and never counts as a pass. A difference is judged as it is
/// shown, rounded to a tenth of a per cent, so "+5.0%" always passes at ±5.0 %.
///
/// The total verdict: any failing cell fails the settings. A pass needs enough of
/// the map judged: at least ACCEPT_MIN_JUDGED cells judged, and these at least
/// ACCEPT_MIN_JUDGED_SHARE per cent of the cells driven (with a sample of either
/// fuel). Otherwise the verdict is "za mało danych": a drive over idle alone says
/// nothing about the loads the car is driven at.
///
/// The cells are shown on the map's grid (50 rows of 0.5 ms petrol time × 8 speed
/// columns of 1000 rpm) at the row of their petrol mean; where several cells meet
/// in one map cell, the one furthest from zero speaks for it, so a failing cell is
/// never averaged away by a good neighbour.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "map/MapCompute.h"
#include "map/MapText.h"

namespace zefirel {

inline constexpr double ACCEPT_DEFAULT_TOLERANCE = 5.0;
/// A cell is judged with more than this many samples of each fuel (as the map
/// computation takes a correction).
inline constexpr int ACCEPT_MIN_COUNT = MAP_MIN_COUNT;
/// Judged cells a pass needs at least: eight of the 88 operating points, about
/// what a short drive through town and onto an open road covers (idle, two or
/// three engine speeds at two or three loads each). Fewer is one corner of the map.
inline constexpr int ACCEPT_MIN_JUDGED = 8;
/// Share (per cent) of the driven cells that a pass needs judged: at least half.
/// A drive that passes through many operating points but stays in few of them
/// long enough on both fuels leaves most of what it drove unjudged.
inline constexpr int ACCEPT_MIN_JUDGED_SHARE = 50;

enum class ECheckCell { Empty, TooFew, Pass, Fail };
/// NoData: too little of the map judged for a pass ("za mało danych"), none at all included.
enum class ECheckVerdict { Pass, Fail, NoData };

/// One map cell of the check.
struct CheckCell {
    ECheckCell state = ECheckCell::Empty;
    double difference = 0;  ///< percent: (LPG mean − petrol mean) × 100 / petrol mean
    int petrolCount = 0;    ///< of the cell that speaks for it
    int lpgCount = 0;
    double petrolMean = 0;  ///< ms
    double lpgMean = 0;     ///< ms
};

struct AcceptanceResult {
    double tolerance = ACCEPT_DEFAULT_TOLERANCE;
    /// cells[row 0..49][speed column 0..7].
    std::array<std::array<CheckCell, MAP_COLUMNS>, MAP_ROWS> cells{};
    int passed = 0, failed = 0, tooFew = 0;  ///< operating points (speed × load cells)
    double worst = 0;                        ///< the judged difference furthest from zero
    uint64_t samples = 0;                    ///< records read (set by whoever read them)
    RecordingReadStats lines;                ///< the counts of the recording's lines
    ECheckVerdict verdict = ECheckVerdict::NoData;
};

/// A difference in tenths of a per cent, rounded half away from zero: the value a
/// cell shows and is judged by.
long percentTenths(double percent);

/// Judges one speed × load cell (means in ms, as finished): Empty with no sample,
/// TooFew without more than ACCEPT_MIN_COUNT samples of each fuel, else Pass or Fail.
CheckCell judgeCell(const MapCell& cell, double tolerance = ACCEPT_DEFAULT_TOLERANCE);
/// Judges the cells of a map computation.
AcceptanceResult judgeCells(const MapResult& computed, double tolerance = ACCEPT_DEFAULT_TOLERANCE);

/// Progress 0..100 of reading a recording.
using CheckProgress = std::function<void(int percent)>;
/// Reads a recording record by record into the cells of the map computation
/// (samples receives the number of records read, lines when given the counts of
/// the lines; lines that are not records are skipped). Raises an IError (code 4)
/// when the file cannot be opened or holds no record. A set stop flag ends the
/// reading early.
MapResult readRecordingCells(const std::string& path, const MapUnits& units, const CheckProgress& progress,
                             const std::atomic<bool>* stop, uint64_t& samples, RecordingReadStats* lines = nullptr);
/// Reads a recording record by record and judges it. Raises an IError (code 4)
/// when the file cannot be opened or holds no record. A set stop flag ends the
/// reading early (the result then covers what was read).
AcceptanceResult checkRecording(const std::string& path, double tolerance = ACCEPT_DEFAULT_TOLERANCE,
                                const MapUnits& units = MapUnits::current(), const CheckProgress& progress = {},
                                const std::atomic<bool>* stop = nullptr);

/// The text of a map cell: "+1.2%" for a judged cell (with " !" when it fails),
/// "za mało" for too few samples, empty when nothing was driven there.
std::string checkCellText(const CheckCell& cell);
/// Every cell's text, for formatMapTable.
MapTexts checkTexts(const AcceptanceResult& result);
/// The total verdict in a sentence, with the counts.
std::string checkVerdictText(const AcceptanceResult& result);

} // namespace zefirel
