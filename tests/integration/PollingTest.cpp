// The polling thread against a scripted controller over a pseudo-terminal:
// numbering and recording, double answers, the six-failure rule, the injector
// selection, an unplugged controller, and the recording replaying to the store.
#include <gtest/gtest.h>

#include "DiagTestKit.h"
#include "diag/DeviceDoc.h"
#include "diag/DeviceInput.h"
#include "diag/DiagUnits.h"

using namespace zefirel;
using namespace zefirel::test;

namespace {

class Polling : public ScriptedDoc {
protected:
    /// Runs until the thread ends on its own.
    void runToEnd() {
        doc.startDiagnostics(rec);
        ASSERT_TRUE(waitFor([&] { return !doc.inputThreadRunning(); }, 10000));
    }

    const std::string rec = file("run.lpgd");
};

/// A display that notes the run of every stop it is told.
class StopRecorder : public IDiagDisplay {
public:
    void reset() override {}
    void start() override {}
    void stop(RunId run) override {
        std::lock_guard<std::mutex> g(m_lock);
        m_runs.push_back(run);
    }
    std::vector<RunId> runs() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_runs;
    }

private:
    mutable std::mutex m_lock;
    std::vector<RunId> m_runs;
};

void expectConsecutive(const std::vector<CDiag>& samples) {
    for (size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(samples[i].sampleNo(), i + 1) << "sample " << i;
}

} // namespace

TEST_F(Polling, SamplesAreNumberedFromOneRecordedAndReplayedAlike) {
    pollSome(rec, 30);
    EXPECT_EQ(doc.title(), "Zefirel - " + rec);
    doc.stopDiagnostics();
    ASSERT_TRUE(doc.waitInputThread(3000));
    EXPECT_EQ(doc.title(), "Zefirel");
    EXPECT_TRUE(doc.recordingPath().empty());
    EXPECT_FALSE(doc.diagnosticsOn());
    EXPECT_FALSE(doc.isConnectionLost());
    EXPECT_EQ(host.ended.load(), 0) << "stopped by the document, not on its own";

    const std::vector<CDiag> live = stored();
    expectConsecutive(live);
    EXPECT_EQ(live[0].injector(), 1);
    EXPECT_EQ(live[0].colour(), 0x0000FFu);
    EXPECT_EQ(live[4].auxTime(), 5) << "one sample per request, in order";

    // The recording replays to the same samples in the store (compared column by
    // column against the simulator in both layouts elsewhere).
    doc.replayFile(rec);
    EXPECT_FALSE(doc.diagnosticsOn());
    ASSERT_EQ(stored().size(), live.size());
    EXPECT_EQ(std::memcmp(stored().back().raw(), live.back().raw(), 27), 0);
    EXPECT_EQ(doc.recordingPath(), rec);
    EXPECT_EQ(doc.title(), "Zefirel - " + rec);
}

TEST_F(Polling, DoubleAnswersGiveTwoConsecutiveSamples) {
    ctl.setScript([](int n, int) {
        std::vector<uint8_t> p = CDiagController::payload(n);
        setU16(&p[22], 4700);                                 // sub 1 period
        setU16(&p[24], static_cast<uint16_t>(500 + n));       // sub 1 petrol time
        setU16(&p[28], 40);                                   // sub 1 LPG extra time
        return p;
    });
    pollAndStop(rec, 20);
    const std::vector<CDiag> s = stored();
    ASSERT_EQ(s.size() % 2, 0u);
    expectConsecutive(s);
    for (size_t i = 0; i + 1 < s.size(); i += 2) {
        EXPECT_EQ(s[i].auxTime(), s[i + 1].auxTime()) << "both come from one answer";
        EXPECT_EQ(s[i].subRpmPeriod(0), 4800);
        EXPECT_EQ(s[i + 1].subRpmPeriod(0), 4700);
        EXPECT_EQ(s[i + 1].petrolTime(0), 500 + s[i].auxTime());
        EXPECT_EQ(s[i + 1].lpgExtraTime(0), 40);
    }
    std::vector<CDiag> file;
    loadRecording(rec, file);
    ASSERT_EQ(file.size(), s.size());
    expectConsecutive(file);
}

TEST_F(Polling, FiveFailuresThenASuccessKeepPollingAndSixEndIt) {
    // Requests 2..6 fail, 7 answers, 8..13 fail.
    ctl.setScript([](int n, int) {
        const bool fail = (n >= 2 && n <= 6) || n >= 8;
        return fail ? std::vector<uint8_t>{} : CDiagController::payload(n);
    });
    runToEnd();
    EXPECT_EQ(ctl.diagRequests(), 13);
    const std::vector<CDiag> s = stored();
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[1].sampleNo(), 2u);
    EXPECT_EQ(s[1].auxTime(), 7);
    EXPECT_TRUE(doc.isConnectionLost());
    EXPECT_FALSE(doc.isVersionOk());
    EXPECT_EQ(host.timers(), (std::vector<std::pair<int, int>>{{5006, 1000}}));
    EXPECT_EQ(host.ended.load(), 1);
    EXPECT_FALSE(doc.diagnosticsOn());
    EXPECT_EQ(doc.title(), "Zefirel");

    std::vector<CDiag> file;
    loadRecording(rec, file);
    EXPECT_EQ(file.size(), 2u);

    // A replay afterwards ends at its end of file without being taken for a lost
    // controller a second time.
    doc.replayFile(rec);
    EXPECT_EQ(doc.diagData().count(), 2);
    EXPECT_EQ(host.timers().size(), 1u);
}

