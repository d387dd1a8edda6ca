// Whole-or-nothing file writes and the program's per-user folders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/FileUtil.h"
#include "support/Paths.h"
#include "support/TestDevice.h"

using namespace zefirel;
namespace fs = std::filesystem;

namespace {

size_t entries(const std::string& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

/// Sets an environment variable for one test and restores it afterwards.
class EnvVar {
public:
    EnvVar(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old, m_had = true;
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvVar() { m_had ? (void)::setenv(m_name, m_old.c_str(), 1) : (void)::unsetenv(m_name); }

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

} // namespace

TEST(FileUtil, AtomicWriteCreatesAndReplacesWholeFiles) {
    test::CScratchFolder scratch;
    const std::string path = scratch.path() + "/car.settings";
    ASSERT_TRUE(writeFileAtomic(path, std::vector<uint8_t>(1240, 0xAB)));
    ASSERT_TRUE(writeFileAtomic(path, std::vector<uint8_t>{1, 2, 3}));
    std::vector<uint8_t> back;
    ASSERT_TRUE(readFile(path, back));
    EXPECT_EQ(back, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(entries(scratch.path()), 1u); // no temporary file left
}

TEST(FileUtil, FailedAtomicWriteLeavesTheOldFileAndNoTemporary) {
    test::CScratchFolder scratch;
    const std::string folderTarget = scratch.path() + "/taken";
    fs::create_directory(folderTarget);
    EXPECT_FALSE(writeFileAtomic(folderTarget, std::vector<uint8_t>{1}));
    EXPECT_TRUE(fs::is_directory(folderTarget));
    EXPECT_FALSE(writeFileAtomic(scratch.path() + "/missing/file", std::vector<uint8_t>{1}));
    EXPECT_FALSE(writeFileAtomic(scratch.path() + "/", std::vector<uint8_t>{1}));
    EXPECT_EQ(entries(scratch.path()), 1u);
}

TEST(FileUtil, ReadsAtMostWhatIsAskedAndExactReadsRefuseShortFiles) {
    test::CScratchFolder scratch;
    const std::string path = scratch.path() + "/image.eeprom";
    ASSERT_TRUE(writeFileAtomic(path, std::vector<uint8_t>(600, 7)));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readFile(path, bytes, 512));
    EXPECT_EQ(bytes.size(), 512u);
    uint8_t block[600];
    EXPECT_TRUE(readFileExact(path, block, 600));
    ASSERT_TRUE(writeFileAtomic(path, std::vector<uint8_t>(511, 7)));
    EXPECT_FALSE(readFileExact(path, block, 512));
    EXPECT_FALSE(readFile(scratch.path() + "/none", bytes));
    EXPECT_TRUE(bytes.empty());
}

TEST(FileUtil, MakeFoldersCreatesEveryLevelAndFailsOnAFileInTheWay) {
    test::CScratchFolder scratch;
    EXPECT_TRUE(makeFolders(scratch.path() + "/a/b/c"));
    EXPECT_TRUE(makeFolders(scratch.path() + "/a/b/c")); // existing: fine
    EXPECT_TRUE(isFolder(scratch.path() + "/a/b/c"));
    std::ofstream(scratch.path() + "/file") << "x";
    EXPECT_FALSE(makeFolders(scratch.path() + "/file/sub"));
    EXPECT_EQ(parentFolder("/x/y/z.settings"), "/x/y");
    EXPECT_EQ(parentFolder("z.settings"), ".");
    EXPECT_EQ(parentFolder("/z"), "/");
}

TEST(Paths, FoldersLiveUnderTheUsersDataFolderAndAreCreated) {
    test::CScratchFolder scratch;
    EnvVar xdg("XDG_DATA_HOME", scratch.path());
    EXPECT_EQ(appFolder(), scratch.path() + "/Zefirel/");
    EXPECT_EQ(defaultDataFolder(), scratch.path() + "/Zefirel/Dane/");
    EXPECT_EQ(settingsFolder(), scratch.path() + "/Zefirel/Ustawienia/v5.2/");
    EXPECT_TRUE(isFolder(scratch.path() + "/Zefirel/Dane"));
    EXPECT_TRUE(isFolder(scratch.path() + "/Zefirel/Ustawienia/v5.2"));
}

TEST(Paths, WithoutXdgDataHomeTheHomeFolderIsUsed) {
    test::CScratchFolder scratch;
    EnvVar home("HOME", scratch.path());
    EnvVar xdg("XDG_DATA_HOME", "relative/ignored");
    EXPECT_EQ(settingsFolder(), scratch.path() + "/.local/share/Zefirel/Ustawienia/v5.2/");
    EXPECT_TRUE(isFolder(scratch.path() + "/.local/share/Zefirel/Ustawienia/v5.2"));
}
