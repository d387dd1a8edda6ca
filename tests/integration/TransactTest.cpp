// One request/response exchange over a real pseudo-terminal: every failing step,
// the status word, the buffer contract, the connection-lost flag and the lock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "diag/Diag.h"
#include "link/LPGDevice.h"
#include "link/LinkTrace.h"
#include "support/ErrorCapture.h"
#include "support/PtyPeer.h"

using namespace zefirel;
using zefirel::test::CPtyPeer;
using zefirel::test::raisedBy;

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

long elapsedMs(Clock::time_point since) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

/// Opens up the protected pieces the exchange relies on.
class CProbeDevice : public CLPGDevice {
public:
    using CLPGDevice::readUnasked;
    /// True when the transaction lock is free at this moment.
    bool lockFree() {
        if (!m_txLock.tryLock())
            return false;
        m_txLock.unlock();
        return true;
    }
    void setLost(bool lost) { m_connectionLost.store(lost); }
};

/// A line that passes everything to the real port but reports a line error on
/// the n-th clearCommError call (1-based), as a UART with a framing error would.
class CErrorOnCheck : public ISerialLine {
public:
    CErrorOnCheck(ISerialLine& real, int failAt) : m_real(real), m_failAt(failAt) {}
    uint32_t read(uint8_t* b, uint32_t n) override { return m_real.read(b, n); }
    void write(const uint8_t* b, uint32_t n) override { m_real.write(b, n); }
    void purgeIn() override { m_real.purgeIn(); }
    void purgeOut() override { m_real.purgeOut(); }
    uint32_t clearCommError() override {
        const uint32_t real = m_real.clearCommError();
        return ++m_calls == m_failAt ? 0x0008 : real;
    }
    int calls() const { return m_calls; }

private:
    ISerialLine& m_real;
    int m_failAt;
    int m_calls = 0;
};

class Transact : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(peer.slavePath().empty());
        dev.port().openPath(peer.slavePath());
        dev.port().setState(SerialLineState{});
        dev.port().setTimeout(SerialTimeouts{});
    }

    /// Answers every request with the given bytes.
    void answer(const Bytes& bytes) {
        peer.setHandler([bytes](uint8_t, const Bytes&) { return bytes; });
    }

    /// A link-test request in buf; returns the outcome of transact or transactUnchecked.
    bool linkTest(bool checked = true) {
        buf.fill(0);
        buf[0] = CMD_TEST;
        length = 6;
        type = MSG_TYPE_COMMAND;
        return checked ? dev.transact(buf, length, type) : dev.transactUnchecked(buf, length, type);
    }

    CPtyPeer peer;
    CProbeDevice dev;
    PayloadBuffer buf{};
    uint8_t length = 0;
    uint8_t type = 0;
};

} // namespace

TEST_F(Transact, LinkTestGoesOutAsDocumentedAndTheAnswerComesBackInHostOrder) {
    answer(CPtyPeer::ack(CMD_DONE, 0x1234, 0));
    dev.setLost(true);
    ASSERT_TRUE(linkTest());
    EXPECT_EQ(length, 6);
    EXPECT_EQ(type, MSG_TYPE_COMMAND);
    EXPECT_EQ(buf[0], CMD_DONE);
    EXPECT_EQ(getU16(&buf[2]), 0x1234);
    EXPECT_FALSE(dev.isConnectionLost()) << "a clean transaction clears the flag";
    ASSERT_EQ(peer.requestCount(), 1u);
    EXPECT_EQ(peer.requests()[0].raw, (Bytes{0xAA, 0x55, 0x06, 0x04, 0x09, 0, 0, 0, 0, 0, 0x00, 0x13}));
}

