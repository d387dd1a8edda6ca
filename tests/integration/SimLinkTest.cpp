// The real controller proxy against the virtual controller over a pseudo-terminal:
// the round trips that the command-line tests do not make, the handshake
// outcomes, and the link faults the simulator injects (no answer, wrong checksum,
// swapped sync, stray bytes, unplugged line), each bounded by the link's time-outs.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "SimKit.h"
#include "diag/Diag.h"
#include "link/Conversions.h"
#include "support/RecordingHost.h"
#include "map/TimeCorrections.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::sim;
using namespace zefirel::test;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

/// A virtual controller served on a pty and the proxy connected to it.
struct Rig : CSimOnPty {
    explicit Rig(const SimConfig& c = {}) : CSimOnPty(c) {
        dev.folder = scratch.path();
        host.carDataAnswer = true;
    }
    ~Rig() {
        dev.disconnect();
        setTimerFrequency(DEFAULT_TIMER_FREQUENCY);
    }
    bool connect() { return opened && dev.connectPath(server.slavePath()); }

    CScratchFolder scratch;
    CRecordingHost host;
    CTestDevice dev{&host};
};

/// Turns the faults off and drops what is left of a broken answer.
void recover(Rig& r) {
    r.server.setFaults({});
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    r.dev.port().purgeIn();
}

