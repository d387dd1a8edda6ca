// The document's operations without windows: default recording, displays and
// refresh, replay of good and missing files, EEPROM image files, the settings
// companion, the car-data step and closing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

#include "DiagTestKit.h"
#include "diag/Companion.h"
#include "diag/DeviceDoc.h"
#include "diag/Recording.h"
#include "support/FileUtil.h"

using namespace zefirel;
using namespace zefirel::test;

namespace {

struct CountingDisplay : IDiagDisplay {
    std::atomic<int> resets{0}, starts{0}, stops{0};
    std::vector<int> periods;
    void reset() override { ++resets; }
    void start() override { ++starts; }
    void stop(RunId) override { ++stops; }
    void setRefreshPeriod(int ms) override { periods.push_back(ms); }
};

class DiagDoc : public ScriptedDoc {
protected:
    /// Makes the scripted controller refuse diagnostic requests. A member, not a
    /// local of the test, because the controller's thread may still answer a request
    /// after the test's body has ended and before diagnostics are stopped.
    std::atomic<bool> silent{false};

    void SetUp() override {
        ::setenv("XDG_DATA_HOME", scratch.path().c_str(), 1);
        ScriptedDoc::SetUp();
    }
    void writeBytes(const std::string& name, size_t n) const {
        std::vector<uint8_t> bytes(n);
        for (size_t i = 0; i < n; ++i)
            bytes[i] = static_cast<uint8_t>(i * 7 + 1);
        ASSERT_TRUE(writeFileAtomic(file(name), bytes));
    }
    /// The recordings (*.lpgd) of a folder, sorted by name.
    static std::vector<std::string> recordings(const std::string& folder) {
        std::vector<std::string> out;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
            if (entry.path().extension() == ".lpgd")
                out.push_back(entry.path().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    size_t eepromFrames() const {
        size_t n = 0;
        for (const PeerRequest& r : peer.requests())
            n += r.type == MSG_TYPE_EEPROM;
        return n;
    }
};

} // namespace

TEST_F(DiagDoc, DefaultRecordingMovesTheOldOneAsideAndDisplaysFollowTheRun) {
    const std::string dane = scratch.path() + "/Zefirel/Dane/";
    EXPECT_EQ(CDeviceDoc::defaultDataFolder(), dane);
    {
        std::ofstream(dane + "Diagnostyka.lpgd") << "old contents\r\n";
        std::ofstream(dane + "Diagnostyka.lpgd-config") << "old settings";
    }
    CountingDisplay panel, view;
    doc.addDisplay(&panel);
    doc.addDisplay(&view);
    doc.addDisplay(&view); // once only

    doc.startDiagnostics(std::string()); // a cancelled save dialog
    EXPECT_EQ(doc.recordingPath(), dane + "Diagnostyka.lpgd");
    EXPECT_EQ(doc.title(), "Zefirel - " + dane + "Diagnostyka.lpgd");
    EXPECT_EQ(panel.resets.load(), 1);
    EXPECT_EQ(view.starts.load(), 1);
    std::vector<uint8_t> companion;
    ASSERT_TRUE(readFile(dane + "Diagnostyka.lpgd-config", companion));
    EXPECT_TRUE(companion.empty());

    doc.slowRefresh();
    doc.normalRefresh();
    EXPECT_EQ(view.periods, (std::vector<int>{500, 5000, 500})); // the run starts at the normal period
    ASSERT_TRUE(waitFor([&] { return doc.diagData().count() >= 3; }));
    doc.stopDiagnostics();
    ASSERT_TRUE(doc.waitInputThread(3000));
    EXPECT_GE(view.stops.load(), 1);
    doc.slowRefresh(); // diagnostics off: no display is touched
    EXPECT_EQ(view.periods.size(), 3u);

    std::vector<CDiag> samples;
    loadRecording(dane + "Diagnostyka.lpgd", samples);
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(samples[0].sampleNo(), 1u);
    doc.removeDisplay(&panel);
    doc.removeDisplay(&view);

    // The earlier recording and its companion were moved aside, not truncated.
    const std::vector<std::string> aside = recordings(dane);
    ASSERT_EQ(aside.size(), 2u);
    ASSERT_EQ(aside[0].rfind(dane + "Diagnostyka-", 0), 0u) << aside[0];
    std::vector<uint8_t> old;
    ASSERT_TRUE(readFile(aside[0], old));
    EXPECT_EQ(std::string(old.begin(), old.end()), "old contents\r\n");
    ASSERT_TRUE(readFile(aside[0] + "-config", old));
    EXPECT_EQ(std::string(old.begin(), old.end()), "old settings");
}

TEST_F(DiagDoc, TwoRunsAndAReconnectLeaveThreeCompleteRecordings) {
    const std::string dane = CDeviceDoc::defaultDataFolder();
    ctl.setScript([this](int n, int) {
        return silent.load() ? std::vector<uint8_t>{} : CDiagController::payload(n);
    });
    // Two runs into the default recording, each with a settings record in its
    // companion: the first stopped by the installer, the second cut short by a lost
    // controller; then the run that follows the reconnect.
    for (int run = 0; run < 2; ++run) {
        pollSome(std::string(), 3);
        doc.updateSettings([](CSettingsBlock& b) { b.setVersionMark(5); });
        ASSERT_TRUE(doc.appendSettingsCompanion());
        if (run == 0) {
            doc.stopDiagnostics();
            ASSERT_TRUE(doc.waitInputThread(3000));
        }
    }
    silent = true;
    ASSERT_TRUE(waitFor([&] { return !doc.inputThreadRunning(); }));
    ASSERT_EQ(host.timers(), (std::vector<std::pair<int, int>>{{5006, 1000}}));
    silent = false;
    ASSERT_TRUE(doc.connectPath(peer.slavePath()));
    doc.continueDiagnostics();
    EXPECT_EQ(doc.recordingPath(), dane + "Diagnostyka.lpgd");
    ASSERT_TRUE(waitFor([&] { return doc.diagData().count() >= 3; }));
    doc.stopDiagnostics();
    ASSERT_TRUE(doc.waitInputThread(3000));

    // Three runs, three complete recordings, each with its own settings history.
    const std::vector<std::string> files = recordings(dane);
    ASSERT_EQ(files.size(), 3u);
    std::set<int> firstRequests;
    for (const std::string& f : files) {
        std::vector<CDiag> samples;
        loadRecording(f, samples);
        ASSERT_GE(samples.size(), 3u) << f;
        for (size_t i = 0; i < samples.size(); ++i)
            ASSERT_EQ(samples[i].sampleNo(), i + 1) << f;
        firstRequests.insert(samples[0].auxTime());
        std::vector<CSettingsBlock> history;
        ASSERT_TRUE(readCompanion(companionPath(f), history)) << f;
        EXPECT_EQ(history.size(), f == files.back() ? 0u : 1u) << f;
    }
    EXPECT_EQ(firstRequests.size(), 3u) << "each file holds a run of its own";
    EXPECT_EQ(files.back(), dane + "Diagnostyka.lpgd");
}

TEST_F(DiagDoc, ReconnectDuringTheInstallersOwnRecordingGoesOnNextToIt) {
    ctl.setScript([this](int n, int) {
        return silent.load() ? std::vector<uint8_t>{} : CDiagController::payload(n);
    });
    const std::string road = file("road.lpgd");
    pollSome(road, 5);
    std::string previous = road;
    std::set<std::string> seen{road};
    for (int reconnect = 0; reconnect < 2; ++reconnect) {
        silent = true;
        ASSERT_TRUE(waitFor([&] { return !doc.inputThreadRunning(); }));
        std::vector<CDiag> before;
        loadRecording(previous, before);
        silent = false;
        ASSERT_TRUE(doc.connectPath(peer.slavePath()));
        doc.continueDiagnostics();

        const std::string next = doc.recordingPath();
        EXPECT_EQ(next.rfind(file("road-"), 0), 0u) << next;
        EXPECT_EQ(next.substr(next.size() - 5), ".lpgd");
        EXPECT_TRUE(seen.insert(next).second) << "a new file every time: " << next;
        EXPECT_EQ(doc.title(), "Zefirel - " + next);
        ASSERT_TRUE(waitFor([&] { return doc.diagData().count() >= 3; }));
        std::vector<CDiag> after;
        loadRecording(previous, after);
        EXPECT_EQ(after.size(), before.size()) << "the interrupted recording is kept as it was";
        previous = next;
    }
    doc.stopDiagnostics();
    ASSERT_TRUE(doc.waitInputThread(3000));
    EXPECT_EQ(recordings(scratch.path() + "/").size(), 3u);
    EXPECT_TRUE(recordings(CDeviceDoc::defaultDataFolder()).empty()) << "nothing went into the default recording";
}

TEST_F(DiagDoc, ThreadThatCannotStartLeavesNoRunBehind) {
    struct FailingStarts {
        FailingStarts() {
            CLPGThreadManager::setStarter([](std::function<void()>) {
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            });
        }
        ~FailingStarts() { CLPGThreadManager::setStarter({}); }
    };
    pollAndStop(file("a.lpgd"), 2);
    {
        FailingStarts failing;
        EXPECT_THROW(doc.startReplay(file("a.lpgd")), std::system_error);
        EXPECT_FALSE(doc.replayRunning()) << "a replay waiting for this thread would wait for ever";
        EXPECT_FALSE(doc.inputThreadRunning());
        EXPECT_EQ(doc.title(), "Zefirel");

        EXPECT_THROW(doc.startDiagnostics(file("b.lpgd")), std::system_error);
        EXPECT_FALSE(doc.diagnosticsOn());
        EXPECT_FALSE(doc.inputThreadRunning());
        EXPECT_TRUE(doc.recordingPath().empty());
    }
    // Threads start again: the next replay runs to its end.
    doc.startReplay(file("a.lpgd"));
    ASSERT_TRUE(waitFor([&] { return !doc.replayRunning() && !doc.inputThreadRunning(); }));
    EXPECT_GE(doc.diagData().count(), 2);
}

TEST_F(DiagDoc, ANewRunRefreshesAtThePeriodOfTheLastDialogBracket) {
    CountingDisplay view;
    doc.addDisplay(&view);
    pollSome(file("a.lpgd"), 1);
    doc.slowRefresh();     // a message box opens
    doc.stopDiagnostics(); // polling ends behind it
    ASSERT_TRUE(doc.waitInputThread(3000));
    doc.normalRefresh();   // the box closes while no run is on
    pollSome(file("b.lpgd"), 1);
    EXPECT_EQ(view.periods.back(), REFRESH_NORMAL_MS);
    // A run that begins under an open dialog starts slow and speeds up after it.
    doc.slowRefresh();
    pollSome(file("c.lpgd"), 1);
    EXPECT_EQ(view.periods.back(), REFRESH_SLOW_MS);
    doc.normalRefresh();
    EXPECT_EQ(view.periods.back(), REFRESH_NORMAL_MS);
    doc.removeDisplay(&view);
}

TEST_F(DiagDoc, ChosenRecordingMovesTheDataFolder) {
    ASSERT_TRUE(makeFolders(file("runs")));
    pollSome(file("runs/a.lpgd"), 1);
    EXPECT_EQ(doc.dataFolder(), file("runs/"));
    doc.resetDataFolder();
    EXPECT_EQ(doc.dataFolder(), CDeviceDoc::defaultDataFolder());
}

TEST_F(DiagDoc, ReplayOfAMissingFileStillEnds) {
    pollAndStop(file("a.lpgd"), 3);
    doc.replayFile(file("missing.lpgd"));
    EXPECT_FALSE(doc.diagnosticsOn());
    EXPECT_EQ(doc.diagData().count(), 0) << "the store is cleared before the open fails";
    EXPECT_EQ(host.waits(), (std::vector<std::string>{"Wczytywanie pliku diagnostycznego..."}));
    EXPECT_FALSE(doc.isConnectionLost());
}

TEST_F(DiagDoc, ReplayOfAnEmptyFileIsRefusedWithAnEmptyStore) {
    pollAndStop(file("a.lpgd"), 3);
    doc.replayFile(file("a.lpgd"));
    ASSERT_EQ(doc.recordingPath(), file("a.lpgd"));
    ASSERT_FALSE(doc.lastReplayRefused());
    writeBytes("empty.lpgd", 0);
    doc.startReplay(file("empty.lpgd"));
    ASSERT_TRUE(waitFor([&] { return !doc.replayRunning(); }));
    doc.finishReplay(file("empty.lpgd"));
    EXPECT_EQ(doc.diagData().count(), 0);
    EXPECT_EQ(doc.dataFolder(), scratch.path() + "/");
    EXPECT_TRUE(doc.lastReplayRefused());
    EXPECT_EQ(doc.recordingPath(), "") << "an empty file is no recording";
}

TEST_F(DiagDoc, EepromImageFileSizes) {
    writeBytes("short.eeprom", 511);
    EXPECT_FALSE(doc.writeEepromFromFile(file("short.eeprom")));
    EXPECT_EQ(host.messages(), (std::vector<std::string>{"Niepoprawny format pliku EEPROM!"}));
    EXPECT_EQ(eepromFrames(), 0u) << "nothing is sent";

    writeBytes("long.eeprom", 600);
    ASSERT_TRUE(doc.writeEepromFromFile(file("long.eeprom")));
    std::vector<uint8_t> written;
    ASSERT_TRUE(readFile(file("long.eeprom"), written, 512));
    const auto eeprom = ctl.state().eeprom;
    EXPECT_TRUE(std::equal(written.begin(), written.end(), eeprom.begin()));

    EXPECT_FALSE(doc.writeEepromFromFile(file("none.eeprom")));
    EXPECT_EQ(host.messages().back(), "Nie można otworzyć wskazanego pliku EEPROM!");
}

TEST_F(DiagDoc, EepromReadToFileAndItsFailures) {
    ctl.update([](auto& s) {
        for (size_t i = 0; i < s.eeprom.size(); ++i)
            s.eeprom[i] = static_cast<uint8_t>(255 - i);
    });
    ASSERT_TRUE(doc.readEepromToFile(file("copy.eeprom")));
    std::vector<uint8_t> image;
    ASSERT_TRUE(readFile(file("copy.eeprom"), image));
    ASSERT_EQ(image.size(), 512u);
    EXPECT_EQ(image[0], 255);
    EXPECT_EQ(image[511], static_cast<uint8_t>(255 - 511));

    EXPECT_FALSE(doc.readEepromToFile(file("no/folder/x.eeprom")));
    EXPECT_EQ(host.messages().back(), "Nie można otworzyć wskazanego pliku EEPROM!");

    ctl.update([](auto& s) { s.eepromFails = [](uint16_t a) { return a == 256; }; });
    EXPECT_FALSE(doc.readEepromToFile(file("broken.eeprom")));
    EXPECT_EQ(host.messages().back(), "Nie można przeczytać pamięci EEPROM urządzenia!");
    EXPECT_FALSE(readFile(file("broken.eeprom"), image)) << "no file from a failed read";
}

TEST_F(DiagDoc, SettingsCompanionAppendAndHistory) {
    std::vector<CSettingsBlock> history;
    EXPECT_FALSE(doc.appendSettingsCompanion()) << "no recording";
    EXPECT_FALSE(doc.readSettingsHistory(history));

    pollSome(file("a.lpgd"), 4);
    doc.updateSettings([](CSettingsBlock& b) { b.setVersionMark(5); });
    ASSERT_TRUE(doc.appendSettingsCompanion());
    CDiag newest;
    ASSERT_TRUE(doc.diagData().getLast(newest));
    ASSERT_TRUE(doc.readSettingsHistory(history));
    ASSERT_EQ(history.size(), 1u);
    EXPECT_GE(newest.sampleNo(), static_cast<uint32_t>(history[0].recordingContext()));
    EXPECT_GE(history[0].recordingContext(), 4);
    EXPECT_EQ(history[0].timeStamp().size(), 19u);

    doc.stopDiagnostics();
    ASSERT_TRUE(doc.waitInputThread(3000));
    std::vector<uint8_t> before;
    ASSERT_TRUE(readFile(file("a.lpgd-config"), before));
    EXPECT_FALSE(doc.appendSettingsCompanion()) << "diagnostics off: nothing appended";
    std::vector<uint8_t> after;
    ASSERT_TRUE(readFile(file("a.lpgd-config"), after));
    EXPECT_EQ(before, after);

    // After a replay the history of the replayed file can be listed.
    doc.replayFile(file("a.lpgd"));
    history.clear();
    ASSERT_TRUE(doc.readSettingsHistory(history));
    EXPECT_EQ(history.size(), 1u);
}

TEST_F(DiagDoc, CarDataStepAndLevels) {
    EXPECT_FALSE(doc.ensureCarData());
    EXPECT_EQ(host.carDataAsked.load(), 1);
    host.carDataAnswer = true;
    EXPECT_TRUE(doc.ensureCarData());
    EXPECT_TRUE(doc.carDataKnown());
    EXPECT_TRUE(doc.ensureCarData());
    EXPECT_EQ(host.carDataAsked.load(), 2) << "known car data are not asked again";

    doc.setCarDataKnown(false);
    doc.setAdministratorLevel(true);
    host.carDataAnswer = false;
    EXPECT_TRUE(doc.ensureCarData());
    EXPECT_EQ(host.carDataAsked.load(), 2);
}

TEST_F(DiagDoc, TitleAndCurrentDocument) {
    EXPECT_EQ(documentTitle(""), "Zefirel");
    EXPECT_EQ(documentTitle("/a/b.lpgd"), "Zefirel - /a/b.lpgd");
    std::vector<std::string> titles;
    doc.setTitleListener([&](const std::string& t, RunId) { titles.push_back(t); });
    doc.setTitleFromPath("/x.lpgd");
    EXPECT_EQ(titles, (std::vector<std::string>{"Zefirel - /x.lpgd"}));
    doc.setTitleListener({});

    EXPECT_EQ(CDeviceDoc::current(), &doc);
    pollSome(file("a.lpgd"), 2);
    doc.closeDocument();
    EXPECT_FALSE(doc.inputThreadRunning());
    EXPECT_FALSE(doc.diagnosticsOn());
    EXPECT_EQ(CDeviceDoc::current(), nullptr);
    EXPECT_FALSE(doc.port().isOpen());
}