TEST_F(Transact, BufferHoldsHostPayloadThenWireChecksumThenZeros) {
    Bytes version(21);
    for (size_t i = 0; i < version.size(); ++i)
        version[i] = static_cast<uint8_t>(0x10 + i);
    const Bytes frame = CPtyPeer::frame(MSG_TYPE_VERSION, version);
    answer(frame);
    buf.fill(0xEE);
    buf[0] = CMD_VERSION;
    buf[1] = 0;
    for (size_t i = 2; i < 6; ++i)
        buf[i] = 0;
    length = 6;
    type = MSG_TYPE_COMMAND;
    ASSERT_TRUE(dev.transact(buf, length, type));
    EXPECT_EQ(length, 21);
    EXPECT_EQ(type, MSG_TYPE_VERSION);
    EXPECT_TRUE(std::equal(version.begin(), version.end(), buf.begin()));
    EXPECT_EQ(buf[21], frame[frame.size() - 2]);
    EXPECT_EQ(buf[22], frame[frame.size() - 1]);
    for (size_t i = 23; i < buf.size(); ++i)
        ASSERT_EQ(buf[i], 0) << "offset " << i;
}

TEST_F(Transact, StatusWordOnlyTheHeldCodesBitPasses) {
    struct Case {
        uint16_t status;
        bool checked;
    };
    for (const Case c : {Case{0x0010, true}, Case{0x0011, false}, Case{0x0008, false}, Case{0x0001, false}}) {
        answer(CPtyPeer::ack(CMD_DONE, 0, c.status));
        EXPECT_EQ(linkTest(true), c.checked) << std::hex << c.status;
        EXPECT_TRUE(linkTest(false)) << "unchecked, status " << std::hex << c.status;
        EXPECT_EQ(getU16(&buf[4]), c.status);
    }
}

TEST_F(Transact, DiagnosticAnswerUsesTheLayoutOfTheControllersFeatures) {
    // The same wire bytes: the standard layout swaps the words at 26 and 28, the
    // extended layout keeps bytes 26..29 as single bytes.
    Bytes sample(30);
    for (size_t i = 0; i < sample.size(); ++i)
        sample[i] = static_cast<uint8_t>(i);
    const Bytes wire = CPtyPeer::frame(MSG_TYPE_DIAG, sample, false);
    answer(wire);
    ASSERT_TRUE(linkTest(false));
    EXPECT_EQ(buf[26], 26);
    EXPECT_EQ(buf[10], 10);

    uint8_t features[20] = {};
    setU32(features, FEATURE_EXTENDED_DIAG);
    dev.updateSettings([&](CSettingsBlock& b) { b.setFeatures(features); });
    ASSERT_TRUE(linkTest(false));
    EXPECT_EQ(buf[26], 27) << "extended layout: no swap at 26";
    EXPECT_EQ(buf[10], 10);
}

TEST_F(Transact, ShortAcknowledgementIsNotJudgedByItsChecksumBytes) {
    // A 4-byte acknowledgement has no status word; offsets 4 and 5 then hold its
    // checksum (non-zero), which must not be taken for a status.
    answer(CPtyPeer::frame(MSG_TYPE_COMMAND, {CMD_DONE, 0, 0, 0}));
    EXPECT_TRUE(linkTest());
    EXPECT_EQ(length, 4);
}

TEST_F(Transact, SilenceShortAnswersAndBadChecksumsFailWithinTheTimeOutAndKeepTheFlag) {
    const Bytes ack = CPtyPeer::ack();
    Bytes lowSum = ack, highSum = ack;
    lowSum.back() = static_cast<uint8_t>(lowSum.back() + 1); // off by one
    highSum[highSum.size() - 2] = static_cast<uint8_t>(highSum[highSum.size() - 2] + 1);
    for (const Bytes& reply :
         {Bytes{}, Bytes(ack.begin(), ack.begin() + 3), Bytes(ack.begin(), ack.begin() + 8), lowSum, highSum}) {
        for (bool lostBefore : {false, true}) {
            answer(reply);
            dev.setLost(lostBefore);
            const auto start = Clock::now();
            EXPECT_FALSE(linkTest()) << reply.size() << " bytes";
            EXPECT_LT(elapsedMs(start), 1500);
            EXPECT_EQ(dev.isConnectionLost(), lostBefore) << reply.size() << " bytes";
        }
    }
}

