#pragma once
/// The diagnostic input threads. CDiagInputThread is the shared thread body: it
/// starts, reads samples in a loop while the document's run flag is set, hands
/// each to the subclass, and ends on the flag, on six failed reads in a row
/// (marking the connection lost and asking the host for the reconnect timer) or
/// on an error. CDiagRSThread polls the controller and records every sample;
/// CDiagFileThread replays a recording as fast as it can read it.
///
/// The objects are created by the document and handed to the thread registry,
/// which runs and owns them.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "diag/DiagData.h"
#include "diag/Recording.h"
#include "link/Threads.h"

namespace zefirel {

class CLPGDevice;
class CRunJournal;

/// Failed reads in a row that end polling: the thread stops after more than this.
inline constexpr int MAX_FAILED_READS = 5;
/// Reconnect timer the host starts when polling gives up on the controller.
inline constexpr int RECONNECT_TIMER_ID = 5006;
inline constexpr int RECONNECT_FIRST_DELAY_MS = 1000;

class CDiagInputThread : public CSThread {
public:
    /// device: the controller proxy whose connection is marked lost when polling
    /// gives up (null for a replay, which has no controller).
    CDiagInputThread(CDiagData& store, std::string path, std::atomic<uint8_t>& runFlag, CLPGDevice* device);
    ~CDiagInputThread() override = default;

    /// The thread body: onStart, then read/process until the run flag drops.
    void run() final;
    /// Counts this thread in a document's tally of running input threads until
    /// run() returns.
    void trackWith(std::shared_ptr<std::atomic<int>> live);
    /// No thread could be started: clears the run flag and leaves the tally, so
    /// neither the document nor a replay waits for a thread that never ran.
    void onStartFailed() override;
    /// The document's diagnostic run this thread serves; its end is reported with it.
    void setRun(uint64_t run) { m_run = run; }

    /// Failed reads in a row of the input thread running now (one counter for the
    /// process; a successful read and the start of a thread set it to 0).
    static int failureCount();

    const std::string& path() const { return m_path; }

protected:
    virtual void onStart() = 0;
    virtual void onStop() = 0;
    /// Fills the zeroed sample; true when a sample was obtained.
    virtual bool readSample(CDiag& d) = 0;
    virtual void processSample(CDiag& d) = 0;

    bool running() const { return m_runFlag->load(std::memory_order_relaxed) != 0; }
    void clearRunFlag() { m_runFlag->store(0, std::memory_order_relaxed); }

    CDiagData* m_store;
    std::string m_path;
    std::atomic<uint8_t>* m_runFlag;
    CLPGDevice* m_device;
    uint64_t m_run = 0;

private:
    void loop();
    void stopQuietly();
    void giveUp();
    void leaveTally();

    std::shared_ptr<std::atomic<int>> m_live;
};

/// Polls the controller for the injector the live panel publishes and records
/// every sample to the recording file.
class CDiagRSThread : public CDiagInputThread {
public:
    /// Creates (truncates) the recording and its empty "-config" companion. The
    /// device's run journal at this moment is the run's: it is told of every sample.
    CDiagRSThread(CLPGDevice& device, CDiagData& store, const std::string& path,
                  std::atomic<uint8_t>& runFlag, const std::atomic<int>& injector);

    /// Number given to the newest sample (0 before the first).
    uint32_t sampleCounter() const { return m_counter; }

protected:
    void onStart() override;
    void onStop() override;
    bool readSample(CDiag& d) override;
    void processSample(CDiag& d) override;

private:
    void record(CDiag& d);
    /// Notes a loss of the line in the run's journal when polls failed long enough.
    void noteLostLine();

    const std::atomic<int>* m_injector;
    uint32_t m_counter = 0;
    /// When the polls began to fail (0: the last poll succeeded), for the journal.
    int64_t m_failingSinceNs = 0;
    /// The run's journal (null when the document keeps none).
    std::shared_ptr<CRunJournal> m_journal;
    CRecordingWriter m_writer;
};

/// Replays a recording into the store and clears the run flag when it ends,
/// whatever ended it (end of file, a file that cannot be read, an error).
/// What a replay read: the counts of the lines, and whether it read to the end of
/// the file (false when it was stopped before).
struct ReplayOutcome {
    RecordingReadStats lines;
    bool wholeFile = false;
};

class CDiagFileThread : public CDiagInputThread {
public:
    /// outcome, when given, receives what was read when the replay ends.
    CDiagFileThread(CDiagData& store, const std::string& path, std::atomic<uint8_t>& runFlag,
                    std::shared_ptr<ReplayOutcome> outcome = nullptr);

protected:
    void onStart() override;
    void onStop() override;
    bool readSample(CDiag& d) override;
    void processSample(CDiag& d) override;

private:
    CRecordingReader m_reader;
    std::shared_ptr<ReplayOutcome> m_outcome;
    bool m_atEnd = false;
};

} // namespace zefirel
