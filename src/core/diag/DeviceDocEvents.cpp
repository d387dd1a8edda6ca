// The document's events and markers: a recorded run's journal, a replay's finder.

#include "diag/DeviceDoc.h"

namespace zefirel {

struct CDeviceDoc::EventFeed {
    std::shared_ptr<CRunJournal> journal; ///< a recorded run
    std::string path;                     ///< a replayed recording
    SidecarContent content;               ///< its journal and markers
    ESidecar sidecar = ESidecar::Missing;
    std::unique_ptr<CEventFinder> finder;
    uint64_t generation = 0;
    int fed = 0;

    void restart() {
        finder = std::make_unique<CEventFinder>();
        for (const JournalEntry& e : content.journal)
            finder->addJournal(e);
        fed = 0;
    }
};

void CDeviceDoc::startRunJournal(const std::string& file) {
    auto journal = std::make_shared<CRunJournal>(file, EventSettings::fromBlock(settings()));
    setRunJournal(journal);
    auto feed = std::make_shared<EventFeed>();
    feed->journal = std::move(journal);
    std::lock_guard<std::mutex> g(m_eventLock);
    m_eventFeed = std::move(feed);
}

void CDeviceDoc::startReplayEvents(const std::string& path) {
    setRunJournal(nullptr);
    auto feed = std::make_shared<EventFeed>();
    feed->path = path;
    feed->sidecar = recordingJournal(path, feed->content);
    feed->restart();
    feed->generation = m_diagData.generation();
    std::lock_guard<std::mutex> g(m_eventLock);
    m_eventFeed = std::move(feed);
}

RecordingEvents CDeviceDoc::currentEvents() {
    std::lock_guard<std::mutex> g(m_eventLock);
    if (!m_eventFeed)
        return {};
    EventFeed& f = *m_eventFeed;
    if (f.journal)
        return f.journal->current();
    // A replay: take the samples the store got since the last call. The replay
    // empties the store as it starts; samples of another filling start afresh.
    constexpr int CHUNK = 65536;
    std::vector<CDiag> batch;
    for (;;) {
        batch.clear();
        const uint64_t generation = m_diagData.getRangeOf(batch, f.fed, f.fed + CHUNK);
        if (generation != f.generation) {
            f.generation = generation;
            f.restart();
            continue;
        }
        for (const CDiag& d : batch)
            f.finder->add(d);
        f.fed += static_cast<int>(batch.size());
        if (batch.size() < static_cast<size_t>(CHUNK))
            break;
    }
    RecordingEvents r;
    r.sidecar = f.sidecar;
    r.events = f.finder->events();
    r.markers = f.content.markers;
    for (DiagMarker& m : r.markers)
        m.timeMs = f.finder->timeOf(m.sampleNo);
    r.samples = f.finder->samples();
    return r;
}

bool CDeviceDoc::addMarker(uint32_t sampleNo, const std::string& note) {
    std::lock_guard<std::mutex> g(m_eventLock);
    if (!m_eventFeed)
        return false;
    EventFeed& f = *m_eventFeed;
    if (f.journal)
        return f.journal->addMarker(sampleNo, note);
    if (sampleNo == 0) {
        CDiag newest;
        if (m_diagData.getLast(newest))
            sampleNo = newest.sampleNo();
    }
    f.content.markers.push_back({sampleNo, 0, note});
    return addRecordingMarker(f.path, sampleNo, note);
}

} // namespace zefirel
