#include "SimServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "link/LPGDevice.h"
#include "link/Protocol.h"

namespace zefirel::sim {

namespace {

/// A partial frame older than this is thrown away (the sender gave up on it).
constexpr double STALE_FRAME_S = 0.3;
/// Bytes left unread this long belong to a client that has gone.
constexpr double UNREAD_STALE_S = 2.0;
/// Longest wait for room in the line before bytes are dropped.
constexpr int WRITE_WAIT_MS = 200;

void sleepUntil(double t) {
    const double d = t - monotonicSeconds();
    if (d > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(d));
}

} // namespace

double monotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

CSimServer::CSimServer(CSimController& controller, const SimConfig& cfg)
    : m_ctl(controller), m_cfg(cfg), m_faults(cfg.faults) {}

CSimServer::~CSimServer() {
    stop();
    closeFds();
    for (int& fd : m_wake) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    removeLink();
}

bool CSimServer::open(std::string& error) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128] = {};
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
        ::ptsname_r(m_master, name, sizeof name) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        closeFds();
        return false;
    }
    m_slavePath = name;
    // Our own descriptor of the terminal side keeps the line up between clients
    // and lets us put it in raw mode before anyone opens it.
    m_slaveKeep = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (m_slaveKeep < 0 || ::tcgetattr(m_slaveKeep, &tio) != 0) {
        error = std::string("cannot open ") + name + ": " + std::strerror(errno);
        closeFds();
        return false;
    }
    ::cfmakeraw(&tio);
    ::tcsetattr(m_slaveKeep, TCSANOW, &tio);
    if (::pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        error = std::string("cannot create a pipe: ") + std::strerror(errno);
        closeFds();
        return false;
    }
    if (!m_cfg.linkPath.empty()) {
        struct stat st{};
        if (::lstat(m_cfg.linkPath.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                error = m_cfg.linkPath + " exists and is not a symbolic link";
                closeFds();
                return false;
            }
            ::unlink(m_cfg.linkPath.c_str());
        }
        if (::symlink(name, m_cfg.linkPath.c_str()) != 0) {
            error = "cannot create the link " + m_cfg.linkPath + ": " + std::strerror(errno);
            closeFds();
            return false;
        }
        m_linkPath = m_cfg.linkPath;
    }
    return true;
}

void CSimServer::removeLink() {
    if (m_linkPath.empty())
        return;
    // Only our own link: another simulator may have replaced it meanwhile.
    char target[256] = {};
    const ssize_t n = ::readlink(m_linkPath.c_str(), target, sizeof target - 1);
    if (n > 0 && m_slavePath == std::string(target, static_cast<size_t>(n)))
        ::unlink(m_linkPath.c_str());
    m_linkPath.clear();
}

void CSimServer::closeFds() {
    if (m_master >= 0)
        ::close(m_master);
    if (m_slaveKeep >= 0)
        ::close(m_slaveKeep);
    m_master = m_slaveKeep = -1;
}

void CSimServer::wake() {
    if (m_wake[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &c, 1);
    }
}

void CSimServer::start() {
    if (m_thread.joinable() || m_master < 0)
        return;
    m_stop.store(false);
    m_thread = std::thread([this] { run(); });
}

