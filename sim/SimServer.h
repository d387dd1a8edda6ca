#pragma once
/// CSimServer: serves a CSimController on a pseudo-terminal. It opens the pty in
/// raw mode, optionally links it under a fixed path, reads request frames (it
/// resynchronises on stray bytes and answers a wrong checksum with the checksum
/// status), writes the answers, optionally paced at 14400 baud, sends the
/// unasked initialisation notice and injects the configured faults.
///
/// The server keeps its own descriptor of the terminal side open, so a client
/// can close the port and open it again and still be served. run() serves on
/// the calling thread until stop() or until the line is closed (a fault);
/// start() runs it on a thread of its own. stop(), setMuted() and
/// toggleMuted() are safe to call from a signal handler.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SimController.h"

namespace zefirel::sim {

class CSimServer {
public:
    CSimServer(CSimController& controller, const SimConfig& cfg);
    ~CSimServer();
    CSimServer(const CSimServer&) = delete;
    CSimServer& operator=(const CSimServer&) = delete;

    /// Opens the pty (and the link when configured). False with a reason on failure.
    bool open(std::string& error);
    /// The terminal path a client opens, e.g. /dev/pts/3.
    const std::string& slavePath() const { return m_slavePath; }

    /// Serves until stop() or until the line is closed.
    void run();
    /// run() on a background thread (open() first).
    void start();
    /// Asks run() to return and, when started, joins its thread.
    void stop();

    /// Stops answering (as if unplugged) or answers again.
    void setMuted(bool muted) { m_muted.store(muted); }
    void toggleMuted() { m_muted.store(!m_muted.load()); }
    bool muted() const { return m_muted.load(); }
    /// Replaces the fault settings (counts restart from the current request).
    void setFaults(const SimFaults& faults);
    /// Closes the line at once: the client sees a vanished device.
    void closeLine();
    bool lineClosed() const { return m_closed.load(); }

    /// Well-formed requests read so far.
    uint64_t requestCount() const { return m_requests.load(); }
    /// Requests that arrived with a wrong checksum.
    uint64_t badChecksumCount() const { return m_badChecksums.load(); }

private:
    struct Pending {
        double due;                 ///< monotonic seconds
        std::vector<uint8_t> bytes;
    };
    void wake();
    void idleHousekeeping(double now);
    void processInput(double firstByteAt);
    void answer(const SimReply& reply, size_t requestBytes, double firstByteAt);
    void send(std::vector<uint8_t> bytes, double notBefore);
    void writePaced(const std::vector<uint8_t>& bytes, double start);
    void writeAll(const uint8_t* bytes, size_t count);
    void sendDue(double now);
    double nextDue() const;
    void closeFds();
    void removeLink();

    CSimController& m_ctl;
    SimConfig m_cfg;
    SimFaults m_faults;
    uint64_t m_faultBase = 0;      ///< request count when the faults were set
    bool m_closeNow = false;       ///< closeLine() asked the serving thread to close
    mutable std::mutex m_faultLock;

    std::string m_slavePath;
    std::string m_linkPath;        ///< the link we created (removed at the end)
    int m_master = -1;
    int m_slaveKeep = -1;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;

    std::vector<uint8_t> m_rx;
    double m_lastRx = 0;
    std::vector<Pending> m_pending;
    double m_nextGarbage = 0;
    double m_lineFreeAt = 0;       ///< when the last paced byte has left
    double m_unreadSince = 0;      ///< since when the client has left bytes unread (0 = none)
    uint64_t m_answers = 0;
    uint64_t m_bytesSent = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_muted{false};
    std::atomic<bool> m_closed{false};
    std::atomic<uint64_t> m_requests{0};
    std::atomic<uint64_t> m_badChecksums{0};
};

/// Monotonic time in seconds.
double monotonicSeconds();

} // namespace zefirel::sim
