// The serial port over a real pseudo-terminal: open rules, read time-outs, line state.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <thread>

#include "link/SerialPort.h"
#include "support/ErrorCapture.h"
#include "support/PtyPeer.h"
#include "support/TestDevice.h"

using namespace zefirel;
using zefirel::test::CPtyPeer;
using zefirel::test::CScratchFolder;
using zefirel::test::raisedBy;

namespace {

using Clock = std::chrono::steady_clock;

long elapsedMs(Clock::time_point since) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

/// A port opened on a pseudo-terminal in the program's line settings.
class SerialLine : public ::testing::Test {
protected:
    void SetUp() override {
        port.openPath(peer.slavePath());
        port.setState(SerialLineState{});
    }
    CPtyPeer peer;
    CSerialPort port;
};

} // namespace

TEST(SerialPortOpen, MissingPortRaisesCodeFiveWithNumberAndErrno) {
    ::setenv("ZEFIREL_COM213", "/dev/zefirel-no-such-port", 1);
    CSerialPort port;
    auto e = raisedBy([&] { port.open(213); });
    ::unsetenv("ZEFIREL_COM213");
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->name(), "CRSError");
    EXPECT_EQ(e->code(), ERROR_RS_OPEN);
    EXPECT_EQ(e->detail(), "CSerialPort::open(213) - GetLastError()=2");
    EXPECT_EQ(e->message(), "Nie można otworzyć portu RS.");
    EXPECT_NE(e->format().find("Nie można otworzyć portu RS."), std::string::npos);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.portNumber(), 0u) << "the number is stored only after a successful open";
}

TEST(SerialPortOpen, ResolverPrefersTheOverrideThenUsbThenAcmThenSerial) {
    CScratchFolder dev;
    for (const char* name : {"/ttyS2", "/ttyACM2", "/ttyUSB2", "/ttyUSB0"})
        std::ofstream(dev.path() + name) << "";
    ::setenv("ZEFIREL_COM3", "/tmp/some-line", 1);
    EXPECT_EQ(resolvePortPath(3, dev.path()), "/tmp/some-line");
    ::unsetenv("ZEFIREL_COM3");
    // Each device that goes away lets the next kind in.
    for (const char* next : {"/ttyUSB2", "/ttyACM2", "/ttyS2"}) {
        EXPECT_EQ(resolvePortPath(3, dev.path()), dev.path() + next);
        std::filesystem::remove(dev.path() + next);
    }
    // Without any such device the classic serial name is used.
    EXPECT_EQ(resolvePortPath(3, dev.path()), dev.path() + "/ttyS2");
    EXPECT_EQ(resolvePortPath(1, dev.path()), dev.path() + "/ttyUSB0");
    EXPECT_EQ(resolvePortPath(200), "/dev/ttyS199");
}

TEST(SerialPortOpen, PortHeldByAnotherUserCannotBeOpened) {
    CPtyPeer peer;
    ::setenv("ZEFIREL_COM7", peer.slavePath().c_str(), 1);
    CSerialPort first, second;
    ASSERT_NO_THROW(first.open(7));
    EXPECT_EQ(first.portNumber(), 7u);
    auto e = raisedBy([&] { second.open(7); });
    ::unsetenv("ZEFIREL_COM7");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code(), ERROR_RS_OPEN);
    EXPECT_EQ(e->detail().rfind("CSerialPort::open(7) - GetLastError()=", 0), 0u) << e->detail();
    EXPECT_FALSE(second.isOpen());
    // Once released, the port opens again.
    first.close();
    EXPECT_NO_THROW(second.openPath(peer.slavePath()));
}

TEST_F(SerialLine, ReadWithNothingSentReturnsZeroAfterAboutHalfASecond) {
    port.setTimeout(SerialTimeouts{});
    uint8_t buf[4] = {};
    const auto start = Clock::now();
    EXPECT_EQ(port.read(buf, 4), 0u);
    const long ms = elapsedMs(start);
    EXPECT_GE(ms, 400);
    EXPECT_LE(ms, 1500);
    EXPECT_EQ(port.clearCommError(), 0u) << "a silent but present peer is not a line error";
}

TEST_F(SerialLine, ReadReturnsAsSoonAsTheBytesArriveAndPartialAtTimeout) {
    ASSERT_TRUE(peer.sendRaw({1, 2, 3, 4, 5, 6}));
    uint8_t buf[8] = {};
    auto start = Clock::now();
    EXPECT_EQ(port.read(buf, 4), 4u);
    EXPECT_LT(elapsedMs(start), 300);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[3], 4);
    // Two bytes are left; asking for 8 returns them after the time-out (500 + 8 ms).
    start = Clock::now();
    EXPECT_EQ(port.read(buf, 8), 2u);
    EXPECT_GE(elapsedMs(start), 400);
    EXPECT_EQ(buf[0], 5);
    EXPECT_EQ(buf[1], 6);
}

TEST_F(SerialLine, WrittenBytesReachThePeerUnchanged) {
    // Bytes that a cooked line would translate or swallow (CR, LF, XON, XOFF, ^C, ^D).
    const uint8_t payload[6] = {0x0D, 0x0A, 0x11, 0x13, 0x03, 0x04};
    const std::vector<uint8_t> frame = buildFrame(MSG_TYPE_TABLE, payload, 6, false);
    port.write(frame.data(), static_cast<uint32_t>(frame.size()));
    ASSERT_TRUE(peer.waitForRequests(1, 2000));
    EXPECT_EQ(peer.requests()[0].raw, frame);
}

