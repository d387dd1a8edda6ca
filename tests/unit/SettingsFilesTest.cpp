// Car settings files and whole-record copies: the copy rule, the factory record,
// loading a file (refusals change nothing), one file per controller, car and day,
// the car lists read back from the folders (also for names the safe-name rules
// changed), "Last car file", and the list of changed values.
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <future>

#include <filesystem>
#include <fstream>

#include "settings/CarInfo.h"
#include "settings/SettingsCopy.h"
#include "settings/SettingsDiff.h"
#include "support/FileUtil.h"
#include "support/Preferences.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::test;
namespace fs = std::filesystem;

namespace {

/// A record as a controller and the car information dialog leave it.
CSettingsBlock carRecord(const std::string& identity, const CarTexts& car, const std::string& label) {
    CSettingsBlock b = factorySettings();
    b.setVersionMark(5);
    b.setIdentity(identity);
    b.setInjectorCount(4);
    CCarInfo::setCarTexts(b, car);
    b.setTimeStamp(label);
    return b;
}

const CarTexts OPEL = {"Opel", "Astra", "1600", "101", "2003", "2.0", "12"};

/// A block whose every byte differs from a default one.
CSettingsBlock scrambled(uint8_t seed) {
    CSettingsBlock b;
    for (size_t i = 0; i < block::SIZE; ++i)
        b.bytes()[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

void writeBytes(const std::string& path, const CSettingsBlock& b, size_t size) {
    std::vector<uint8_t> bytes(b.bytes().begin(), b.bytes().end());
    bytes.resize(size, 0xAB);
    ASSERT_TRUE(writeFileAtomic(path, bytes));
}

struct CarFolder : ::testing::Test {
    CScratchFolder scratch;
    CMemoryPreferences prefs;
    CTestDevice dev{nullptr, &prefs};
    std::string folder() const { return scratch.path() + "/"; }
    void SetUp() override { dev.folder = folder(); }
    /// Saves the device's record as the settings write does; returns the path.
    std::string save(const std::string& identity, const CarTexts& car, const std::string& label) {
        const CSettingsBlock record = carRecord(identity, car, label);
        dev.updateSettings([&record](CSettingsBlock& b) { b = record; });
        EXPECT_TRUE(dev.saveCarSettingsFile(record));
        return prefs.value(PREF_APP_V52, PREF_LAST_CAR_FILE);
    }
};

} // namespace

// --- copies -------------------------------------------------------------------

TEST(SettingsCopy, EverythingButTheMapIsCopied) {
    const CSettingsBlock from = scrambled(1);
    CSettingsBlock to = scrambled(2);
    const CSettingsBlock before = to;
    copySettingsExceptMap(from, to);
    EXPECT_TRUE(std::equal(to.bytes().begin(), to.bytes().begin() + block::MAP, from.bytes().begin()));
    EXPECT_TRUE(std::equal(to.map(), to.map() + block::MAP_SIZE, before.map()));
}

TEST(SettingsCopy, StoredRecordKeepsTheDocumentsHeadAndFeaturesAndCarTextsWhenKnown) {
    const CSettingsBlock stored = scrambled(3);
    for (const bool known : {true, false}) {
        SCOPED_TRACE(known ? "car data known" : "car data not given yet");
        const CSettingsBlock own = scrambled(4);
        CSettingsBlock doc = own;
        applyStoredRecord(stored, doc, known);
        for (size_t i = 0; i < block::SIZE; ++i) {
            bool carText = false;
            for (int t = 0; t < static_cast<int>(ECarText::Count); ++t) {
                const CarTextInfo info = carTextInfo(static_cast<ECarText>(t));
                carText = carText || (i >= info.offset && i < info.offset + info.width);
            }
            const bool keepOwn = i < block::TIME_STAMP || i >= block::MAP;
            const uint8_t want = (keepOwn && !(carText && !known)) ? own.bytes()[i] : stored.bytes()[i];
            ASSERT_EQ(doc.bytes()[i], want) << "byte " << i;
        }
    }
}

// --- loading a file -----------------------------------------------------------

TEST(SettingsFileLoad, UsableFilesOnlyAndRefusalsChangeNothing) {
    CScratchFolder scratch;
    const CSettingsBlock good = carRecord("ID-1", OPEL, "08-12-2026-10:00:00");
    CSettingsBlock v4 = good;
    v4.setVersionMark(4);
    struct Case {
        const char* what;
        const CSettingsBlock* content; // null: no file
        size_t size;
        ESettingsFileResult result;
        const char* message;
    } cases[] = {
        {"version 5", &good, block::SIZE, ESettingsFileResult::Ok, ""},
        {"longer file, first 1240 bytes", &good, block::SIZE + 60, ESettingsFileResult::Ok, ""},
        {"version 4", &v4, block::SIZE, ESettingsFileResult::OtherVersion, MSG_SETTINGS_FILE_VERSION},
        {"1239 bytes", &good, block::SIZE - 1, ESettingsFileResult::Unreadable, MSG_SETTINGS_FILE_UNREADABLE},
        {"empty", &good, 0, ESettingsFileResult::Unreadable, MSG_SETTINGS_FILE_UNREADABLE},
        {"missing", nullptr, 0, ESettingsFileResult::Unreadable, MSG_SETTINGS_FILE_UNREADABLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = scratch.path() + "/f.settings";
        fs::remove(path);
        if (c.content)
            writeBytes(path, *c.content, c.size);
        const CSettingsBlock own = scrambled(9);
        CSettingsBlock doc = own;
        const ESettingsFileResult r = applyCarSettingsFile(path, doc, true);
        EXPECT_EQ(r, c.result);
        EXPECT_EQ(settingsFileMessage(r), c.message);
        if (r == ESettingsFileResult::Ok) {
            CSettingsBlock want = own;
            applyStoredRecord(good, want, true);
            EXPECT_EQ(doc, want);
        } else {
            EXPECT_EQ(doc, own) << "a refused file changes nothing";
        }
    }
}

// --- files of a car -------------------------------------------------------------

TEST_F(CarFolder, TwoWritesOnOneDayLeaveOneFileWithTheLaterLabel) {
    const std::string first = save("ZF-7", OPEL, "08-12-2026-09:15:00");
    const std::string second = save("ZF-7", OPEL, "08-12-2026-17:40:05");
    EXPECT_EQ(first, second);
    EXPECT_EQ(second, folder() + "Opel-Astra-1600/ZF-7-08-12-2026.settings");
    const std::vector<CarSettingsFile> files = CCarInfo::readSettingsFiles(folder(), "Opel", "Astra", "1600");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].record.timeStamp(), "08-12-2026-17:40:05");
    // Another day is another file.
    save("ZF-7", OPEL, "09-12-2026-08:00:00");
    EXPECT_EQ(CCarInfo::listSettingsFiles(folder(), "Opel", "Astra", "1600").size(), 2u);
}

TEST_F(CarFolder, ListsComeFromTheFolderNamesSplitAtHyphens) {
    save("A", {"Opel", "Astra", "1600", "90", "", "2.0", ""}, "01-01-2026-10:00:00");
    save("A", {"Opel", "Corsa", "1200", "60", "", "2.0", ""}, "01-01-2026-10:00:00");
    save("A", {"Opel", "Astra", "1400", "75", "", "2.0", ""}, "01-01-2026-10:00:00");
    save("A", {"Fiat", "Punto", "1200", "60", "", "2.0", ""}, "01-01-2026-10:00:00");
    fs::create_directories(folder() + "NoHyphen");
    std::ofstream(folder() + "Stray-File-1") << "not a folder";
    EXPECT_EQ(CCarInfo::listMakes(folder()), (std::vector<std::string>{"Fiat", "NoHyphen", "Opel"}));
    EXPECT_EQ(CCarInfo::listModels(folder(), "Opel"), (std::vector<std::string>{"Astra", "Corsa"}));
    EXPECT_EQ(CCarInfo::listCapacities(folder(), "Opel", "Astra"), (std::vector<std::string>{"1400", "1600"}));
    EXPECT_TRUE(CCarInfo::listMakes(folder() + "missing/").empty());

    struct Split {
        const char* name;
        CarFolderParts parts;
    } splits[] = {
        {"Opel-Astra-1600", {"Opel", "Astra", "1600"}},
        {"Mercedes-A-Klasse-1600", {"Mercedes", "A", "1600"}},
        {"NoHyphen", {"NoHyphen", "", ""}},
        {"Make-Model", {"Make", "Model", ""}},
        {"--", {"", "", ""}},
    };
    for (const Split& s : splits) {
        const CarFolderParts p = splitCarFolderName(s.name);
        EXPECT_EQ(p.make + "|" + p.model + "|" + p.capacity, s.parts.make + "|" + s.parts.model + "|" + s.parts.capacity)
            << s.name;
    }
}

TEST_F(CarFolder, CarsWhoseNamesWereMadeSafeAreFoundAgain) {
    struct Case {
        const char* identity;
        CarTexts car;
        const char* make; // as listed
        const char* model;
        const char* capacity;
    } cases[] = {
        {"PL/0042\\ZX", {"VW", "Golf", "1400", "75", "1999", "2.0", ""}, "VW", "Golf", "1400"},
        {"..", {"../VW", "Golf/IV", "1.4\n", "75", "", "2.0", ""}, "_._VW", "Golf_IV", "1.4_"},
        {"ID-9", {"Mercedes", "A-Klasse", "1600", "102", "2001", "3.0", "15"}, "Mercedes", "A", "1600"},
        {"ID-10", {"Škoda", "Octavia", "1.6", "102", "2005", "2.0", ""}, "Škoda", "Octavia", "1.6"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.identity);
        const std::string written = save(c.identity, c.car, "05-03-2026-12:00:00");
        ASSERT_FALSE(written.empty());
        EXPECT_EQ(fs::path(written).parent_path().parent_path().string() + "/", folder()) << "one folder deep";

        // The file list finds it from the names the lists show ...
        const std::vector<CarSettingsFile> files = CCarInfo::readSettingsFiles(folder(), c.make, c.model, c.capacity);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0].record.identity(), std::string(c.identity).substr(0, 16));
        // ... and the chosen row leads back to the file the write made.
        EXPECT_EQ(CCarInfo::lookUpPath(folder(), files[0].record), written);
        EXPECT_EQ(CCarInfo::chosenPath(files[0]), written);
        // "Last car file" restores the car texts as they were typed.
        EXPECT_EQ(CCarInfo::restoreLastCar(prefs, dev.settings()), c.car);
        fs::remove_all(fs::path(written).parent_path());
    }
}