TEST_F(Transact, SwappedSyncFailsWithoutReadingTheRestOfTheFrame) {
    Bytes frame = CPtyPeer::ack(CMD_DONE, 0x0102, 0);
    std::swap(frame[0], frame[1]);
    answer(frame);
    EXPECT_FALSE(linkTest());
    uint8_t rest[16] = {};
    SerialTimeouts quick;
    quick.readTotalConstantMs = 200;
    dev.port().setTimeout(quick);
    ASSERT_EQ(dev.port().read(rest, 16), frame.size() - 4);
    EXPECT_TRUE(std::equal(frame.begin() + 4, frame.end(), rest));
}

TEST_F(Transact, OneBrokenAnswerDoesNotLeaveTheLinkAFrameBehind) {
    // The first answer has its sync bytes swapped, the second a bad checksum; each
    // later request must get its own answer (its argument echoes the request count).
    std::atomic<int> n{0};
    peer.setHandler([&n](uint8_t, const Bytes&) {
        const int i = ++n;
        Bytes frame = CPtyPeer::ack(CMD_DONE, static_cast<uint16_t>(i), 0);
        if (i == 1)
            std::swap(frame[0], frame[1]);
        if (i == 2)
            frame.back() = static_cast<uint8_t>(frame.back() + 1);
        return frame;
    });
    EXPECT_FALSE(linkTest());
    EXPECT_FALSE(linkTest());
    for (int i = 3; i <= 5; ++i) {
        ASSERT_TRUE(linkTest()) << "request " << i;
        EXPECT_EQ(getU16(buf.data() + 2), i);
    }
}

TEST_F(Transact, AnswerOfAnotherKindDoesNotLeaveTheLinkAFrameBehind) {
    // Before the answer to a request comes a frame the controller sent unasked (its
    // initialisation notice); the poll that reads it fails, and the next one must
    // get its own answer, not the late one. Work state byte = request number.
    std::atomic<int> n{0};
    peer.setHandler([this, &n](uint8_t, const Bytes& p) {
        const int i = ++n;
        Bytes sample(30, 0);
        sample[0] = static_cast<uint8_t>(i);
        if (i == 1 || i == 3) {
            peer.sendRaw(CPtyPeer::ack(CMD_TEST, 0x99, 0));
            std::this_thread::sleep_for(std::chrono::milliseconds(5)); // the answer is still on its way
        }
        if (p[0] == CMD_DIAG)
            return CPtyPeer::frame(MSG_TYPE_DIAG, sample);
        return CPtyPeer::ack(CMD_DONE, static_cast<uint16_t>(i), 0);
    });
    CDiag d;
    EXPECT_FALSE(dev.requestDiag(1, d));
    ASSERT_TRUE(dev.requestDiag(1, d));
    EXPECT_EQ(d.raw()[0], 2);

    // The same when the unasked frame comes before an acknowledgement: the notice is
    // an acknowledgement frame too, but it does not report the command done.
    buf.fill(0);
    buf[0] = CMD_TEST;
    length = 6;
    type = MSG_TYPE_COMMAND;
    EXPECT_TRUE(dev.transact(buf, length, type, MSG_TYPE_COMMAND)) << "handed back as received";
    EXPECT_EQ(buf[0], CMD_TEST);
    EXPECT_EQ(getU16(&buf[2]), 0x99);
    ASSERT_TRUE(linkTest());
    EXPECT_EQ(getU16(&buf[2]), 4);
}

TEST_F(Transact, CleanExchangesLeaveAnUnaskedFrameQueued) {
    // Nothing is thrown away while every exchange succeeds: a frame that arrives
    // unasked afterwards is read as it is (the notice after clearing errors).
    answer(CPtyPeer::ack());
    ASSERT_TRUE(linkTest());
    ASSERT_TRUE(linkTest());
    ASSERT_TRUE(peer.sendRaw(CPtyPeer::ack(CMD_TEST, 7, 0)));
    ASSERT_TRUE(dev.readUnasked(buf, length, type));
    EXPECT_EQ(buf[0], CMD_TEST);
    EXPECT_EQ(getU16(&buf[2]), 7);
}

