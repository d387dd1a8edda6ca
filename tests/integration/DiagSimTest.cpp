// Polling the virtual controller over a pseudo-terminal: a few seconds of
// recording in both payload layouts replay to the very samples that were stored,
// a controller that goes silent or vanishes ends polling with every sample kept,
// and zefirelctl records and summarises a run.
#include <gtest/gtest.h>

#ifdef ZEFIREL_HAVE_SIMLIB

#include "DiagTestKit.h"
#include "SimKit.h"
#include "diag/DeviceDoc.h"
#include "diag/DiagSummary.h"
#include "diag/Recording.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::test;
using namespace zefirel::sim;

namespace {

class DiagSim : public ::testing::Test {
protected:
    void TearDown() override {
        if (doc) {
            doc->stopDiagnostics();
            EXPECT_TRUE(doc->waitInputThread(3000));
        }
        sim.reset();
        CDiag::setExtendedLayout(false);
    }
    void startSim(const SimConfig& cfg) {
        sim = std::make_unique<CSimOnPty>(cfg);
        ASSERT_TRUE(sim->opened);
        doc = std::make_unique<CDeviceDoc>(&host);
        ASSERT_TRUE(doc->connectPath(sim->server.slavePath()));
        rec = scratch.path() + "/sim.lpgd";
    }
    std::vector<CDiag> stored() {
        std::vector<CDiag> out;
        doc->diagData().getRange(out, 0, doc->diagData().count());
        return out;
    }
    void expectSameColumns(const std::vector<CDiag>& a, const std::vector<CDiag>& b) {
        ASSERT_EQ(a.size(), b.size());
        char la[RECORDING_LINE_MAX], lb[RECORDING_LINE_MAX];
        for (size_t i = 0; i < a.size(); ++i) {
            const size_t na = formatRecordingLine(a[i], la), nb = formatRecordingLine(b[i], lb);
            ASSERT_EQ(std::string(la, na), std::string(lb, nb)) << "sample " << i;
            ASSERT_EQ(a[i].colour(), b[i].colour());
        }
    }

    CScratchFolder scratch;
    CThreadSafeHost host;
    std::unique_ptr<CSimOnPty> sim;
    std::unique_ptr<CDeviceDoc> doc;
    std::string rec;
};

} // namespace

TEST_F(DiagSim, RecordingReplaysToTheStoredSamplesInBothLayouts) {
    for (bool extended : {false, true}) {
        SCOPED_TRACE(extended ? "extended layout" : "standard layout");
        SimConfig cfg;
        cfg.featureMask = extended ? 0x10D7 : 0x1057;
        startSim(cfg);
        ASSERT_EQ(CDiag::extendedLayout(), extended);
        doc->setSelectedInjector(2);
        doc->startDiagnostics(rec);
        ASSERT_TRUE(waitFor([&] { return doc->diagData().count() >= 2000; }, 10000));
        doc->stopDiagnostics();
        ASSERT_TRUE(doc->waitInputThread(3000));
        const std::vector<CDiag> live = stored();
        for (size_t i = 0; i < live.size(); ++i)
            ASSERT_EQ(live[i].sampleNo(), i + 1);
        EXPECT_EQ(live.back().injector(), 2);
        EXPECT_GT(summarise(doc->diagData()).rpm.mean, 500) << "the engine idles";

        doc->replayFile(rec);
        expectSameColumns(stored(), live);
        TearDown();
        doc.reset();
    }
}

