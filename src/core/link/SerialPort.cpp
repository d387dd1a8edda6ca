#include "link/SerialPort.h"

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "link/SerialBaud.h"

namespace zefirel {

// Line-error bits reported by clearCommError (the classic serial error mask).
namespace {
constexpr uint32_t LINE_RX_OVER = 0x0001;  ///< receive buffer overrun
constexpr uint32_t LINE_OVERRUN = 0x0002;  ///< UART overrun
constexpr uint32_t LINE_PARITY = 0x0004;
constexpr uint32_t LINE_FRAME = 0x0008;
constexpr uint32_t LINE_BREAK = 0x0010;
constexpr int WRITE_TIMEOUT_MS = 5000;
/// Longest a drain of the receive queue may take: a whole frame of 261 bytes at
/// 14400 baud takes about 180 ms.
constexpr int DRAIN_LIMIT_MS = 500;

bool counterless(int err) { return err == ENOTTY || err == EINVAL; }
} // namespace

CRSError::CRSError(uint32_t code, const std::string& detail, int line, const char* file)
    : IError(code, detail, line, file) {
    CRSError::setMsgs();
}

CRSError::CRSError(uint32_t code, const std::string& detail, IError* inner, int line, const char* file)
    : IError(code, detail, inner, line, file) {
    CRSError::setMsgs();
}

const char* CRSError::name() const { return "CRSError"; }

void CRSError::setMsgs() {
    m_msgs.push_back("Nie można otworzyć portu RS.");
    m_msgs.push_back("Nie można wykonać operacji na RS.");
}

std::string resolvePortPath(uint32_t portNumber, const std::string& deviceFolder) {
    const std::string var = "ZEFIREL_COM" + std::to_string(portNumber);
    if (const char* over = std::getenv(var.c_str()); over && *over)
        return over;
    if (portNumber == 0)
        return {};
    const std::string index = std::to_string(portNumber - 1);
    for (const char* name : {"/ttyUSB", "/ttyACM", "/ttyS"}) {
        const std::string path = deviceFolder + name + index;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0)
            return path;
    }
    return deviceFolder + "/ttyS" + index;
}

CSerialPort::~CSerialPort() { close(); }

void CSerialPort::open(uint32_t portNumber) { openPath(resolvePortPath(portNumber), portNumber); }

void CSerialPort::openPath(const std::string& path, uint32_t portNumber) {
    close();
    const std::string what = portNumber ? std::to_string(portNumber) : path;
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int err = fd < 0 ? errno : 0;
    // Unshared: TIOCEXCL keeps other programs out (root is not kept out by it),
    // the advisory lock keeps out every other program that locks, root included.
    if (!err && ::ioctl(fd, TIOCEXCL) != 0)
        err = errno;
    if (!err && ::flock(fd, LOCK_EX | LOCK_NB) != 0)
        err = errno;
    if (err) {
        if (fd >= 0)
            ::close(fd);
        raise(ERROR_RS_OPEN, "CSerialPort::open(" + what + ") - GetLastError()=" + std::to_string(err), __LINE__,
              __FILE__);
    }
    m_fd = fd;
    m_path = path;
    m_portNumber = portNumber;
    m_hangup = false;
    // Counters start from what the driver has now, so old errors are not reported.
    std::lock_guard<std::mutex> guard(m_counterLock);
    serial_icounter_struct ic {};
    m_haveCounters = ::ioctl(m_fd, TIOCGICOUNT, &ic) == 0;
    if (m_haveCounters) {
        m_lastFrame = static_cast<uint32_t>(ic.frame);
        m_lastOverrun = static_cast<uint32_t>(ic.overrun);
        m_lastParity = static_cast<uint32_t>(ic.parity);
        m_lastBrk = static_cast<uint32_t>(ic.brk);
        m_lastBufOverrun = static_cast<uint32_t>(ic.buf_overrun);
    }
}

void CSerialPort::close() {
    if (m_fd >= 0) {
        // Exclusive mode stays on the tty while another descriptor (a simulator's pty
        // slave, for instance) keeps it open; drop it so the port can be reopened.
        ::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd); // also drops the advisory lock
    }
    m_fd = -1;
    m_hangup = false;
}

