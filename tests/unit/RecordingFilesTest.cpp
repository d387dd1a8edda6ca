// Names for recordings on disk: time-stamped names beside a recording, moving an
// earlier recording aside with its companion, and what a new run may create.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "diag/Companion.h"
#include "diag/RecordingFiles.h"
#include "support/TestDevice.h"

using namespace zefirel;
namespace fs = std::filesystem;

namespace {

/// 2026-12-08 09:30:12 UTC.
constexpr std::time_t STAMP_TIME = 1796722212;

class RecordingFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ"))
            m_oldTz = tz, m_hadTz = true;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override {
        m_hadTz ? (void)::setenv("TZ", m_oldTz.c_str(), 1) : (void)::unsetenv("TZ");
        ::tzset();
    }
    std::string path(const std::string& name) const { return m_dir.path() + "/" + name; }
    void writeText(const std::string& name, const std::string& text, std::time_t modified = 0) const {
        std::ofstream(path(name), std::ios::binary) << text;
        if (modified) {
            const utimbuf times{modified, modified};
            ::utime(path(name).c_str(), &times);
        }
    }
    std::string readText(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    bool exists(const std::string& name) const { return fs::exists(path(name)); }

    test::CScratchFolder m_dir;
    std::string m_oldTz;
    bool m_hadTz = false;
};

} // namespace

TEST_F(RecordingFiles, StampedNamesKeepTheExtensionAfterTheStamp) {
    EXPECT_EQ(fileTimeStamp(STAMP_TIME), "2026-12-08-09-30-12");
    struct Case {
        const char* given;
        const char* expected;
    };
    for (const Case c : {Case{"/d/Diagnostyka.lpgd", "/d/Diagnostyka-2026-12-08-09-30-12.lpgd"},
                         Case{"/d/road.test.lpgd", "/d/road.test-2026-12-08-09-30-12.lpgd"},
                         Case{"/d.x/road", "/d.x/road-2026-12-08-09-30-12"},
                         Case{"/d/.lpgd", "/d/.lpgd-2026-12-08-09-30-12"}})
        EXPECT_EQ(freeStampedPath(c.given, STAMP_TIME), c.expected) << c.given;
}

TEST_F(RecordingFiles, TakenNamesGetACounterWhenTheFileOrItsCompanionExists) {
    const std::string base = "run-2026-12-08-09-30-12";
    writeText(base + ".lpgd", "x");
    writeText(base + "-2.lpgd-config", "y"); // only the companion of the second name
    EXPECT_EQ(freeStampedPath(path("run.lpgd"), STAMP_TIME), path(base + "-3.lpgd"));
}

TEST_F(RecordingFiles, MovingAsideKeepsThePairAndItsTimeOfLastChange) {
    writeText("Diagnostyka.lpgd", "samples\r\n", STAMP_TIME);
    writeText("Diagnostyka.lpgd-config", "settings");
    const std::string aside = moveRecordingAside(path("Diagnostyka.lpgd"));
    EXPECT_EQ(aside, path("Diagnostyka-2026-12-08-09-30-12.lpgd"));
    EXPECT_FALSE(exists("Diagnostyka.lpgd"));
    EXPECT_FALSE(exists("Diagnostyka.lpgd-config"));
    EXPECT_EQ(readText("Diagnostyka-2026-12-08-09-30-12.lpgd"), "samples\r\n");
    EXPECT_EQ(readText("Diagnostyka-2026-12-08-09-30-12.lpgd-config"), "settings");

    // A second recording of the same second never replaces the first.
    writeText("Diagnostyka.lpgd", "later\r\n", STAMP_TIME);
    EXPECT_EQ(moveRecordingAside(path("Diagnostyka.lpgd")), path("Diagnostyka-2026-12-08-09-30-12-2.lpgd"));
    EXPECT_EQ(readText("Diagnostyka-2026-12-08-09-30-12.lpgd"), "samples\r\n");
    EXPECT_EQ(readText("Diagnostyka-2026-12-08-09-30-12-2.lpgd"), "later\r\n");
    EXPECT_FALSE(exists("Diagnostyka-2026-12-08-09-30-12-2.lpgd-config")) << "there was no companion to move";
}

TEST_F(RecordingFiles, ANewRunClaimsThePathOnlyOnceNothingIsLeftToLose) {
    // Nothing there, or only empty files: the path itself, nothing moved.
    EXPECT_EQ(claimRecordingPath(path("a.lpgd"), STAMP_TIME), path("a.lpgd"));
    writeText("a.lpgd", "");
    writeText("a.lpgd-config", "");
    EXPECT_EQ(claimRecordingPath(path("a.lpgd"), STAMP_TIME), path("a.lpgd"));
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.path()), fs::directory_iterator()), 2);

    // A companion with settings alone is worth keeping as well.
    fs::remove(path("a.lpgd"));
    writeText("a.lpgd-config", "settings", STAMP_TIME);
    EXPECT_EQ(claimRecordingPath(path("a.lpgd"), STAMP_TIME), path("a.lpgd"));
    EXPECT_FALSE(exists("a.lpgd-config"));
    EXPECT_EQ(readText("a-2026-12-08-09-30-12.lpgd-config"), "settings");
}
