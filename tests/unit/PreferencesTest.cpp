// Per-user values: the last serial port, the ini layout shared with QSettings.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/Preferences.h"
#include "support/TestDevice.h"

using namespace zefirel;
namespace fs = std::filesystem;

namespace {

class IniFolder : public ::testing::Test {
protected:
    std::string read(const std::string& name) const {
        std::ifstream in(root / name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(root / name) << text;
    }
    std::vector<std::string> files() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(root))
            out.push_back(e.path().filename().string());
        return out;
    }

    test::CScratchFolder scratch;
    const fs::path root{scratch.path()};
};

} // namespace

TEST_F(IniFolder, LastPortIsWrittenTheWayQSettingsWritesIt) {
    CIniPreferences prefs(root.string());
    EXPECT_EQ(prefs.lastSerialPort(), 0u) << "no file yet";
    prefs.setLastSerialPort(3);
    EXPECT_EQ(read("v5.conf"), "[General]\nLast%20RS%20nr=3\n");
    EXPECT_EQ(prefs.lastSerialPort(), 3u);
    prefs.setLastSerialPort(12);
    EXPECT_EQ(read("v5.conf"), "[General]\nLast%20RS%20nr=12\n");
    EXPECT_EQ(files(), std::vector<std::string>{"v5.conf"}) << "no temporary file is left behind";
    // A second instance (the other program) sees the same value.
    EXPECT_EQ(CIniPreferences(root.string()).lastSerialPort(), 12u);
}

TEST_F(IniFolder, LastPortThatIsNotANumberCountsAsNone) {
    CIniPreferences prefs(root.string());
    for (const char* text : {"", "abc", "3x", "-2", " ", "99999999999", "1.5"}) {
        write("v5.conf", std::string("[General]\nLast%20RS%20nr=") + text + "\n");
        EXPECT_EQ(prefs.lastSerialPort(), 0u) << '"' << text << '"';
    }
    write("v5.conf", "[General]\nLast%20RS%20nr = 4 \r\n");
    EXPECT_EQ(prefs.lastSerialPort(), 4u) << "blanks and a CR line end are tolerated";
}

TEST_F(IniFolder, OtherKeysAndSectionsSurviveAnUpdate) {
    write("v5.conf", "[General]\nOther=1\nLast%20RS%20nr=2\n\n[Window]\nGeometry=\"1, 2\"\n");
    CIniPreferences prefs(root.string());
    prefs.setLastSerialPort(5);
    EXPECT_EQ(read("v5.conf"), "[General]\nOther=1\nLast%20RS%20nr=5\n\n[Window]\nGeometry=\"1, 2\"\n");
}

TEST_F(IniFolder, TextValuesRoundTripThroughQuotingAndEscapes) {
    CIniPreferences prefs(root.string());
    const std::string tricky = "C:\\Ustawienia\\v5.2\\a;b=c, \"d\"\ttab";
    prefs.setValue(PREF_APP_V52, PREF_LAST_CAR_FILE, tricky);
    EXPECT_EQ(prefs.value(PREF_APP_V52, PREF_LAST_CAR_FILE), tricky);
    const std::string text = read("v5.2.conf");
    EXPECT_EQ(text.rfind("[General]\nLast%20car%20file=\"", 0), 0u) << text;
    for (const std::string v : {" lead and trail ", "@at", "zażółć gęślą jaźń.settings", "line\nbreak"}) {
        prefs.setValue(PREF_APP_V52, PREF_LAST_CAR_FILE, v);
        EXPECT_EQ(prefs.value(PREF_APP_V52, PREF_LAST_CAR_FILE), v);
    }
    // A value as QSettings writes a path with a comma.
    write("v5.2.conf", "[General]\nLast%20car%20file=\"/home/u/Opel, Astra.settings\"\n");
    EXPECT_EQ(prefs.value(PREF_APP_V52, PREF_LAST_CAR_FILE), "/home/u/Opel, Astra.settings");
}

TEST_F(IniFolder, BlanksAtEitherEndOfAValueSurviveTheFile) {
    // A TAB is written as an escape; it must not be trimmed away like the blanks
    // around the raw text are.
    CIniPreferences prefs(root.string());
    for (const std::string v : {"\tlead", "trail\t", "\t", "\t \t", " \tx\t ", "a\tb", "\t@x"}) {
        prefs.setValue(PREF_APP_V52, PREF_LAST_CAR_FILE, v);
        EXPECT_EQ(CIniPreferences(root.string()).value(PREF_APP_V52, PREF_LAST_CAR_FILE), v)
            << read("v5.2.conf");
    }
    // Escaped blanks in a file written by QSettings, raw blanks around it.
    write("v5.2.conf", "[General]\nLast%20car%20file=  \\tx\\t  \n");
    EXPECT_EQ(prefs.value(PREF_APP_V52, PREF_LAST_CAR_FILE), "\tx\t");
}

TEST_F(IniFolder, MissingFolderIsCreatedAndAnUnwritableOneLeavesTheValueAbsent) {
    CIniPreferences nested((root / "a" / "b").string());
    nested.setLastSerialPort(6);
    EXPECT_EQ(nested.lastSerialPort(), 6u);

    write("file", "x");
    CIniPreferences blocked((root / "file" / "sub").string()); // a file where a folder should be
    blocked.setLastSerialPort(6);
    EXPECT_EQ(blocked.lastSerialPort(), 0u);
}

TEST(MemoryPreferences, KeepsValuesPerApplication) {
    CMemoryPreferences prefs;
    EXPECT_EQ(prefs.lastSerialPort(), 0u);
    prefs.setLastSerialPort(4);
    prefs.setValue(PREF_APP_V52, PREF_LAST_RS, "9");
    EXPECT_EQ(prefs.lastSerialPort(), 4u);
    EXPECT_EQ(prefs.value(PREF_APP_V5, PREF_LAST_RS), "4");
    EXPECT_EQ(prefs.value(PREF_APP_V52, PREF_LAST_CAR_FILE), "");
}
