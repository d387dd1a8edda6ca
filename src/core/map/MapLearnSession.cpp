#include "map/MapLearnSession.h"

#include <climits>

#include "link/LPGDevice.h"
#include "map/MapWrite.h"

namespace zefirel {

CMapLearnSession::CMapLearnSession(const MapUnits& units) : m_learner(units) {}

bool CMapLearnSession::start(CLPGDevice& device) {
    MapBytes map;
    if (!readMapBytes(device, map))
        return false;
    start(map, device.settings().value(ESetting::switchTemperature));
    return true;
}

void CMapLearnSession::start(const MapBytes& controllerMap, double switchTemperature) {
    m_learner.clear();
    LearnLimits limits = m_learner.limits();
    limits.switchTemperature = switchTemperature;
    m_learner.setLimits(limits);
    m_previous = controllerMap;
    m_started = m_running = true;
    m_wrote = false;
    m_generation = 0;
    m_fed = 0;
}

void CMapLearnSession::skipStored(const CDiagData& store) {
    m_generation = store.generation();
    m_fed = store.count();
    // The count may have grown after the generation was read; a sample or two
    // skipped more is harmless, one fed twice is not.
}

size_t CMapLearnSession::feed(const CDiagData& store) {
    if (!m_running)
        return 0;
    m_buffer.clear();
    uint64_t generation = store.getRangeOf(m_buffer, m_fed, INT_MAX);
    if (generation != m_generation) {
        // A new run filled the store: its samples from the first, after a break.
        do {
            m_buffer.clear();
            generation = store.getRangeOf(m_buffer, 0, INT_MAX);
        } while (generation != store.generation());
        if (m_generation != 0)
            m_learner.breakStream();
        m_generation = generation;
        m_fed = 0;
    }
    for (const CDiag& d : m_buffer)
        m_learner.add(d);
    m_fed += static_cast<int>(m_buffer.size());
    return m_buffer.size();
}

bool CMapLearnSession::add(const CDiag& d) { return m_running && m_learner.add(d); }

void CMapLearnSession::lineLost() { m_learner.breakStream(); }

SettingsWriteRequest CMapLearnSession::writeRequest(const CLPGDevice& device, LearnConfirm confirm) const {
    SettingsWriteRequest request = mapWriteRequest(device, proposedMap(), EWriteSource::Learning);
    request.confirm = std::move(confirm);
    return request;
}

SettingsWriteRequest CMapLearnSession::undoRequest(const CLPGDevice& device, LearnConfirm confirm) const {
    SettingsWriteRequest request = mapWriteRequest(device, m_previous, EWriteSource::Learning);
    request.confirm = std::move(confirm);
    return request;
}

bool CMapLearnSession::noteWrite(const SettingsWriteRequest& request, const SettingsWriteResult& result) {
    if (!(result.mapWritten || result.ok()) || !request.map)
        return false;
    m_learner.setWritten(*request.map);
    m_wrote = true;
    return true;
}

bool CMapLearnSession::noteUndo(const SettingsWriteResult& result) {
    if (!(result.mapWritten || result.ok()))
        return false;
    m_learner.backToFirstPass();
    m_wrote = false;
    return true;
}

} // namespace zefirel
