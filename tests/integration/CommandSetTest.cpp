// The command set against a scripted controller over a pseudo-terminal: work
// modes, the settings record and the car settings file, the correction table,
// EEPROM ranges and the map, errors, reset, diagnostics and the injector sequence.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <thread>

#include "link/Conversions.h"
#include "support/FileUtil.h"
#include "support/Preferences.h"
#include "support/RecordingHost.h"
#include "support/ScriptedController.h"
#include "map/TimeCorrections.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::test;
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

/// A device connected to a scripted version-5 controller.
class CommandSet : public ::testing::Test {
protected:
    void SetUp() override {
        // The controller holds the factory record, as a new one does.
        ctl.update([](auto& st) {
            uint8_t record[SETUP_RECORD_SIZE];
            encodeSettings(CSettingsBlock(), record);
            st.setup.assign(record, record + SETUP_RECORD_SIZE);
        });
        ASSERT_TRUE(dev.connectPath(peer.slavePath()));
        ASSERT_TRUE(dev.isVersionOk());
        sentBefore = peer.requestCount();
        dev.pauses.clear();
        dev.folder = scratch.path() + "/";
    }
    /// Requests the peer got since the connection was made.
    std::vector<PeerRequest> sent() const {
        std::vector<PeerRequest> all = peer.requests();
        return std::vector<PeerRequest>(all.begin() + static_cast<long>(sentBefore), all.end());
    }
    void setFeatures(uint32_t mask) {
        uint8_t record[FEATURE_RECORD_SIZE] = {};
        setU32(record, mask);
        setU32(record + 16, 40000);
        dev.updateSettings([&record](CSettingsBlock& b) { b.setFeatures(record); });
    }
    void describeCar(const std::string& make, const std::string& model, const std::string& capacity) {
        dev.updateSettings([&](CSettingsBlock& b) {
            b.setCarText(ECarText::make, make);
            b.setCarText(ECarText::model, model);
            b.setCarText(ECarText::capacity, capacity);
        });
        host.carDataAnswer = true;
    }

    CRecordingHost host;
    CMemoryPreferences prefs;
    CScriptedController ctl;
    CPtyPeer peer{ctl.handler()};
    CTestDevice dev{&host, &prefs};
    CScratchFolder scratch;
    size_t sentBefore = 0;
};

std::vector<fs::path> filesBelow(const std::string& folder) {
    std::vector<fs::path> out;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file())
            out.push_back(e.path());
    return out;
}

std::string today() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char text[16];
    std::strftime(text, sizeof text, "%d-%m-%Y", &tm);
    return text;
}

} // namespace

// --- work modes --------------------------------------------------------------

TEST_F(CommandSet, WorkModesPauseBeforeEachAttemptAndAutoGoesThroughPetrol) {
    EXPECT_TRUE(dev.setWorkLpg());
    EXPECT_TRUE(dev.setWorkAuto());
    EXPECT_EQ(ctl.state().workModes, (std::vector<uint8_t>{CMD_WORK_LPG, CMD_WORK_GAS, CMD_WORK_AUTO}));
    EXPECT_EQ(dev.pauses, (std::vector<int>{500, 500, 500}));
}

TEST_F(CommandSet, RefusedWorkModeTriesTenTimesWithAPauseEach) {
    peer.setHandler([](uint8_t, const std::vector<uint8_t>&) { return CScriptedController::refusal(); });
    EXPECT_FALSE(dev.setWorkAuto()); // petrol fails, so auto is never asked for
    EXPECT_EQ(dev.pauses, std::vector<int>(10, 500));
    const auto reqs = sent();
    ASSERT_EQ(reqs.size(), 10u);
    for (const PeerRequest& r : reqs)
        EXPECT_EQ(r.payload.at(0), CMD_WORK_GAS);
}

// --- settings record and car settings file -----------------------------------

