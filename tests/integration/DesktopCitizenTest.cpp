// How the programs fit a Linux desktop and shell: one version everywhere, the
// desktop entry and AppStream data that validators accept, what an install puts
// in place (manual pages, completion, icons), and Tab completion itself.

#include <filesystem>

#include "SimKit.h"
#include "support/TestDevice.h"
#include "support/Version.h"

namespace zefirel::test {
namespace {

namespace fs = std::filesystem;

const std::string BIN = ZEFIREL_BIN_DIR;
const std::string SRC = ZEFIREL_SOURCE_DIR;
const std::string GUI = BIN + "/src/ui/zefirel";

std::string readText(const std::string& path) {
    const Bytes bytes = readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(DesktopCitizen, EveryProgramTellsTheOneVersionAndTheWindowedOneAnswersWithoutADisplay) {
    std::vector<std::pair<std::string, std::string>> programs = {{CTL, "zefirelctl"}, {SIM, "zefirel-sim"}};
    if (fs::exists(GUI)) programs.emplace_back(GUI, "zefirel");
    for (const auto& [path, name] : programs) {
        const RunResult r = run(path, {"--version"}, {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=xcb"});
        EXPECT_EQ(r.rc, 0) << name << r.err;
        EXPECT_EQ(r.out, name + " " + ZEFIREL_VERSION + "\n");
        const RunResult help = run(path, {"--help"}, {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=xcb"});
        EXPECT_EQ(help.rc, 0) << name << help.err;
        EXPECT_NE(help.out.find("--version"), std::string::npos) << name;
    }
}

TEST(DesktopCitizen, DesktopEntryAndMetainfoPassTheirValidators) {
    RunResult r = run("/usr/bin/desktop-file-validate", {SRC + "/data/pl.zefirel.Zefirel.desktop"});
    EXPECT_EQ(r.rc, 0) << r.out << r.err;
    const std::string metainfo = BIN + "/data/pl.zefirel.Zefirel.metainfo.xml";
    if (!fs::exists(metainfo)) GTEST_SKIP() << "built without the windowed program";
    r = run("/usr/bin/appstreamcli", {"validate", "--no-net", metainfo});
    EXPECT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_NE(readText(metainfo).find(std::string("<release version=\"") + ZEFIREL_VERSION), std::string::npos);
}

TEST(DesktopCitizen, AnInstallCarriesManualPagesCompletionMetainfoAndIcons) {
    CScratchFolder prefix;
    const RunResult r = run("/usr/bin/cmake", {"--install", BIN, "--prefix", prefix.path()});
    ASSERT_EQ(r.rc, 0) << r.err;
    const fs::path root = prefix.path();
    for (const char* page : {"zefirelctl.1", "zefirel-sim.1"}) EXPECT_TRUE(fs::exists(root / "share/man/man1" / page)) << page;
    EXPECT_TRUE(fs::exists(root / "share/bash-completion/completions/zefirelctl"));
    // The manual page of the command line lists its commands (from --help) and the
    // examples kept beside it.
    const std::string ctlPage = readText((root / "share/man/man1/zefirelctl.1").string());
    for (const char* text : {"SYNOPSIS", "eeprom read|write FILE", "settings", "EXAMPLES", "by\\-id"})
        EXPECT_NE(ctlPage.find(text), std::string::npos) << text;
    if (!fs::exists(GUI)) return;
    EXPECT_TRUE(fs::exists(root / "share/man/man1/zefirel.1"));
    // Polish letters survive into the page, which has its synopsis.
    const std::string guiPage = readText((root / "share/man/man1/zefirel.1").string());
    EXPECT_NE(guiPage.find("do grupy dialout, aby otworzyć port"), std::string::npos);
    EXPECT_NE(guiPage.find(".SH SYNOPSIS\n.B zefirel\n"), std::string::npos) << guiPage;
    EXPECT_TRUE(fs::exists(root / "share/metainfo/pl.zefirel.Zefirel.metainfo.xml"));
    EXPECT_TRUE(fs::exists(root / "share/applications/pl.zefirel.Zefirel.desktop"));
    EXPECT_TRUE(fs::exists(root / "share/icons/hicolor/scalable/apps/pl.zefirel.Zefirel.svg"));
    for (const char* size : {"48x48", "64x64", "128x128", "256x256"})
        EXPECT_TRUE(fs::exists(root / "share/icons/hicolor" / size / "apps/pl.zefirel.Zefirel.png")) << size;
}

TEST(DesktopCitizen, TabCompletesCommandsTheirWordsAndPorts) {
    // The words typed so far (the last one being completed) and what Tab offers.
    struct Case {
        std::string words;
        std::string offered;
    };
    const Case cases[] = {
        {"ee", "eeprom"},
        {"eeprom ", "read write"},
        {"--json set", "settings"},
        {"--port ", "1 2 3 4 5 6 7"},
        {"--j", "--json"},
        {"record x.lpgd --s", "--seconds"},
        {"mode ", "petrol lpg auto"},
        // A sub-word's own options, and the global ones.
        {"settings import x --d", "--device --dry-run"},
        {"map read x --t", "--trace"},
        {"map compute a b --t", "--timer-frequency --trace"},
        {"map learn --seconds 60 --p", "--passes --port"},
        // The names "settings set" takes, asked of the program itself.
        {"settings set main", "mainCorrection= mainCorrection2="},
        {"settings set mainCorrection=2 water", "waterValveOnTemperature= waterValveOffTemperature="},
        {"settings s", "set"},
    };
    for (const Case& c : cases) {
        const std::string script = "source '" + SRC + "/data/completion/zefirelctl'\n"
                                   "read -ra COMP_WORDS <<< \"$1\"\n"
                                   "COMP_WORDS=(\"" + CTL + "\" \"${COMP_WORDS[@]}\")\n"
                                   "[[ $1 == *' ' ]] && COMP_WORDS+=('')\n"
                                   "COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 ))\n"
                                   "_zefirelctl\n"
                                   "echo \"${COMPREPLY[*]}\"\n";
        const RunResult r = run("/bin/bash", {"-c", script, "complete-test", c.words});
        EXPECT_EQ(r.out, c.offered + "\n") << "'" << c.words << "': " << r.err;
    }
}

TEST(DesktopCitizen, AStableSymlinkNameOfTheDeviceWorksAsThePathItself) {
    // /dev/serial/by-id/... entries are symlinks to the tty; a symlink to the
    // simulator's terminal stands in for one, for --device and ZEFIREL_COM<n>.
    CSimOnPty sim;
    CScratchFolder folder;
    const std::string stable = folder.path() + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    ASSERT_EQ(::symlink(sim.server.slavePath().c_str(), stable.c_str()), 0);
    const std::vector<std::string> home = {"XDG_CONFIG_HOME=" + folder.path(), "XDG_DATA_HOME=" + folder.path()};
    RunResult r = run(CTL, {"--device", stable, "--json", "info"}, home);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("\"versionOk\":true"), std::string::npos) << r.out;
    std::vector<std::string> env = home;
    env.push_back("ZEFIREL_COM5=" + stable);
    r = run(CTL, {"--port", "5", "info"}, env);
    EXPECT_EQ(r.rc, 0) << r.err;

    // The port list shows what port 5 stands for, without opening anything.
    r = run(CTL, {"ports"}, env);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("5  " + stable + "  [ZEFIREL_COM5]"), std::string::npos) << r.out;
    r = run(CTL, {"--json", "ports"}, env);
    EXPECT_NE(r.out.find("{\"port\":5,\"searched\":true,\"path\":\"" + stable + "\",\"exists\":true,"
                         "\"override\":\"ZEFIREL_COM5\""),
              std::string::npos)
        << r.out;
}

} // namespace
} // namespace zefirel::test
