#pragma once
/// CMapLearnSession: one road test of live map learning, shared by the window and
/// the command line. It holds the learner, the map the controller held before the
/// test (for "Cofnij"), and reads the samples the polling thread stores.
///
/// It never writes by itself: it only builds the requests ("Wpisz": the proposed
/// map; "Cofnij": the map from before) for the caller to hand to
/// CLPGDevice::commitSettings, and is told the outcome afterwards (noteWrite,
/// noteUndo). A lost line costs nothing learned: when the store is refilled by a
/// new run after the reconnect, feeding goes on from the new run's first sample
/// with the table kept.
///
/// Single-threaded: call it from one thread (the window's or the command line's);
/// the store it reads is itself thread-safe.

#include <cstdint>
#include <functional>
#include <vector>

#include "diag/DiagData.h"
#include "link/SettingsWrite.h"
#include "map/MapLearning.h"

namespace zefirel {

class CLPGDevice;

/// The confirmation asked with the list of changes before a write.
using LearnConfirm = std::function<bool(const std::vector<SettingChange>&)>;

class CMapLearnSession {
public:
    explicit CMapLearnSession(const MapUnits& units = MapUnits::current());

    /// Starts a road test on a connected controller: reads its map (kept for
    /// "Cofnij") and its switch temperature, clears the table. False when the map
    /// could not be read (nothing is started then).
    bool start(CLPGDevice& device);
    /// The same with the map and switch temperature given (already read).
    void start(const MapBytes& controllerMap, double switchTemperature);
    /// feed() from now on takes only the samples the store takes after this call
    /// (learning started while polling was already running).
    void skipStored(const CDiagData& store);
    /// Learning on/off; a stopped session keeps its table and ignores feed/add.
    void stop() { m_running = false; }
    void resume() { m_running = true; }
    bool running() const { return m_running; }
    bool started() const { return m_started; }

    /// Feeds the samples the store took since the last call. A store that was
    /// cleared or refilled since (a new run, e.g. after a reconnect: a new
    /// generation) is read from its first sample, with a break in the stream.
    /// Returns the number of samples fed.
    size_t feed(const CDiagData& store);
    /// Feeds one sample (a replay, a test); true when it was used.
    bool add(const CDiag& d);
    /// The line was lost: the stream breaks, the table stays.
    void lineLost();

    CMapLearner& learner() { return m_learner; }
    const CMapLearner& learner() const { return m_learner; }
    /// The map the controller held when the test started.
    const MapBytes& previousMap() const { return m_previous; }
    /// What "Wpisz" writes now (the learner's proposal).
    MapBytes proposedMap() const { return m_learner.proposal(); }
    /// Whether a map of this session is in the controller (so "Cofnij" has sense).
    bool wroteMap() const { return m_wrote; }

    /// "Wpisz": the proposed map through the checked path (scope Map, source
    /// Learning), asking confirm with the change list first.
    SettingsWriteRequest writeRequest(const CLPGDevice& device, LearnConfirm confirm) const;
    /// "Cofnij": the map from before the test, the same way.
    SettingsWriteRequest undoRequest(const CLPGDevice& device, LearnConfirm confirm) const;
    /// After commitSettings of a writeRequest: when the map was written (or the
    /// record was, with the controller already holding these bytes), a check pass
    /// begins on it. Returns whether it was written.
    bool noteWrite(const SettingsWriteRequest& request, const SettingsWriteResult& result);
    /// After commitSettings of an undoRequest: when written, learning is back in
    /// the first pass (its table kept). Returns whether it was written.
    bool noteUndo(const SettingsWriteResult& result);

private:
    CMapLearner m_learner;
    MapBytes m_previous = emptyMap();
    bool m_started = false, m_running = false, m_wrote = false;
    uint64_t m_generation = 0;
    int m_fed = 0; ///< samples of the store's current generation already fed
    std::vector<CDiag> m_buffer;
};

} // namespace zefirel