void CSerialPort::raiseOperation(const char* op, int err, int line) {
    // The error number is taken first; the line's error state is cleared afterwards.
    const uint32_t lineState = clearCommError();
    raise(ERROR_RS_OPERATION,
          std::string("CSerialPort::") + op + "() \n GetLastError() = " + std::to_string(err) +
              "\n clearCommError() = " + std::to_string(lineState),
          line, __FILE__);
}

SerialLineState CSerialPort::getState() {
    termios tio {};
    if (m_fd < 0)
        raiseOperation("getState", EBADF, __LINE__);
    if (::tcgetattr(m_fd, &tio) != 0)
        raiseOperation("getState", errno, __LINE__);
    SerialLineState s;
    switch (tio.c_cflag & CSIZE) {
    case CS5: s.dataBits = 5; break;
    case CS6: s.dataBits = 6; break;
    case CS7: s.dataBits = 7; break;
    default: s.dataBits = 8; break;
    }
    s.parity = (tio.c_cflag & PARENB) != 0;
    s.twoStopBits = (tio.c_cflag & CSTOPB) != 0;
    uint32_t baud = 0;
    if (const int err = getLineBaud(m_fd, baud))
        raiseOperation("getState", err, __LINE__);
    s.baudRate = baud;
    int lines = 0;
    if (::ioctl(m_fd, TIOCMGET, &lines) == 0) {
        s.dtr = (lines & TIOCM_DTR) != 0;
        s.rts = (lines & TIOCM_RTS) != 0;
    } else if (counterless(errno)) { // a pseudo-terminal has no modem lines
        s.dtr = m_state.dtr;
        s.rts = m_state.rts;
    } else {
        raiseOperation("getState", errno, __LINE__);
    }
    return s;
}

void CSerialPort::setState(const SerialLineState& state) {
    termios tio {};
    if (m_fd < 0)
        raiseOperation("setState", EBADF, __LINE__);
    if (::tcgetattr(m_fd, &tio) != 0)
        raiseOperation("setState", errno, __LINE__);
    ::cfmakeraw(&tio); // binary, no translation, no echo, no error-character replacement
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    switch (state.dataBits) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
    }
    if (state.parity)
        tio.c_cflag |= PARENB;
    if (state.twoStopBits)
        tio.c_cflag |= CSTOPB;
    tio.c_cflag |= CLOCAL | CREAD;
    // Reads are timed by poll() on a non-blocking descriptor; VMIN 1 makes an empty
    // queue answer EAGAIN, so a read of 0 bytes can only mean the line hung up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(m_fd, TCSANOW, &tio) != 0)
        raiseOperation("setState", errno, __LINE__);
    if (const int err = setLineBaud(m_fd, state.baudRate))
        raiseOperation("setState", err, __LINE__);
    int dtr = TIOCM_DTR, rts = TIOCM_RTS;
    if (::ioctl(m_fd, state.dtr ? TIOCMBIS : TIOCMBIC, &dtr) != 0 && !counterless(errno))
        raiseOperation("setState", errno, __LINE__);
    if (::ioctl(m_fd, state.rts ? TIOCMBIS : TIOCMBIC, &rts) != 0 && !counterless(errno))
        raiseOperation("setState", errno, __LINE__);
    m_state = state;
}

SerialTimeouts CSerialPort::getTimeout() {
    if (m_fd < 0)
        raiseOperation("getTimeout", EBADF, __LINE__);
    return m_timeouts;
}

void CSerialPort::setTimeout(const SerialTimeouts& timeouts) {
    if (m_fd < 0)
        raiseOperation("setTimeout", EBADF, __LINE__);
    m_timeouts = timeouts;
}