void CSimServer::stop() {
    m_stop.store(true);
    wake();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void CSimServer::setFaults(const SimFaults& faults) {
    std::lock_guard lock(m_faultLock);
    m_faults = faults;
    m_faultBase = m_requests.load();
}

void CSimServer::closeLine() {
    {
        std::lock_guard lock(m_faultLock);
        m_closeNow = true;
    }
    wake();
    if (!m_thread.joinable()) {
        closeFds();
        m_closed.store(true);
        return;
    }
    // Synchronous for the caller: wait until the serving thread has closed it.
    for (int i = 0; i < 200 && !m_closed.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void CSimServer::run() {
    if (m_master < 0)
        return;
    std::mt19937 rng(static_cast<uint32_t>(m_cfg.seed * 7919u + 17u));
    {
        std::lock_guard lock(m_faultLock);
        m_nextGarbage = m_faults.garbageMs ? monotonicSeconds() + m_faults.garbageMs / 1000.0 : 0;
    }
    double rxStart = 0;
    while (!m_stop.load() && !m_closed.load()) {
        bool closeNow;
        uint32_t garbageMs;
        {
            std::lock_guard lock(m_faultLock);
            closeNow = m_closeNow;
            garbageMs = m_faults.garbageMs;
        }
        if (closeNow) {
            closeFds();
            m_closed.store(true);
            break;
        }
        double now = monotonicSeconds();
        double due = std::min(nextDue(), now + 0.1);
        if (garbageMs) {
            if (m_nextGarbage == 0)
                m_nextGarbage = now + garbageMs / 1000.0;
            due = std::min(due, m_nextGarbage);
        }
        const int timeoutMs = std::max(0, static_cast<int>(std::ceil((due - now) * 1000.0)));
        pollfd fds[2] = {{m_wake[0], POLLIN, 0}, {m_master, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(m_wake[0], drain, sizeof drain) > 0) {
            }
        }
        now = monotonicSeconds();
        if (fds[1].revents & POLLIN) {
            uint8_t buf[512];
            ssize_t n;
            while ((n = ::read(m_master, buf, sizeof buf)) > 0) {
                if (m_rx.empty())
                    rxStart = now;
                m_rx.insert(m_rx.end(), buf, buf + n);
                m_lastRx = now;
            }
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } else if (ready == 0) {
            idleHousekeeping(now);
        }
        processInput(rxStart);
        if (m_closed.load())
            break;
        now = monotonicSeconds();
        sendDue(now);
        if (garbageMs && now >= m_nextGarbage) {
            std::vector<uint8_t> junk(3 + rng() % 5);
            for (uint8_t& b : junk)
                b = static_cast<uint8_t>(rng());
            send(junk, now);
            m_nextGarbage = now + garbageMs / 1000.0;
        }
        if (!m_rx.empty() && monotonicSeconds() - m_lastRx > STALE_FRAME_S)
            m_rx.clear();
    }
}

void CSimServer::idleHousekeeping(double now) {
    // A client's exclusive mode outlives its descriptor while we hold the
    // terminal open, and would keep a non-root client from opening the port
    // again. Clients also lock the port, so clearing it when the line is idle
    // lets them come back without letting two in at once.
    ::ioctl(m_slaveKeep, TIOCNXCL);
    // Bytes nobody has read for a while were meant for a client that has gone
    // (a notice sent after it closed the port, stray bytes): the next client
    // must not take them for the start of its first answer.
    int pending = 0;
    if (::ioctl(m_slaveKeep, FIONREAD, &pending) != 0 || pending == 0) {
        m_unreadSince = 0;
    } else if (m_unreadSince == 0) {
        m_unreadSince = now;
    } else if (now - m_unreadSince > UNREAD_STALE_S) {
        ::tcflush(m_slaveKeep, TCIFLUSH);
        m_unreadSince = 0;
    }
}

void CSimServer::processInput(double firstByteAt) {
    while (!m_rx.empty()) {
        // Resynchronise: a frame starts with AA 55.
        if (m_rx[0] != FRAME_SYNC1 || (m_rx.size() >= 2 && m_rx[1] != FRAME_SYNC2)) {
            m_rx.erase(m_rx.begin());
            continue;
        }
        ParsedFrame f;
        size_t consumed = 0;
        const EFrameCheck check = checkFrame(m_rx.data(), m_rx.size(), f, consumed);
        if (check == EFrameCheck::NeedMore)
            return;
        if (check == EFrameCheck::BadSync) { // cannot happen after the resync above
            m_rx.erase(m_rx.begin());
            continue;
        }
        m_rx.erase(m_rx.begin(), m_rx.begin() + static_cast<std::ptrdiff_t>(consumed));
        SimFaults faults;
        uint64_t base;
        {
            std::lock_guard lock(m_faultLock);
            faults = m_faults;
            base = m_faultBase;
        }
        if (check == EFrameCheck::BadChecksum) {
            m_badChecksums.fetch_add(1);
            if (!m_muted.load())
                send(m_ctl.checksumErrorReply(), monotonicSeconds());
            continue;
        }
        const uint64_t count = m_requests.fetch_add(1) + 1;
        if (faults.muteAfter && count - base > faults.muteAfter)
            m_muted.store(true);
        if (m_muted.load())
            continue;
        const SimReply reply = m_ctl.handle(f.type, f.payload, monotonicSeconds());
        if (m_cfg.verbose)
            std::fprintf(stderr, "zefirel-sim: request type %u, %zu bytes%s\n", f.type, f.payload.size(),
                         reply.command ? (" command " + std::to_string(reply.command)).c_str() : "");
        answer(reply, consumed, firstByteAt);
        if (faults.closeAfter && count - base >= faults.closeAfter) {
            // Closing drops what the client has not read yet: let the answer
            // reach it first (at most a second), and give it a moment to finish
            // the exchange, so the request counted is the last one that succeeds.
            int pending = 0;
            for (int i = 0; i < 200 && ::ioctl(m_slaveKeep, FIONREAD, &pending) == 0 && pending > 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            closeFds();
            m_closed.store(true);
            return;
        }
        firstByteAt = monotonicSeconds();
    }
}

void CSimServer::answer(const SimReply& reply, size_t requestBytes, double firstByteAt) {
    if (reply.frame.empty())
        return;
    std::vector<uint8_t> bytes = reply.frame;
    ++m_answers;
    SimFaults faults;
    {
        std::lock_guard lock(m_faultLock);
        faults = m_faults;
    }
    if (faults.badChecksumCommand >= 0 && reply.command == faults.badChecksumCommand)
        bytes.back() ^= 0x01;
    if (faults.badChecksumEvery && m_answers % faults.badChecksumEvery == 0)
        bytes.back() ^= 0x01;
    if (faults.swapSyncEvery && m_answers % faults.swapSyncEvery == 0)
        std::swap(bytes[0], bytes[1]);
    double start = monotonicSeconds();
    if (m_cfg.baudTiming) {
        // The request itself took its wire time to arrive; then the controller
        // needs a moment before it starts to answer.
        start = std::max(start, firstByteAt + static_cast<double>(requestBytes) * LINE_BYTE_SECONDS) +
                m_cfg.replyLatencyMs / 1000.0;
    }
    send(std::move(bytes), start);
    if (!reply.notice.empty())
        m_pending.push_back({monotonicSeconds() + reply.noticeDelayMs / 1000.0, reply.notice});
}

double CSimServer::nextDue() const {
    double due = 1e300;
    for (const Pending& p : m_pending)
        due = std::min(due, p.due);
    return due;
}

void CSimServer::sendDue(double now) {
    std::vector<Pending> due;
    auto split = std::stable_partition(m_pending.begin(), m_pending.end(),
                                       [now](const Pending& p) { return p.due > now; });
    due.assign(split, m_pending.end());
    m_pending.erase(split, m_pending.end());
    for (Pending& p : due)
        if (!m_muted.load() && !m_closed.load())
            send(std::move(p.bytes), now);
}

void CSimServer::send(std::vector<uint8_t> bytes, double notBefore) {
    uint32_t dropEvery;
    {
        std::lock_guard lock(m_faultLock);
        dropEvery = m_faults.dropEvery;
    }
    if (dropEvery) {
        std::vector<uint8_t> kept;
        for (uint8_t b : bytes)
            if (++m_bytesSent % dropEvery != 0)
                kept.push_back(b);
        bytes.swap(kept);
    }
    if (m_cfg.baudTiming)
        writePaced(bytes, notBefore);
    else
        writeAll(bytes.data(), bytes.size());
}

void CSimServer::writePaced(const std::vector<uint8_t>& bytes, double start) {
    // Bytes leave one after another, each complete (and readable at the other
    // end) when its ten bit times are over; the line is busy until the last one.
    start = std::max(start, m_lineFreeAt);
    size_t sent = 0;
    while (sent < bytes.size()) {
        const double now = monotonicSeconds();
        size_t dueCount = now < start ? 0 : static_cast<size_t>((now - start) / LINE_BYTE_SECONDS);
        dueCount = std::min(dueCount, bytes.size());
        if (dueCount > sent) {
            writeAll(bytes.data() + sent, dueCount - sent);
            sent = dueCount;
        }
        if (sent < bytes.size())
            sleepUntil(start + static_cast<double>(sent + 1) * LINE_BYTE_SECONDS);
    }
    m_lineFreeAt = start + static_cast<double>(bytes.size()) * LINE_BYTE_SECONDS;
}

void CSimServer::writeAll(const uint8_t* bytes, size_t count) {
    while (count > 0 && m_master >= 0) {
        const ssize_t n = ::write(m_master, bytes, count);
        if (n > 0) {
            bytes += n;
            count -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // Nobody reads the line: wait a little, then drop what does not fit.
            pollfd p{m_master, POLLOUT, 0};
            if (::poll(&p, 1, WRITE_WAIT_MS) > 0 && (p.revents & POLLOUT))
                continue;
        }
        return;
    }
}

} // namespace zefirel::sim