TEST_F(CarFolder, CarsWithTheLongestTextsAreWrittenAndFoundAgain) {
    // 49 characters that take 3 bytes each in UTF-8 in both make and model: the
    // folder name "make-model-capacity" would be 301 bytes.
    std::string make, model;
    for (int i = 0; i < 49; ++i) {
        make += i % 2 ? "€" : "„";
        model += i % 3 ? "—" : "…";
    }
    const CarTexts car = {make, model, "1600", "101", "2003", "2.0", "12"};
    const std::string written = save("ZF-7", car, "08-12-2026-09:15:00");
    ASSERT_FALSE(written.empty()) << "the settings write was refused";
    ASSERT_TRUE(fs::is_regular_file(written));
    const std::string name = fs::path(written).parent_path().filename().string();
    EXPECT_LE(name.size(), 255u);

    // The lists show the name as it was cut, and the chosen row leads back to it.
    ASSERT_EQ(CCarInfo::listMakes(folder()), std::vector<std::string>{make});
    const std::vector<std::string> models = CCarInfo::listModels(folder(), make);
    ASSERT_EQ(models.size(), 1u);
    EXPECT_EQ(model.rfind(models[0], 0), 0u) << "the model is cut, never changed";
    ASSERT_EQ(CCarInfo::listCapacities(folder(), make, models[0]), std::vector<std::string>{"1600"});
    const std::vector<CarSettingsFile> files = CCarInfo::readSettingsFiles(folder(), make, models[0], "1600");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(CCarInfo::chosenPath(files[0]), written);
    EXPECT_EQ(CCarInfo::lookUpPath(folder(), files[0].record), written);
    EXPECT_EQ(CCarInfo::restoreLastCar(prefs, dev.settings()), car) << "the file keeps the whole texts";
}

