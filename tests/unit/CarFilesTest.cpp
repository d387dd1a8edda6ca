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
            // A blank make names no file at all.
            if (blankCarText(make))
                EXPECT_TRUE(path.empty());
            else
                EXPECT_TRUE(staysInside(folder, path));
        }
}

TEST(CarFiles, LongNamesAreCutOnACharacterBoundaryAndKeepTheirParts) {
    const std::string q3 = "„"; // 3 bytes in UTF-8
    std::string wide49, wide200;
    for (int i = 0; i < 49; ++i)
        wide49 += q3;
    for (int i = 0; i < 200; ++i)
        wide200 += "ż"; // 2 bytes
    struct Case {
        const char* what;
        std::string make, model, capacity;
        std::string wantMake, wantCapacity;
    } cases[] = {
        {"widest dialog texts", wide49, wide49, "1600", wide49, "1600"},
        {"odd byte budget", "a" + wide49, wide49 + wide49, "12", "a" + wide49, "12"},
        {"huge make", wide200 + wide200, "m", "9", "", "9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = carFolderName(c.make, c.model, c.capacity);
        EXPECT_LE(name.size(), PATH_SEGMENT_MAX);
        EXPECT_EQ(safePathSegment(name), name) << "valid UTF-8, nothing left to map";
        const size_t first = name.find('-'), last = name.rfind('-');
        ASSERT_NE(first, last) << "still three parts";
        if (!c.wantMake.empty()) {
            EXPECT_EQ(name.substr(0, first), c.wantMake);
        }
        EXPECT_EQ(name.substr(last + 1), c.wantCapacity);
        EXPECT_EQ(c.model.rfind(name.substr(first + 1, last - first - 1), 0), 0u) << "the model is only cut";
    }
    std::string longId;
    for (int i = 0; i < 120; ++i)
        longId += q3;
    const std::string file = carFileName(longId, "08-12-2026");
    EXPECT_LE(file.size(), PATH_SEGMENT_MAX);
    EXPECT_EQ(file.substr(file.size() - 20), "-08-12-2026.settings") << "date and extension stay";
    EXPECT_EQ(safePathSegment(std::string(300, 'x')).size(), PATH_SEGMENT_MAX);
    EXPECT_EQ(safePathSegment(std::string(254, 'x') + "€").size(), 254u) << "never half a character";
}
