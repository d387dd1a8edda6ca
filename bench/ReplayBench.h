#pragma once
// A replay as the document runs it, for the benchmarks: the replay thread fills a
// store from a recording; running() turns false once it has ended.

#include <atomic>
#include <memory>
#include <string>

#include "diag/DeviceInput.h"

namespace zefirel::bench {

class CReplayRun {
public:
    /// Starts the replay of the recording at path into the store.
    CReplayRun(CDiagData& store, const std::string& path) {
        auto* thread = new CDiagFileThread(store, path, m_run);
        thread->trackWith(m_live);
        CLPGThreadManager::instance().insert(thread);
    }
    bool running() const { return m_run.load() != 0 || m_live->load() != 0; }

private:
    std::atomic<uint8_t> m_run{1};
    std::shared_ptr<std::atomic<int>> m_live = std::make_shared<std::atomic<int>>(0);
};

} // namespace zefirel::bench
