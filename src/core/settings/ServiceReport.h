#pragma once
/// The service report's content, gathered from the controller and a recording:
/// what the installer hands the customer. It holds texts and figures only; the
/// windowed program and the command line lay it out on A4 pages.
///
/// Content: the controller's identity, version, programming date and features; the
/// car data; every setting with its Polish label and unit, marked where it differs
/// from the factory value; the time-correction curve; the injection map with the
/// cells in use; the error report ("Brak błędów." or the decoded list); the date;
/// a summary of a recording (samples, engine speed, petrol and LPG times,
/// temperatures: min/mean/max) and the check after calibration over it.
///
/// Only what was read is shown: a part the controller did not give (version
/// record, settings, curve, map, errors) is left out and a sentence saying so
/// stands in its place, never a default or a value left over from earlier.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "diag/Recording.h"
#include "link/SettingsBlock.h"
#include "events/DiagEvents.h"
#include "map/AcceptanceCheck.h"
#include "map/MapCompute.h"

namespace zefirel {

class CLPGDevice;

/// One labelled value of the report.
struct ReportLine {
    std::string label;
    std::string value;     ///< with its unit
    bool changed = false;  ///< differs from the factory value
    std::string factory;   ///< the factory value, with its unit (settings only)
};

/// Minimum, mean and maximum of one quantity over a recording.
struct RangeStat {
    double min = 0, mean = 0, max = 0;
    uint64_t count = 0;
    void add(double v);
    /// Turns the running sum into the mean (once, at the end).
    void finish();
};

/// A recording's figures. Its duration is not among them: a line of a recording
/// carries a sample number but no time, and the file's own times say when it was
/// copied rather than how long the drive took.
struct RecordingSummary {
    std::string path;
    uint64_t samples = 0;
    uint64_t petrolSamples = 0, lpgSamples = 0;
    RangeStat rpm, petrolMs, lpgMs, heaterC, lpgC, internalC;
    RecordingReadStats lines;  ///< the counts of the file's lines
    /// What happened on the drive (events/DiagEvents.h), in sample order.
    std::vector<DiagEvent> events;
};

/// The sentences that stand in the report where a part could not be read.
inline constexpr const char* MSG_REPORT_NO_VERSION = "Nie udało się odczytać wersji sterownika.";
inline constexpr const char* MSG_REPORT_NO_SETTINGS = "Nie udało się odczytać ustawień ze sterownika.";
inline constexpr const char* MSG_REPORT_NO_CURVE = "Nie udało się odczytać krzywej korekcji czasu wtrysku.";
inline constexpr const char* MSG_REPORT_NO_MAP = "Nie udało się odczytać mapy wtrysków.";
inline constexpr const char* MSG_REPORT_NO_ERRORS = "Nie udało się odczytać kodów błędów.";
/// The error report of a controller that holds no error codes.
inline constexpr const char* MSG_REPORT_ERRORS_NONE = "Brak błędów.";
/// Shown for a single value that was not read.
inline constexpr const char* MSG_REPORT_NOT_READ = "nie odczytano";

struct ServiceReportData {
    std::string date;  ///< when the report was made, "dd.mm.yyyy hh:mm"
    /// Which parts the controller gave; a part not read is not shown.
    bool versionRead = false, settingsRead = false, curveRead = false, mapRead = false, errorsRead = false;
    std::string identity;
    unsigned version = 0;
    unsigned injectors = 0;
    std::string programmingDate;
    uint32_t featureMask = 0;
    std::vector<std::string> features;
    std::vector<ReportLine> car;
    std::vector<ReportLine> settings;
    std::array<double, block::TIME_CORRECTION_COUNT> curve{};  ///< percent at 0..24 ms
    bool curveInUse = false;  ///< from the settings' option flags (when settingsRead)
    MapBytes map = emptyMap();
    bool mapInUse = false;    ///< from the settings' option flags (when settingsRead)
    std::string errors;  ///< "Brak błędów." or the decoded list
    bool haveRecording = false;
    RecordingSummary recording;
    std::string recordingProblem;  ///< why the recording asked for could not be read
    AcceptanceResult check;
    /// What could not be read from the controller, one sentence each.
    std::vector<std::string> problems;
};

/// The Polish label and unit of a setting ("Obroty automatycznego przejścia na LPG", "obr/min").
struct SettingLabel {
    const char* label;
    const char* unit;
};
SettingLabel settingLabel(ESetting id);

/// The settings of a block as report lines, each marked where it differs from the
/// factory value.
std::vector<ReportLine> settingLines(const CSettingsBlock& block);
/// The car texts of a block as report lines.
std::vector<ReportLine> carLines(const CSettingsBlock& block);

/// How the summary's verdict reads.
enum class EReportTone { Good, Bad, Neutral };

/// The verdict at the head of the first page.
struct ReportVerdict {
    std::string headline;  ///< "Ustawienia poprawne", "Ustawienia wymagają poprawy", ...
    std::string reason;    ///< the check and the error codes in a sentence each
    EReportTone tone = EReportTone::Neutral;
};

/// The first page: what a customer reads. The details follow on the next pages.
struct ReportSummary {
    ReportVerdict verdict;
    /// What the work left in the controller: settings changed from the factory's
    /// (each on a line of its own, starting with "• "), the curve, the map, the
    /// recording the settings were checked on.
    std::vector<std::string> workDone;
    /// Error codes, the check's counts and its worst operating points, the
    /// recording's ranges, and every part that could not be read.
    std::vector<std::string> findings;
};
ReportSummary summariseReport(const ServiceReportData& report);

/// The rows (0..49, ascending) that the map and check grids show: a row with a
/// correction in the map read or a driven cell in the check. Rows nobody drove
/// through and the map leaves alone are left out.
std::vector<int> reportGridRows(const ServiceReportData& report);

/// A number as the report writes it: at most three decimals, a decimal comma ("1,8", "1200").
std::string reportNumber(double v);

/// Reads a recording record by record into its summary. Raises an IError (code 4)
/// when it cannot be opened.
RecordingSummary summariseRecording(const std::string& path, uint32_t featureMask);

/// Progress of gathering: percent and the step.
using ReportProgress = std::function<void(int percent, const std::string& step)>;

/// Whether a recording can be opened and holds at least one whole record; false
/// with the sentence to show in why. A report asked for a recording checks it before anything else.
bool recordingReadable(const std::string& path, std::string& why);

/// Reads everything from a connected controller (version record, settings, time
/// corrections, map, errors) and, when recording is not empty, summarises and
/// checks that recording. Steps that fail are marked not read and listed in
/// problems; what was read stays in the report.
ServiceReportData gatherServiceReport(CLPGDevice& device, const std::string& recording,
                                      const ReportProgress& progress = {});

/// "Krzywa korekcji czasu wtrysku" and "Mapa wtrysków", marked " (nieużywana)" when
/// the settings read say the part is not in use.
std::string curveTitle(const ServiceReportData& report);
std::string mapTitle(const ServiceReportData& report);

/// The report as plain text (the same content, for a terminal or a test).
std::string serviceReportText(const ServiceReportData& report);

} // namespace zefirel
