#pragma once
/// CDeviceDoc: the document of one connection to one controller, on top of the
/// controller proxy CLPGDevice. This class holds the document's operations that
/// need no window: starting and stopping diagnostics, replaying a recording,
/// copying the EEPROM to and from image files, the data folder, the title text,
/// the car-data flag and access levels, the settings companion of the running
/// recording, the injector the polling thread asks for, and the displays that are
/// reset, started and stopped with every diagnostic run. The windowed program wraps
/// it and adds dialogs and menus; the command-line client and tests use it as it is.
///
/// Threads: every operation runs on the thread that owns the document (the GUI
/// thread) except onDiagnosticsEnded, which the polling thread calls when it ends
/// (it stops the displays, sets the title and tells the host from that thread:
/// windowed implementations marshal those calls and must not wait for them). The
/// title, data folder and recording path are guarded so both threads may touch
/// them. Every run has its own number (RunId); the end of a run that is no longer
/// the current one changes nothing, and the calls it hands to the displays, the
/// title listener and the host carry the run's number so that a window can drop
/// them when they arrive after a newer run has begun.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "diag/Companion.h"
#include "diag/DeviceInput.h"
#include "diag/DiagDisplay.h"
#include "events/DiagEvents.h"
#include "link/LPGDevice.h"

namespace zefirel {

/// Default recording name in the data folder.
inline constexpr const char* DEFAULT_RECORDING_NAME = "Diagnostyka.lpgd";
/// Title of the main window without a file.
inline constexpr const char* TITLE_BASE = "Zefirel";
/// Wait text while connecting, and while a recording is replayed.
inline constexpr const char* WAIT_CONNECTING = "Nawiązanie połączenia z urządzeniem...";
inline constexpr const char* WAIT_REPLAY = "Wczytywanie pliku diagnostycznego...";
/// Messages of the EEPROM image commands (shown with the error icon).
inline constexpr const char* MSG_EEPROM_READ_FAILED = "Nie można przeczytać pamięci EEPROM urządzenia!";
inline constexpr const char* MSG_EEPROM_WRITE_FAILED = "Nie można zapisać do pamięci EEPROM urządzenia!";
inline constexpr const char* MSG_EEPROM_FILE_OPEN = "Nie można otworzyć wskazanego pliku EEPROM!";
inline constexpr const char* MSG_EEPROM_FILE_FORMAT = "Niepoprawny format pliku EEPROM!";
/// Polling period of the replay wait. Short, so that the window (and the chart that
/// takes the samples as the replay brings them) keeps up with a fast replay.
inline constexpr int REPLAY_WAIT_SLICE_MS = 20;
/// How long closing the document waits for the worker threads.
inline constexpr int CLOSE_WAIT_MS = 3000;
/// Refresh periods of the displays while diagnostics are on.
inline constexpr int REFRESH_NORMAL_MS = 500;
inline constexpr int REFRESH_SLOW_MS = 5000;

/// "Zefirel", followed by " - " and the path when the path is not empty.
std::string documentTitle(const std::string& path);

class CDeviceDoc : public CLPGDevice {
public:
    /// Makes this the current document (the process-wide pointer).
    explicit CDeviceDoc(ILPGHost* host = nullptr, IPreferences* prefs = nullptr);
    /// Stops diagnostics and clears the current-document pointer if it is this one.
    ~CDeviceDoc() override;

    /// The current document, or null when none.
    static CDeviceDoc* current();

    // --- lifetime ------------------------------------------------------------
    /// New-document step: shows the wait text, connects to the last serial port
    /// first and then ports 1..7 (connectAnyPort), closes the wait. Succeeds whatever
    /// the connection result. When no controller answered, the connection stays
    /// pending and the host's reconnect timer (5006) is started, as after a loss.
    bool openConnection();
    /// No controller has answered since start-up: the reconnect keeps trying.
    bool connectionPending() const { return m_connectionPending.load(); }
    /// One reconnect attempt: the last serial port, then ports 1..7, at 14400 baud.
    /// True on the first port whose controller answers the handshake; that ends a
    /// pending start-up connection.
    bool reconnect();
    /// The same attempt on a worker thread, so the window never waits for ports
    /// that do not answer: returns at once (false when an attempt is already under
    /// way) and tells the host reconnectEnded when it is over. Closing the document
    /// ends an attempt before its next port and waits for it.
    bool startReconnect();
    bool reconnecting() const { return m_reconnecting.load(); }
    /// Closing: clears the diagnostics-on flag, stops diagnostics, waits up to
    /// 3000 ms for the input thread, disconnects, clears the current-document pointer.
    void closeDocument();