TEST_F(CommandSet, SettingsWriteSendsTheChangedRecordQuietly) {
    describeCar("Opel", "Astra", "1600");
    ASSERT_TRUE(dev.readSettings());
    const double oldCorrection = dev.settings().mainCorrection();
    const SettingsWriteResult r =
        commitRecord(dev, changed(dev, [&](CSettingsBlock& b) { b.setMainCorrection(quantizeMs(oldCorrection + 0.5)); }));
    ASSERT_EQ(r.outcome, EWriteOutcome::Written) << r.message;

    const auto reqs = sent();
    ASSERT_EQ(reqs.back().type, MSG_TYPE_SETUP);
    EXPECT_EQ(reqs.back().payload.size(), SETUP_RECORD_SIZE);
    EXPECT_EQ(host.settingsWrittenCount, 1);
    EXPECT_TRUE(host.messages.empty());
    ASSERT_EQ(r.changes.size(), 1u);
    EXPECT_EQ(r.changes[0].name, "mainCorrection");
    EXPECT_FALSE(r.resetBefore);

    EXPECT_EQ(reqs.back().payload[9], std::lround(quantizeMs(oldCorrection + 0.5) / tickLength()));
}

TEST_F(CommandSet, SettingsWriteWithoutCarDataIsRefusedBeforeAnythingIsSent) {
    host.carDataAnswer = false;
    const SettingsWriteResult r = commitRecord(dev, dev.settings());
    EXPECT_EQ(r.outcome, EWriteOutcome::NoCarData);
    EXPECT_EQ(host.carDataAsked, 1);
    EXPECT_EQ(r.message, "Aby wpisać ustawienia musisz podać dane dotyczące samochodu i zamontowanej instalacji");
    EXPECT_TRUE(sent().empty());
}

TEST_F(CommandSet, SettingsWriteToAnotherFirmwareIsRefused) {
    describeCar("Opel", "Astra", "1600");
    ctl.update([](auto& s) { s.version = 6; });
    const SettingsWriteResult r = commitRecord(dev, dev.settings());
    EXPECT_EQ(r.outcome, EWriteOutcome::VersionFailed);
    EXPECT_NE(r.message.find("   --wersja sterownika LPG - 6\n"), std::string::npos);
    EXPECT_EQ(sent().back().payload.at(0), CMD_VERSION);
    EXPECT_TRUE(filesBelow(scratch.path()).empty());
}

TEST_F(CommandSet, SettingsWriteKeepsTheWholeBlockInTheCarFile) {
    describeCar("Škoda", "Octavia II", "1.6");
    const std::string dayBefore = today();
    ASSERT_TRUE(commitRecord(dev, changed(dev, [](CSettingsBlock& b) { b.setRemarks("wtryskiwacze po regeneracji"); })).ok());

    const std::string label = dev.settings().timeStamp();
    ASSERT_EQ(label.size(), 19u);
    EXPECT_TRUE(label.substr(0, 10) == dayBefore || label.substr(0, 10) == today());
    const std::string expected = scratch.path() + "/Škoda-Octavia II-1.6/ZF-000123-" + label.substr(0, 10) + ".settings";
    EXPECT_EQ(filesBelow(scratch.path()), std::vector<fs::path>{expected});
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readFile(expected, bytes));
    ASSERT_EQ(bytes.size(), block::SIZE);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), dev.settings().bytes().begin()));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[block::TIME_STAMP])), label);
    EXPECT_EQ(prefs.value(PREF_APP_V52, PREF_LAST_CAR_FILE), expected);

    // A second write on the same day replaces the file.
    ASSERT_TRUE(commitRecord(dev, changed(dev, [](CSettingsBlock& b) { b.setRemarks("druga wersja"); })).ok());
    ASSERT_EQ(filesBelow(scratch.path()).size(), 1u);
    ASSERT_TRUE(readFile(expected, bytes));
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), dev.settings().bytes().begin()));
}

TEST_F(CommandSet, SettingsWriteWithoutCapacityWritesNoFileButSendsTheSettings) {
    describeCar("Opel", "Astra", "");
    ASSERT_TRUE(commitRecord(dev, dev.settings()).ok());
    EXPECT_TRUE(filesBelow(scratch.path()).empty());
    EXPECT_EQ(sent().back().type, MSG_TYPE_SETUP);
    EXPECT_TRUE(prefs.value(PREF_APP_V52, PREF_LAST_CAR_FILE).empty());
}