TEST_F(CarFolder, AFileCopiedInUnderAnotherNameIsOpenedFromWhereItWasListed) {
    const std::string written = save("ZF-7", OPEL, "08-12-2026-09:15:00");
    const std::string copy = folder() + "Opel-Astra-1600/kopia.settings";
    fs::rename(written, copy);
    const std::vector<CarSettingsFile> files = CCarInfo::readSettingsFiles(folder(), "Opel", "Astra", "1600");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(CCarInfo::chosenPath(files[0]), copy);

    // A copy beside the file its texts name, changed since: each row opens its own.
    const std::string original = save("ZF-7", OPEL, "08-12-2026-09:15:00");
    ASSERT_EQ(original, written);
    CSettingsBlock changed;
    ASSERT_EQ(loadCarSettingsFile(copy, changed), ESettingsFileResult::Ok);
    changed.setRemarks("po regulacji");
    writeBytes(copy, changed, block::SIZE);
    const std::vector<CarSettingsFile> both = CCarInfo::readSettingsFiles(folder(), "Opel", "Astra", "1600");
    ASSERT_EQ(both.size(), 2u);
    for (const CarSettingsFile& f : both) {
        SCOPED_TRACE(f.path);
        CSettingsBlock opened;
        ASSERT_EQ(loadCarSettingsFile(CCarInfo::chosenPath(f), opened), ESettingsFileResult::Ok);
        EXPECT_EQ(opened.remarks(), f.record.remarks()) << "the file opened is the row chosen";
    }
}

