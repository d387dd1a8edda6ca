// The document's operations without windows: default recording, displays and
// refresh, replay of good and missing files, EEPROM image files, the settings
// companion, the car-data step and closing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

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
    void stop() override { ++stops; }
    void setRefreshPeriod(int ms) override { periods.push_back(ms); }
};

class DiagDoc : public ScriptedDoc {
protected:
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
    size_t eepromFrames() const {
        size_t n = 0;
        for (const PeerRequest& r : peer.requests())
            n += r.type == MSG_TYPE_EEPROM;
        return n;
    }
};

} // namespace

TEST_F(DiagDoc, DefaultRecordingIsTruncatedAndDisplaysFollowTheRun) {
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
    EXPECT_EQ(view.periods, (std::vector<int>{5000, 500}));
    ASSERT_TRUE(waitFor([&] { return doc.diagData().count() >= 3; }));
    doc.stopDiagnostics();
    ASSERT_TRUE(doc.waitInputThread(3000));
    EXPECT_GE(view.stops.load(), 1);
    doc.slowRefresh(); // diagnostics off: no display is touched
    EXPECT_EQ(view.periods.size(), 2u);

    std::vector<CDiag> samples;
    loadRecording(dane + "Diagnostyka.lpgd", samples);
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(samples[0].sampleNo(), 1u) << "the old contents are gone";
    doc.removeDisplay(&panel);
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

TEST_F(DiagDoc, ReplayOfAnEmptyFileGivesAnEmptyStore) {
    writeBytes("empty.lpgd", 0);
    doc.startReplay(file("empty.lpgd"));
    ASSERT_TRUE(waitFor([&] { return !doc.replayRunning(); }));
    doc.finishReplay(file("empty.lpgd"));
    EXPECT_EQ(doc.diagData().count(), 0);
    EXPECT_EQ(doc.dataFolder(), scratch.path() + "/");
    EXPECT_EQ(doc.recordingPath(), file("empty.lpgd"));
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
    {
        std::lock_guard<std::mutex> g(ctl.lock);
        EXPECT_TRUE(std::equal(written.begin(), written.end(), ctl.eeprom.begin()));
    }

    EXPECT_FALSE(doc.writeEepromFromFile(file("none.eeprom")));
    EXPECT_EQ(host.messages().back(), "Nie można otworzyć wskazanego pliku EEPROM!");
}

TEST_F(DiagDoc, EepromReadToFileAndItsFailures) {
    {
        std::lock_guard<std::mutex> g(ctl.lock);
        for (size_t i = 0; i < ctl.eeprom.size(); ++i)
            ctl.eeprom[i] = static_cast<uint8_t>(255 - i);
    }
    ASSERT_TRUE(doc.readEepromToFile(file("copy.eeprom")));
    std::vector<uint8_t> image;
    ASSERT_TRUE(readFile(file("copy.eeprom"), image));
    ASSERT_EQ(image.size(), 512u);
    EXPECT_EQ(image[0], 255);
    EXPECT_EQ(image[511], static_cast<uint8_t>(255 - 511));

    EXPECT_FALSE(doc.readEepromToFile(file("no/folder/x.eeprom")));
    EXPECT_EQ(host.messages().back(), "Nie można otworzyć wskazanego pliku EEPROM!");

    {
        std::lock_guard<std::mutex> g(ctl.lock);
        ctl.eepromFails = [](uint16_t a) { return a == 256; };
    }
    EXPECT_FALSE(doc.readEepromToFile(file("broken.eeprom")));
    EXPECT_EQ(host.messages().back(), "Nie można przeczytać pamięci EEPROM urządzenia!");
    EXPECT_FALSE(readFile(file("broken.eeprom"), image)) << "no file from a failed read";
}

TEST_F(DiagDoc, SettingsCompanionAppendAndHistory) {
    std::vector<CSettingsBlock> history;
    EXPECT_FALSE(doc.appendSettingsCompanion()) << "no recording";
    EXPECT_FALSE(doc.readSettingsHistory(history));

    pollSome(file("a.lpgd"), 4);
    doc.settings().setVersionMark(5);
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
    doc.setTitleListener([&](const std::string& t) { titles.push_back(t); });
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