bool anyMessageContains(const CRecordingHost& host, const std::string& part) {
    for (const RecordedMessage& m : host.messages)
        if (m.text.find(part) != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST(SimLink, BytesLeftForAClientThatWentAwayDoNotReachTheNextOne) {
    Rig r;
    ASSERT_TRUE(r.connect());
    r.dev.disconnect();
    SimFaults f;
    f.garbageMs = 100; // stray bytes while nobody has the port open
    r.server.setFaults(f);
    std::this_thread::sleep_for(std::chrono::milliseconds(350));
    r.server.setFaults({});
    std::this_thread::sleep_for(std::chrono::milliseconds(2600));
    ASSERT_TRUE(r.connect());
    EXPECT_TRUE(r.dev.isVersionOk());
    EXPECT_TRUE(r.host.messages.empty());
    EXPECT_EQ(r.dev.settings().identity(), r.ctl.identity()); // deciphered as the controller holds it
    EXPECT_EQ(r.dev.settings().featureMask(), r.cfg.featureMask);
    uint8_t record[VERSION_RECORD_SIZE];
    ASSERT_TRUE(r.dev.readVersion(record)); // answers match their requests
    EXPECT_EQ(getU16(record + 2), 5);
}

TEST(SimLink, HandshakeWithAnUnknownFeatureStillConnects) {
    // (Another firmware version is met by the command-line tests.)
    SimConfig cfg;
    cfg.featureMask = 0x2000;
    Rig r(cfg);
    ASSERT_TRUE(r.connect());
    EXPECT_TRUE(r.dev.isVersionOk());
    EXPECT_TRUE(anyMessageContains(r.host, "Wersja oprogramowania PC może nie obsługiwać wszystkich"));
    EXPECT_EQ(r.host.menusRemoved, 0);
}

TEST(SimLink, SettingsWrittenAreReadBackAsTheControllerKeepsThem) {
    struct Value {
        ESetting id;
        double written, readBack; // read back in the controller's own steps
    };
    const Value values[] = {
        {ESetting::mainCorrection, 2.51, 2.5},     {ESetting::switchSpeed, 1500, 1500},
        {ESetting::referencePressure, 120, 120},   {ESetting::pressureSlope, 1.25, 1.2},
        {ESetting::lpgSwitchDelay, 30, 30},        {ESetting::voltageLimit, 60, 60},
        {ESetting::minSupplyVoltage, 11.3, 11.3},  {ESetting::correction2Injectors, 5, 5},
        {ESetting::petrolInjectionType, 2, 2},
    };
    Rig r;
    ASSERT_TRUE(r.connect());
    ASSERT_TRUE(r.dev.readSettings());
    r.host.carDataAnswer = true;
    CSettingsBlock s = r.dev.settings();
    for (const Value& v : values)
        s.setValue(v.id, v.written);
    s.setCarText(ECarText::make, "Opel");
    s.setCarText(ECarText::model, "Astra");
    s.setCarText(ECarText::capacity, "1600");
    ASSERT_EQ(checkSettings(s), "");
    uint8_t sent[SETUP_RECORD_SIZE];
    encodeSettings(s, sent);
    const SettingsWriteResult w = commitRecord(r.dev, s);
    ASSERT_EQ(w.outcome, EWriteOutcome::Written) << w.message;
    EXPECT_TRUE(w.resetBefore && w.errorsCleared); // the sequence type changed

    // The controller holds exactly the record that was sent…
    const std::array<uint8_t, 26> held = r.ctl.setupRecord();
    EXPECT_TRUE(std::equal(held.begin(), held.end(), sent));

    // …and a fresh read gives the values in the controller's own steps.
    r.dev.disconnect(); // the port is exclusive
    CTestDevice other(&r.host);
    ASSERT_TRUE(other.connectPath(r.server.slavePath()));
    ASSERT_TRUE(other.readSettings());
    for (const Value& v : values)
        EXPECT_DOUBLE_EQ(other.settings().value(v.id), v.readBack) << settingInfo(v.id).name;
    other.disconnect();
}

TEST(SimLink, TimeCorrectionsAndLevelCalibrationRoundTrip) {
    Rig r;
    ASSERT_TRUE(r.connect());
    r.host.carDataAnswer = true;
    TimeCorrectionCurve curve{};
    for (size_t i = 0; i < 25; ++i)
        curve[i] = -100.0 + 10.6 * static_cast<double>(i); // -100 .. 154.4
    ASSERT_TRUE(r.dev.commitSettings(curveWriteRequest(r.dev, curve, EWriteSource::Test)).curveWritten);
    r.dev.updateSettings([](CSettingsBlock& b) {
        for (size_t i = 0; i < 25; ++i)
            b.setTimeCorrection(i, 0);
    });
    ASSERT_TRUE(r.dev.readTimeCorrections());
    for (size_t i = 0; i < 25; ++i)
        EXPECT_DOUBLE_EQ(r.dev.settings().timeCorrection(i), std::trunc(10.6 * static_cast<double>(i)) - 100.0) << i;

    const uint8_t thresholds[4] = {225, 170, 130, 42};
    ASSERT_TRUE(r.dev.writeLevelCalibration(thresholds));
    uint8_t read[4] = {};
    ASSERT_TRUE(r.dev.readLevelCalibration(read));
    EXPECT_TRUE(std::equal(read, read + 4, thresholds));
    uint32_t level = 0;
    ASSERT_TRUE(r.dev.readLevelValue(level));
    EXPECT_EQ(level, r.ctl.levelReading());
    EXPECT_LT(level, 225u); // between the full and reserve ends of this sensor
    EXPECT_GT(level, 42u);
}

TEST(SimLink, DiagnosticSampleOnLpgAndTheResetWait) {
    Rig r;
    ASSERT_TRUE(r.connect());
    ASSERT_TRUE(r.dev.setWorkLpg());
    CDiag d;
    ASSERT_TRUE(r.dev.requestDiag(2, d));
    EXPECT_EQ(d.injector(), 2);
    EXPECT_EQ(d.workState(), WORK_STATE_LPG);
    EXPECT_NEAR(d.lpgExtraTime(0) * tickLength(), 1.0, 0.03); // the factory main correction
    std::string problems;
    EXPECT_TRUE(CLPGDeviceErr::checkSample(d, problems)) << problems;

    ASSERT_TRUE(r.dev.resetController()); // the controller is back on petrol within the wait
    EXPECT_EQ(r.ctl.workState(), WORK_STATE_PETROL);
}

TEST(SimLink, AControllerThatStopsAnsweringFailsWithinTheTimeouts) {
    Rig r;
    ASSERT_TRUE(r.connect());
    SimFaults f;
    f.muteAfter = 2;
    r.server.setFaults(f);
    CDiag d;
    EXPECT_TRUE(r.dev.requestDiag(1, d));
    EXPECT_TRUE(r.dev.requestDiag(1, d));
    auto t = Clock::now();
    EXPECT_FALSE(r.dev.requestDiag(1, d)); // one attempt
    EXPECT_LT(secondsSince(t), 1.0);
    EXPECT_FALSE(r.dev.isConnectionLost()); // a silent line is no line error

    r.dev.disconnect();
    t = Clock::now();
    EXPECT_FALSE(r.connect()); // three link tests
    EXPECT_GT(secondsSince(t), 1.4);
    EXPECT_LT(secondsSince(t), 2.5);

    r.server.setFaults({});
    r.server.setMuted(false); // plugged in again
    EXPECT_TRUE(r.connect());
    EXPECT_TRUE(r.dev.requestDiag(1, d));
}

TEST(SimLink, ABrokenAnswerFailsOnlyTheExchangeThatMeetsIt) {
    struct Case {
        const char* name;
        SimFaults faults;
        int settleMs; // time for unasked bytes to arrive first
    };
    SimFaults checksum, swapped, stray, dropped;
    checksum.badChecksumCommand = CMD_DIAG;
    swapped.swapSyncEvery = 1;
    stray.garbageMs = 100;
    dropped.dropEvery = 10;
    for (const Case& c : {Case{"checksum", checksum, 0}, Case{"swapped sync", swapped, 0},
                          Case{"stray bytes", stray, 250}, Case{"dropped bytes", dropped, 0}}) {
        SCOPED_TRACE(c.name);
        Rig r;
        ASSERT_TRUE(r.connect());
        r.server.setFaults(c.faults);
        std::this_thread::sleep_for(std::chrono::milliseconds(c.settleMs));
        CDiag d;
        const auto t = Clock::now();
        EXPECT_FALSE(r.dev.requestDiag(1, d));
        EXPECT_LT(secondsSince(t), 1.0);
        EXPECT_FALSE(r.dev.isConnectionLost()); // a broken frame is no line error
        recover(r);
        EXPECT_TRUE(r.dev.requestDiag(1, d));
        uint32_t level = 0;
        EXPECT_TRUE(r.dev.readLevelValue(level));
    }
}

TEST(SimLink, AnUnpluggedControllerIsALostConnection) {
    // (A line closed after a count of requests is met by the polling tests.)
    Rig r;
    ASSERT_TRUE(r.connect());
    EXPECT_FALSE(r.server.lineClosed());
    r.server.closeLine();
    for (int i = 0; i < 100 && !r.server.lineClosed(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(r.server.lineClosed());
    const auto t = Clock::now();
    CDiag d;
    bool ok = true, threw = false;
    try {
        ok = r.dev.requestDiag(1, d);
    } catch (IError* e) {
        delete e; // a port error passes to the caller
        threw = true;
    }
    EXPECT_LT(secondsSince(t), 1.0);
    EXPECT_FALSE(ok && !threw);
    EXPECT_TRUE(r.dev.isConnectionLost());
}
