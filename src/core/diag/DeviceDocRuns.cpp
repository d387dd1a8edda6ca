#include "diag/DeviceDoc.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "diag/DeviceInput.h"
#include "diag/DiagSummary.h"
#include "diag/RecordingFiles.h"
#include "events/EventTally.h"

namespace zefirel {

namespace {

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

/// Waits up to timeoutMs while busy() holds; true when it stopped holding.
bool waitWhile(const std::function<bool()>& busy, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (busy()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        sleepMs(2);
    }
    return true;
}

} // namespace

// --- diagnostics --------------------------------------------------------------

bool CDeviceDoc::waitInputThread(int timeoutMs) const {
    return waitWhile([this] { return inputThreadRunning(); }, timeoutMs);
}

// One input thread at a time: a thread that has not yet noticed the cleared flag
// would otherwise poll beside the new one, and its late end would stop the new run.
void CDeviceDoc::waitForPreviousRun() {
    if (!inputThreadRunning())
        return;
    m_diagnosticsOn.store(0);
    waitInputThread(CLOSE_WAIT_MS);
}

void CDeviceDoc::startDiagnostics() { startRun(std::string(), false); }

RunId CDeviceDoc::beginRun() {
    std::lock_guard<std::mutex> g(m_runLock);
    return ++m_run;
}

void CDeviceDoc::startDiagnostics(const std::string& path) { startRun(path, false); }

void CDeviceDoc::continueDiagnostics() {
    std::string chosen;
    {
        std::lock_guard<std::mutex> g(m_stateLock);
        if (m_runInterrupted)
            chosen = m_runFile;
    }
    startRun(chosen, !chosen.empty());
}

void CDeviceDoc::startRun(const std::string& chosen, bool continuation) {
    // The new number first: the previous thread's end, reported while this waits
    // for it, then belongs to a finished run and stops nothing of this one.
    const RunId run = beginRun();
    waitForPreviousRun();
    std::string wanted = chosen;
    if (wanted.empty()) {
        resetDataFolder();
        wanted = dataFolder() + DEFAULT_RECORDING_NAME;
    }
    const std::time_t now = std::time(nullptr);
    const std::string file = continuation ? freeStampedPath(wanted, now) : claimRecordingPath(wanted, now);
    if (file.empty())
        raiseError(ERROR_FILE_OPEN, MSG_RECORDING_CREATE, __LINE__, __FILE__);
    if (!chosen.empty())
        setDataFolderFromFile(file);
    {
        std::lock_guard<std::mutex> g(m_stateLock);
        m_runFile = chosen;
        m_runInterrupted = false;
        m_runRecording = file;
        m_runStartedMs = steadyMs();
    }
    setRecordingPath(file);
    startRunJournal(file);
    m_diagnosticsOn.store(1);
    // The thread creates the recording and its companion empty.
    auto thread = std::make_unique<CDiagRSThread>(*this, m_diagData, file, m_diagnosticsOn, m_injector);
    thread->setRun(run);
    m_diagData.clear();
    forEachDisplay(&IDiagDisplay::reset);
    {
        // A dialog that slowed the refresh may have closed while no run was on:
        // the run starts at the period of the brackets open now.
        std::lock_guard<std::recursive_mutex> g(m_displayLock);
        applyRefresh();
    }
    forEachDisplay(&IDiagDisplay::start);
    thread->trackWith(m_liveThreads);
    // The title first: a thread that ends at once (a recording that cannot be
    // created) resets it, and that reset must come last.
    setTitle(file, run);
    insertInputThread(std::move(thread));
}

void CDeviceDoc::insertInputThread(std::unique_ptr<CSThread> thread) {
    try {
        CLPGThreadManager::instance().insert(thread.release());
    } catch (...) {
        // The thread's own undo cleared the run flag and the tally; the document
        // shows no run either.
        stopDiagnostics();
        throw;
    }
}

void CDeviceDoc::stopDiagnostics() { endRun(currentRun()); }

bool CDeviceDoc::endRun(RunId run) {
    // Held throughout, so a new run cannot begin between the check and the changes.
    std::lock_guard<std::mutex> g(m_runLock);
    if (run != m_run.load())
        return false;
    {
        std::lock_guard<std::recursive_mutex> d(m_displayLock);
        const std::vector<IDiagDisplay*> displays = m_displays;
        for (IDiagDisplay* display : displays)
            display->stop(run);
    }
    setTitle(std::string(), run);
    setRecordingPath(std::string());
    setRunJournal(nullptr); // the run's events stay readable through currentEvents()
    m_diagnosticsOn.store(0);
    keepRecording();
    return true;
}

void CDeviceDoc::keepRecording() {
    std::string path;
    int64_t lengthMs = 0;
    {
        std::lock_guard<std::mutex> g(m_stateLock);
        std::swap(path, m_runRecording);
        lengthMs = steadyMs() - m_runStartedMs;
    }
    IWriteJournal* journal = writeJournal();
    if (path.empty() || !journal)
        return;
    const DiagSummary s = summarise(m_diagData);
    char summary[160];
    std::snprintf(summary, sizeof summary, "%d próbek; obroty %.0f–%.0f 1/min, LPG śr. %.2f ms", s.count, s.rpm.min,
                  s.rpm.max, s.lpgMs.mean);
    // The run's events stay readable after it ended: the history names them too.
    journal->recordRecording(settings(), path, static_cast<double>(lengthMs) / 1000.0,
                             std::string(summary) + "; " + eventTally(currentEvents()));
}

void CDeviceDoc::onDiagnosticsEnded(uint64_t run) {
    // A flag still set means the thread ended on its own (failures, an error),
    // not because this document stopped it.
    const bool onItsOwn = diagnosticsOn();
    if (endRun(run) && onItsOwn) {
        {
            std::lock_guard<std::mutex> g(m_stateLock);
            m_runInterrupted = true;
        }
        host().diagnosticsEnded(run);
    }
}

// --- replay -------------------------------------------------------------------

void CDeviceDoc::startReplay(const std::string& path) {
    const RunId run = beginRun();
    waitForPreviousRun();
    setDataFolderFromFile(path);
    setTitle(path, run);
    m_diagnosticsOn.store(1);
    m_replayOutcome = std::make_shared<ReplayOutcome>();
    startReplayEvents(path);
    auto thread = std::make_unique<CDiagFileThread>(m_diagData, path, m_diagnosticsOn, m_replayOutcome);
    thread->trackWith(m_liveThreads);
    insertInputThread(std::move(thread));
}

void CDeviceDoc::finishReplay(const std::string& path) {
    // The file thread writes what it read as it ends, after it dropped the run
    // flag: wait for its end before looking.
    waitInputThread(CLOSE_WAIT_MS);
    // A file without a record is refused: nothing of it is taken as a recording,
    // and the store it emptied is no longer another recording's either.
    setRecordingPath(lastReplayRefused() ? std::string() : path);
}

void CDeviceDoc::replayFile(const std::string& path) {
    startReplay(path);
    host().showCancellableWait(WAIT_REPLAY);
    while (replayRunning() || inputThreadRunning()) {
        sleepMs(REPLAY_WAIT_SLICE_MS);
        if (!host().pumpEvents())
            m_diagnosticsOn.store(0); // the user cancelled: stop reading
    }
    finishReplay(path);
    host().closeWait();
}

} // namespace zefirel