TEST_F(CommandSet, FailingCarFileSendsNothingToTheController) {
    describeCar("Opel", "Astra", "1600");
    // The car folder's name is taken by a file, so the folder cannot be made.
    std::ofstream(scratch.path() + "/Opel-Astra-1600") << "x";
    const SettingsWriteResult r = commitRecord(dev, dev.settings());
    EXPECT_EQ(r.outcome, EWriteOutcome::CarFileFailed);
    EXPECT_EQ(r.message, "Nie można wpisać ustawień do pliku z danymi samochodu");
    for (const PeerRequest& q : sent())
        EXPECT_NE(q.type, MSG_TYPE_SETUP);
    EXPECT_EQ(host.settingsWrittenCount, 0);
}

TEST_F(CommandSet, ARecordTheControllerRefusesLeavesTheCarFileAndTheDocumentAsTheyWere) {
    describeCar("Opel", "Astra", "1600");
    ASSERT_TRUE(commitRecord(dev, dev.settings()).ok());
    const std::vector<fs::path> files = filesBelow(scratch.path());
    ASSERT_EQ(files.size(), 1u);
    std::vector<uint8_t> before;
    ASSERT_TRUE(readFile(files[0].string(), before));
    const CSettingsBlock docBefore = dev.settings();

    // The controller refuses every settings record from now on.
    peer.setHandler([this](uint8_t type, const std::vector<uint8_t>& payload) {
        return type == MSG_TYPE_SETUP ? CScriptedController::refusal() : ctl.handle(type, payload);
    });
    const SettingsWriteResult r = commitRecord(dev, changed(dev, [](CSettingsBlock& b) { b.setMainCorrection(2.5); }));
    EXPECT_EQ(r.outcome, EWriteOutcome::WriteFailed);
    std::vector<uint8_t> after;
    ASSERT_TRUE(readFile(files[0].string(), after));
    EXPECT_EQ(after, before);
    EXPECT_EQ(filesBelow(scratch.path()), files); // no temporary file left beside it
    EXPECT_EQ(dev.settings().mainCorrection(), docBefore.mainCorrection());
    EXPECT_EQ(dev.lastControllerSettings().mainCorrection(), docBefore.mainCorrection());
}

// --- correction table --------------------------------------------------------

TEST_F(CommandSet, CorrectionTableBytesAreEntriesPlusHundred) {
    ctl.update([](auto& s) {
        s.table.fill(100);
        s.table[0] = 0;
        s.table[24] = 255;
    });
    ASSERT_TRUE(dev.readTimeCorrections());
    EXPECT_EQ(dev.settings().timeCorrection(0), -100.0);
    EXPECT_EQ(dev.settings().timeCorrection(1), 0.0);
    EXPECT_EQ(dev.settings().timeCorrection(24), 155.0);

    describeCar("Opel", "Astra", "1600");
    TimeCorrectionCurve curve{};
    curve[0] = 12.7; // truncated
    curve[1] = -0.5; // toward zero: 99.5 → 99
    curve[24] = 155.0;
    ASSERT_TRUE(dev.commitSettings(curveWriteRequest(dev, curve, EWriteSource::Test)).ok());
    const auto reqs = sent();
    const auto table = std::find_if(reqs.begin(), reqs.end(), [](const PeerRequest& q) { return q.type == MSG_TYPE_TABLE; });
    ASSERT_NE(table, reqs.end());
    ASSERT_EQ(table->payload.size(), 26u);
    EXPECT_EQ(Bytes(table->payload.begin(), table->payload.begin() + 3), (Bytes{112, 99, 100}));
    EXPECT_EQ(table->payload[24], 255);
    EXPECT_EQ(table->payload[25], 0);
    EXPECT_EQ(dev.settings().timeCorrection(1), -1.0); // the document holds what the table holds

    // A point the table cannot hold is refused, not wrapped or held at an end.
    sentBefore = peer.requestCount();
    curve[2] = 300.0;
    const SettingsWriteResult r = dev.commitSettings(curveWriteRequest(dev, curve, EWriteSource::Test));
    EXPECT_EQ(r.outcome, EWriteOutcome::Refused);
    EXPECT_TRUE(sent().empty());
}

