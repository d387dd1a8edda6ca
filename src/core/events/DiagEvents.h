#pragma once
/// Events of a diagnostic run: what happened on the drive, found from the samples,
/// the controller's settings and a small journal of what the samples cannot hold
/// (the installer's work-mode commands, error reports, a lost line, the clock).
///
/// One finder (CEventFinder) is fed one sample at a time, so the same code gives
/// the same events live (fed from the store while recording), on replay and from
/// a file. Every rule needs its condition in EVENT_HOLD_SAMPLES samples in a row
/// (a single odd sample is noise, not an event) and fires once per episode: it
/// fires again only after the condition was absent for a sample. The event's
/// sample is the first sample of the episode.
///
/// Rules (kind: condition; where the number comes from):
/// - ToLpg: the work state changes from petrol (2) to any other; one sample is
///   enough (the state is the controller's own decision, not a measurement).
/// - ToPetrol: the work state changes to petrol. "By the controller" unless the
///   journal holds a user's petrol or automatic mode command within
///   COMMAND_MATCH_SAMPLES samples before or after the switch (the command is
///   noted after the controller acknowledged it; polls run meanwhile).
/// - ErrorCode: an error bit (module, bit) set in an error report that was clear
///   in the previous report of the run (error reports come from the journal).
/// - LowPressure: on LPG with the engine running (≥ RPM_SHOWN_FROM, 100 1/min),
///   the differential pressure below the settings' petrolSwitchPressure ("Ciśnienie
///   przełączenia na benzynę", default 60 kPa): the controller goes to petrol there.
/// - PressureDrop: on LPG, under load (manifold vacuum 101 − pressure3 below
///   LOAD_VACUUM_KPA, the map computation's load axis), the differential pressure
///   below (100 − PRESSURE_DROP_PERCENT) % of the highest of the previous
///   PRESSURE_DROP_WINDOW samples.
/// - ColdLpg: on LPG, the LPG temperature below the settings' switchTemperature
///   ("Temperatura automatycznego przejścia na LPG", default 25 °C); a temperature
///   below TEMPERATURE_SHOWN_FROM (−30 °C, shown as "BRAK") is a missing sensor and
///   is not judged.
/// - LowVoltage: the supply voltage below the settings' minSupplyVoltage
///   ("Minimalne napięcie zasilania", default 10 V), judged only where the live
///   panel shows the voltage (with feature bit 11 only on LPG).
/// - OverSpeed: engine speed at or above OVERSPEED_RPM (8000 1/min: the end of
///   the injection map's speed axis and of the speed chart, above any cut-off).
/// - Gap: samples missing: a sample number more than one above the previous
///   (lines lost from the file), or a lost line noted in the journal: polls failed
///   for GAP_MS or longer before one succeeded again.
///
/// Time of a sample: milliseconds since the start of the run, interpolated
/// between the journal's clock readings (sample number, ms); before the first
/// reading from (0, 0); beyond the last with the run's mean sample period; with no
/// reading at all NOMINAL_SAMPLE_MS per sample.
///
/// Markers are the installer's own notes at a sample.
///
/// Events, markers and the journal are kept in a sidecar file beside the
/// recording (recording name + SIDECAR_SUFFIX); the recording and its "-config"
/// companion are never changed. The sidecar is text, UTF-8, LF line ends:
///
///     zefirel-zdarzenia 1
///     start<TAB>unix seconds of the run's start
///     clock<TAB>sampleNo<TAB>ms
///     settings<TAB>sampleNo<TAB>petrolSwitchPressure<TAB>switchTemperature<TAB>minSupplyVoltage<TAB>featureMask
///     command<TAB>sampleNo<TAB>petrol|lpg|auto
///     errors<TAB>sampleNo<TAB>22 hex digits (the 11-byte error report)
///     lost<TAB>sampleNo<TAB>ms
///     marker<TAB>sampleNo<TAB>note (tab, CR, LF and backslash escaped as \t \r \n \\)
///     event<TAB>sampleNo<TAB>kind key<TAB>sentence   (for other tools; never read back)
///     end<TAB>number of lines before this one
///
/// It is written whole or not at all (temporary file, fsync, rename). A sidecar
/// that is missing, cut short (no "end" line or a wrong count) or of another
/// version is not used: events are found again from the samples and the
/// companion's settings, and the markers are lost with a single notice.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "diag/Diag.h"
#include "diag/Recording.h"
#include "link/Threads.h"