uint32_t CSerialPort::read(uint8_t* buffer, uint32_t count) {
    if (m_fd < 0)
        raise(ERROR_RS_OPERATION, "CSerialPort::read() - GetLastError()=" + std::to_string(EBADF), __LINE__,
              __FILE__);
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_timeouts.readTotalConstantMs +
                                                                   uint64_t{m_timeouts.readTotalMultiplierMs} * count);
    uint32_t got = 0;
    while (got < count && !m_hangup) {
        const ssize_t n = ::read(m_fd, buffer + got, count - got);
        if (n > 0) {
            got += static_cast<uint32_t>(n);
            continue;
        }
        if (n == 0 || errno == EIO) { // the other end is gone
            m_hangup = true;
            break;
        }
        if (errno != EAGAIN && errno != EINTR)
            raise(ERROR_RS_OPERATION, "CSerialPort::read() - GetLastError()=" + std::to_string(errno), __LINE__,
                  __FILE__);
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR)
            raise(ERROR_RS_OPERATION, "CSerialPort::read() - GetLastError()=" + std::to_string(errno), __LINE__,
                  __FILE__);
        if (ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLIN))
            m_hangup = true;
    }
    return got;
}

void CSerialPort::write(const uint8_t* buffer, uint32_t count) {
    if (m_fd < 0)
        raise(ERROR_RS_OPERATION, "CSerialPort::write() - GetLastError()=" + std::to_string(EBADF), __LINE__,
              __FILE__);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WRITE_TIMEOUT_MS);
    uint32_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(m_fd, buffer + done, count - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        int err = n < 0 ? errno : EAGAIN;
        if (err == EAGAIN || err == EINTR) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                                  .count();
            pollfd p{m_fd, POLLOUT, 0};
            if (left > 0 && ::poll(&p, 1, static_cast<int>(left)) >= 0 && !(p.revents & (POLLHUP | POLLERR)))
                continue;
            err = left > 0 ? EIO : ETIMEDOUT;
        }
        if (err == EIO)
            m_hangup = true;
        raise(ERROR_RS_OPERATION, "CSerialPort::write() - GetLastError()=" + std::to_string(err), __LINE__,
              __FILE__);
    }
}

void CSerialPort::purgeIn() {
    if (m_fd < 0)
        raiseOperation("purgeIn", EBADF, __LINE__);
    if (::tcflush(m_fd, TCIFLUSH) != 0)
        raiseOperation("purgeIn", errno, __LINE__);
}

void CSerialPort::drainIn(uint32_t quietMs) {
    purgeIn();
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(DRAIN_LIMIT_MS);
    uint8_t scratch[256];
    while (!m_hangup) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return;
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, quietMs)));
        if (ready == 0)
            return; // quiet long enough
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            raiseOperation("drainIn", errno, __LINE__);
        }
        if (!(p.revents & POLLIN)) {
            m_hangup = true;
            return;
        }
        const ssize_t n = ::read(m_fd, scratch, sizeof scratch);
        if (n == 0 || (n < 0 && errno == EIO)) {
            m_hangup = true;
            return;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            raiseOperation("drainIn", errno, __LINE__);
    }
}

void CSerialPort::purgeOut() {
    if (m_fd < 0)
        raiseOperation("purgeOut", EBADF, __LINE__);
    if (::tcflush(m_fd, TCOFLUSH) != 0)
        raiseOperation("purgeOut", errno, __LINE__);
}

uint32_t CSerialPort::clearCommError() {
    if (m_fd < 0)
        return EBADF;
    if (!m_hangup) {
        // A vanished device shows as a hang-up even when nothing was read yet.
        pollfd p{m_fd, 0, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
            m_hangup = true;
    }
    if (m_hangup)
        return EIO;
    std::lock_guard<std::mutex> guard(m_counterLock);
    if (!m_haveCounters)
        return 0;
    serial_icounter_struct ic {};
    if (::ioctl(m_fd, TIOCGICOUNT, &ic) != 0) {
        if (counterless(errno)) {
            m_haveCounters = false;
            return 0;
        }
        return static_cast<uint32_t>(errno);
    }
    uint32_t mask = 0;
    auto delta = [&mask](int now, uint32_t& last, uint32_t bit) {
        if (static_cast<uint32_t>(now) != last)
            mask |= bit;
        last = static_cast<uint32_t>(now);
    };
    delta(ic.frame, m_lastFrame, LINE_FRAME);
    delta(ic.overrun, m_lastOverrun, LINE_OVERRUN);
    delta(ic.parity, m_lastParity, LINE_PARITY);
    delta(ic.brk, m_lastBrk, LINE_BREAK);
    delta(ic.buf_overrun, m_lastBufOverrun, LINE_RX_OVER);
    return mask;
}

} // namespace zefirel
