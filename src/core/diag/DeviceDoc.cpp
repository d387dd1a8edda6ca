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
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
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