TEST_F(SerialLine, LineSettingsAreEightNoneOneAt14400) {
    SerialLineState wanted;
    wanted.baudRate = 14400;
    port.setState(wanted);
    const SerialLineState s = port.getState();
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_FALSE(s.parity);
    EXPECT_FALSE(s.twoStopBits);
    EXPECT_FALSE(s.dtr);
    EXPECT_FALSE(s.rts);
    EXPECT_EQ(s.baudRate, 14400u);
    SerialTimeouts t;
    t.readTotalConstantMs = 100;
    port.setTimeout(t);
    EXPECT_EQ(port.getTimeout().readTotalConstantMs, 100u);
}

TEST(SerialPortState, OperationsOnAClosedPortRaiseCodeSixWithTheirNames) {
    CSerialPort port;
    auto e = raisedBy([&] { port.purgeIn(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code(), ERROR_RS_OPERATION);
    EXPECT_EQ(e->message(), "Nie można wykonać operacji na RS.");
    EXPECT_EQ(e->detail(), "CSerialPort::purgeIn() \n GetLastError() = 9\n clearCommError() = 9");
    e = raisedBy([&] { port.getState(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->detail().rfind("CSerialPort::getState() \n GetLastError() = ", 0), 0u);
    uint8_t b[2] = {};
    e = raisedBy([&] { port.write(b, 2); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->detail(), "CSerialPort::write() - GetLastError()=9");
    e = raisedBy([&] { port.read(b, 2); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->detail(), "CSerialPort::read() - GetLastError()=9");
    EXPECT_NE(port.clearCommError(), 0u);
}

TEST(SerialPortState, EachFailingCallReportsItsOwnSourceLine) {
    // The line given with a code-6 error is that of the statement that raised it, so
    // the source line names the operation that failed.
    std::vector<std::string> source;
    {
        std::ifstream in(std::string(ZEFIREL_SOURCE_DIR) + "/src/core/link/SerialPort.cpp");
        for (std::string l; std::getline(in, l);)
            source.push_back(l);
    }
    ASSERT_FALSE(source.empty());
    CSerialPort port;
    uint8_t b[2] = {};
    struct Case {
        const char* op;
        std::function<void()> call;
    };
    const std::vector<Case> cases = {
        {"getState", [&] { port.getState(); }},       {"setState", [&] { port.setState({}); }},
        {"getTimeout", [&] { port.getTimeout(); }},   {"setTimeout", [&] { port.setTimeout({}); }},
        {"purgeIn", [&] { port.purgeIn(); }},         {"purgeOut", [&] { port.purgeOut(); }},
        {"read", [&] { port.read(b, 2); }},           {"write", [&] { port.write(b, 2); }},
    };
    std::set<int> lines;
    for (const Case& c : cases) {
        const auto e = raisedBy(c.call);
        ASSERT_TRUE(e) << c.op;
        ASSERT_GT(e->line(), 0) << c.op;
        ASSERT_LE(static_cast<size_t>(e->line()), source.size()) << c.op;
        const std::string& text = source[static_cast<size_t>(e->line()) - 1];
        // raiseOperation("getState", ...) or raise(..., "CSerialPort::read() - ...".
        EXPECT_TRUE(std::regex_search(text, std::regex(std::string("[\":]") + c.op + "[\"(]")))
            << c.op << " at: " << text;
        EXPECT_TRUE(lines.insert(e->line()).second) << c.op << " shares line " << e->line();
    }
}

TEST_F(SerialLine, LineStateMayBeClearedFromTwoThreadsAtOnce) {
    // The polling thread clears the line's error state outside the transaction lock
    // while a command does the same under it. Run with ThreadSanitizer, this shows
    // a race on the port's line-state fields.
    peer.closeMaster();
    std::atomic<int> clean{0};
    auto clearMany = [&] {
        for (int i = 0; i < 2000; ++i)
            if (port.clearCommError() == 0)
                ++clean;
    };
    std::thread other(clearMany);
    clearMany();
    other.join();
    EXPECT_EQ(clean.load(), 0) << "a vanished device is in error for every caller";
}

TEST_F(SerialLine, VanishedPeerEndsTheReadAtOnceAndReportsALineError) {
    EXPECT_EQ(port.clearCommError(), 0u);
    ASSERT_TRUE(peer.sendRaw({0xAA, 0x55}));
    peer.closeMaster();
    EXPECT_NE(port.clearCommError(), 0u);
    EXPECT_NE(port.clearCommError(), 0u) << "a vanished device stays in error";
    uint8_t buf[4] = {};
    const auto start = Clock::now();
    EXPECT_LT(port.read(buf, 4), 4u);
    EXPECT_LT(elapsedMs(start), 300) << "a read on a vanished device must not wait out its time-out";
    auto e = raisedBy([&] { port.write(buf, 4); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code(), ERROR_RS_OPERATION);
}

TEST_F(SerialLine, PurgeInDropsQueuedBytes) {
    SerialTimeouts quick;
    quick.readTotalConstantMs = 50;
    port.setTimeout(quick);
    ASSERT_TRUE(peer.sendRaw({9, 9, 9}));
    // Give the bytes time to cross the pty before purging.
    uint8_t probe = 0;
    ASSERT_EQ(port.read(&probe, 1), 1u);
    port.purgeIn();
    uint8_t buf[4] = {};
    EXPECT_EQ(port.read(buf, 4), 0u);
    EXPECT_NO_THROW(port.purgeOut());
}