TEST_F(CommandSet, AnswerOfAnotherTypeEndsTableAndSequenceReadsAtOnce) {
    peer.setHandler([](uint8_t, const std::vector<uint8_t>&) { return CPtyPeer::ack(); });
    EXPECT_FALSE(dev.readTimeCorrections());
    EXPECT_EQ(sent().size(), 1u);
    std::vector<SequenceItem> items;
    bool spread = true;
    EXPECT_FALSE(dev.readSequence(items, spread));
    EXPECT_EQ(sent().size(), 2u);
    EXPECT_FALSE(spread);
    // Other reads wait through all their attempts for the right type.
    uint8_t report[ERROR_REPORT_SIZE];
    EXPECT_FALSE(dev.readErrors(report));
    EXPECT_EQ(sent().size(), 12u);
}

// --- EEPROM and map -----------------------------------------------------------

TEST_F(CommandSet, EepromRangeReadsBlocksInOrderWithProgress) {
    ctl.update([](auto& s) { std::iota(s.eeprom.begin(), s.eeprom.end(), 0); });
    std::vector<uint8_t> image(EEPROM_SIZE, 0xEE);
    ASSERT_TRUE(dev.readEeprom(0, EEPROM_SIZE, image.data()));
    const auto eeprom = ctl.state().eeprom;
    EXPECT_TRUE(std::equal(image.begin(), image.end(), eeprom.begin()));
    const auto reqs = sent();
    ASSERT_EQ(reqs.size(), 64u);
    EXPECT_EQ(getU16(&reqs[63].payload[2]), 504);
    // 0 at the start, offset × 100 / count after each block, 0 at the end.
    ASSERT_EQ(host.progress.size(), 67u);
    EXPECT_EQ(host.progress[2], 1);   // after the block at 8: 800 / 512
    EXPECT_EQ(host.progress[64], 98); // after the block at 504
    EXPECT_EQ(host.progress.back(), 0);
}

TEST_F(CommandSet, EepromWriteFailingAtTheThirdBlockStopsWithProgressBackAtZero) {
    ctl.update([](auto& s) { s.eepromFails = [](uint16_t address) { return address == 16; }; });
    std::vector<uint8_t> data(64, 0x5A);
    EXPECT_FALSE(dev.writeEeprom(data.data(), 0, 64));
    const auto eeprom = ctl.state().eeprom;
    EXPECT_EQ(eeprom[15], 0x5A);
    EXPECT_EQ(eeprom[16], 0x00);
    EXPECT_EQ(sent().size(), 12u); // two blocks, then ten refused attempts
    EXPECT_EQ(host.progress, (std::vector<int>{0, 0, 12, 0}));

    host.progress.clear();
    std::vector<uint8_t> back(64);
    EXPECT_FALSE(dev.readEeprom(0, 64, back.data()));
    EXPECT_EQ(host.progress.back(), 0);
}

TEST_F(CommandSet, MapWithAWrongChecksumIsCopiedButReportedFalse) {
    const unsigned sum = ctl.update([](auto& s) {
        for (size_t i = 0; i < 400; ++i)
            s.eeprom[104 + i] = static_cast<uint8_t>(i * 7);
        const unsigned total = std::accumulate(s.eeprom.begin() + 104, s.eeprom.begin() + 504, 0u) & 0xFFFF;
        s.eeprom[504] = static_cast<uint8_t>(total >> 8);
        s.eeprom[505] = static_cast<uint8_t>(total + 1); // off by one
        return total;
    });
    EXPECT_FALSE(dev.readMap());
    const auto eeprom = ctl.state().eeprom;
    const CSettingsBlock held = dev.settings();
    EXPECT_TRUE(std::equal(held.map(), held.map() + 400, eeprom.begin() + 104));

    ctl.update([sum](auto& s) { s.eeprom[505] = static_cast<uint8_t>(sum); });
    dev.updateSettings([](CSettingsBlock& b) { std::fill(b.map(), b.map() + 400, 0); });
    EXPECT_TRUE(dev.readMap());
    EXPECT_EQ(dev.settings().map()[399], static_cast<uint8_t>(399 * 7));
}

