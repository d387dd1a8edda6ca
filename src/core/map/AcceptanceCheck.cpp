#include "map/AcceptanceCheck.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "diag/Recording.h"
#include "support/Error.h"

namespace zefirel {

namespace {

constexpr double ROW_MS = 0.5;

/// Whether candidate should speak for a map cell that already shows current.
bool outranks(const CheckCell& candidate, const CheckCell& current) {
    const auto rank = [](ECheckCell s) {
        switch (s) {
        case ECheckCell::Fail: return 3;
        case ECheckCell::Pass: return 2;
        case ECheckCell::TooFew: return 1;
        case ECheckCell::Empty: return 0;
        }
        return 0;
    };
    if (rank(candidate.state) != rank(current.state))
        return rank(candidate.state) > rank(current.state);
    return std::fabs(candidate.difference) > std::fabs(current.difference);
}

/// "+5.0%": the difference as percentTenths rounds it, so the text and the
/// verdict always speak of the same number.
std::string signedPercent(double v) {
    const long tenths = percentTenths(v);
    const long whole = std::labs(tenths);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%c%ld.%ld%%", tenths < 0 ? '-' : '+', whole / 10, whole % 10);
    return buf;
}

/// The tolerance as shown in the verdict, to its tenth.
std::string toleranceText(double tolerance) {
    const long tenths = percentTenths(tolerance);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

ECheckVerdict verdictOf(const AcceptanceResult& r) {
    if (r.failed > 0)
        return ECheckVerdict::Fail;
    const int judged = r.passed;
    const int driven = judged + r.tooFew;
    if (judged >= ACCEPT_MIN_JUDGED && judged * 100 >= ACCEPT_MIN_JUDGED_SHARE * driven)
        return ECheckVerdict::Pass;
    return ECheckVerdict::NoData;
}

} // namespace

long percentTenths(double percent) { return std::lround(percent * 10.0); }

CheckCell judgeCell(const MapCell& m, double tolerance) {
    CheckCell c;
    c.petrolCount = m.petrolCount;
    c.lpgCount = m.lpgCount;
    c.petrolMean = m.petrolMean;
    c.lpgMean = m.lpgMean;
    if (m.petrolCount == 0 && m.lpgCount == 0)
        return c;
    if (m.petrolCount > ACCEPT_MIN_COUNT && m.lpgCount > ACCEPT_MIN_COUNT && m.petrolMean > 0) {
        c.difference = (m.lpgMean - m.petrolMean) * 100.0 / m.petrolMean;
        // Judged on the shown tenths: "+5.0%" passes at ±5.0 % and "+5.1%" fails.
        c.state = std::labs(percentTenths(c.difference)) <= percentTenths(tolerance) ? ECheckCell::Pass
                                                                                       : ECheckCell::Fail;
    } else {
        c.state = ECheckCell::TooFew;
    }
    return c;
}

AcceptanceResult judgeCells(const MapResult& computed, double tolerance) {
    AcceptanceResult r;
    r.tolerance = tolerance;
    for (int speed = 0; speed < SPEED_BUCKETS; ++speed) {
        for (int load = 0; load < LOAD_BUCKETS; ++load) {
            const MapCell& m = computed.cells[speed][load];
            if (m.petrolCount == 0 && m.lpgCount == 0)
                continue;
            const CheckCell c = judgeCell(m, tolerance);
            if (c.state == ECheckCell::TooFew) {
                ++r.tooFew;
            } else {
                (c.state == ECheckCell::Pass ? r.passed : r.failed)++;
                if (std::fabs(c.difference) > std::fabs(r.worst))
                    r.worst = c.difference;
            }
            // The petrol time the car asks for there; on LPG alone, the time seen then.
            const double ms = m.petrolCount > 0 ? m.petrolMean : m.lpgMean;
            const int row = static_cast<int>(ms / ROW_MS);
            if (row < 0 || row >= MAP_ROWS)
                continue;
            CheckCell& shown = r.cells[static_cast<size_t>(row)][static_cast<size_t>(speed)];
            if (outranks(c, shown))
                shown = c;
        }
    }
    r.verdict = verdictOf(r);
    return r;
}

MapResult readRecordingCells(const std::string& path, const MapUnits& units, const CheckProgress& progress,
                             const std::atomic<bool>* stop, uint64_t& samples, RecordingReadStats* lines) {
    CRecordingReader reader;
    if (!reader.open(path))
        raiseError(ERROR_FILE_OPEN, MSG_RECORDING_OPEN, __LINE__, __FILE__);
    struct stat st {};
    const uint64_t total = ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    CMapComputation computation(units);
    CDiag d;
    samples = 0;
    int shown = -1;
    while (reader.read(d)) {
        computation.add(d);
        if (++samples % 4096 != 0)
            continue;
        if (stop && stop->load())
            break;
        const int percent = total ? static_cast<int>(reader.bytesRead() * 100 / total) : 0;
        if (progress && percent != shown)
            progress(shown = percent);
    }
    if (lines)
        *lines = reader.stats();
    requireRecords(path, reader.stats());
    if (progress)
        progress(100);
    return computation.finish();
}

AcceptanceResult checkRecording(const std::string& path, double tolerance, const MapUnits& units,
                                const CheckProgress& progress, const std::atomic<bool>* stop) {
    uint64_t samples = 0;
    RecordingReadStats lines;
    const MapResult cells = readRecordingCells(path, units, progress, stop, samples, &lines);
    AcceptanceResult r = judgeCells(cells, tolerance);
    r.samples = samples;
    r.lines = lines;
    return r;
}

std::string checkCellText(const CheckCell& cell) {
    switch (cell.state) {
    case ECheckCell::Empty: return {};
    case ECheckCell::TooFew: return "za mało";
    case ECheckCell::Pass: return signedPercent(cell.difference);
    case ECheckCell::Fail: return signedPercent(cell.difference) + " !";
    }
    return {};
}

MapTexts checkTexts(const AcceptanceResult& result) {
    MapTexts t;
    for (int row = 0; row < MAP_ROWS; ++row)
        for (int column = 0; column < MAP_COLUMNS; ++column)
            t[static_cast<size_t>(row * MAP_COLUMNS + column)] = checkCellText(result.cells[row][column]);
    return t;
}

std::string checkVerdictText(const AcceptanceResult& r) {
    const std::string counts = "Punkty pracy w tolerancji ±" + toleranceText(r.tolerance) + " %: " + std::to_string(r.passed) +
                               ", poza tolerancją: " + std::to_string(r.failed) +
                               ", za mało próbek: " + std::to_string(r.tooFew) + ".";
    switch (r.verdict) {
    case ECheckVerdict::Pass:
        return "Wynik: ustawienia poprawne. " + counts;
    case ECheckVerdict::Fail:
        return "Wynik: ustawienia wymagają poprawy (największa różnica " + signedPercent(r.worst) + "). " + counts;
    case ECheckVerdict::NoData:
        break;
    }
    static_assert(ACCEPT_MIN_JUDGED_SHARE == 50, "the sentence below says half");
    const int driven = r.passed + r.failed + r.tooFew;
    return "Wynik: za mało danych — oceniono " + std::to_string(r.passed + r.failed) + " z " + std::to_string(driven) +
           " odwiedzonych punktów pracy, a do oceny ustawień potrzeba co najmniej " + std::to_string(ACCEPT_MIN_JUDGED) +
           " i co najmniej połowy odwiedzonych. Nagraj dłuższą jazdę na benzynie i na LPG w tych samych punktach "
           "pracy. " + counts;
}

} // namespace zefirel
