#include "map/InjMap.h"

#include "diag/Recording.h"

namespace zefirel {

void CInjMap::load() {
    m_samples.clear();
    loadRecording(m_path, m_samples, &m_stats);
    requireRecords(m_path, m_stats);
}

} // namespace zefirel
