// The whole core against the virtual controller's faults, a few seconds each: the
// line unplugged while polling, during an EEPROM write, during a map write and
// during the automatic setup, garbage between frames, a wrong checksum on every Nth answer and a slow
// controller. Each time nothing crashes, nothing waits beyond the link's time-outs,
// the recording holds every sample in order, and after a loss the reconnect (the
// controller plugged in again at the same port) brings diagnostics back.
#include <gtest/gtest.h>

#ifdef ZEFIREL_HAVE_SIMLIB

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>

#include "AutoSetupKit.h"
#include "DiagTestKit.h"
#include "SimKit.h"
#include "diag/DeviceDoc.h"
#include "diag/Recording.h"
#include "map/MapWrite.h"
#include "support/FileUtil.h"
#include "support/Error.h"
#include "support/Preferences.h"

using namespace zefirel;
using namespace zefirel::sim;
using namespace zefirel::test;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

/// Six failed polls of at most 500 ms + 1 ms per byte each, and some slack for a
/// loaded machine: no fault may keep the core waiting longer than this.
constexpr int LOSS_NOTICED_MS = 8000;

/// Runs a controller operation as a window's handler does: a port error it raises
/// (the line vanished) is a failure the handler shows. True when it succeeded.
template <class Op>
bool succeeded(Op op) {
    try {
        return op();
    } catch (IError* e) {
        delete e;
        return false;
    }
}

class FaultSoak : public ::testing::Test {
protected:
    void SetUp() override {
        CDiag::setExtendedLayout(false);
        // The controller sits at serial port 1, a link that follows it across replugs.
        link = scratch.path() + "/com1";
        ::setenv("ZEFIREL_COM1", link.c_str(), 1);
        prefs.setLastSerialPort(1);
    }
    void TearDown() override {
        doc.stopDiagnostics();
        EXPECT_TRUE(doc.waitInputThread(3000));
        sim.reset();
        ::unsetenv("ZEFIREL_COM1");
        CDiag::setExtendedLayout(false);
    }
    /// Plugs a controller with these faults in at port 1 and connects to it.
    void plugIn(SimConfig cfg = {}) {
        sim.reset(); // the earlier controller is gone for good
        cfg.linkPath = link;
        sim = std::make_unique<CSimOnPty>(cfg);
        ASSERT_TRUE(sim->opened);
        ASSERT_TRUE(doc.reconnect());
    }
    /// Faults that start counting from now (the handshake is behind us).
    void setFaults(const SimFaults& faults) { sim->server.setFaults(faults); }

    /// Starts polling into name and waits for n samples.
    std::string poll(const std::string& name, int n) {
        const std::string rec = scratch.path() + "/" + name;
        doc.startDiagnostics(rec);
        polled = true;
        EXPECT_TRUE(waitFor([&] { return doc.diagData().count() >= n; }, 5000)) << doc.diagData().count();
        return doc.recordingPath();
    }
    /// Waits until polling gave up on a lost controller, within the time-outs.
    void expectLossNoticed() {
        const auto start = Clock::now();
        ASSERT_TRUE(waitFor([&] { return !doc.inputThreadRunning(); }, LOSS_NOTICED_MS))
            << "polling still runs after " << secondsSince(start) << " s";
        EXPECT_TRUE(doc.isConnectionLost());
        EXPECT_FALSE(doc.diagnosticsOn());
        const auto timers = host.timers();
        ASSERT_FALSE(timers.empty());
        EXPECT_EQ(timers.back().first, 5006) << "the reconnect timer is started";
    }
    /// The controller comes back: the reconnect finds it and polling goes on.
    void expectReconnectBringsDiagnosticsBack() {
        plugIn();
        // As the panel does: the run that was cut off goes on (in a new file beside
        // its own); without one, a new run starts.
        if (polled)
            doc.continueDiagnostics();
        else
            doc.startDiagnostics(scratch.path() + "/after.lpgd");
        ASSERT_TRUE(waitFor([&] { return doc.diagData().count() >= 100; }, 5000))
            << "only " << doc.diagData().count() << " samples after the reconnect";
        const std::string rec = doc.recordingPath();
        doc.stopDiagnostics();
        ASSERT_TRUE(doc.waitInputThread(3000));
        EXPECT_EQ(expectEverySampleInOrder(rec), static_cast<size_t>(doc.diagData().count()));
    }
    /// Every line of the recording complete, sample numbers 1, 2, 3, ...; the count.
    static size_t expectEverySampleInOrder(const std::string& rec) {
        const Bytes bytes = readBytes(rec);
        EXPECT_TRUE(bytes.empty() || (bytes.size() >= 2 && bytes[bytes.size() - 2] == '\r' && bytes.back() == '\n'))
            << "a line cut short";
        std::vector<CDiag> samples;
        loadRecording(rec, samples);
        for (size_t i = 0; i < samples.size(); ++i)
            if (samples[i].sampleNo() != i + 1) {
                ADD_FAILURE() << "sample " << i + 1 << " of " << rec << " is numbered " << samples[i].sampleNo();
                break;
            }
        EXPECT_EQ(static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')), samples.size());
        return samples.size();
    }
    /// Stops polling after a stretch under a fault the link rides out: the run kept
    /// going, and the recording holds what the store holds.
    void expectRiddenOut(const std::string& rec, int atLeast) {
        EXPECT_TRUE(doc.inputThreadRunning()) << "the fault ended polling";
        doc.stopDiagnostics();
        ASSERT_TRUE(doc.waitInputThread(3000)) << "stopping waits for no more than one poll";
        EXPECT_GE(doc.diagData().count(), atLeast);
        EXPECT_EQ(expectEverySampleInOrder(rec), static_cast<size_t>(doc.diagData().count()));
    }

    CScratchFolder scratch;
    CThreadSafeHost host;
    CMemoryPreferences prefs;
    CQuickDoc doc{&host, &prefs};
    std::unique_ptr<CSimOnPty> sim;
    std::string link;
    bool polled = false;
};

} // namespace