    // --- diagnostics ---------------------------------------------------------
    /// Starts polling into the default recording "Diagnostyka.lpgd" of the default
    /// data folder (the data folder is reset first).
    void startDiagnostics();
    /// Starts polling into the given recording; an empty path means the default
    /// recording (a cancelled save dialog). The data folder becomes the file's folder.
    /// A run never truncates an earlier recording: one already at that path is moved
    /// aside with its companion to a time-stamped name first (and when it cannot be
    /// moved, the run records into a time-stamped name next to it instead). Raises
    /// an IError (code 4) when no file name is left to record into.
    void startDiagnostics(const std::string& path);
    /// Starts the run after a reconnect. When the run before ended on its own (the
    /// controller was lost) while recording into a file the installer chose, the new
    /// run goes on in a new time-stamped file next to that file; otherwise this is
    /// startDiagnostics() with the default recording.
    void continueDiagnostics();
    /// Stops every display, sets the title without a path, empties the recording
    /// path and clears the diagnostics-on flag. The input thread notices the flag
    /// before its next read and ends.
    void stopDiagnostics();
    /// The polling thread of a run ended (user stop, six failed polls, an error):
    /// stops diagnostics, and tells the host when the thread ended on its own. The
    /// end of a run that is no longer the current one changes nothing.
    void onDiagnosticsEnded(uint64_t run) override;
    /// The number of the newest run (0 before the first).
    RunId currentRun() const { return m_run.load(); }
    bool isCurrentRun(RunId run) const { return m_run.load() == run; }
    /// Whether an input thread started by this document is still running.
    bool inputThreadRunning() const { return m_liveThreads->load() > 0; }
    /// Waits up to timeoutMs for the input thread to end; true if none runs.
    bool waitInputThread(int timeoutMs) const;

    // --- replay --------------------------------------------------------------
    /// Starts replaying a recording into the store: the data folder becomes the
    /// file's folder, the title shows the file, the diagnostics-on flag is set and a
    /// replay thread is inserted. The flag drops when the replay ends, also when
    /// the file cannot be read. The caller waits for replayRunning() to turn false
    /// (keeping its window alive) and then calls finishReplay().
    void startReplay(const std::string& path);
    /// True while the replay thread has not finished.
    bool replayRunning() const { return diagnosticsOn(); }
    /// After the replay: the recording path becomes the replayed file (so its
    /// settings history can be listed); empty when it was read whole and held no record.
    void finishReplay(const std::string& path);
    /// The counts of the lines the last replay read (valid once it finished).
    RecordingReadStats lastReplayStats() const { return m_replayOutcome->lines; }
    /// Whether the last replay read the whole file and found no record in it.
    bool lastReplayRefused() const { return m_replayOutcome->wholeFile && m_replayOutcome->lines.linesUsed == 0; }
    /// The whole replay for callers without a window: startReplay, wait text,
    /// a 100 ms wait loop that lets the host run its pending work, finishReplay.
    void replayFile(const std::string& path);

    // --- events and markers (DeviceDocEvents.cpp) ---------------------------------
    /// The events and markers of the current run: while recording, found from the
    /// samples in the store so far; after a replay, those of the replayed file
    /// (markers from its sidecar). Cheap to call on every refresh: only the samples
    /// new since the last call are looked at. Empty when no run is shown.
    RecordingEvents currentEvents();
    /// Adds a marker with an optional note: while recording at sampleNo (0: the
    /// newest sample), after a replay at sampleNo of the replayed file. The sidecar
    /// is rewritten whole. False when there is no recording to mark or the sidecar
    /// could not be written (the marker is then kept for this run only).
    bool addMarker(uint32_t sampleNo, const std::string& note);

    // --- EEPROM image files ------------------------------------------------------
    /// Reads the 512-byte EEPROM into an image file (written whole or not at all).
    /// Failures show their message (error icon) and return false.
    bool readEepromToFile(const std::string& path);
    /// Writes the first 512 bytes of an image file into the EEPROM. A shorter file is
    /// refused with "Niepoprawny format pliku EEPROM!" and nothing is sent.
    bool writeEepromFromFile(const std::string& path);
    /// The same transfers without showing anything, for a worker thread: the text
    /// of the message the transfer ends with, empty when it succeeded. The caller
    /// shows it (error icon). Port errors pass to the caller.
    std::string readEepromImage(const std::string& path);
    std::string writeEepromImage(const std::string& path);

    // --- folders -------------------------------------------------------------
    /// The default data folder (created when missing), ending with "/".
    static std::string defaultDataFolder();
    /// The folder last used by a file dialog of this document.
    std::string dataFolder() const;
    /// Back to the default data folder (done before every file dialog).
    void resetDataFolder();
    /// The data folder becomes the folder of the given file.
    void setDataFolderFromFile(const std::string& path);

    // --- title and recording path -------------------------------------------
    /// The current title text.
    std::string title() const;
    /// Sets the title from a path ("Zefirel" alone for an empty path).
    void setTitleFromPath(const std::string& path);
    /// Called with the new title and the run it belongs to whenever the title
    /// changes (from any thread).
    void setTitleListener(std::function<void(const std::string&, RunId)> listener);

    // --- settings companion --------------------------------------------------
    /// Appends the settings block, stamped with the time and the newest sample
    /// number, to the running recording's companion. False when there is no
    /// recording path, the store is empty or the companion cannot be appended.
    bool appendSettingsCompanion() override;
    /// Appends every valid record of the current recording's companion to out.
    /// False when there is no recording path or the companion cannot be opened.
    bool readSettingsHistory(std::vector<CSettingsBlock>& out) const;