namespace zefirel {

class CSettingsBlock;

// --- thresholds ---------------------------------------------------------------

/// Samples in a row a condition must hold to make an event.
inline constexpr int EVENT_HOLD_SAMPLES = 3;
/// Samples before or after a switch to petrol within which a noted user command
/// explains it.
inline constexpr int COMMAND_MATCH_SAMPLES = 40;
/// Manifold vacuum (101 − pressure3, kPa; the map computation's load) below which
/// the engine is under load: manifold pressure above about 70 kPa.
inline constexpr double LOAD_VACUUM_KPA = 30.0;
/// Fall of the differential pressure (per cent of the recent highest) that counts
/// as a drop under load.
inline constexpr double PRESSURE_DROP_PERCENT = 20.0;
/// Samples back the highest pressure is taken from.
inline constexpr int PRESSURE_DROP_WINDOW = 10;
/// Engine speed (1/min) from which the speed is above the cut-off region.
inline constexpr double OVERSPEED_RPM = 8000.0;
/// Time without an answer (ms) that counts as a lost line: well above a poll
/// with its retries, well below the reconnect after six failed polls.
inline constexpr double GAP_MS = 1000.0;
/// Sample period assumed with no clock reading: a diagnostic poll is 36 bytes
/// each way at 10 bits a byte on the 14400-baud line, 50 ms (20 polls/s).
inline constexpr double NOMINAL_SAMPLE_MS = 50.0;

// --- kinds --------------------------------------------------------------------

enum class EEventKind : uint8_t {
    ToLpg,
    ToPetrol,
    ErrorCode,
    LowPressure,
    PressureDrop,
    ColdLpg,
    LowVoltage,
    OverSpeed,
    Gap,
    Count
};
inline constexpr size_t EVENT_KIND_COUNT = static_cast<size_t>(EEventKind::Count);

/// Polish name for lists and legends, e.g. "Przejście na LPG".
const char* eventKindName(EEventKind kind);
/// Stable ASCII key for files and JSON, e.g. "to_lpg".
const char* eventKindKey(EEventKind kind);
/// Finds a kind by its key; false when there is none.
bool eventKindFromKey(const std::string& key, EEventKind& out);
/// Colour of the kind's lines and legend entry, 0x00BBGGRR.
uint32_t eventKindColour(EEventKind kind);
/// Colour of markers, 0x00BBGGRR.
inline constexpr uint32_t MARKER_COLOUR = 0x00000000;

/// One value that made an event: name, value and unit, e.g. {"ciśnienie", 45.2, "kPa"}.
struct EventValue {
    std::string name;
    double value = 0;
    std::string unit;
    bool operator==(const EventValue&) const = default;
};

struct DiagEvent {
    uint32_t sampleNo = 0;   ///< first sample of the episode (sample number, not index)
    double timeMs = 0;       ///< ms since the run's start (see "Time of a sample")
    EEventKind kind = EEventKind::ToLpg;
    /// ToPetrol only: true when the controller switched by itself, false when a
    /// user's mode command explains it.
    bool byController = false;
    std::vector<EventValue> values;
    /// Polish: what it means and what to check.
    std::string sentence;
    bool operator==(const DiagEvent&) const = default;
};

struct DiagMarker {
    uint32_t sampleNo = 0;
    double timeMs = 0;
    std::string note; ///< UTF-8, may be empty
    bool operator==(const DiagMarker&) const = default;
};

/// "12:34.5" (minutes:seconds.tenths) or "1:02:03.4" from ms.
std::string eventTimeText(double ms);
/// One line: "<time>  <name>: <sentence>" (a marker: "<time>  Znacznik: <note>").
std::string eventLine(const DiagEvent& e);
std::string markerLine(const DiagMarker& m);

// --- settings and journal -----------------------------------------------------

/// The settings values the rules use.
struct EventSettings {
    double petrolSwitchPressure = 60; ///< kPa
    double switchTemperature = 25;    ///< °C
    double minSupplyVoltage = 10;     ///< V
    uint32_t featureMask = 0;         ///< for the supply-voltage conversion
    static EventSettings fromBlock(const CSettingsBlock& block);
    bool operator==(const EventSettings&) const = default;
};

/// User's work-mode command as noted in the journal.
enum class EModeCommand : uint8_t { Petrol, Lpg, Auto };

/// What the samples cannot hold, noted at the newest sample number.
struct JournalEntry {
    enum class EType : uint8_t { Clock, Settings, Command, Errors, Lost };
    EType type = EType::Clock;
    uint32_t sampleNo = 0;          ///< takes effect after this sample
    double ms = 0;                  ///< Clock: time; Lost: length of the loss
    EventSettings settings;         ///< Settings
    EModeCommand command = EModeCommand::Petrol; ///< Command
    std::array<uint8_t, 11> errors{};            ///< Errors: the error report
    bool operator==(const JournalEntry&) const = default;
};

// --- the finder -----------------------------------------------------------------

/// Finds events in samples fed in order. Journal entries may come before or after
/// the samples they refer to: an entry for sample n acts after sample n and
/// before sample n + 1 either way.
class CEventFinder {
public:
    explicit CEventFinder(const EventSettings& settings = {});
    ~CEventFinder();
    CEventFinder(const CEventFinder&) = delete;
    CEventFinder& operator=(const CEventFinder&) = delete;

