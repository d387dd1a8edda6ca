// zefirelctl killed with SIGKILL at random-ish moments while it writes: a
// recording keeps every complete line in order and nothing else; a car settings
// file, an EEPROM image and a map file are afterwards either the old file or the
// new one, whole. The virtual controller paces its bytes at 14400 baud so the
// kills land in the middle of the work, not after it.
#include <gtest/gtest.h>

#ifdef ZEFIREL_HAVE_SIMLIB

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "SimKit.h"
#include "diag/Recording.h"
#include "link/SettingsBlock.h"
#include "settings/CarFiles.h"
#include "settings/SettingsCopy.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::sim;
using namespace zefirel::test;
namespace fs = std::filesystem;

namespace {

/// A child process that may be killed before it ends.
class CChild {
public:
    CChild(const std::string& program, const std::vector<std::string>& args, const std::vector<std::string>& env) {
        const int nul = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        m_pid = spawn(program, args, env, nul, nul);
        ::close(nul);
    }
    ~CChild() { killNow(); }
    CChild(const CChild&) = delete;
    CChild& operator=(const CChild&) = delete;

    /// Kills the child (if it still runs) and reaps it; true when the kill ended it
    /// rather than its own exit.
    bool killNow() {
        if (m_pid <= 0)
            return false;
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFSIGNALED(status);
    }

private:
    pid_t m_pid = -1;
};

/// The controller on a pty at line speed, and the program's folders.
struct KillBench : ::testing::Test {
    void SetUp() override {
        SimConfig cfg;
        cfg.baudTiming = true;
        sim = std::make_unique<CSimOnPty>(cfg);
        ASSERT_TRUE(sim->opened);
    }
    std::vector<std::string> env() const {
        return {"XDG_CONFIG_HOME=" + home.path() + "/config", "XDG_DATA_HOME=" + home.path() + "/data"};
    }
    std::vector<std::string> ctlArgs(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--device", sim->server.slavePath()});
        return args;
    }
    /// Runs zefirelctl to its end.
    RunResult ctl(const std::vector<std::string>& args) const { return run(CTL, ctlArgs(args), env()); }
    /// Starts zefirelctl and kills it after ms milliseconds; true when it was still running.
    bool ctlKilledAfter(const std::vector<std::string>& args, int ms) const {
        CChild child(CTL, ctlArgs(args), env());
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return child.killNow();
    }
    std::string file(const std::string& name) const { return home.path() + "/" + name; }
    /// Files left beside a target by a write that was killed: hidden, named after it.
    static void expectOnlyHiddenLeftovers(const std::string& folder, const std::string& keep) {
        for (const auto& e : fs::directory_iterator(folder)) {
            const std::string name = e.path().filename().string();
            if (name == keep || !e.is_regular_file())
                continue;
            EXPECT_EQ(name.rfind("." + keep + ".", 0), 0u) << "stray file " << name;
        }
    }

    CScratchFolder home;
    std::unique_ptr<CSimOnPty> sim;
    std::mt19937 random{20261208}; // random-ish, and the same on every run
};

/// A kill moment between lo and hi ms.
int between(std::mt19937& r, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(r); }

/// Every line of a recording ends with CR LF, holds 18 numbers and carries the
/// sample number after the one before; returns the number of lines.
size_t expectCompleteLinesInOrder(const std::string& path) {
    const Bytes bytes = readBytes(path);
    const std::string text(bytes.begin(), bytes.end());
    size_t lines = 0, start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "an incomplete last line: " << text.substr(start);
            break;
        }
        const std::string line = text.substr(start, end - start);
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), RECORDING_COLUMNS - 1) << line;
        EXPECT_EQ(line.substr(0, line.find('\t')), std::to_string(lines + 1)) << "line " << lines + 1;
        ++lines;
        start = end + 2;
    }
    std::vector<CDiag> read;
    loadRecording(path, read);
    EXPECT_EQ(read.size(), lines);
    return lines;
}

} // namespace

