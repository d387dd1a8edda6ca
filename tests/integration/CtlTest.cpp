// zefirelctl and zefirel-sim as the programs they are: child processes with their
// exit codes, outputs and files, against the virtual controller on a pty.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "SimKit.h"
#include "link/SettingsBlock.h"
#include "settings/SettingsCopy.h"
#include "support/Preferences.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::sim;
using namespace zefirel::test;

namespace {

namespace fs = std::filesystem;

/// A virtual controller in this process and zefirelctl runs against it, with the
/// program's folders in a scratch folder.
struct Ctl : CSimOnPty {
    using CSimOnPty::CSimOnPty;
    std::vector<std::string> env() const {
        return {"XDG_CONFIG_HOME=" + home.path() + "/config", "XDG_DATA_HOME=" + home.path() + "/data"};
    }
    RunResult operator()(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--device", server.slavePath()});
        return run(CTL, args, env());
    }
    std::string file(const std::string& name) const { return home.path() + "/" + name; }

    CScratchFolder home;
};

const char* const CAR = "--car=Opel;Astra;1600;101;2003;2.0;";

} // namespace

TEST(Ctl, InfoDescribesTheControllerAsTextAndJson) {
    SimConfig cfg;
    cfg.identity = "PL-0042-ZX";
    cfg.programmingDate = static_cast<uint16_t>(daysSinceEpoch2004(2025, 11, 7));
    Ctl c(cfg);
    const RunResult text = c({"info"});
    ASSERT_EQ(text.rc, 0) << text.err;
    EXPECT_NE(text.out.find("identity: PL-0042-ZX\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("programmingDate: 07/11/2025\n"), std::string::npos);
    EXPECT_NE(text.out.find("Wysyłanie informacji o zainicjowaniu sterownika"), std::string::npos);
    EXPECT_EQ(text.out.find("Rozszerzona diagnostyka"), std::string::npos);
    EXPECT_NE(text.out.find("versionOk: yes"), std::string::npos);

    const RunResult json = c({"info", "--json", "--trace", c.file("link.trace")});
    ASSERT_EQ(json.rc, 0) << json.err;
    EXPECT_EQ(json.out.rfind("{\"version\":5,\"injectors\":4,\"identity\":\"PL-0042-ZX\","
                             "\"programmingDate\":\"07/11/2025\",\"features\":{\"mask\":4183,",
                             0),
              0u)
        << json.out;
    EXPECT_NE(json.out.find("\"timerFrequency\":40000,\"versionOk\":true}"), std::string::npos);
    // The trace holds the handshake's link test and its acknowledgement.
    std::ifstream trace(c.file("link.trace"));
    const std::string traced((std::istreambuf_iterator<char>(trace)), {});
    EXPECT_NE(traced.find("TX  AA 55 06 04 09 00 00 00 00 00 00 13"), std::string::npos) << traced;
    EXPECT_NE(traced.find("RX  AA 55 06 04 04 00 00 00 00 00 00 0E"), std::string::npos);
}

TEST(Ctl, InfoThroughTheResolvedPortRemembersIt) {
    Ctl c;
    std::vector<std::string> env = c.env();
    env.push_back("ZEFIREL_COM3=" + c.server.slavePath());
    const RunResult r = run(CTL, {"--port", "3", "info"}, env);
    ASSERT_EQ(r.rc, 0) << r.err;
    CIniPreferences prefs(c.home.path() + "/config/Zefirel");
    EXPECT_EQ(prefs.lastSerialPort(), 3u);
    // Without --port or --device the remembered port is tried first.
    const RunResult again = run(CTL, {"info"}, env);
    EXPECT_EQ(again.rc, 0) << again.err;
}

TEST(Ctl, InfoOfAnotherFirmwareSaysSo) {
    SimConfig cfg;
    cfg.versionWord = 6;
    Ctl c(cfg);
    const RunResult r = c({"--json", "info"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_NE(r.out.find("\"versionOk\":false"), std::string::npos);
    EXPECT_NE(r.err.find("   --wersja sterownika LPG - 6"), std::string::npos) << r.err;
    // Other commands refuse a controller that failed the version check.
    EXPECT_EQ(c({"level"}).rc, 1);
}

TEST(Ctl, SettingsGetPrintsEveryValueByName) {
    Ctl c;
    const RunResult r = c({"--json", "settings", "get"});
    ASSERT_EQ(r.rc, 0) << r.err;
    for (const SettingInfo& info : settingInfos())
        EXPECT_NE(r.out.find("\"" + std::string(info.name) + "\":"), std::string::npos) << info.name;
    EXPECT_NE(r.out.find("{\"switchSpeed\":1200,\"switchTemperature\":25,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"voltageCorrection\":0.05}"), std::string::npos);

    const RunResult text = c({"settings", "get"});
    EXPECT_NE(text.out.find("mainCorrection: 1 ms\n"), std::string::npos) << text.out;
}

TEST(Ctl, SettingsSetChecksThenWritesWithTheCarData) {
    Ctl c;
    const std::array<uint8_t, 26> before = c.ctl.setupRecord();

    // Without car data nothing is even sent.
    RunResult r = c({"settings", "set", "mainCorrection=2"});
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("Aby wpisać ustawienia musisz podać dane dotyczące samochodu i zamontowanej instalacji"),
              std::string::npos);
    EXPECT_EQ(c.server.requestCount(), 0u);
    // Nor with a word that is no setting or no number, or incomplete car data.
    EXPECT_EQ(c({CAR, "settings", "set", "mainCorection=2"}).rc, 2);
    EXPECT_EQ(c({CAR, "settings", "set", "mainCorrection=2ms"}).rc, 2);
    EXPECT_EQ(c({CAR, "settings", "set", "ignitionsPerCycle=1.5"}).rc, 2);
    EXPECT_EQ(c({"--car=Opel;Astra;1600;;2003;2.0;", "settings", "set", "mainCorrection=2"}).rc, 2);
    // Blank texts are not given either: no " - -" car folder is made of them.
    r = c({"--car= ; ;\t;101;2003;2.0;", "settings", "set", "mainCorrection=2"});
    EXPECT_EQ(r.rc, 2) << r.err;
    EXPECT_NE(r.err.find("Musisz podać dane dotyczące samochodu"), std::string::npos) << r.err;
    EXPECT_EQ(c.server.requestCount(), 0u);

    // A value out of range is read, checked and refused.
    r = c({CAR, "settings", "set", "referencePressure=59", "switchSpeed=50"});
    EXPECT_EQ(r.rc, 2);
    // Each refused value with the range it may take.
    EXPECT_NE(r.err.find("Błędna wartość prędkości przełączenia na LPG\n  (dozwolone wartości: od 100 do 8000)\n"
                         "Błędna wartość ciśnienia reg=ferencyjnego\n  (dozwolone wartości: od 60 do 140)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(c.ctl.setupRecord(), before);

    r = c({CAR, "--json", "settings", "set", "mainCorrection=2", "lpgSwitchDelay=20"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_DOUBLE_EQ(c.ctl.mainCorrectionMs(), 2.0);
    EXPECT_EQ(c.ctl.setupRecord()[19], 40);
    EXPECT_NE(r.out.find("\"mainCorrection\":2,"), std::string::npos) << r.out;
    // The write keeps a copy in the car's settings folder.
    const fs::path carFolder = c.home.path() + "/data/Zefirel/Ustawienia/v5.2/Opel-Astra-1600";
    ASSERT_TRUE(fs::is_directory(carFolder));
    EXPECT_EQ(std::distance(fs::directory_iterator(carFolder), fs::directory_iterator{}), 1);
}

TEST(Ctl, SettingsExportThenImportRestoresTheControllersRecord) {
    Ctl c;
    // A tuned controller: settings and a correction curve.
    ASSERT_EQ(c({CAR, "settings", "set", "mainCorrection=2.5", "switchSpeed=1800", "optionFlags=1"}).rc, 0);
    sim::EepromImage image = c.ctl.eeprom();
    image[sim::eeprom::TABLE + 5] = 100 + 12;
    c.ctl.setEeprom(image);
    const std::array<uint8_t, 26> tuned = c.ctl.setupRecord();
    const std::string file = c.file("astra.settings");

    RunResult r = c({CAR, "settings", "export", file});
    ASSERT_EQ(r.rc, 0) << r.err;
    CSettingsBlock exported;
    ASSERT_EQ(loadCarSettingsFile(file, exported), ESettingsFileResult::Ok);
    EXPECT_EQ(exported.carText(ECarText::model), "Astra");
    EXPECT_EQ(exported.timeCorrection(5), 12);
    EXPECT_EQ(c.ctl.setupRecord(), tuned) << "export writes nothing to the controller";

    // Someone changes the controller; a dry run shows what the file would undo.
    ASSERT_EQ(c({CAR, "settings", "factory", "--yes"}).rc, 0);
    const std::array<uint8_t, 26> factory = c.ctl.setupRecord();
    ASSERT_NE(factory, tuned);
    EXPECT_EQ(c.ctl.eeprom()[sim::eeprom::TABLE + 5], 100) << "the factory curve is flat";
    r = c({"settings", "import", file, "--dry-run"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out,
              "switchSpeed: 1200 → 1800\n"
              "mainCorrection: 1 → 2.5\n"
              "optionFlags: 0 → 1\n"
              "timeCorrection[5]: 0 → 12\n");
    EXPECT_EQ(c.ctl.setupRecord(), factory);

    // The import writes it back, with the file's own car data.
    r = c({"settings", "import", file});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(c.ctl.setupRecord(), tuned);
    EXPECT_EQ(c.ctl.eeprom()[sim::eeprom::TABLE + 5], 100 + 12);
    r = c({"settings", "import", file});
    EXPECT_EQ(r.out, "no changes\n");
}

TEST(Ctl, SettingsFilesThatCannotBeUsedSendNothing) {
    Ctl c;
    CSettingsBlock v4 = factorySettings();
    v4.setVersionMark(4);
    ASSERT_TRUE(saveSettingsFile(c.file("v4.settings"), v4));
    std::ofstream(c.file("short.settings")) << std::string(1239, 'x');
    const struct {
        std::string file;
        const char* message;
    } cases[] = {{c.file("v4.settings"), MSG_SETTINGS_FILE_VERSION},
                 {c.file("short.settings"), MSG_SETTINGS_FILE_UNREADABLE},
                 {c.file("missing.settings"), MSG_SETTINGS_FILE_UNREADABLE}};
    for (const auto& k : cases) {
        const RunResult r = c({CAR, "settings", "import", k.file});
        EXPECT_EQ(r.rc, 2) << k.file;
        EXPECT_NE(r.err.find(k.message), std::string::npos) << r.err;
    }
    EXPECT_EQ(c({"settings", "export", c.file("x.settings")}).rc, 2) << "export needs the car data";
    EXPECT_FALSE(fs::exists(c.file("x.settings")));
    EXPECT_EQ(c.server.requestCount(), 0u);

    // Without --yes the factory record is only shown.
    const std::array<uint8_t, 26> before = c.ctl.setupRecord();
    const RunResult r = c({CAR, "settings", "factory"});
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "no changes\n");
    EXPECT_EQ(c.ctl.setupRecord(), before);
}

TEST(Ctl, ErrorsAreReadAndCleared) {
    SimConfig cfg;
    cfg.errors[9] = 0x80;
    Ctl c(cfg);
    RunResult r = c({"errors"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, " Moduł: Przerwania 24-32, kod błędu: \n\tPrzerwanie 31 \n");
    r = c({"errors", "clear"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(c.ctl.errors(), (std::array<uint8_t, 11>{}));
    r = c({"errors"});
    EXPECT_EQ(r.out, "Brak błędów.\n");
    r = c({"--json", "errors"});
    EXPECT_EQ(r.out, "{\"report\":[0,0,0,0,0,0,0,0,0,0,0],\"text\":\"\"}\n");
}

TEST(Ctl, ModeLevelAndSequence) {
    Ctl c;
    ASSERT_EQ(c({"mode", "lpg"}).rc, 0);
    EXPECT_EQ(c.ctl.mode(), EWorkMode::Lpg);
    EXPECT_EQ(c({"mode", "diesel"}).rc, 2);
    EXPECT_EQ(c.ctl.mode(), EWorkMode::Lpg);

    RunResult r = c({"--json", "level"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("\"thresholds\":[42,130,170,225]"), std::string::npos) << r.out;

    r = c({"sequence"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out.rfind("1. injector 1 at 0.000 ms\n2. injector 3 at ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("8. injector 8: no signal\n"), std::string::npos);
    EXPECT_EQ(r.out.find("niesekwencyjnym"), std::string::npos);
}

TEST(Ctl, LevelSetChecksTheOrderBeforeSendingAndFactoryFollowsTheFeature) {
    Ctl c;
    for (const char* bad : {"42,130,130,225", "42,130,170,42"}) {
        const RunResult r = c({"level", "set", bad});
        EXPECT_EQ(r.rc, 2) << bad;
        EXPECT_NE(r.err.find("Nieprawidłowe wartości.\nPowinny być wprowadzone w porządku rosnącym lub malejącym."),
                  std::string::npos)
            << r.err;
    }
    EXPECT_EQ(c({"level", "set", "1,2,3"}).rc, 2);
    EXPECT_EQ(c.server.requestCount(), 0u);

    RunResult r = c({"level", "set", "225,170,130,42"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(c.ctl.eeprom()[eeprom::LEVEL + 3], 42);
    r = c({"--json", "level"});
    EXPECT_NE(r.out.find("\"thresholds\":[225,170,130,42],\"type\":\"Czujnik rezerwy\""), std::string::npos) << r.out;
    ASSERT_EQ(c({"level", "factory"}).rc, 0);
    EXPECT_EQ(c.ctl.eeprom()[eeprom::LEVEL], 42);

    SimConfig cfg;
    cfg.featureMask |= 0x0200; // low-ohm level sensors
    Ctl lowOhm(cfg);
    r = lowOhm({"--json", "level", "factory"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "{\"thresholds\":[241,249,253,255]}\n");
    const EepromImage e = lowOhm.ctl.eeprom();
    EXPECT_EQ(Bytes(e.begin() + eeprom::LEVEL, e.begin() + eeprom::LEVEL + 4), (Bytes{241, 249, 253, 255}));
}

TEST(Ctl, VersionRecordReadsAndWritesWithTheIdentityEnciphered) {
    SimConfig cfg;
    cfg.programmingDate = 0;
    cfg.identity = "ZEF-OLD";
    Ctl c(cfg);
    RunResult r = c({"--json", "version"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "{\"programmingDate\":\"01/04/2004\",\"version\":5,\"injectors\":4,\"identity\":\"ZEF-OLD\"}\n");

    // Bad values are refused before anything is sent.
    const uint64_t requests = c.server.requestCount();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"version", "set", "--date", "1/4/2004", "--version", "5", "--injectors", "4",
                                   "--identity", "X"},
          {"version", "set", "--date", "31/02/2026", "--version", "5", "--injectors", "4", "--identity", "X"},
          {"version", "set", "--date", "01/04/2026", "--version", "70000", "--injectors", "4", "--identity", "X"},
          {"version", "set", "--date", "01/04/2026", "--version", "5", "--injectors", "4",
           "--identity", "12345678901234567"},
          {"version", "set", "--date", "01/04/2026", "--version", "5", "--injectors", "4"}}) {
        EXPECT_EQ(c(args).rc, 2) << args[3] << " " << args[5];
    }
    EXPECT_EQ(c.server.requestCount(), requests);

    r = c({"version", "set", "--date=15/03/2026", "--version", "5", "--injectors", "6", "--identity", "ZEF-NEW-16CHARS!"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(c.ctl.identity(), "ZEF-NEW-16CHARS!");
    r = c({"version"});
    EXPECT_EQ(r.out, "programmingDate: 15/03/2026\nversion: 5\ninjectors: 6\nidentity: ZEF-NEW-16CHARS!\n");
}

TEST(Ctl, EepromImageToAndFromAFile) {
    // The file rules themselves are the document's (tested there); here the
    // program's exit codes and progress.
    Ctl c;
    const std::string image = c.file("a.eeprom");
    ASSERT_EQ(c({"eeprom", "read", image}).rc, 0);
    const EepromImage e = c.ctl.eeprom();
    Bytes bytes = readBytes(image);
    EXPECT_EQ(bytes, Bytes(e.begin(), e.end()));

    // A short image is refused before anything is sent.
    const uint64_t requests = c.server.requestCount();
    writeBytes(c.file("short.eeprom"), Bytes(511, 0x11));
    RunResult r = c({"eeprom", "write", c.file("short.eeprom")});
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("Niepoprawny format pliku EEPROM!"), std::string::npos);
    EXPECT_EQ(c.server.requestCount(), requests);

    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 7);
    writeBytes(image, bytes);
    r = c({"eeprom", "write", image});
    ASSERT_EQ(r.rc, 0) << r.err;
    const EepromImage after = c.ctl.eeprom();
    EXPECT_EQ(Bytes(after.begin(), after.end()), bytes);
    EXPECT_NE(r.err.find("EEPROM 90%"), std::string::npos); // progress on standard error
}

TEST(Ctl, MapWriteIsVerifiedAndReadBack) {
    Ctl c;
    Bytes map(400, 100);
    map[8 * 6 + 1] = 105; // +5 % at 3.0 ms, 1000-2000 rpm
    map[399] = 0;         // -100 %
    writeBytes(c.file("in.map"), map);
    RunResult r = c({CAR, "map", "write", c.file("in.map")});
    ASSERT_EQ(r.rc, 0) << r.err;
    const EepromImage e = c.ctl.eeprom();
    EXPECT_TRUE(std::equal(map.begin(), map.end(), e.begin() + eeprom::MAP));
    EXPECT_EQ(c.ctl.setupRecord()[10] & 0x02, 0x02); // the map is in use

    ASSERT_EQ(c({"map", "read", c.file("out.map")}).rc, 0);
    EXPECT_EQ(readBytes(c.file("out.map")), map);

    writeBytes(c.file("bad.map"), Bytes(400, 251));
    EXPECT_EQ(c({"map", "write", c.file("bad.map")}).rc, 2);
    writeBytes(c.file("short.map"), Bytes(399, 100));
    EXPECT_EQ(c({"map", "write", c.file("short.map")}).rc, 2);
    // A longer file is not a map either, not even its first 400 bytes.
    Bytes longer(401, 100);
    longer[0] = 120;
    writeBytes(c.file("long.map"), longer);
    r = c({CAR, "map", "write", c.file("long.map")});
    EXPECT_EQ(r.rc, 2) << r.err;
    EXPECT_NE(r.err.find("401 bajtów"), std::string::npos) << r.err;
    EXPECT_EQ(c.ctl.eeprom()[eeprom::MAP], map[0]) << "nothing written";
}

TEST(Ctl, ControllerFailuresExitWithOne) {
    Ctl c;
    SimFaults f;
    f.badChecksumCommand = CMD_SEQUENCE;
    c.server.setFaults(f);
    RunResult r = c({"sequence"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("Nie można pobrać informacji o sekwencji wtrysków"), std::string::npos);

    c.server.setMuted(true);
    r = c({"info"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("Nie można nawiązać komunikacji z urządzeniem LPG"), std::string::npos);
    EXPECT_LT(r.seconds, 3.0); // three link tests of about half a second

    r = run(CTL, {"--device", c.file("no-such-tty"), "info"}, c.env());
    EXPECT_EQ(r.rc, 1);
}

TEST(Ctl, BadUsageExitsWithTwo) {
    CScratchFolder home;
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + home.path(), "XDG_DATA_HOME=" + home.path()};
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"frobnicate"}, {"--port", "x", "info"}, {"--port", "1", "--device", "/dev/null", "info"},
          {"--device"}, {"settings"}, {"settings", "get", "extra"}, {"level", "extra"}, {"eeprom", "read"},
          {"map", "copy", "a", "b"}, {"--json=1", "info"}}) {
        const RunResult r = run(CTL, args, env);
        EXPECT_EQ(r.rc, 2) << (args.empty() ? "(none)" : args[0]) << " " << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    const RunResult help = run(CTL, {"--help"}, env);
    EXPECT_EQ(help.rc, 0);
    for (const char* name : {"info", "settings get", "errors [clear]", "mode petrol|lpg|auto", "eeprom read|write FILE"})
        EXPECT_NE(help.out.find(name), std::string::npos) << name;
}

TEST(SimProcess, ServesItsLinkTogglesOnSignalAndSavesItsEeprom) {
    CScratchFolder home;
    const std::string link = home.path() + "/ttyLPG", eepromFile = home.path() + "/sim.eeprom";
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + home.path(), "XDG_DATA_HOME=" + home.path()};
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::execl(SIM.c_str(), SIM.c_str(), "--link", link.c_str(), "--eeprom", eepromFile.c_str(), "--identity",
                "SIM-PROC-1", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string first;
    char ch;
    while (::read(out[0], &ch, 1) == 1 && ch != '\n')
        first += ch;
    EXPECT_EQ(first.rfind("/dev/pts/", 0), 0u) << first;
    EXPECT_EQ(fs::read_symlink(link).string(), first);

    RunResult r = run(CTL, {"--device", link, "info"}, env);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("identity: SIM-PROC-1"), std::string::npos);
    EXPECT_EQ(run(CTL, {"--device", link, "mode", "lpg"}, env).rc, 0);

    ::kill(pid, SIGUSR1); // unplugged
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(run(CTL, {"--device", link, "info"}, env).rc, 1);
    ::kill(pid, SIGUSR1); // back
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(run(CTL, {"--device", link, "info"}, env).rc, 0);

    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(out[0]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_EQ(fs::file_size(eepromFile), 512u);
}

TEST(SimProcess, BadOptionsExitWithTwoAndLeaveTheImageFileAlone) {
    CScratchFolder home;
    writeBytes(home.path() + "/short.eeprom", Bytes(100, 0));
    const RunResult r = run(SIM, {"--eeprom", home.path() + "/short.eeprom"});
    EXPECT_EQ(r.rc, 2);
    EXPECT_EQ(readBytes(home.path() + "/short.eeprom").size(), 100u); // not overwritten
}
