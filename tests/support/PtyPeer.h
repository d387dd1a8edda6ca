#pragma once
/// CPtyPeer: a scripted controller on the far end of a pseudo-terminal, for tests.
///
/// The peer opens a pty, puts it in raw mode and serves its master side from a
/// background thread. The code under test opens slavePath() like any serial port.
/// Every complete request frame the peer reads (it resynchronises on bad sync
/// bytes and counts frames with a wrong checksum) is recorded with its type and its
/// payload in host order, then handed to the handler; the bytes the handler
/// returns are written back as the answer (empty = stay silent, so the request
/// times out on the other side).
///
///   CPtyPeer peer([](uint8_t type, const std::vector<uint8_t>& p) {
///       if (type == MSG_TYPE_COMMAND && p.at(0) == CMD_TEST)
///           return CPtyPeer::ack();                      // AA 55 06 04 04 00 00 00 00 00 ..
///       if (type == MSG_TYPE_COMMAND && p.at(0) == CMD_VERSION)
///           return CPtyPeer::frame(MSG_TYPE_VERSION, version21);
///       return std::vector<uint8_t>{};                   // no answer
///   });
///   CLPGDevice dev;
///   dev.port().openPath(peer.slavePath());               // or dev.connectPath(...)
///   ... run the operation ...
///   EXPECT_EQ(peer.requestCount(), 3u);
///   EXPECT_EQ(peer.requests()[0].payload[0], CMD_TEST);
///
/// Faults: return arbitrary bytes from the handler (bad sync, bad checksum, short
/// frames), push unasked bytes with sendRaw(), and simulate an unplugged device
/// with closeMaster() (also allowed from inside the handler: the reply returned
/// by that call is then dropped). The handler runs on the peer's thread: capture
/// locals by value and guard any state it shares with the test. The destructor stops the thread and closes
/// every descriptor; it never waits longer than a few hundred milliseconds.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/Protocol.h"

namespace zefirel::test {

/// One request frame read by the peer.
struct PeerRequest {
    uint8_t type = 0;
    std::vector<uint8_t> payload; ///< host order
    std::vector<uint8_t> raw;     ///< the whole frame as it came over the line
};

class CPtyPeer {
public:
    using Handler = std::function<std::vector<uint8_t>(uint8_t type, const std::vector<uint8_t>& payloadHost)>;

    /// Opens the pty and starts serving it. Fails the current test (and leaves
    /// slavePath() empty) when no pty can be opened.
    explicit CPtyPeer(Handler handler = {}, bool extendedDiag = false);
    ~CPtyPeer();
    CPtyPeer(const CPtyPeer&) = delete;
    CPtyPeer& operator=(const CPtyPeer&) = delete;

    /// The device path the code under test opens, e.g. /dev/pts/7.
    const std::string& slavePath() const { return m_slavePath; }
    /// Replaces the handler (takes effect for the next request).
    void setHandler(Handler handler);
    /// Selects the type-1 byte-order table used to decode requests.
    void setExtendedDiag(bool on);

    /// Bytes of a whole frame carrying payloadHost (host order) as the controller sends it.
    static std::vector<uint8_t> frame(uint8_t type, const std::vector<uint8_t>& payloadHost,
                                      bool extendedDiag = false);
    /// A type-4 acknowledgement frame: reply code, 0, argument, status word.
    static std::vector<uint8_t> ack(uint8_t code = CMD_DONE, uint16_t argument = 0, uint16_t status = 0);

    /// Writes bytes to the line at once (unasked data). Returns false when the
    /// master is closed or the bytes could not be written within 2 s.
    bool sendRaw(const std::vector<uint8_t>& bytes);
    /// Closes the master side: the other end sees a vanished device. Synchronous.
    void closeMaster();
    bool masterOpen() const;

    /// Number of well-formed request frames read so far.
    size_t requestCount() const;
    /// A copy of every well-formed request frame read so far.
    std::vector<PeerRequest> requests() const;
    /// Frames dropped for a wrong checksum.
    size_t badChecksumCount() const;
    /// Waits until at least n requests arrived; false after timeoutMs.
    bool waitForRequests(size_t n, int timeoutMs) const;

private:
    void serve();
    void handleBytes(std::vector<uint8_t>& pending);
    bool writeAll(const uint8_t* bytes, size_t count);
    void closeFdsLocked();
    bool onPeerThread() const { return std::this_thread::get_id() == m_thread.get_id(); }

    std::string m_slavePath;
    int m_master = -1;
    int m_slaveKeep = -1;  ///< keeps the line alive while no client has it open
    int m_wake[2] = {-1, -1};
    bool m_stop = false;
    bool m_closeRequested = false;
    bool m_extendedDiag = false;
    Handler m_handler;
    std::vector<PeerRequest> m_requests;
    size_t m_badChecksums = 0;

    mutable std::mutex m_mutex;   ///< guards the fields above
    mutable std::mutex m_fdLock;  ///< serialises writes to and closing of the master
    mutable std::condition_variable m_changed;
    std::thread m_thread;
};

} // namespace zefirel::test