TEST_F(CarFolder, AFifoNamedLikeASettingsFileIsNotOpened) {
    const std::string written = save("ZF-7", OPEL, "08-12-2026-09:15:00");
    const std::string fifo = folder() + "Opel-Astra-1600/pipe.settings";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto found = std::async(std::launch::async, [&] { return CCarInfo::readSettingsFiles(folder(), "Opel", "Astra", "1600"); });
    if (found.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
        ADD_FAILURE() << "the search waits on the FIFO";
        // Let the blocked open go on: a writer comes and leaves at once.
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    const std::vector<CarSettingsFile> files = found.get();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].path, written);
    EXPECT_EQ(CCarInfo::listSettingsFiles(folder(), "Opel", "Astra", "1600").size(), 1u);
}

TEST_F(CarFolder, ShortFilesAreSkippedAndOtherVersionsListed) {
    const std::string written = save("ZF-7", OPEL, "08-12-2026-09:15:00");
    CSettingsBlock v4 = dev.settings();
    v4.setVersionMark(4);
    writeBytes(folder() + "Opel-Astra-1600/old-v4.settings", v4, block::SIZE);
    writeBytes(folder() + "Opel-Astra-1600/short.settings", v4, block::SIZE - 1);
    writeBytes(folder() + "Opel-Astra-1600/other.txt", v4, block::SIZE);
    EXPECT_EQ(CCarInfo::listSettingsFiles(folder(), "Opel", "Astra", "1600").size(), 3u);
    const std::vector<CarSettingsFile> files = CCarInfo::readSettingsFiles(folder(), "Opel", "Astra", "1600");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].record.versionMark(), 5);
    EXPECT_EQ(files[1].record.versionMark(), 4);
}

TEST_F(CarFolder, LastCarFileRestoresOnlyTheSameControllersCar) {
    const std::string written = save("ZF-7", OPEL, "08-12-2026-09:15:00");
    CSettingsBlock doc = factorySettings();
    struct Case {
        const char* what;
        std::string lastCar;
        const char* docIdentity;
        bool restored;
    } cases[] = {
        {"same controller", written, "ZF-7", true},
        {"another controller", written, "ZF-8", false},
        {"not connected yet", written, "", false},
        {"no value", "", "ZF-7", false},
        {"file gone", folder() + "Opel-Astra-1600/ZF-7-01-01-2020.settings", "ZF-7", false},
        {"no car folder", "ZF-7-08-12-2026.settings", "ZF-7", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CCarInfo::rememberLastCar(prefs, c.lastCar);
        doc.setIdentity(c.docIdentity);
        EXPECT_EQ(CCarInfo::restoreLastCar(prefs, doc), c.restored ? OPEL : CarTexts{});
    }
}

// --- changed values -------------------------------------------------------------

TEST(SettingsDiff, ListsExactlyTheChangedValuesInDisplayOrder) {
    const CSettingsBlock before = carRecord("ZF-7", OPEL, "08-12-2026-09:15:00");
    EXPECT_TRUE(settingsChanges(before, before).empty());

    CSettingsBlock after = before;
    after.setValue(ESetting::mainCorrection, 1.5);
    after.setValue(ESetting::switchSpeed, 1500);
    after.setValue(ESetting::lpgInjectorType, 5);
    after.setTimeCorrection(3, -12);
    after.setRemarks("nowe wtryski");
    after.setCarText(ECarText::power, "110");
    // Not compared: identity, time stamp, map.
    after.setIdentity("ZF-8");
    after.setTimeStamp("09-12-2026-10:00:00");
    after.map()[17] = 99;
    EXPECT_EQ(formatChanges(settingsChanges(before, after)),
              "switchSpeed: 1200 → 1500\n"
              "mainCorrection: 1 → 1.5\n"
              "lpgInjectorType: 1 → 5\n"
              "timeCorrection[3]: 0 → -12\n"
              "remarks: \"\" → \"nowe wtryski\"\n"
              "power: \"101\" → \"110\"\n");

    // A value that differs in the last bit still shows as a change that can be told apart.
    CSettingsBlock tiny = before;
    tiny.setValue(ESetting::referenceVoltage, 14.400000000000002);
    const std::vector<SettingChange> c = settingsChanges(before, tiny);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_NE(c[0].before, c[0].after);
}
