#include "link/LPGDevice.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "support/Preferences.h"

namespace zefirel {

namespace {
/// How often a write waiting for the controller looks again (and lets the host run).
constexpr int OWNER_WAIT_SLICE_MS = 2;
} // namespace

CLPGDevice::CLPGDevice(ILPGHost* host, IPreferences* prefs) : m_host(host), m_prefs(prefs) {
    m_settings.initDefaults();
}

CLPGDevice::~CLPGDevice() { m_port.close(); }

ILPGHost& CLPGDevice::host() { return m_host ? *m_host : m_nullHost; }

std::string CLPGDevice::recordingPath() const {
    std::lock_guard<std::mutex> g(m_pathLock);
    return m_recordingPath;
}

void CLPGDevice::setRecordingPath(const std::string& p) {
    std::lock_guard<std::mutex> g(m_pathLock);
    m_recordingPath = p;
}

void CLPGDevice::markConnectionLost() {
    m_connectionLost.store(true, std::memory_order_relaxed);
    m_connected.store(false, std::memory_order_relaxed);
}

void CLPGDevice::pauseMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool CLPGDevice::ensureCarData(CSettingsBlock& blk) { return host().askCarData(blk); }

bool CLPGDevice::ensureCarData() {
    CSettingsBlock blk = settings();
    if (!ensureCarData(blk))
        return false;
    updateSettings([&blk](CSettingsBlock& own) {
        std::copy(blk.bytes().begin() + block::CAR_DATA, blk.bytes().begin() + block::FEATURES,
                  own.bytes().begin() + block::CAR_DATA);
    });
    return true;
}

const CSettingsBlock CLPGDevice::settings() const {
    std::lock_guard<std::mutex> g(m_settingsLock);
    return m_settings;
}

void CLPGDevice::updateSettings(const std::function<void(CSettingsBlock&)>& change) {
    std::lock_guard<std::mutex> g(m_settingsLock);
    change(m_settings);
    m_featureMask.store(m_settings.featureMask(), std::memory_order_relaxed);
}

CSettingsBlock CLPGDevice::lastControllerSettings() const {
    std::lock_guard<std::mutex> g(m_settingsLock);
    return m_lastController;
}

bool CLPGDevice::controllerSettingsKnown() const {
    std::lock_guard<std::mutex> g(m_settingsLock);
    return m_lastControllerKnown;
}

bool CLPGDevice::controllerCurveKnown() const {
    std::lock_guard<std::mutex> g(m_settingsLock);
    return m_curveKnown;
}

bool CLPGDevice::controllerMapKnown() const {
    std::lock_guard<std::mutex> g(m_settingsLock);
    return m_mapKnown;
}

void CLPGDevice::forgetControllerRecord() {
    std::lock_guard<std::mutex> g(m_settingsLock);
    m_lastControllerKnown = false;
    m_curveKnown = false;
    m_mapKnown = false;
}

bool CLPGDevice::acquireOwner(bool wait) {
    const std::thread::id self = std::this_thread::get_id();
    for (;;) {
        if (m_ownerLock.try_lock()) {
            m_ownerThread.store(self);
            m_ownerBusy.store(true);
            return true;
        }
        // Inside a write on this very thread (a nested event loop): waiting would
        // never end, and a second write must not start inside the first.
        if (!wait || m_ownerThread.load() == self)
            return false;
        host().pumpEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(OWNER_WAIT_SLICE_MS));
    }
}

void CLPGDevice::releaseOwner() {
    m_ownerBusy.store(false);
    m_ownerThread.store(std::thread::id{});
    m_ownerLock.unlock();
}

uint32_t CLPGDevice::readLastSerialPort() { return m_prefs ? m_prefs->lastSerialPort() : 0; }

void CLPGDevice::writeLastSerialPort(uint32_t port) {
    if (m_prefs)
        m_prefs->setLastSerialPort(port);
}

} // namespace zefirel
