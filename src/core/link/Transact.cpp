// One request/response exchange with the controller under the transaction lock.
#include <vector>

#include "link/LPGDevice.h"
#include "link/LinkTrace.h"

namespace zefirel {

namespace {

/// After a failed exchange, the receive queue is emptied until the line has been
/// quiet this long: 40 byte times at 14400 baud, longer than any gap inside a frame.
constexpr uint32_t STALE_QUIET_MS = 30;

/// Collects the bytes of one received frame and writes them to the trace when the
/// exchange ends, whichever way it ends (also when a port error passes through).
class CReceivedFrame {
public:
    explicit CReceivedFrame(CLinkTrace* trace) : m_trace(trace) {}
    ~CReceivedFrame() {
        if (m_trace && !m_bytes.empty())
            m_trace->received(m_bytes.data(), m_bytes.size());
    }
    CReceivedFrame(const CReceivedFrame&) = delete;
    CReceivedFrame& operator=(const CReceivedFrame&) = delete;
    void add(const uint8_t* bytes, size_t count) {
        if (m_trace)
            m_bytes.insert(m_bytes.end(), bytes, bytes + count);
    }

private:
    CLinkTrace* m_trace;
    std::vector<uint8_t> m_bytes;
};

/// Outcome of reading one response frame.
enum class ERxResult { Ok, Short, BadSync, LineError, BadChecksum };

/// Reads one frame: the 4-byte header, the sync check, then (after the buffer is
/// zeroed and lineFailed() was asked) the payload and checksum, and the checksum
/// check. On Ok the buffer holds the payload in wire order and its checksum.
template <class LineCheck>
ERxResult readFrame(ISerialLine& io, PayloadBuffer& buf, uint8_t& rxLength, uint8_t& rxType,
                    CReceivedFrame& received, LineCheck lineFailed) {
    uint8_t header[FRAME_HEADER_SIZE] = {};
    const uint32_t gotHeader = io.read(header, FRAME_HEADER_SIZE);
    received.add(header, gotHeader);
    if (gotHeader < FRAME_HEADER_SIZE)
        return ERxResult::Short;
    if (header[0] != FRAME_SYNC1 || header[1] != FRAME_SYNC2)
        return ERxResult::BadSync; // the rest of that frame stays queued

    rxLength = header[2];
    rxType = header[3];
    buf.fill(0);
    if (lineFailed())
        return ERxResult::LineError;

    const uint32_t want = uint32_t{rxLength} + FRAME_CHECKSUM_SIZE; // at most 257 of 410
    const uint32_t got = io.read(buf.data(), want);
    received.add(buf.data(), got);
    if (got < want)
        return ERxResult::Short;
    const uint16_t rxSum = static_cast<uint16_t>((buf[rxLength] << 8) | buf[rxLength + 1]);
    return rxSum == frameSum(rxLength, rxType, buf.data()) ? ERxResult::Ok : ERxResult::BadChecksum;
}

} // namespace

bool CLPGDevice::transact(PayloadBuffer& buf, uint8_t& length, uint8_t& type, uint8_t expectType) {
    return exchange(buf, length, type, true, expectType);
}

bool CLPGDevice::transactUnchecked(PayloadBuffer& buf, uint8_t& length, uint8_t& type, uint8_t expectType) {
    return exchange(buf, length, type, false, expectType);
}

bool CLPGDevice::exchange(PayloadBuffer& buf, uint8_t& length, uint8_t& type, bool checkStatus,
                          uint8_t expectType) {
    CMutexGuard guard(&m_txLock);
    ISerialLine& io = line();
    try {
        // Any exchange that did not end cleanly may have left bytes queued (the rest
        // of a frame, a late answer): the next one starts from an empty queue.
        const bool ok = exchangeLocked(io, buf, length, type, checkStatus);
        if (!ok)
            m_rxStale = true;
        else if (expectType != ANY_FRAME_TYPE && !answers(expectType, buf, type))
            keepUnasked(buf, length, type); // the real answer is still coming
        return ok;
    } catch (IError*) {
        m_rxStale = true;
        // A port error passes to the caller; a line found in error on the way
        // (the device vanished) also counts as a lost connection.
        if (io.clearCommError() != 0)
            m_connectionLost.store(true, std::memory_order_relaxed);
        throw;
    }
}

void CLPGDevice::keepUnasked(const PayloadBuffer& buf, uint8_t length, uint8_t type) {
    m_rxStale = true;
    // It may be the notice a clearErrors on another thread waits for: keep it for
    // readUnasked instead of losing it to the exchange that happened to read it.
    m_unasked = buf;
    m_unaskedLength = length;
    m_unaskedType = type;
    m_haveUnasked = true;
}

void CLPGDevice::forgetUnasked() {
    CMutexGuard guard(&m_txLock);
    m_haveUnasked = false;
}

bool CLPGDevice::answers(uint8_t expectType, const PayloadBuffer& buf, uint8_t type) {
    if (type != expectType)
        return false;
    // An acknowledgement answers a request only when it reports the command done;
    // the controller's unasked notice is an acknowledgement frame too.
    return type != MSG_TYPE_COMMAND || buf[0] == CMD_DONE;
}

bool CLPGDevice::exchangeLocked(ISerialLine& io, PayloadBuffer& buf, uint8_t& length, uint8_t& type,
                                bool checkStatus) {
    const bool extended = extendedDiag();
    CReceivedFrame received(m_trace);

    // Without this, one broken answer would leave its tail queued and every later
    // exchange would read the answer meant for the one before it. Only after a
    // failed or mismatched exchange, so a clean link never loses the controller's
    // unasked notice.
    if (m_rxStale) {
        io.drainIn(STALE_QUIET_MS);
        m_rxStale = false;
    }

    // A line error after a write means the controller may have seen a broken
    // frame: the connection counts as lost.
    auto lineFailed = [&] {
        if (io.clearCommError() == 0)
            return false;
        m_connectionLost.store(true, std::memory_order_relaxed);
        return true;
    };

    // The request goes out from a wire-order copy, so the caller's buffer keeps
    // the host-order request until the response replaces it.
    const std::vector<uint8_t> frame = buildFrame(type, buf.data(), length, extended);
    if (m_trace)
        m_trace->sent(frame.data(), frame.size());
    const uint8_t* header = frame.data();
    const uint8_t* payload = header + FRAME_HEADER_SIZE;
    const uint8_t* checksum = payload + length;

    io.write(header, FRAME_HEADER_SIZE);
    if (lineFailed())
        return false;
    if (length)
        io.write(payload, length);
    if (lineFailed())
        return false;
    io.write(checksum, FRAME_CHECKSUM_SIZE);
    if (lineFailed())
        return false;

    uint8_t rxLength = 0, rxType = 0;
    switch (readFrame(io, buf, rxLength, rxType, received, lineFailed)) {
    case ERxResult::Ok:
        break;
    case ERxResult::Short:
        // A plain time-out on a live line leaves the flag alone; when the line
        // reports an error as well (the device vanished), the connection is lost.
        lineFailed();
        return false;
    default:
        return false;
    }

    length = rxLength;
    type = rxType;
    fromWireOrder(buf.data(), rxLength, rxType, extended);

    if (checkStatus && rxType == MSG_TYPE_COMMAND) {
        // An acknowledgement too short to carry a status word carries none; the
        // bytes at its place are then checksum bytes, not a status.
        const uint16_t status = rxLength >= 6 ? getU16(buf.data() + 4) : 0;
        if (status & ~ERROR_CODES_HELD)
            return false;
    }

    if (lineFailed())
        return false;
    m_connectionLost.store(false, std::memory_order_relaxed);
    return true;
}

bool CLPGDevice::readUnasked(PayloadBuffer& buf, uint8_t& length, uint8_t& type) {
    CMutexGuard guard(&m_txLock);
    if (m_haveUnasked) {
        // An exchange that expected its own answer has read this frame already.
        buf = m_unasked;
        length = m_unaskedLength;
        type = m_unaskedType;
        m_haveUnasked = false;
        return true;
    }
    ISerialLine& io = line();
    CReceivedFrame received(m_trace);

    uint8_t rxLength = 0, rxType = 0;
    if (readFrame(io, buf, rxLength, rxType, received, [] { return false; }) != ERxResult::Ok) {
        m_rxStale = true;
        return false;
    }

    length = rxLength;
    type = rxType;
    fromWireOrder(buf.data(), rxLength, rxType, extendedDiag());
    return true;
}

} // namespace zefirel
