#pragma once
/// Two recordings compared operating point by operating point: the speed × load
/// cells of the map computation (8 speed buckets of 1000 1/min × 11 load buckets
/// of 10 kPa manifold vacuum, the same samples used). In each cell and recording:
/// the petrol computer's injection time while on petrol, while on LPG, and their
/// difference in per cent of the petrol time (what the acceptance check judges).
/// The change A → B is the difference of B minus that of A, in percentage points:
/// closer to zero is better. A cell is judged in a recording only with more than
/// ACCEPT_MIN_COUNT samples of each fuel (as the acceptance check); a change only
/// when both recordings judge the cell.
///
/// The verdict is one Polish line: how many cells got better (|difference| lower
/// by at least COMPARE_SIGNIFICANT_POINTS), how many got worse, how many stayed,
/// and the cell that changed most.

#include <array>
#include <string>
#include <vector>

#include "diag/Recording.h"
#include "map/MapCompute.h"

namespace zefirel {

/// A change of the |difference| by less than this (percentage points) counts as
/// unchanged: half the acceptance check's default tolerance of ±5 %.
inline constexpr double COMPARE_SIGNIFICANT_POINTS = 2.5;

/// One recording's side of a cell.
struct CompareSide {
    int petrolCount = 0;
    int lpgCount = 0;
    double petrolMs = 0;    ///< mean petrol time on petrol
    double lpgMs = 0;       ///< mean petrol time on LPG
    bool judged = false;    ///< enough samples of each fuel
    double difference = 0;  ///< per cent, (lpg − petrol) × 100 / petrol; when judged
};

enum class ECompareChange { NotJudged, Better, Worse, Same };

struct CompareCell {
    int speedBucket = 0;    ///< 0..7: speed from speedBucket × 1000 1/min
    int loadBucket = 0;     ///< 0..10: vacuum from loadBucket × 10 kPa
    CompareSide a, b;
    double change = 0;      ///< b.difference − a.difference, when both judged
    ECompareChange verdict = ECompareChange::NotJudged;
};

struct CompareResult {
    /// Cells driven in either recording, speed outer, load inner.
    std::vector<CompareCell> cells;
    int better = 0, worse = 0, same = 0, notJudged = 0;
    std::string verdict; ///< one Polish line
    RecordingReadStats linesA, linesB;
};

/// Compares two finished computations.
CompareResult compareComputations(const MapResult& a, const MapResult& b);
/// Streams both recordings through the map computation and compares them. Raises
/// an IError (code 4) when a recording cannot be opened or holds no record.
CompareResult compareRecordings(const std::string& pathA, const std::string& pathB,
                                const MapUnits& units = MapUnits::current());
/// "2000-3000" for speed bucket 2.
std::string compareSpeedText(int speedBucket);
/// "20-30 kPa" for load bucket 2.
std::string compareLoadText(int loadBucket);

} // namespace zefirel