TEST_F(FaultSoak, UnpluggedWhilePolling) {
    plugIn();
    const std::string rec = poll("unplug.lpgd", 50);
    SimFaults f;
    f.closeAfter = 150;
    setFaults(f);
    expectLossNoticed();
    const int stored = doc.diagData().count();
    EXPECT_GT(stored, 100);
    EXPECT_EQ(expectEverySampleInOrder(rec), static_cast<size_t>(stored));
    expectReconnectBringsDiagnosticsBack();
}

TEST_F(FaultSoak, UnpluggedDuringAnEepromWriteWhilePolling) {
    plugIn();
    const std::string image = scratch.path() + "/backup.eeprom";
    ASSERT_TRUE(doc.readEepromImage(image).empty());
    const std::string rec = poll("eeprom.lpgd", 20);
    // The write's 64 blocks interleave with the polls; the line goes half-way.
    SimFaults f;
    f.closeAfter = 60;
    setFaults(f);
    const auto start = Clock::now();
    auto write = std::async(std::launch::async,
                            [&] { return succeeded([&] { return doc.writeEepromImage(image).empty(); }); });
    ASSERT_EQ(write.wait_for(std::chrono::milliseconds(LOSS_NOTICED_MS)), std::future_status::ready)
        << "the write still waits after " << secondsSince(start) << " s";
    EXPECT_FALSE(write.get()) << "a write cut off by the line is reported as failed";
    expectLossNoticed();
    EXPECT_EQ(expectEverySampleInOrder(rec), static_cast<size_t>(doc.diagData().count()));
    expectReconnectBringsDiagnosticsBack();
}

TEST_F(FaultSoak, LineClosedDuringAMapWrite) {
    MapBytes map;
    map.fill(100);
    map[123] = 110;
    struct Case {
        const char* what;
        uint64_t closeAfter;
    } cases[] = {
        // The write path first reads the settings, the curve and the version (3 frames).
        {"in the reset before the write", 5},
        {"among the blocks written", 33},
        {"among the blocks read back", 83},
    };
    doc.setCarDataKnown(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        plugIn();
        SimFaults f;
        f.closeAfter = c.closeAfter;
        setFaults(f);
        const auto start = Clock::now();
        EXPECT_FALSE(succeeded([&] { return doc.commitSettings(mapWriteRequest(doc, map, EWriteSource::Test)).ok(); }));
        EXPECT_LT(secondsSince(start), LOSS_NOTICED_MS / 1000.0) << "waited for a controller that is gone";
        expectReconnectBringsDiagnosticsBack();
    }
}

TEST_F(FaultSoak, LineClosedDuringTheAutomaticSetup) {
    SimConfig warm;
    warm.ambientC = 60; // a warm engine, as the procedure expects
    plugIn(warm);
    doc.setCarDataKnown(true);
    const std::string rec = poll("autosetup.lpgd", 1);
    auto setupHost = std::make_shared<CAutoSetupTestHost>();
    auto setup = std::make_shared<CAutoSetup>(doc, setupHost);
    setup->begin();
    auto running = std::async(std::launch::async, [&] { return setup->doWork(); });
    ASSERT_TRUE(waitFor([&] { return setupHost->logged("----Krok 2----"); }, 30000));
    sim->server.closeLine();
    // Polling gives up after its failed polls, and the procedure's wait for samples
    // with it.
    const auto start = Clock::now();
    ASSERT_EQ(running.wait_for(std::chrono::milliseconds(2 * LOSS_NOTICED_MS)), std::future_status::ready)
        << "the procedure still runs after " << secondsSince(start) << " s";
    EXPECT_FALSE(running.get());
    EXPECT_FALSE(setup->succeeded());
    expectLossNoticed();
    EXPECT_EQ(expectEverySampleInOrder(rec), static_cast<size_t>(doc.diagData().count()));
    expectReconnectBringsDiagnosticsBack();
}

TEST_F(FaultSoak, FaultsTheLinkRidesOut) {
    struct Case {
        const char* what;
        SimConfig cfg;
        SimFaults faults;
        int seconds;
        int atLeast;
    };
    Case garbage{"garbage between frames", {}, {}, 2, 100};
    garbage.faults.garbageMs = 40;
    Case checksum{"a wrong checksum on every 7th answer", {}, {}, 2, 200};
    checksum.faults.badChecksumEvery = 7;
    Case slow{"a slow controller at line speed", {}, {}, 2, 4};
    slow.cfg.baudTiming = true;
    slow.cfg.replyLatencyMs = 300; // well inside the 500 ms read time-out
    int runs = 0;
    for (const Case& c : {garbage, checksum, slow}) {
        SCOPED_TRACE(c.what);
        plugIn(c.cfg);
        const std::string rec = poll("soak" + std::to_string(++runs) + ".lpgd", 1);
        setFaults(c.faults);
        std::this_thread::sleep_for(std::chrono::seconds(c.seconds));
        expectRiddenOut(rec, c.atLeast);
    }
}

#endif