TEST_F(Polling, NewRunAfterGivingUpGetsItsOwnSixFailures) {
    ctl.setScript([](int, int) { return std::vector<uint8_t>{}; });
    runToEnd();
    ASSERT_EQ(ctl.diagRequests(), 6);
    ASSERT_TRUE(doc.connectPath(peer.slavePath()));
    runToEnd();
    EXPECT_EQ(ctl.diagRequests(), 12) << "the second run also tries six times";
}

TEST_F(Polling, InjectorSelectionAppliesFromTheNextPoll) {
    ctl.setScript([this](int n, int) {
        if (n == 5)
            doc.setSelectedInjector(3);
        return CDiagController::payload(n);
    });
    pollAndStop(rec, 10);
    const std::vector<CDiag> s = stored();
    for (const CDiag& d : s) {
        const bool later = d.auxTime() > 5;
        EXPECT_EQ(d.injector(), later ? 3 : 1) << d.sampleNo();
        EXPECT_EQ(d.colour(), later ? 0x00FF00u : 0x0000FFu);
    }
    // The request itself carried the injector: argument n − 1.
    bool sawThree = false;
    for (const PeerRequest& r : peer.requests())
        if (r.type == MSG_TYPE_COMMAND && r.payload[0] == CMD_DIAG && getU16(&r.payload[2]) == 2)
            sawThree = true;
    EXPECT_TRUE(sawThree);
}

TEST_F(Polling, RecordingThatCannotBeCreatedEndsTheRunQuietly) {
    doc.startDiagnostics(scratch.path() + "/missing/run.lpgd");
    ASSERT_TRUE(waitFor([&] { return !doc.inputThreadRunning(); }));
    EXPECT_FALSE(doc.diagnosticsOn());
    EXPECT_EQ(doc.title(), "Zefirel");
    EXPECT_FALSE(doc.isConnectionLost()) << "the line itself is fine";
    EXPECT_TRUE(host.timers().empty());
    EXPECT_EQ(host.ended.load(), 1);
    EXPECT_EQ(ctl.diagRequests(), 0);
}

TEST_F(Polling, StartingAgainReplacesTheRunningThread) {
    StopRecorder display;
    std::vector<std::pair<std::string, RunId>> titles;
    std::mutex titlesLock;
    doc.addDisplay(&display);
    doc.setTitleListener([&](const std::string& t, RunId run) {
        std::lock_guard<std::mutex> g(titlesLock);
        titles.emplace_back(t, run);
    });
    pollSome(rec, 5);
    const std::string second = scratch.path() + "/second.lpgd";
    doc.startDiagnostics(second);
    ASSERT_TRUE(waitFor([&] { return doc.diagData().count() >= 10; }));
    // The first thread has ended by now: check what its end left behind.
    EXPECT_EQ(doc.recordingPath(), second);
    EXPECT_EQ(doc.title(), "Zefirel - " + second);
    EXPECT_TRUE(doc.diagnosticsOn()) << "the first thread's end must not stop the second run";
    EXPECT_TRUE(display.runs().empty()) << "nothing was told to stop";
    {
        std::lock_guard<std::mutex> g(titlesLock);
        ASSERT_FALSE(titles.empty());
        EXPECT_EQ(titles.back(), std::make_pair("Zefirel - " + second, doc.currentRun()));
    }
    doc.setTitleListener({});
    doc.stopDiagnostics();
    EXPECT_EQ(display.runs(), std::vector<RunId>{doc.currentRun()});
    doc.removeDisplay(&display);
    ASSERT_TRUE(doc.waitInputThread(3000));
    expectConsecutive(stored());
    std::vector<CDiag> file;
    loadRecording(second, file);
    EXPECT_EQ(file.size(), stored().size());
}

TEST_F(Polling, ClearingErrorsWhilePollingStillGetsTheControllersNotice) {
    // The notice comes unasked right after the acknowledgement of the clear command;
    // a poll that reads it in place of its sample must not lose it.
    ctl.update([](auto& s) {
        s.features = FEATURE_INIT_NOTICE;
        s.notice = CPtyPeer::ack(CMD_TEST, 0, 0);
    });
    ASSERT_TRUE(doc.connectPath(peer.slavePath()));
    ctl.setScript([](int n, int) { return CDiagController::payload(n, 2); }); // petrol work: reset done
    pollSome(rec, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(doc.clearErrors()) << "clear " << i;
    const int before = doc.diagData().count();
    ASSERT_TRUE(waitFor([&] { return doc.diagData().count() > before + 3; })) << "polling goes on";
    EXPECT_FALSE(doc.isConnectionLost());
}