TEST_F(Transact, LongestAndEmptyPayloadsAreHandled) {
    Bytes table(255);
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<uint8_t>(255 - i);
    const Bytes longest = CPtyPeer::frame(MSG_TYPE_TABLE, table);
    answer(longest);
    buf.fill(0xEE);
    ASSERT_TRUE(linkTest());
    EXPECT_EQ(length, 255);
    EXPECT_TRUE(std::equal(table.begin(), table.end(), buf.begin()));
    EXPECT_EQ(buf[255], longest[longest.size() - 2]);
    EXPECT_EQ(buf[256], longest[longest.size() - 1]);
    EXPECT_EQ(buf[257], 0);
    EXPECT_EQ(buf[409], 0);

    // Zero length both ways: a 6-byte frame whose checksum is the type byte.
    answer(CPtyPeer::frame(MSG_TYPE_ERRORS, {}));
    buf.fill(0xEE);
    length = 0;
    type = MSG_TYPE_ERRORS;
    ASSERT_TRUE(dev.transact(buf, length, type));
    EXPECT_EQ(length, 0);
    EXPECT_EQ(type, MSG_TYPE_ERRORS);
    EXPECT_EQ(buf[0], 0x00);
    EXPECT_EQ(buf[1], 0x06);
    EXPECT_EQ(buf[2], 0);
    EXPECT_EQ(peer.requests().back().raw, (Bytes{0xAA, 0x55, 0x00, 0x06, 0x00, 0x06}));
}

TEST(TransactLine, LineErrorAtAnyCheckFailsAndMarksTheConnectionLost) {
    // Checks come after the header, the payload, the checksum, the response
    // header and the whole response. Each case gets a fresh line, since a frame
    // cut short would otherwise run into the next request.
    for (int failAt = 1; failAt <= 5; ++failAt) {
        CPtyPeer peer([](uint8_t, const Bytes&) { return CPtyPeer::ack(); });
        CProbeDevice dev;
        dev.port().openPath(peer.slavePath());
        dev.port().setState(SerialLineState{});
        CErrorOnCheck faulty(dev.port(), failAt);
        dev.setLine(&faulty);
        PayloadBuffer buf{};
        buf[0] = CMD_TEST;
        uint8_t length = 6, type = MSG_TYPE_COMMAND;
        EXPECT_FALSE(dev.transact(buf, length, type)) << "check " << failAt;
        EXPECT_TRUE(dev.isConnectionLost()) << "check " << failAt;
        EXPECT_EQ(faulty.calls(), failAt) << "the exchange stops at the failing check";
        // The next exchange on a clean line succeeds and clears the flag, also when
        // the error came with the answer's header and the rest of it is still queued.
        dev.setLine(nullptr);
        if (failAt <= 3)
            continue; // the peer still waits for the rest of the cut request
        buf.fill(0);
        buf[0] = CMD_TEST;
        length = 6;
        type = MSG_TYPE_COMMAND;
        EXPECT_TRUE(dev.transact(buf, length, type)) << "check " << failAt;
        EXPECT_FALSE(dev.isConnectionLost());
    }
}

TEST_F(Transact, VanishedDeviceFailsQuicklyAndMarksTheConnectionLost) {
    const Bytes ack = CPtyPeer::ack();
    peer.setHandler([this, ack](uint8_t, const Bytes&) {
        peer.sendRaw(Bytes(ack.begin(), ack.begin() + 5)); // header and one byte, then unplugged
        peer.closeMaster();
        return Bytes{};
    });
    const auto start = Clock::now();
    EXPECT_FALSE(linkTest());
    EXPECT_LT(elapsedMs(start), 1000);
    EXPECT_TRUE(dev.isConnectionLost());
}