    // --- injector selection --------------------------------------------------
    /// The injector (1..8) the polling thread asks for; read before every poll.
    int selectedInjector() const { return m_injector.load(std::memory_order_relaxed); }
    /// Publishes the injector chosen in the live panel.
    void setSelectedInjector(int injector) { m_injector.store(injector, std::memory_order_relaxed); }
    const std::atomic<int>& injectorSelection() const { return m_injector; }

    // --- car data and access levels ------------------------------------------
    bool carDataKnown() const { return m_carData.load(); }
    void setCarDataKnown(bool on) { m_carData.store(on); }
    bool serviceLevel() const { return m_serviceLevel.load(); }
    void setServiceLevel(bool on) { m_serviceLevel.store(on); }
    bool administratorLevel() const { return m_adminLevel.load(); }
    void setAdministratorLevel(bool on) { m_adminLevel.store(on); }
    /// True at once (after the normal refresh) when the car data are known or the
    /// administrator level is set; otherwise asks the host for the car data and
    /// remembers a successful answer.
    bool ensureCarData(CSettingsBlock& blk) override;
    using CLPGDevice::ensureCarData;

    // --- displays ------------------------------------------------------------
    /// Registers a display (not owned); it is reset/started/stopped with each run.
    void addDisplay(IDiagDisplay* display);
    /// Unregisters a display. When it returns, no call into that display is running
    /// or will start, so its owner may delete it (also while the polling thread ends).
    void removeDisplay(IDiagDisplay* display);
    /// Number of registered displays.
    size_t displayCount() const;
    /// Around modal dialogs: displays refresh every 5000 ms (slow) or 500 ms (normal)
    /// while diagnostics are on. The brackets nest: a message box inside a dialog
    /// that slowed the refresh keeps it slow until that dialog's own normalRefresh.
    /// A normalRefresh without an open bracket restores the normal period. A run
    /// starts at the period of the brackets open at its start.
    void slowRefresh();
    void normalRefresh();

private:
    void forEachDisplay(void (IDiagDisplay::*op)());
    /// Sets the displays' period by the bracket depth; the caller holds m_displayLock.
    void applyRefresh();
    void waitForPreviousRun();
    /// Starts polling. chosen: the installer's file (empty = the default recording);
    /// continuation: record next to chosen under a new time-stamped name.
    void startRun(const std::string& chosen, bool continuation);
    /// Hands an input thread to the registry; when it cannot be started, the run is
    /// stopped again and the failure passes on.
    void insertInputThread(std::unique_ptr<CSThread> thread);
    /// A new run number; the previous run's late calls are dropped from now on.
    RunId beginRun();
    /// Ends the given run if it is still the current one; false otherwise.
    bool endRun(RunId run);
    /// Keeps the live run's recording (file, length, summary) in the car's
    /// history, once per run.
    void keepRecording();
    void setTitle(const std::string& path, RunId run);
    /// Waits until a reconnect attempt on a worker has ended.
    void waitReconnect() const;
    /// A recorded run's journal (its sidecar created) and a replay's event feed.
    void startRunJournal(const std::string& file);
    void startReplayEvents(const std::string& path);

    mutable std::mutex m_stateLock; // title, data folder
    std::mutex m_runLock;           // a run's start against the end of the one before
    std::atomic<RunId> m_run{0};
    std::atomic<bool> m_connectionPending{false};
    std::atomic<bool> m_reconnecting{false};
    std::atomic<bool> m_closing{false}; ///< set by closing: no new attempt, no further port
    std::string m_title{TITLE_BASE};
    std::string m_dataFolder;
    /// Guards the display list and the bracket depth, and is held while displays are
    /// called, so removeDisplay waits for a call in progress on another thread.
    /// Recursive: a display called on the GUI thread may call back into the document.
    mutable std::recursive_mutex m_displayLock;
    std::vector<IDiagDisplay*> m_displays;
    int m_slowDepth = 0; ///< open slow-refresh brackets
    std::function<void(const std::string&, RunId)> m_titleListener;
    std::string m_runFile;        ///< the installer's file of the current run (empty = default)
    bool m_runInterrupted = false; ///< the last run ended on its own; continueDiagnostics follows it
    /// The recording of the current live run and when it began (empty: none, or
    /// already kept in the car's history).
    std::string m_runRecording;
    int64_t m_runStartedMs = 0;
    std::atomic<int> m_injector{1};
    std::atomic<bool> m_carData{false};
    std::atomic<bool> m_serviceLevel{false};
    std::atomic<bool> m_adminLevel{false};
    /// Input threads of this document still running (shared with the threads, which
    /// may outlive a document that gave up waiting for them).
    std::shared_ptr<std::atomic<int>> m_liveThreads = std::make_shared<std::atomic<int>>(0);
    /// The replayed recording's finder, fed from the store by currentEvents().
    struct EventFeed;
    std::shared_ptr<EventFeed> m_eventFeed;
    std::mutex m_eventLock;
    /// Filled by the replay thread when it ends; a fresh one for every replay.
    std::shared_ptr<ReplayOutcome> m_replayOutcome = std::make_shared<ReplayOutcome>();
};

} // namespace zefirel
