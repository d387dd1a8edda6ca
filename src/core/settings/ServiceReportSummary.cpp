// The service report's first page in words: the verdict, what the work left in
// the controller and the main findings, gathered from the report's content.

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "settings/ServiceReport.h"

namespace zefirel {

namespace {

/// Worst operating points named on the first page.
constexpr size_t WORST_CELLS_SHOWN = 3;
/// Changed settings and error codes listed one by one; the rest are counted.
constexpr size_t CHANGED_SETTINGS_SHOWN = 6;
constexpr size_t ERROR_LINES_SHOWN = 6;

/// "1 ustawienie", "3 ustawienia", "5 ustawień": the Polish plural after a number.
std::string counted(uint64_t n, const char* one, const char* few, const char* many) {
    const uint64_t tens = n % 100, units = n % 10;
    const char* word = n == 1 ? one : (units >= 2 && units <= 4 && (tens < 12 || tens > 14)) ? few : many;
    return std::to_string(n) + " " + word;
}

/// "+5 %", "−4 %", "0 %".
std::string signedPercent(double v) {
    const std::string n = reportNumber(std::fabs(v));
    return (v > 0 ? "+" : v < 0 ? "−" : "") + n + " %";
}

std::string fileName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool errorsPresent(const ServiceReportData& r) { return r.errorsRead && r.errors != MSG_REPORT_ERRORS_NONE; }

/// The error report's lines (the controller's "\r\n" between them).
std::vector<std::string> errorLines(const std::string& errors) {
    std::vector<std::string> out;
    size_t from = 0;
    while (from < errors.size()) {
        size_t end = errors.find('\n', from);
        if (end == std::string::npos)
            end = errors.size();
        std::string line = errors.substr(from, end - from);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty())
            out.push_back(line);
        from = end + 1;
    }
    return out;
}

std::string toleranceText(const AcceptanceResult& c) { return "±" + reportNumber(std::round(c.tolerance * 10) / 10) + " %"; }

std::string checkSentence(const ServiceReportData& r) {
    if (!r.haveRecording)
        return "Ustawień nie sprawdzono na nagraniu jazdy.";
    const AcceptanceResult& c = r.check;
    const int judged = c.passed + c.failed, driven = judged + c.tooFew;
    switch (c.verdict) {
    case ECheckVerdict::Pass:
        return "Wszystkie ocenione punkty pracy (" + std::to_string(judged) + ") mieszczą się w tolerancji " +
               toleranceText(c) + ".";
    case ECheckVerdict::Fail:
        return "Poza tolerancją " + toleranceText(c) + " jest " + std::to_string(c.failed) + " z " + std::to_string(judged) +
               " ocenionych punktów pracy (największa różnica " + checkCellText(CheckCell{ECheckCell::Pass, c.worst}) +
               ").";
    case ECheckVerdict::NoData:
        break;
    }
    return "Nagranie obejmuje za mało jazdy na obu paliwach: ocenionych punktów pracy " + std::to_string(judged) + " z " +
           std::to_string(driven) + " odwiedzonych.";
}

std::string errorsSentence(const ServiceReportData& r) {
    if (!r.errorsRead)
        return MSG_REPORT_NO_ERRORS;
    if (!errorsPresent(r))
        return "Sterownik nie zgłasza błędów.";
    return "Sterownik zgłasza błędy: " + std::to_string(errorLines(r.errors).size()) + ".";
}

ReportVerdict verdictOf(const ServiceReportData& r) {
    ReportVerdict v;
    v.reason = checkSentence(r) + " " + errorsSentence(r);
    const bool checked = r.haveRecording;
    if (checked && r.check.verdict == ECheckVerdict::Fail) {
        v.headline = "Ustawienia wymagają poprawy";
        v.tone = EReportTone::Bad;
    } else if (errorsPresent(r)) {
        v.headline = "Sterownik zgłasza błędy";
        v.tone = EReportTone::Bad;
    } else if (checked && r.check.verdict == ECheckVerdict::Pass) {
        v.headline = "Ustawienia poprawne";
        v.tone = EReportTone::Good;
    } else if (checked) {
        v.headline = "Za mało danych do oceny ustawień";
    } else {
        v.headline = "Ustawień nie sprawdzono na jeździe";
    }
    return v;
}

/// The smallest and largest of the non-zero values, as "od −4 % do +10 %".
std::string spread(double lo, double hi) {
    return lo == hi ? signedPercent(lo) : "od " + signedPercent(lo) + " do " + signedPercent(hi);
}

/// "<title>: bez poprawek." or "<title>: N <parts> z poprawką od … do …" over the corrections in use.
std::string correctionsLine(const std::string& title, const std::vector<double>& inUse, const char* one,
                            const char* few, const char* many) {
    const std::string s = title + ": ";
    if (inUse.empty())
        return s + "bez poprawek.";
    const auto [lo, hi] = std::minmax_element(inUse.begin(), inUse.end());
    return s + counted(inUse.size(), one, few, many) + " z poprawką " + spread(*lo, *hi) + ".";
}

std::string curveLine(const ServiceReportData& r) {
    if (!r.curveRead)
        return MSG_REPORT_NO_CURVE;
    std::vector<double> inUse;
    for (double v : r.curve)
        if (v != 0)
            inUse.push_back(v);
    return correctionsLine(curveTitle(r), inUse, "punkt", "punkty", "punktów");
}

std::string mapLine(const ServiceReportData& r) {
    if (!r.mapRead)
        return MSG_REPORT_NO_MAP;
    std::vector<double> inUse;
    for (uint8_t b : r.map)
        if (b != MAP_NO_CORRECTION)
            inUse.push_back(int(b) - MAP_NO_CORRECTION);
    return correctionsLine(mapTitle(r), inUse, "komórka", "komórki", "komórek");
}

std::vector<std::string> workDone(const ServiceReportData& r) {
    std::vector<std::string> out;
    if (!r.settingsRead) {
        out.emplace_back(MSG_REPORT_NO_SETTINGS);
    } else {
        std::vector<const ReportLine*> changed;
        for (const ReportLine& l : r.settings)
            if (l.changed)
                changed.push_back(&l);
        if (changed.empty()) {
            out.emplace_back("Ustawienia sterownika są fabryczne.");
        } else {
            out.push_back("Zmieniono " + counted(changed.size(), "ustawienie", "ustawienia", "ustawień") +
                          " względem fabrycznych:");
            for (size_t i = 0; i < changed.size() && i < CHANGED_SETTINGS_SHOWN; ++i)
                out.push_back("• " + changed[i]->label + ": " + changed[i]->value + " (fabrycznie " + changed[i]->factory + ")");
            if (changed.size() > CHANGED_SETTINGS_SHOWN)
                out.push_back("• i " + std::to_string(changed.size() - CHANGED_SETTINGS_SHOWN) + " więcej — na stronie 2.");
        }
    }
    out.push_back(curveLine(r));
    out.push_back(mapLine(r));
    if (r.haveRecording) {
        const RecordingSummary& m = r.recording;
        out.push_back("Sprawdzenie ustawień na nagraniu jazdy " + fileName(m.path) + ": " +
                      counted(m.samples, "próbka", "próbki", "próbek") + " (benzyna " + std::to_string(m.petrolSamples) +
                      ", LPG " + std::to_string(m.lpgSamples) + ").");
    }
    return out;
}

std::string rangeText(const RangeStat& s, const char* unit) {
    return reportNumber(std::round(s.min)) + "–" + reportNumber(std::round(s.max)) + " " + unit;
}

/// Events of the recording listed among the findings at most.
constexpr size_t EVENT_LINES_SHOWN = 6;

std::vector<std::string> findings(const ServiceReportData& r) {
    std::vector<std::string> out;
    if (errorsPresent(r)) {
        const std::vector<std::string> lines = errorLines(r.errors);
        for (size_t i = 0; i < lines.size() && i < ERROR_LINES_SHOWN; ++i)
            out.push_back("Błąd: " + lines[i]);
        if (lines.size() > ERROR_LINES_SHOWN)
            out.push_back("Błąd: i " + std::to_string(lines.size() - ERROR_LINES_SHOWN) + " więcej — na stronie 2.");
    } else {
        out.push_back(errorsSentence(r));
    }
    if (r.haveRecording) {
        const AcceptanceResult& c = r.check;
        out.push_back("Punkty pracy w tolerancji " + toleranceText(c) + ": " + std::to_string(c.passed) +
                      ", poza tolerancją: " + std::to_string(c.failed) + ", za mało próbek: " + std::to_string(c.tooFew) +
                      ".");
        // The map cells whose difference is furthest from zero, worst first.
        struct Worst {
            int row, column;
            double difference;
        };
        std::vector<Worst> failing;
        for (int row = 0; row < MAP_ROWS; ++row)
            for (int column = 0; column < MAP_COLUMNS; ++column)
                if (c.cells[row][column].state == ECheckCell::Fail)
                    failing.push_back({row, column, c.cells[row][column].difference});
        std::stable_sort(failing.begin(), failing.end(),
                         [](const Worst& a, const Worst& b) { return std::fabs(a.difference) > std::fabs(b.difference); });
        for (size_t i = 0; i < failing.size() && i < WORST_CELLS_SHOWN; ++i)
            out.push_back("Poza tolerancją przy " + mapColumnHeader(failing[i].column) + " obr/min i czasie wtrysku " +
                          mapRowLabel(failing[i].row) + " ms: " +
                          checkCellText(c.cells[failing[i].row][failing[i].column]));
        const RecordingSummary& m = r.recording;
        out.push_back("Na nagraniu: obroty " + rangeText(m.rpm, "obr/min") + ", temperatura reduktora " +
                      rangeText(m.heaterC, "°C") + ", temperatura LPG " + rangeText(m.lpgC, "°C") + ".");
        // The drive's events, a switch to LPG aside (that is the car working as it should).
        std::vector<const DiagEvent*> notable;
        for (const DiagEvent& e : m.events)
            if (e.kind != EEventKind::ToLpg)
                notable.push_back(&e);
        for (size_t i = 0; i < notable.size() && i < EVENT_LINES_SHOWN; ++i)
            out.push_back("Zdarzenie " + eventLine(*notable[i]));
        if (notable.size() > EVENT_LINES_SHOWN)
            out.push_back("Zdarzeń nagrania więcej o " + std::to_string(notable.size() - EVENT_LINES_SHOWN) +
                          " (zefirelctl events).");
    }
    // The parts not read that no line above names already (the version, the recording).
    for (const std::string& p : r.problems)
        if (p != MSG_REPORT_NO_ERRORS && p != MSG_REPORT_NO_SETTINGS && p != MSG_REPORT_NO_CURVE && p != MSG_REPORT_NO_MAP)
            out.push_back(p);
    return out;
}

} // namespace

ReportSummary summariseReport(const ServiceReportData& r) {
    ReportSummary s;
    s.verdict = verdictOf(r);
    s.workDone = workDone(r);
    s.findings = findings(r);
    return s;
}

std::vector<int> reportGridRows(const ServiceReportData& r) {
    std::vector<int> rows;
    for (int row = 0; row < MAP_ROWS; ++row) {
        bool shown = false;
        for (int column = 0; column < MAP_COLUMNS && !shown; ++column)
            shown = (r.mapRead && r.map[static_cast<size_t>(row * MAP_COLUMNS + column)] != MAP_NO_CORRECTION) ||
                    (r.haveRecording && r.check.cells[row][column].state != ECheckCell::Empty);
        if (shown)
            rows.push_back(row);
    }
    return rows;
}

} // namespace zefirel