TEST_F(Transact, UnpluggedBeforeTheAnswerMarksTheConnectionLost) {
    peer.setHandler([this](uint8_t, const Bytes&) {
        peer.closeMaster();
        return Bytes{};
    });
    EXPECT_FALSE(linkTest());
    EXPECT_TRUE(dev.isConnectionLost());
}

TEST_F(Transact, UnpluggedBeforeTheRequestRaisesAndMarksTheConnectionLost) {
    peer.closeMaster();
    const auto e = raisedBy([&] { linkTest(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code(), ERROR_RS_OPERATION);
    EXPECT_TRUE(dev.isConnectionLost());
    EXPECT_TRUE(dev.lockFree());
}

TEST_F(Transact, PortErrorPassesThroughAndReleasesTheLock) {
    dev.port().close();
    const auto e = raisedBy([&] { linkTest(); });
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->name(), "CRSError");
    EXPECT_EQ(e->code(), ERROR_RS_OPERATION);
    // Another thread finds the lock free, and a new transaction proceeds.
    EXPECT_TRUE(std::async(std::launch::async, [&] { return dev.lockFree(); }).get());
    answer(CPtyPeer::ack());
    dev.port().openPath(peer.slavePath());
    dev.port().setState(SerialLineState{});
    EXPECT_TRUE(linkTest());
}

TEST_F(Transact, ConcurrentTransactionsNeverInterleave) {
    // The peer echoes the request's argument; each thread checks its own answers.
    peer.setHandler([](uint8_t, const Bytes& p) { return CPtyPeer::ack(CMD_DONE, getU16(&p[2]), 0); });
    std::atomic<int> wrong{0};
    auto worker = [&](uint16_t base) {
        for (uint16_t i = 0; i < 25; ++i) {
            PayloadBuffer b{};
            b[0] = CMD_LEVEL_VALUE;
            setU16(&b[2], static_cast<uint16_t>(base + i));
            uint8_t n = 6, t = MSG_TYPE_COMMAND;
            if (!dev.transact(b, n, t) || getU16(&b[2]) != base + i)
                ++wrong;
        }
    };
    std::thread a(worker, 0x1000), b(worker, 0x2000);
    a.join();
    b.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(peer.requestCount(), 50u);
}

TEST_F(Transact, UnaskedNoticeIsReadUnderTheLock) {
    const Bytes notice = CPtyPeer::ack(CMD_TEST, 0x0005, 0);
    ASSERT_TRUE(peer.sendRaw(notice));
    ASSERT_TRUE(dev.readUnasked(buf, length, type));
    EXPECT_EQ(type, MSG_TYPE_COMMAND);
    EXPECT_EQ(buf[0], CMD_TEST);
    EXPECT_EQ(getU16(&buf[2]), 0x0005);
    EXPECT_TRUE(dev.lockFree());

    Bytes broken = notice;
    broken.back() ^= 1;
    ASSERT_TRUE(peer.sendRaw(broken));
    EXPECT_FALSE(dev.readUnasked(buf, length, type));
    EXPECT_FALSE(dev.readUnasked(buf, length, type)) << "nothing more was sent";
}

TEST_F(Transact, TraceRecordsEveryFrameWithDirection) {
    char path[] = "/tmp/zefirel-trace-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    CLinkTrace trace;
    ASSERT_TRUE(trace.open(path));
    dev.setTrace(&trace);
    answer(CPtyPeer::ack(CMD_DONE, 0, 0x0010));
    ASSERT_TRUE(linkTest());
    answer({});
    EXPECT_FALSE(linkTest()); // a request without an answer leaves a TX line only
    trace.note("done");
    dev.setTrace(nullptr);
    trace.close();

    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    std::remove(path);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("  TX  AA 55 06 04 09 00 00 00 00 00 00 13"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("  RX  AA 55 06 04 04 00 00 00 00 10 00 1E"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("  TX  AA 55"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find("  --  done"), std::string::npos) << lines[3];
    EXPECT_EQ(lines[0][4], '-'); // starts with the date
}