TEST_F(DiagSim, SilentOrVanishedControllerEndsPollingWithEverySampleKept) {
    for (const bool vanish : {false, true}) {
        SCOPED_TRACE(vanish ? "line closed" : "controller silent");
        startSim(SimConfig{});
        const uint64_t handshake = sim->server.requestCount();
        SimFaults faults;
        (vanish ? faults.closeAfter : faults.muteAfter) = 25;
        sim->server.setFaults(faults);
        doc->startDiagnostics(rec);
        ASSERT_TRUE(waitFor([&] { return !doc->inputThreadRunning(); }, 15000));
        EXPECT_TRUE(doc->isConnectionLost());
        EXPECT_FALSE(doc->diagnosticsOn());
        ASSERT_EQ(host.timers().size(), vanish ? 2u : 1u); // one reconnect timer per run
        EXPECT_EQ(host.timers().back(), std::make_pair(5006, 1000));
        if (!vanish) {
            EXPECT_EQ(sim->server.requestCount() - handshake, 31u) << "25 answered, 6 unanswered";
        }
        std::vector<CDiag> file;
        loadRecording(rec, file);
        // The answers, some carrying two measurements, every one on disk.
        ASSERT_EQ(static_cast<int>(file.size()), doc->diagData().count());
        EXPECT_GE(file.size(), 20u);
        EXPECT_LE(file.size(), 50u);
        for (size_t i = 0; i < file.size(); ++i)
            EXPECT_EQ(file[i].sampleNo(), i + 1);
        TearDown();
        doc.reset();
    }
}

// What the About box does while polling goes on: it reads the feature record and
// stores it, while every exchange of the polling thread reads the record (it
// selects the sample layout). The record is therefore replaced under the link's
// lock. Built with ZEFIREL_TSAN, this test reports a store that is not: the stores
// are spread over many polls so that some meet an exchange in progress.
TEST_F(DiagSim, FeatureRecordStoredAgainWhilePollingKeepsTheLayoutAndThePolls) {
    SimConfig cfg;
    cfg.featureMask = 0x10D7; // extended layout
    startSim(cfg);
    doc->startDiagnostics(rec);
    ASSERT_TRUE(waitFor([&] { return doc->diagData().count() >= 20; }, 5000));
    uint8_t features[FEATURE_RECORD_SIZE] = {};
    ASSERT_TRUE(doc->readFeatures(features));
    for (int i = 0; i < 50; ++i) {
        doc->storeFeatures(features);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(doc->settings().featureMask(), 0x10D7u);
    EXPECT_TRUE(CDiag::extendedLayout());
    const int from = doc->diagData().count();
    ASSERT_TRUE(waitFor([&] { return doc->diagData().count() >= from + 20; }, 5000));
    EXPECT_TRUE(doc->diagnosticsOn());
    EXPECT_FALSE(doc->isConnectionLost());
}

TEST_F(DiagSim, CommandLineRecordAndReplay) {
    const CSimOnPty line;
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + scratch.path(), "XDG_DATA_HOME=" + scratch.path()};
    const std::string file = scratch.path() + "/ctl.lpgd";
    RunResult r = run(CTL, {"--device", line.server.slavePath(), "--json", "record", file, "--seconds", "0.5",
                            "--injector", "3"}, env);
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("\"complete\":true"), std::string::npos) << r.out;
    std::vector<CDiag> file1;
    loadRecording(file, file1);
    ASSERT_GT(file1.size(), 50u);
    EXPECT_EQ(file1[0].injector(), 3);

    r = run(CTL, {"--json", "replay", file}, env);
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("\"count\":" + std::to_string(file1.size()) + ","), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"firstSample\":1,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"lastSample\":" + std::to_string(file1.back().sampleNo())), std::string::npos) << r.out;
    for (const char* key : {"\"rpm\":{\"min\":", "\"petrolMs\":{", "\"lpgMs\":{"})
        EXPECT_NE(r.out.find(key), std::string::npos) << key;

    // Bad usage sends nothing and says so by its exit code.
    const uint64_t before = line.server.requestCount();
    EXPECT_EQ(run(CTL, {"--device", line.server.slavePath(), "record", file, "--seconds", "1", "--injector", "9"}, env).rc, 2);
    EXPECT_EQ(run(CTL, {"replay", scratch.path() + "/none.lpgd"}, env).rc, 1);
    EXPECT_EQ(line.server.requestCount(), before);
}

#endif // ZEFIREL_HAVE_SIMLIB