    void add(const CDiag& d);
    void addJournal(const JournalEntry& entry);
    /// Events found so far, sorted by sample number, with their times from the
    /// journal's clock as it stands now.
    std::vector<DiagEvent> events() const;
    /// Time of a sample (see "Time of a sample").
    double timeOf(uint32_t sampleNo) const;
    uint64_t samples() const;

private:
    struct State;
    std::unique_ptr<State> m;
};

// --- sidecar ------------------------------------------------------------------

inline constexpr const char* SIDECAR_SUFFIX = ".zdarzenia";
inline constexpr int SIDECAR_VERSION = 1;
inline std::string sidecarPath(const std::string& recordingPath) { return recordingPath + SIDECAR_SUFFIX; }

enum class ESidecar { Ok, Missing, Damaged, OtherVersion };

struct SidecarContent {
    int64_t startUnix = 0;
    std::vector<JournalEntry> journal;
    std::vector<DiagMarker> markers;     ///< times are filled by whoever reads
};

/// Reads a sidecar. Anything but Ok leaves out empty.
ESidecar readSidecar(const std::string& path, SidecarContent& out);
/// Writes the sidecar whole (temporary file, fsync, rename, fsync of the folder);
/// false when it could not (an existing sidecar is then as it was).
bool writeSidecar(const std::string& path, const SidecarContent& content, const std::vector<DiagEvent>& events);
/// The single notice shown when the markers of a recording could not be read
/// (Polish); empty for Ok and Missing.
std::string sidecarNotice(ESidecar state, const std::string& recordingPath);

// --- a recording's events -------------------------------------------------------

struct RecordingEvents {
    std::vector<DiagEvent> events;
    std::vector<DiagMarker> markers;
    ESidecar sidecar = ESidecar::Missing;
    RecordingReadStats lines;
    uint64_t samples = 0;
};

/// Settings for a recording without a usable sidecar: those of its companion's
/// first record, else the defaults; later companion records become Settings
/// journal entries at their sample numbers.
std::vector<JournalEntry> companionJournal(const std::string& recordingPath, EventSettings& initial);

/// The journal and markers a recording's events are found with: its sidecar's
/// when usable, else a journal of the companion's settings (returns the
/// sidecar's state either way).
ESidecar recordingJournal(const std::string& recordingPath, SidecarContent& out);

/// The events and markers of a recording file: samples streamed, the sidecar's
/// journal when it is usable (else the companion's settings). Raises an IError
/// (code 4) when the recording cannot be opened.
RecordingEvents findRecordingEvents(const std::string& recordingPath);
/// Adds a marker to a finished recording and rewrites its sidecar whole (one
/// made from the companion's settings when there is no usable sidecar). False
/// when the sidecar could not be written.
bool addRecordingMarker(const std::string& recordingPath, uint32_t sampleNo, const std::string& note);

// --- live journal ------------------------------------------------------------

/// The journal of a run being recorded, with the run's own finder: the recording
/// thread hands it every recorded sample, the controller proxy notes commands and
/// error reports, the window adds markers. Every note that matters is saved at once
/// (the sidecar rewritten whole), so a crash keeps everything noted before it.
/// Thread-safe.
class CRunJournal {
public:
    /// recordingPath: the run's recording (its sidecar is written beside it).
    /// settings: the controller's settings as the run starts.
    CRunJournal(std::string recordingPath, const EventSettings& settings);

    /// The recording thread after each recorded sample: runs the rules on it, and
    /// now and then (every CLOCK_EVERY_MS) takes a clock reading and saves.
    void sampleRecorded(const CDiag& d);
    void noteCommand(EModeCommand command);
    /// An error report read from the controller; saved only when it changed.
    void noteErrors(const uint8_t* report11);
    /// Polls failed for ms before one succeeded again (or polling gave up).
    void noteLost(double ms);
    void noteSettings(const EventSettings& settings);
    /// Adds a marker at sampleNo (0: at the newest sample) and saves; false when
    /// the sidecar could not be written (the marker is kept in memory).
    bool addMarker(uint32_t sampleNo, const std::string& note);
    /// Takes a last clock reading and saves (the run ended).
    void finish();

    /// The events and markers so far, timed by the clock readings so far.
    RecordingEvents current() const;
    uint32_t newestSample() const;
    const std::string& recordingPath() const { return m_path; }

    static constexpr double CLOCK_EVERY_MS = 10000;

private:
    void appendLocked(JournalEntry e);
    bool saveLocked();
    double elapsedMs() const;

    mutable CMutex m_lock;
    std::string m_path;
    SidecarContent m_content;
    CEventFinder m_finder;
    uint32_t m_newest = 0;
    double m_lastClock = 0;
    int64_t m_startNs = 0;
};

} // namespace zefirel
