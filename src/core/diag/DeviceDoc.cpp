#include "diag/DeviceDoc.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

#include "diag/Companion.h"
#include "diag/DeviceInput.h"
#include "diag/RecordingFiles.h"
#include "support/FileUtil.h"
#include "support/Paths.h"
#include "support/StartupTrace.h"

namespace zefirel {

namespace {

std::atomic<CDeviceDoc*> g_current{nullptr};

void clearCurrentDocument() { g_current.store(nullptr); }

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

std::string documentTitle(const std::string& path) {
    return path.empty() ? std::string(TITLE_BASE) : std::string(TITLE_BASE) + " - " + path;
}

CDeviceDoc::CDeviceDoc(ILPGHost* host, IPreferences* prefs) : CLPGDevice(host, prefs) {
    g_current.store(this);
    CLPGThreadManager::setExitHook(&clearCurrentDocument);
}

CDeviceDoc::~CDeviceDoc() {
    // The input thread calls back into this object; it must be gone first.
    m_diagnosticsOn.store(0);
    m_closing.store(true);
    waitInputThread(CLOSE_WAIT_MS);
    // No time limit: the attempt uses this object and its port to the end. It looks at
    // the closing flag between ports, so it ends within one port's time-outs.
    waitReconnect();
    CDeviceDoc* self = this;
    g_current.compare_exchange_strong(self, nullptr);
}

CDeviceDoc* CDeviceDoc::current() { return g_current.load(); }

// --- lifetime -----------------------------------------------------------------

bool CDeviceDoc::openConnection() {
    g_current.store(this);
    host().showWait(WAIT_CONNECTING);
    host().pumpEvents();
    startupMark("port-search");
    const bool answered = connectAnyPort();
    host().closeWait();
    // A controller plugged in (or switched on) after the program started must be
    // found without a restart: keep trying in the background as after a loss.
    m_connectionPending.store(!answered);
    if (!answered)
        host().startTimer(RECONNECT_TIMER_ID, RECONNECT_FIRST_DELAY_MS);
    return true;
}

bool CDeviceDoc::reconnect() {
    const bool ok = !m_closing.load() && connectFirstPort(&m_closing);
    if (ok)
        m_connectionPending.store(false);
    return ok;
}

namespace {
/// One reconnect attempt of a document on a worker thread.
class CReconnectThread : public CSThread {
public:
    CReconnectThread(CDeviceDoc& doc, std::atomic<bool>& busy) : m_doc(doc), m_busy(busy) {}
    void run() override {
        bool ok = false;
        try {
            ok = m_doc.reconnect();
        } catch (...) {
        }
        m_doc.host().reconnectEnded(ok);
        m_busy.store(false); // last: the document may be gone right after
    }

private:
    CDeviceDoc& m_doc;
    std::atomic<bool>& m_busy;
};
} // namespace

bool CDeviceDoc::startReconnect() {
    bool idle = false;
    if (m_closing.load() || !m_reconnecting.compare_exchange_strong(idle, true))
        return false;
    try {
        CLPGThreadManager::instance().insert(new CReconnectThread(*this, m_reconnecting));
    } catch (...) {
        m_reconnecting.store(false);
        throw;
    }
    return true;
}

void CDeviceDoc::waitReconnect() const {
    while (reconnecting())
        sleepMs(2);
}

void CDeviceDoc::closeDocument() {
    m_closing.store(true);
    m_connectionPending.store(false);
    m_diagnosticsOn.store(0);
    stopDiagnostics();
    waitReconnect(); // the port is closed below: no attempt may still be using it
    CLPGThreadManager::instance().waitAll(CLOSE_WAIT_MS);
    disconnect();
    CDeviceDoc* self = this;
    g_current.compare_exchange_strong(self, nullptr);
}

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
    }
    setRecordingPath(file);
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
    m_diagnosticsOn.store(0);
    return true;
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

// --- EEPROM image files -------------------------------------------------------

std::string CDeviceDoc::readEepromImage(const std::string& path) {
    uint8_t image[EEPROM_SIZE];
    // Nothing is written after a failed read: such a file would hold no real image.
    if (!readEeprom(0, EEPROM_SIZE, image))
        return MSG_EEPROM_READ_FAILED;
    if (!writeFileAtomic(path, image, sizeof image))
        return MSG_EEPROM_FILE_OPEN;
    return std::string();
}

std::string CDeviceDoc::writeEepromImage(const std::string& path) {
    std::vector<uint8_t> image;
    if (!readFile(path, image, EEPROM_SIZE))
        return MSG_EEPROM_FILE_OPEN;
    if (image.size() < EEPROM_SIZE)
        return MSG_EEPROM_FILE_FORMAT;
    if (!writeEeprom(image.data(), 0, EEPROM_SIZE))
        return MSG_EEPROM_WRITE_FAILED;
    return std::string();
}

namespace {
bool reportEeprom(ILPGHost& host, const std::string& failure) {
    if (!failure.empty())
        host.showMessage(failure, APP_CAPTION, EMsgStyle::Error);
    return failure.empty();
}
} // namespace

bool CDeviceDoc::readEepromToFile(const std::string& path) { return reportEeprom(host(), readEepromImage(path)); }

bool CDeviceDoc::writeEepromFromFile(const std::string& path) { return reportEeprom(host(), writeEepromImage(path)); }

// --- folders ------------------------------------------------------------------

std::string CDeviceDoc::defaultDataFolder() { return zefirel::defaultDataFolder(); }

std::string CDeviceDoc::dataFolder() const {
    {
        std::lock_guard<std::mutex> g(m_stateLock);
        if (!m_dataFolder.empty())
            return m_dataFolder;
    }
    return defaultDataFolder();
}

void CDeviceDoc::resetDataFolder() {
    const std::string folder = defaultDataFolder();
    std::lock_guard<std::mutex> g(m_stateLock);
    m_dataFolder = folder;
}

void CDeviceDoc::setDataFolderFromFile(const std::string& path) {
    std::string folder = parentFolder(path);
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    std::lock_guard<std::mutex> g(m_stateLock);
    m_dataFolder = folder;
}

// --- title and recording path -------------------------------------------------

std::string CDeviceDoc::title() const {
    std::lock_guard<std::mutex> g(m_stateLock);
    return m_title;
}

void CDeviceDoc::setTitleFromPath(const std::string& path) { setTitle(path, currentRun()); }

void CDeviceDoc::setTitle(const std::string& path, RunId run) {
    const std::string text = documentTitle(path);
    std::function<void(const std::string&, RunId)> listener;
    {
        std::lock_guard<std::mutex> g(m_stateLock);
        m_title = text;
        listener = m_titleListener;
    }
    if (listener)
        listener(text, run);
}

void CDeviceDoc::setTitleListener(std::function<void(const std::string&, RunId)> listener) {
    std::lock_guard<std::mutex> g(m_stateLock);
    m_titleListener = std::move(listener);
}

// --- settings companion -------------------------------------------------------

bool CDeviceDoc::appendSettingsCompanion() {
    const std::string path = recordingPath();
    if (path.empty())
        return false;
    CDiag newest;
    if (!m_diagData.getLast(newest))
        return false;
    CSettingsBlock record = settings();
    stampCompanionRecord(record, newest.sampleNo(), std::time(nullptr));
    return appendCompanionRecord(companionPath(path), record);
}

bool CDeviceDoc::readSettingsHistory(std::vector<CSettingsBlock>& out) const {
    const std::string path = recordingPath();
    return !path.empty() && readCompanion(companionPath(path), out);
}

// --- car data -----------------------------------------------------------------

bool CDeviceDoc::ensureCarData(CSettingsBlock& blk) {
    if (carDataKnown() || administratorLevel()) {
        normalRefresh();
        return true;
    }
    if (!host().askCarData(blk))
        return false;
    setCarDataKnown(true);
    return true;
}

// --- displays -----------------------------------------------------------------

void CDeviceDoc::addDisplay(IDiagDisplay* display) {
    std::lock_guard<std::recursive_mutex> g(m_displayLock);
    if (display && std::find(m_displays.begin(), m_displays.end(), display) == m_displays.end())
        m_displays.push_back(display);
}

void CDeviceDoc::removeDisplay(IDiagDisplay* display) {
    std::lock_guard<std::recursive_mutex> g(m_displayLock);
    std::erase(m_displays, display);
}

size_t CDeviceDoc::displayCount() const {
    std::lock_guard<std::recursive_mutex> g(m_displayLock);
    return m_displays.size();
}

// The lock stays held during the calls: a display removed meanwhile on another
// thread is not freed under a call. The calls only post work to the GUI thread or
// run it there, so no display waits for the thread that holds the lock.
void CDeviceDoc::forEachDisplay(void (IDiagDisplay::*op)()) {
    std::lock_guard<std::recursive_mutex> g(m_displayLock);
    const std::vector<IDiagDisplay*> displays = m_displays; // a display may unregister itself
    for (IDiagDisplay* d : displays)
        (d->*op)();
}

void CDeviceDoc::applyRefresh() {
    if (!diagnosticsOn())
        return;
    const int period = m_slowDepth > 0 ? REFRESH_SLOW_MS : REFRESH_NORMAL_MS;
    const std::vector<IDiagDisplay*> displays = m_displays;
    for (IDiagDisplay* d : displays)
        d->setRefreshPeriod(period);
}

void CDeviceDoc::slowRefresh() {
    std::lock_guard<std::recursive_mutex> g(m_displayLock);
    ++m_slowDepth;
    applyRefresh();
}

void CDeviceDoc::normalRefresh() {
    std::lock_guard<std::recursive_mutex> g(m_displayLock);
    if (m_slowDepth > 0)
        --m_slowDepth;
    applyRefresh();
}

} // namespace zefirel