TEST_F(CommandSet, MapWriteStoresChecksumHighByteFirstAndZerosAfterIt) {
    describeCar("Opel", "Astra", "1600");
    ctl.update([](auto& s) { s.eeprom.fill(0xFF); });
    MapImage map{};
    for (size_t i = 0; i < 400; ++i)
        map[i] = static_cast<uint8_t>(200 + i % 50);
    SettingsWriteRequest request;
    request.wanted = dev.settings();
    request.scope = EWriteScope::Map;
    request.map = map;
    ASSERT_TRUE(dev.commitSettings(request).ok());
    const unsigned sum = std::accumulate(map.begin(), map.end(), 0u) & 0xFFFF;
    const auto eeprom = ctl.state().eeprom;
    EXPECT_TRUE(std::equal(map.begin(), map.end(), eeprom.begin() + 104));
    EXPECT_EQ(eeprom[504], sum >> 8);
    EXPECT_EQ(eeprom[505], sum & 0xFF);
    for (size_t a = 506; a < 512; ++a)
        EXPECT_EQ(eeprom[a], 0) << a;
    EXPECT_EQ(eeprom[103], 0xFF); // nothing before the map
    EXPECT_TRUE(dev.readMap());
}

// --- errors and reset ---------------------------------------------------------

TEST_F(CommandSet, ClearErrorsWithAndWithoutTheInitialisationNotice) {
    EXPECT_TRUE(dev.clearErrors()); // the feature is off: no notice is awaited
    const CScriptedController::State after = ctl.state();
    EXPECT_TRUE(after.errorsCleared);
    EXPECT_EQ(after.workModes, std::vector<uint8_t>{CMD_WORK_GAS});
    EXPECT_EQ(host.waits, std::vector<std::string>{"Resetowanie sterownika LPG..."});
    EXPECT_EQ(host.waitsClosed, 1);
    EXPECT_EQ(host.errorIndicator, std::vector<bool>{false});

    setFeatures(FEATURE_INIT_NOTICE);
    struct Case {
        Bytes notice;
        bool cleared;
    };
    for (const Case& c : {Case{CPtyPeer::ack(CMD_TEST), true},
                          Case{CPtyPeer::frame(MSG_TYPE_ERRORS, Bytes(11, 0)), true}, // another frame type will do
                          Case{CPtyPeer::ack(CMD_DONE), false}, Case{{}, false}}) {
        host.errorIndicator.clear();
        ctl.update([&c](auto& s) { s.notice = c.notice; });
        EXPECT_EQ(dev.clearErrors(), c.cleared) << c.notice.size();
        EXPECT_EQ(host.errorIndicator, c.cleared ? std::vector<bool>{false} : std::vector<bool>{});
        if (c.cleared) {
            EXPECT_EQ(dev.pauses.back(), 500);
        }
    }
}

TEST_F(CommandSet, ResetWaitsForPetrolWorkButNotForever) {
    ctl.update([](auto& s) { s.workState = 1; });
    dev.setResetTimeout(300);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(dev.resetController());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_GE(host.pumps, 2);
    EXPECT_EQ(host.waitsClosed, 1);

    // The user cancels the wait.
    dev.setResetTimeout(60000);
    host.pumps = 0;
    host.cancelAfterPumps = 3;
    EXPECT_FALSE(dev.resetController());
    EXPECT_EQ(host.pumps, 3);
    EXPECT_EQ(host.waitsClosed, 2);

    // Work state 2 on the first poll ends the wait at once.
    ctl.update([](auto& s) { s.workState = 2; });
    host.pumps = 0;
    EXPECT_TRUE(dev.resetController());
    EXPECT_EQ(host.pumps, 0);
    EXPECT_EQ(host.waitsClosed, 3);
}

// --- diagnostics, sequence, version -------------------------------------------

TEST_F(CommandSet, DiagnosticRequestNamesTheInjectorAndCopiesTheAnswer) {
    ctl.update([](auto& s) { s.workState = 7; });
    CDiag sample;
    sample.raw()[50] = 0x99; // left over from an earlier, longer answer
    ASSERT_TRUE(dev.requestDiag(3, sample));
    EXPECT_EQ(sample.injector(), 3);
    EXPECT_EQ(sample.workState(), 7);
    EXPECT_EQ(sample.raw()[50], 0);
    const PeerRequest r = sent().back();
    EXPECT_EQ(r.payload.size(), 30u);
    EXPECT_EQ(r.payload[0], CMD_DIAG);
    EXPECT_EQ(getU16(&r.payload[2]), 2);

    peer.setHandler([](uint8_t, const std::vector<uint8_t>&) { return CPtyPeer::ack(); });
    EXPECT_FALSE(dev.requestDiag(1, sample)); // one attempt, and only type 1 counts
    EXPECT_EQ(sample.injector(), 1);
    EXPECT_EQ(sent().size(), 2u);
}