TEST_F(KillBench, RecordingKeepsEveryCompleteLineInOrder) {
    size_t longest = 0;
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string rec = file("kill" + std::to_string(round) + ".lpgd");
        ASSERT_TRUE(ctlKilledAfter({"record", rec, "--seconds", "30"}, between(random, 400, 1500)))
            << "the recording ended before the kill";
        ASSERT_TRUE(fs::exists(rec));
        longest = std::max(longest, expectCompleteLinesInOrder(rec));
        // The companion holds whole settings records only (none were written here).
        EXPECT_EQ(fs::exists(rec + "-config") ? fs::file_size(rec + "-config") % block::SIZE : 0u, 0u);
    }
    EXPECT_GT(longest, 10u) << "the kills came while samples were being written";
}

TEST_F(KillBench, CarSettingsFileIsTheOldOrTheNewOneWhole) {
    const char* car = "--car=Opel;Astra;1600;101;2003;2.0;";
    ASSERT_EQ(ctl({car, "settings", "set", "mainCorrection=1"}).rc, 0);
    const std::string folder = home.path() + "/data/Zefirel/Ustawienia/v5.2/Opel-Astra-1600";
    ASSERT_TRUE(fs::is_directory(folder));
    std::string name;
    for (const auto& e : fs::directory_iterator(folder))
        name = e.path().filename().string();
    ASSERT_EQ(fs::path(name).extension(), CAR_SETTINGS_EXTENSION);
    const std::string path = folder + "/" + name;

    int killedMidway = 0;
    for (int round = 1; round <= 6; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const Bytes old = readBytes(path);
        const double wanted = 1 + 0.25 * round;
        const std::string value = "mainCorrection=" + std::to_string(wanted);
        killedMidway += ctlKilledAfter({car, "settings", "set", value}, between(random, 30, 300));
        const Bytes now = readBytes(path);
        ASSERT_EQ(now.size(), block::SIZE) << "a whole record";
        if (now != old) {
            CSettingsBlock record;
            ASSERT_EQ(loadCarSettingsFile(path, record), ESettingsFileResult::Ok);
            EXPECT_DOUBLE_EQ(record.mainCorrection(), wanted) << "neither the old file nor the new one";
        }
        expectOnlyHiddenLeftovers(folder, name);
    }
    EXPECT_GT(killedMidway, 0);
}

TEST_F(KillBench, EepromImageAndMapFileAreTheOldOrTheNewOneWhole) {
    // What a complete read gives, to compare the killed ones with.
    const std::string refEeprom = file("ref.eeprom"), refMap = file("ref.map");
    ASSERT_EQ(ctl({"eeprom", "read", refEeprom}).rc, 0);
    ASSERT_EQ(ctl({"map", "read", refMap}).rc, 0);
    const Bytes eeprom = readBytes(refEeprom), map = readBytes(refMap);
    ASSERT_EQ(eeprom.size(), EEPROM_SIZE);
    ASSERT_EQ(map.size(), 400u);

    struct Case {
        const char* what;
        std::vector<std::string> args;
        const Bytes& whole;
    } cases[] = {
        {"eeprom", {"eeprom", "read", file("eeprom/img.eeprom")}, eeprom},
        {"map", {"map", "read", file("map/img.map")}, map},
    };
    for (const Case& c : cases) {
        const std::string path = c.args.back();
        fs::create_directories(fs::path(path).parent_path());
        const Bytes old(c.whole.size() + 3, 0xEE); // the file an earlier backup left
        int killedMidway = 0;
        for (int round = 0; round < 4; ++round) {
            SCOPED_TRACE(std::string(c.what) + " round " + std::to_string(round));
            writeBytes(path, old);
            killedMidway += ctlKilledAfter(c.args, between(random, 100, 900));
            const Bytes now = readBytes(path);
            EXPECT_TRUE(now == old || now == c.whole) << now.size() << " bytes, neither old nor new";
        }
        expectOnlyHiddenLeftovers(fs::path(path).parent_path().string(), fs::path(path).filename().string());
        EXPECT_GT(killedMidway, 0) << c.what;
    }
}

#endif
