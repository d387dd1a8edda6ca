#include "diag/DeviceDoc.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "diag/Companion.h"
#include "diag/DeviceInput.h"
#include "support/FileUtil.h"
#include "support/Paths.h"

namespace zefirel {

namespace {

std::atomic<CDeviceDoc*> g_current{nullptr};

void clearCurrentDocument() { g_current.store(nullptr); }

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

} // namespace

std::string documentTitle(const std::string& path) {
    return path.empty() ? std::string(TITLE_BASE) : std::string(TITLE_BASE) + " - " + path;
}

std::string companionPath(const std::string& recordingPath) { return recordingPath + COMPANION_SUFFIX; }

CDeviceDoc::CDeviceDoc(ILPGHost* host, IPreferences* prefs) : CLPGDevice(host, prefs) {
    g_current.store(this);
    CLPGThreadManager::setExitHook(&clearCurrentDocument);
}

CDeviceDoc::~CDeviceDoc() {
    // The input thread calls back into this object; it must be gone first.
    m_diagnosticsOn.store(0);
    waitInputThread(CLOSE_WAIT_MS);
    CDeviceDoc* self = this;
    g_current.compare_exchange_strong(self, nullptr);
}

CDeviceDoc* CDeviceDoc::current() { return g_current.load(); }

// --- lifetime -----------------------------------------------------------------

bool CDeviceDoc::openConnection() {
    g_current.store(this);
    host().showWait(WAIT_CONNECTING);
    host().pumpEvents();
    connectAnyPort();
    host().closeWait();
    return true;
}

void CDeviceDoc::closeDocument() {
    m_diagnosticsOn.store(0);
    stopDiagnostics();
    CLPGThreadManager::instance().waitAll(CLOSE_WAIT_MS);
    disconnect();
    CDeviceDoc* self = this;
    g_current.compare_exchange_strong(self, nullptr);
}

// --- diagnostics --------------------------------------------------------------

bool CDeviceDoc::waitInputThread(int timeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (inputThreadRunning()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        sleepMs(2);
    }
    return true;
}

// One input thread at a time: a thread that has not yet noticed the cleared flag
// would otherwise poll beside the new one, and its late end would stop the new run.
void CDeviceDoc::waitForPreviousRun() {
    if (!inputThreadRunning())
        return;
    m_diagnosticsOn.store(0);
    waitInputThread(CLOSE_WAIT_MS);
}

void CDeviceDoc::startDiagnostics() { startDiagnostics(std::string()); }

void CDeviceDoc::startDiagnostics(const std::string& path) {
    waitForPreviousRun();
    std::string file = path;
    if (file.empty()) {
        resetDataFolder();
        file = dataFolder() + DEFAULT_RECORDING_NAME;
    } else {
        setDataFolderFromFile(file);
    }
    setRecordingPath(file);
    m_diagnosticsOn.store(1);
    // The thread creates the recording and its companion empty.
    auto thread = std::make_unique<CDiagRSThread>(*this, m_diagData, file, m_diagnosticsOn, m_injector);
    m_diagData.clear();
    forEachDisplay(&IDiagDisplay::reset);
    forEachDisplay(&IDiagDisplay::start);
    thread->trackWith(m_liveThreads);
    CLPGThreadManager::instance().insert(thread.release());
    setTitleFromPath(file);
}

void CDeviceDoc::stopDiagnostics() {
    forEachDisplay(&IDiagDisplay::stop);
    setTitleFromPath(std::string());
    setRecordingPath(std::string());
    m_diagnosticsOn.store(0);
}

void CDeviceDoc::onDiagnosticsEnded() {
    // A flag still set means the thread ended on its own (failures, an error),
    // not because this document stopped it.
    const bool onItsOwn = diagnosticsOn();
    stopDiagnostics();
    if (onItsOwn)
        host().diagnosticsEnded();
}

// --- replay -------------------------------------------------------------------

void CDeviceDoc::startReplay(const std::string& path) {
    waitForPreviousRun();
    setDataFolderFromFile(path);
    setTitleFromPath(path);
    m_diagnosticsOn.store(1);
    auto thread = std::make_unique<CDiagFileThread>(m_diagData, path, m_diagnosticsOn);
    thread->trackWith(m_liveThreads);
    CLPGThreadManager::instance().insert(thread.release());
}

void CDeviceDoc::finishReplay(const std::string& path) { setRecordingPath(path); }

void CDeviceDoc::replayFile(const std::string& path) {
    startReplay(path);
    host().showWait(WAIT_REPLAY);
    while (replayRunning() || inputThreadRunning()) {
        sleepMs(REPLAY_WAIT_SLICE_MS);
        if (!host().pumpEvents())
            m_diagnosticsOn.store(0); // the user cancelled: stop reading
    }
    finishReplay(path);
    host().closeWait();
}

// --- EEPROM image files -------------------------------------------------------

bool CDeviceDoc::readEepromToFile(const std::string& path) {
    uint8_t image[EEPROM_SIZE];
    if (!readEeprom(0, EEPROM_SIZE, image)) {
        // Nothing is written: a file from a failed read would hold no real image.
        host().showMessage(MSG_EEPROM_READ_FAILED, APP_CAPTION, EMsgStyle::Error);
        return false;
    }
    if (!writeFileAtomic(path, image, sizeof image)) {
        host().showMessage(MSG_EEPROM_FILE_OPEN, APP_CAPTION, EMsgStyle::Error);
        return false;
    }
    return true;
}

bool CDeviceDoc::writeEepromFromFile(const std::string& path) {
    std::vector<uint8_t> image;
    if (!readFile(path, image, EEPROM_SIZE)) {
        host().showMessage(MSG_EEPROM_FILE_OPEN, APP_CAPTION, EMsgStyle::Error);
        return false;
    }
    if (image.size() < EEPROM_SIZE) {
        host().showMessage(MSG_EEPROM_FILE_FORMAT, APP_CAPTION, EMsgStyle::Error);
        return false;
    }
    if (!writeEeprom(image.data(), 0, EEPROM_SIZE)) {
        host().showMessage(MSG_EEPROM_WRITE_FAILED, APP_CAPTION, EMsgStyle::Error);
        return false;
    }
    return true;
}

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

void CDeviceDoc::setTitleFromPath(const std::string& path) {
    const std::string text = documentTitle(path);
    std::function<void(const std::string&)> listener;
    {
        std::lock_guard<std::mutex> g(m_stateLock);
        m_title = text;
        listener = m_titleListener;
    }
    if (listener)
        listener(text);
}

void CDeviceDoc::setTitleListener(std::function<void(const std::string&)> listener) {
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
    stampCompanionRecord(m_settings, newest.sampleNo(), std::time(nullptr));
    return appendCompanionRecord(companionPath(path), m_settings);
}

bool CDeviceDoc::readSettingsHistory(std::vector<CSettingsBlock>& out) const {
    const std::string path = recordingPath();
    return !path.empty() && readCompanion(companionPath(path), out);
}

// --- car data -----------------------------------------------------------------

bool CDeviceDoc::ensureCarData() {
    if (carDataKnown() || administratorLevel()) {
        normalRefresh();
        return true;
    }
    if (!host().askCarData(m_settings))
        return false;
    setCarDataKnown(true);
    return true;
}

// --- displays -----------------------------------------------------------------

void CDeviceDoc::addDisplay(IDiagDisplay* display) {
    std::lock_guard<std::mutex> g(m_stateLock);
    if (display && std::find(m_displays.begin(), m_displays.end(), display) == m_displays.end())
        m_displays.push_back(display);
}

void CDeviceDoc::removeDisplay(IDiagDisplay* display) {
    std::lock_guard<std::mutex> g(m_stateLock);
    std::erase(m_displays, display);
}

void CDeviceDoc::forEachDisplay(void (IDiagDisplay::*op)()) {
    std::vector<IDiagDisplay*> displays;
    {
        std::lock_guard<std::mutex> g(m_stateLock);
        displays = m_displays;
    }
    for (IDiagDisplay* d : displays)
        (d->*op)();
}

void CDeviceDoc::setRefresh(int periodMs) {
    if (!diagnosticsOn())
        return;
    std::vector<IDiagDisplay*> displays;
    {
        std::lock_guard<std::mutex> g(m_stateLock);
        displays = m_displays;
    }
    for (IDiagDisplay* d : displays)
        d->setRefreshPeriod(periodMs);
}

void CDeviceDoc::slowRefresh() { setRefresh(REFRESH_SLOW_MS); }
void CDeviceDoc::normalRefresh() { setRefresh(REFRESH_NORMAL_MS); }

} // namespace zefirel