TEST_F(CommandSet, ControllerChangedFromAnotherThreadWhileItAnswers) {
    // The line's thread answers from the controller's state while a second thread
    // keeps changing it: every sample carries a work state that was set, and once
    // the changes are over the next sample carries the last one.
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        for (unsigned n = 0; !stop.load(); ++n) {
            ctl.update([n](auto& s) { s.workState = static_cast<uint8_t>(10 + n % 4); });
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    CDiag sample;
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(dev.requestDiag(1, sample)) << i;
        EXPECT_TRUE(sample.workState() == 2 || (sample.workState() >= 10 && sample.workState() <= 13))
            << int(sample.workState());
    }
    stop = true;
    changer.join();
    ctl.update([](auto& s) { s.workState = 42; });
    ASSERT_TRUE(dev.requestDiag(1, sample));
    EXPECT_EQ(sample.workState(), 42);
}

TEST_F(CommandSet, SequenceIsSortedRelativeToTheEarliestInjector) {
    ctl.update([](auto& s) { s.sequence = {100, 500, 900, 0, 0, 0, 0, 0}; });
    std::vector<SequenceItem> items;
    bool spread = false;
    ASSERT_TRUE(dev.readSequence(items, spread));
    ASSERT_EQ(items.size(), 8u);
    const double times[3] = {0.0, 10.0, 20.0};
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(items[i].position, i + 1);
        EXPECT_EQ(items[i].injector, i + 1); // already in firing order here
        EXPECT_EQ(items[i].present, i < 3);
        if (i < 3)
            EXPECT_NEAR(items[i].time, times[i], 1e-9);
        else
            EXPECT_NEAR(items[i].time, 0xFFFF * 0.025, 1e-9);
    }
    EXPECT_TRUE(spread);
}

TEST_F(CommandSet, SequenceOrdersInjectorsByTimeAndIgnoresAbsentOnesForTheSpread) {
    ctl.update([](auto& s) { s.sequence = {900, 0, 100, 500, 0, 0, 0, 0}; });
    std::vector<SequenceItem> items;
    bool spread = false;
    ASSERT_TRUE(dev.readSequence(items, spread));
    EXPECT_EQ(items[0].injector, 3);
    EXPECT_EQ(items[1].injector, 4);
    EXPECT_EQ(items[2].injector, 1);
    EXPECT_EQ(items[3].injector, 2);
    EXPECT_FALSE(items[3].present);
    EXPECT_TRUE(spread);

    // A non-sequential four-cylinder engine: the used channels open together.
    ctl.update([](auto& s) { s.sequence = {100, 101, 100, 140, 0, 0, 0, 0}; }); // 140 − 100 ticks = 1.0 ms
    ASSERT_TRUE(dev.readSequence(items, spread));
    EXPECT_FALSE(spread);
    ctl.update([](auto& s) { s.sequence = {100, 101, 100, 181, 0, 0, 0, 0}; }); // 2.025 ms
    ASSERT_TRUE(dev.readSequence(items, spread));
    EXPECT_TRUE(spread);
}

TEST_F(CommandSet, VersionWriteEnciphersTheIdentity) {
    ASSERT_TRUE(dev.writeVersion(321, 5, 8, "NOWY-123"));
    const PeerRequest r = sent().back();
    EXPECT_EQ(r.type, MSG_TYPE_VERSION);
    ASSERT_EQ(r.payload.size(), 21u);
    EXPECT_EQ(getU16(&r.payload[0]), 321);
    EXPECT_EQ(getU16(&r.payload[2]), 5);
    EXPECT_EQ(r.payload[4], 8);
    EXPECT_EQ(CCipher().decipher(&r.payload[5], 16), "NOWY-123");
    EXPECT_NE(std::string(r.payload.begin() + 5, r.payload.begin() + 13), "NOWY-123");
    uint8_t record[VERSION_RECORD_SIZE];
    ASSERT_TRUE(dev.readVersion(record));
    EXPECT_EQ(dev.settings().identity(), "NOWY-123");
    EXPECT_EQ(dev.settings().injectorCount(), 8);
}
