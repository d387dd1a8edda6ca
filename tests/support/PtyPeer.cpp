#include "support/PtyPeer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace zefirel::test {

namespace {

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

CPtyPeer::CPtyPeer(Handler handler, bool extendedDiag) : m_extendedDiag(extendedDiag), m_handler(std::move(handler)) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        ADD_FAILURE() << "cannot open a pseudo-terminal: " << std::strerror(errno);
        closeFd(m_master);
        return;
    }
    char name[128] = {};
    if (::ptsname_r(m_master, name, sizeof name) != 0) {
        ADD_FAILURE() << "ptsname failed: " << std::strerror(errno);
        closeFd(m_master);
        return;
    }
    m_slavePath = name;
    // Raw line on the slave side, so no byte is echoed, translated or held back.
    m_slaveKeep = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slaveKeep >= 0) {
        termios tio{};
        if (::tcgetattr(m_slaveKeep, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_slaveKeep, TCSANOW, &tio);
        }
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        ADD_FAILURE() << "pipe failed: " << std::strerror(errno);
        closeFd(m_master);
        closeFd(m_slaveKeep);
        m_slavePath.clear();
        return;
    }
    m_thread = std::thread([this] { serve(); });
}

CPtyPeer::~CPtyPeer() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    if (m_wake[1] >= 0) {
        const char c = 's';
        [[maybe_unused]] auto n = ::write(m_wake[1], &c, 1);
    }
    if (m_thread.joinable())
        m_thread.join();
    {
        std::lock_guard<std::mutex> lock(m_fdLock);
        closeFdsLocked();
    }
    closeFd(m_wake[0]);
    closeFd(m_wake[1]);
}

void CPtyPeer::setHandler(Handler handler) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handler = std::move(handler);
}

void CPtyPeer::setExtendedDiag(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_extendedDiag = on;
}

std::vector<uint8_t> CPtyPeer::frame(uint8_t type, const std::vector<uint8_t>& payloadHost, bool extendedDiag) {
    const size_t n = payloadHost.size() > MAX_PAYLOAD ? MAX_PAYLOAD : payloadHost.size();
    return buildFrame(type, payloadHost.data(), static_cast<uint8_t>(n), extendedDiag);
}

std::vector<uint8_t> CPtyPeer::ack(uint8_t code, uint16_t argument, uint16_t status) {
    std::vector<uint8_t> p(6, 0);
    p[0] = code;
    setU16(&p[2], argument);
    setU16(&p[4], status);
    return frame(MSG_TYPE_COMMAND, p);
}

bool CPtyPeer::sendRaw(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(m_fdLock);
    return writeAll(bytes.data(), bytes.size());
}

bool CPtyPeer::writeAll(const uint8_t* bytes, size_t count) {
    // Called with m_fdLock held. The master is non-blocking so a client that
    // stopped reading cannot wedge the peer; give up after 2 s.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    size_t done = 0;
    while (done < count) {
        if (m_master < 0)
            return false;
        const ssize_t n = ::write(m_master, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        pollfd p{m_master, POLLOUT, 0};
        ::poll(&p, 1, 20);
    }
    return true;
}

void CPtyPeer::closeFdsLocked() {
    closeFd(m_master);
    closeFd(m_slaveKeep);
}

void CPtyPeer::closeMaster() {
    if (onPeerThread()) {
        std::lock_guard<std::mutex> lock(m_fdLock);
        closeFdsLocked();
        return;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_thread.joinable()) {
        lock.unlock();
        std::lock_guard<std::mutex> fdLock(m_fdLock);
        closeFdsLocked();
        return;
    }
    m_closeRequested = true;
    const char c = 'c';
    [[maybe_unused]] auto n = ::write(m_wake[1], &c, 1);
    m_changed.wait(lock, [this] { return !m_closeRequested; });
}

bool CPtyPeer::masterOpen() const {
    std::lock_guard<std::mutex> lock(m_fdLock);
    return m_master >= 0;
}

size_t CPtyPeer::requestCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests.size();
}

std::vector<PeerRequest> CPtyPeer::requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

size_t CPtyPeer::badChecksumCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_badChecksums;
}

bool CPtyPeer::waitForRequests(size_t n, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_requests.size() >= n; });
}

void CPtyPeer::serve() {
    std::vector<uint8_t> pending;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop)
                return;
            if (m_closeRequested) {
                {
                    std::lock_guard<std::mutex> fdLock(m_fdLock);
                    closeFdsLocked();
                }
                m_closeRequested = false;
                m_changed.notify_all();
            }
        }
        int master;
        {
            std::lock_guard<std::mutex> fdLock(m_fdLock);
            master = m_master;
        }
        pollfd fds[2] = {{m_wake[0], POLLIN, 0}, {master, POLLIN, 0}};
        // With the master closed only the wake pipe is watched (fd -1 is ignored).
        const int ready = ::poll(fds, 2, 200);
        if (ready < 0 && errno != EINTR)
            return;
        if (fds[0].revents & POLLIN) {
            char drain[16];
            while (::read(m_wake[0], drain, sizeof drain) > 0) {
            }
        }
        if (master < 0 || !(fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        uint8_t chunk[512];
        const ssize_t n = ::read(master, chunk, sizeof chunk);
        if (n <= 0) {
            // No client has the slave open (EIO) or nothing to read: back off a little.
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        pending.insert(pending.end(), chunk, chunk + n);
        handleBytes(pending);
    }
}

void CPtyPeer::handleBytes(std::vector<uint8_t>& pending) {
    for (;;) {
        ParsedFrame parsed;
        size_t consumed = 0;
        const EFrameCheck check = checkFrame(pending.data(), pending.size(), parsed, consumed);
        if (check == EFrameCheck::NeedMore)
            return;
        if (check == EFrameCheck::BadSync) {
            pending.erase(pending.begin());
            continue;
        }
        if (check == EFrameCheck::BadChecksum) {
            pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(consumed));
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_badChecksums;
            continue;
        }
        PeerRequest req;
        req.type = parsed.type;
        req.raw.assign(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(consumed));
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(consumed));
        Handler handler;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            fromWireOrder(parsed.payload.data(), parsed.payload.size(), parsed.type, m_extendedDiag);
            req.payload = parsed.payload;
            m_requests.push_back(req);
            handler = m_handler;
            m_changed.notify_all();
        }
        if (!handler)
            continue;
        const std::vector<uint8_t> answer = handler(req.type, req.payload);
        if (answer.empty())
            continue;
        std::lock_guard<std::mutex> fdLock(m_fdLock);
        writeAll(answer.data(), answer.size());
    }
}

} // namespace zefirel::test
