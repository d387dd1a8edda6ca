#pragma once
/// One serial line to the controller, opened by port number through the port
/// resolver (ZEFIREL_COM<n>, then /dev/ttyUSB(n-1), /dev/ttyACM(n-1), /dev/ttyS(n-1)),
/// raw 8N1, no flow control, DTR/RTS off. Every failing call raises a CRSError
/// (code 5 for open, 6 for every other operation).

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "support/Error.h"

namespace zefirel {

/// Error of the serial port: code 5 "Nie można otworzyć portu RS.", code 6
/// "Nie można wykonać operacji na RS.".
class CRSError : public IError {
public:
    CRSError(uint32_t code, const std::string& detail, int line, const char* file);
    CRSError(uint32_t code, const std::string& detail, IError* inner, int line, const char* file);
    const char* name() const override;

protected:
    void setMsgs() override;
};

inline constexpr uint32_t ERROR_RS_OPEN = 5;
inline constexpr uint32_t ERROR_RS_OPERATION = 6;

/// The byte-level line the frame protocol talks through. CSerialPort is the real
/// one; tests and the link trace can stand in between.
class ISerialLine {
public:
    virtual ~ISerialLine() = default;
    /// One read of up to count bytes; returns as soon as count bytes arrived, otherwise
    /// after 500 ms + 1 ms per byte with what arrived. Raises only when the call fails.
    virtual uint32_t read(uint8_t* buffer, uint32_t count) = 0;
    /// Writes all count bytes.
    virtual void write(const uint8_t* buffer, uint32_t count) = 0;
    /// Discards the receive queue.
    virtual void purgeIn() = 0;
    /// Discards the receive queue and whatever else arrives until the line has been
    /// quiet for quietMs (a frame still on its way is dropped whole, not cut in
    /// two). A line that cannot tell when it is quiet just purges.
    virtual void drainIn(uint32_t quietMs) {
        (void)quietMs;
        purgeIn();
    }
    /// Discards the transmit queue.
    virtual void purgeOut() = 0;
    /// Clears and returns the line-error state (0 = no error). Never raises.
    virtual uint32_t clearCommError() = 0;
};

/// Line parameters of one connection attempt (the platform's DCB equivalent).
struct SerialLineState {
    uint32_t baudRate = 14400;
    uint8_t dataBits = 8;
    bool parity = false;
    bool twoStopBits = false;
    bool dtr = false;  ///< DTR held off
    bool rts = false;  ///< RTS held off
};

/// Read time-outs: total = constant + multiplier × bytes requested.
struct SerialTimeouts {
    uint32_t readTotalConstantMs = 500;
    uint32_t readTotalMultiplierMs = 1;
};

/// Resolves a port number to a device path: ZEFIREL_COM<n> if set, else the first
/// existing of /dev/ttyUSB(n-1), /dev/ttyACM(n-1), /dev/ttyS(n-1); else /dev/ttyS(n-1).
/// deviceFolder stands in for /dev (tests).
std::string resolvePortPath(uint32_t portNumber, const std::string& deviceFolder = "/dev");

class CSerialPort : public ISerialLine, public IErrorHelper<CRSError> {
public:
    CSerialPort() = default;
    ~CSerialPort() override;
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    /// Opens the port by number (exclusive). Raises code 5 with
    /// "CSerialPort::open(<n>) - GetLastError()=<errno>".
    void open(uint32_t portNumber);
    /// Opens a device path directly (same rules; the number stored is 0).
    void openPath(const std::string& path, uint32_t portNumber = 0);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    uint32_t portNumber() const { return m_portNumber; }
    const std::string& devicePath() const { return m_path; }

    SerialLineState getState();
    void setState(const SerialLineState& state);
    SerialTimeouts getTimeout();
    void setTimeout(const SerialTimeouts& timeouts);

    uint32_t read(uint8_t* buffer, uint32_t count) override;
    void write(const uint8_t* buffer, uint32_t count) override;
    void purgeIn() override;
    /// Purges, then reads and drops bytes until none came for quietMs (at most
    /// about half a second in all, so a line that never stops cannot hold it).
    void drainIn(uint32_t quietMs) override;
    void purgeOut() override;
    uint32_t clearCommError() override;
    /// Whether the other end has vanished since the port was opened.
    bool hungUp() const { return m_hangup.load(); }

private:
    /// Raises code 6 for a line operation with the error number and the line state;
    /// line is the source line of the failing call.
    [[noreturn]] void raiseOperation(const char* op, int err, int line);
    int m_fd = -1;
    uint32_t m_portNumber = 0;
    std::string m_path;
    SerialLineState m_state;
    SerialTimeouts m_timeouts;
    /// The other end vanished (pty closed, USB pulled). Set by reads and writes under
    /// the transaction lock and by clearCommError, which the polling thread also calls
    /// outside that lock.
    std::atomic<bool> m_hangup{false};
    /// Guards the line-error counters below: clearCommError compares and replaces
    /// them, and two threads call it.
    std::mutex m_counterLock;
    bool m_haveCounters = false;   ///< line-error counters available (TIOCGICOUNT)
    uint32_t m_lastFrame = 0, m_lastOverrun = 0, m_lastParity = 0, m_lastBrk = 0, m_lastBufOverrun = 0;
};

} // namespace zefirel
