// Car settings file names: hostile car texts and identities must stay one name
// inside the settings folder; ordinary ones must stay readable.
#include <gtest/gtest.h>

#include <filesystem>

#include "settings/CarFiles.h"

using namespace zefirel;
namespace fs = std::filesystem;

namespace {

/// True when path, resolved lexically, is exactly one level below folder/<car>/.
bool staysInside(const std::string& folder, const std::string& path) {
    const fs::path rel = fs::path(path).lexically_normal().lexically_relative(fs::path(folder).lexically_normal());
    if (rel.empty() || rel.begin()->string() == "..")
        return false;
    return std::distance(rel.begin(), rel.end()) == 2;
}

} // namespace

TEST(CarFiles, OrdinaryTextsAreKeptAsTheyAre) {
    EXPECT_EQ(carFolderName("Škoda", "Octavia II", "1.6"), "Škoda-Octavia II-1.6");
    EXPECT_EQ(carFolderName("Łada", "Żuk ąęćńóśźż", "2000"), "Łada-Żuk ąęćńóśźż-2000");
    EXPECT_EQ(carFileName("ZF-000123", "08-12-2026"), "ZF-000123-08-12-2026.settings");
    EXPECT_EQ(carSettingsFilePath("/s/", "VW", "Golf", "1400", "ID7", "01-02-2026"),
              "/s/VW-Golf-1400/ID7-01-02-2026.settings");
    // Without make, model and capacity no file is due.
    EXPECT_EQ(carSettingsFilePath("/s/", "", "Golf", "1400", "ID7", "01-02-2026"), "");
    EXPECT_EQ(carSettingsFilePath("/s/", "VW", "", "1400", "ID7", "01-02-2026"), "");
    EXPECT_EQ(carSettingsFilePath("/s/", "VW", "Golf", "", "ID7", "01-02-2026"), "");
}

TEST(CarFiles, SeparatorsAndControlCharactersBecomeUnderscores) {
    EXPECT_EQ(safePathSegment("a/b"), "a_b");
    EXPECT_EQ(safePathSegment("a\\b"), "a_b");
    EXPECT_EQ(safePathSegment(std::string("a\0b", 3)), "a_b");
    EXPECT_EQ(safePathSegment("tab\there\nnew\x7f"), "tab_here_new_");
    EXPECT_EQ(safePathSegment("c1\xC2\x85"), "c1_");      // U+0085, a control too
    EXPECT_EQ(safePathSegment("bad\xFF\xC3"), "bad__");   // not UTF-8
    EXPECT_EQ(safePathSegment("\xC0\xAF"), "__");         // overlong "/"
}

TEST(CarFiles, DotNamesNeverNameTheFolderOrItsParent) {
    EXPECT_EQ(safePathSegment(""), "_");
    EXPECT_EQ(safePathSegment("."), "_");
    EXPECT_EQ(safePathSegment(".."), "_.");
    EXPECT_EQ(safePathSegment(".hidden"), "_hidden");
    EXPECT_EQ(safePathSegment("v1.6"), "v1.6");
}

TEST(CarFiles, HostileTextsStayInsideTheSettingsFolder) {
    const std::string folder = "/data/Ustawienia/v5.2/";
    const std::vector<std::string> hostile = {"..", "../..", "../../etc", "a/b", "/", "\\", "..\\..",
                                              std::string("\0", 1), "\n", ".", "/etc/passwd", "x/../../y"};
    for (const std::string& make : hostile)
        for (const std::string& identity : hostile) {
            const std::string path = carSettingsFilePath(folder, make, "..", "/", identity, "01-01-2026");
            SCOPED_TRACE(path);
            EXPECT_TRUE(staysInside(folder, path));
        }
}
