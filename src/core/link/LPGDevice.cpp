#include "link/LPGDevice.h"

#include <chrono>
#include <thread>

#include "support/Preferences.h"

namespace zefirel {

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

bool CLPGDevice::ensureCarData() { return host().askCarData(m_settings); }

uint32_t CLPGDevice::readLastSerialPort() { return m_prefs ? m_prefs->lastSerialPort() : 0; }

void CLPGDevice::writeLastSerialPort(uint32_t port) {
    if (m_prefs)
        m_prefs->setLastSerialPort(port);
}

} // namespace zefirel
