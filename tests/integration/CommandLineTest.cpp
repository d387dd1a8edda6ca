// The command lines of zefirelctl and zefirel-sim: every command's own --help, and
// what a wrong option, a missing value or a wrong word gets before anything is sent.

#include <set>
#include <sstream>

#include "SimKit.h"
#include "support/TestDevice.h"

namespace zefirel::test {
namespace {

std::vector<std::string> wordsOf(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::vector<std::string> scratchHome(const CScratchFolder& home) {
    return {"XDG_CONFIG_HOME=" + home.path() + "/config", "XDG_DATA_HOME=" + home.path() + "/data"};
}

TEST(CommandLine, EveryCommandAndSubWordAnswersHelpWithItsOwnWordsAndOptions) {
    // Each command and sub-word, and what its --help must name.
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"autosetup", {"--record", "--yes"}},
        {"check", {"RECORDING", "--tolerance", "--timer-frequency"}},
        {"compare", {"A", "B", "--timer-frequency"}},
        {"corrections", {"get", "set"}},
        {"corrections get", {}},
        {"corrections set", {"CURVE"}},
        {"doctor", {}},
        {"eeprom", {"read", "write"}},
        {"eeprom read", {"FILE"}},
        {"eeprom write", {"FILE"}},
        {"errors", {"clear"}},
        {"errors clear", {}},
        {"events", {"RECORDING", "--timer-frequency"}},
        {"export", {"RECORDING", "OUT.csv", "--separator", "--decimal", "--features", "--events", "--timer-frequency"}},
        {"history", {"cars", "show", "diff", "restore", "import", "backup"}},
        {"history backup", {"FILE"}},
        {"history cars", {"SEARCH"}},
        {"history diff", {"ID1", "ID2"}},
        {"history import", {}},
        {"history restore", {"ID", "--yes"}},
        {"history show", {"CAR"}},
        {"info", {}},
        {"level", {"set", "factory"}},
        {"level set", {"THRESHOLDS"}},
        {"level factory", {}},
        {"map", {"read", "write", "compute", "learn"}},
        {"map read", {"FILE"}},
        {"map write", {"FILE"}},
        {"map compute", {"RECORDING", "OUT", "--timer-frequency"}},
        {"map learn", {"--seconds", "--lpg-after", "--out", "--write", "--passes"}},
        {"mode", {"petrol", "lpg", "auto"}},
        {"mode petrol", {}},
        {"mode lpg", {}},
        {"mode auto", {}},
        {"ports", {}},
        {"record", {"FILE", "--seconds", "--injector", "--lpg-after"}},
        {"replay", {"FILE"}},
        {"report", {"FILE.pdf", "--recording"}},
        {"sequence", {}},
        {"settings", {"get", "set", "export", "import", "factory"}},
        {"settings get", {}},
        {"settings set", {"ASSIGNMENT"}},
        {"settings export", {"FILE"}},
        {"settings import", {"FILE", "--dry-run"}},
        {"settings factory", {"--yes"}},
        {"version", {"set"}},
        {"version set", {"--date", "--version", "--injectors", "--identity"}},
    };
    // The command table lists every command and sub-word the program has; each
    // one must be in the cases (the report exists only where Qt's GUI module is).
    const RunResult table = run(CTL, {"--commands"});
    ASSERT_EQ(table.rc, 0) << table.err;
    std::set<std::string> listed;
    std::istringstream lines(table.out);
    for (std::string line; std::getline(lines, line);) listed.insert(line.substr(0, line.find('\t')));
    std::set<std::string> expected;
    for (const auto& [words, names] : cases)
        if (words != "report" || listed.count("report")) expected.insert(words);
    EXPECT_EQ(listed, expected);

    for (const auto& [words, names] : cases) {
        if (!listed.count(words)) continue;
        SCOPED_TRACE(words);
        std::vector<std::string> args = wordsOf(words);
        args.push_back("--help");
        const RunResult r = run(CTL, args);
        EXPECT_EQ(r.rc, 0) << r.err;
        EXPECT_TRUE(r.err.empty()) << r.err;
        EXPECT_NE(r.out.find("Usage: zefirelctl " + words + " "), std::string::npos) << r.out;
        for (const std::string& name : names) EXPECT_NE(r.out.find("  " + name + " "), std::string::npos) << name;
        EXPECT_NE(r.out.find("see zefirelctl --help"), std::string::npos) << "the global options are pointed to";
    }
}

TEST(CommandLine, ABadLineSaysWhatIsWrongInPolishExitsWithTwoAndSendsNothing) {
    CSimOnPty sim;
    ASSERT_TRUE(sim.opened);
    CScratchFolder home;
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"info", "--frobnicate"}, "zbędne lub nieznane słowo: --frobnicate\nużycie: info (zob. zefirelctl info --help)"},
        {{"settings", "get", "a", "b"}, "zbędne lub nieznane słowa: a b"},
        {{"record", "x.lpgd", "--seconds"}, "--seconds: brak wartości S"},
        {{"record", "x.lpgd"}, "brak wymaganej opcji --seconds"},
        {{"replay"}, "brak wymaganego słowa FILE"},
        {{"record", "x.lpgd", "--seconds", "5", "--injector", "9"}, "--injector: potrzebna liczba od 1 do 8, podano 9"},
        {{"record", "x.lpgd", "--seconds", "5", "--lpg-after", "-1"}, "--lpg-after: wartość -1 poza dozwolonym zakresem"},
        {{"check", "x.lpgd", "--tolerance", "nan"}, "--tolerance: potrzebna liczba od 0.1 do 50, podano nan"},
        {{"mode", "diesel"}, "mode wymaga jednego ze słów: petrol lpg auto"},
        {{"settings", "factory", "--dry-run"}, "zbędne lub nieznane słowo: --dry-run"},
        {{"version", "set", "--date", "01/04/2026", "--version", "5", "--injectors", "4"},
         "brak wymaganej opcji --identity"},
        {{"frobnicate"}, "nieznane polecenie frobnicate (zob. zefirelctl --help)"},
        {{"--json=1", "ports"}, "--json nie przyjmuje wartości"},
        {{"ports", "--port", "1"}, "wykluczają się: podaj tylko jedno z nich"},
        {{"--port", "x", "info"}, "--port: potrzebna liczba całkowita zapisana cyframi dziesiętnymi"},
        {{"--trace", "", "info"}, "--trace: potrzebna wartość"},
        {{"settings", "set", "frobnicate=1"}, "nieznane ustawienie frobnicate"},
        // The write needs the car data: the refusal says where they go.
        {{"autosetup"}, "podaj je opcją --car"},
    };
    for (const auto& k : cases) {
        std::vector<std::string> args = {"--device", sim.server.slavePath()};
        args.insert(args.end(), k.args.begin(), k.args.end());
        const RunResult r = run(CTL, args, scratchHome(home));
        EXPECT_EQ(r.rc, 2) << k.says;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_NE(r.err.find("zefirelctl: "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(k.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(sim.server.requestCount(), 0u);
}

TEST(CommandLine, APortNumberWithALeadingZeroIsDecimal) {
    // Port 10 leads to the controller, port 8 (010 read as octal) to nothing.
    CSimOnPty sim;
    ASSERT_TRUE(sim.opened);
    CScratchFolder home;
    std::vector<std::string> env = scratchHome(home);
    env.push_back("ZEFIREL_COM10=" + sim.server.slavePath());
    env.push_back("ZEFIREL_COM8=" + home.path() + "/none");
    const RunResult r = run(CTL, {"--port", "010", "info"}, env);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(run(CTL, {"--port", "0x0A", "info"}, env).rc, 2);
}

TEST(CommandLine, TheSimulatorListsItsOptionsByGroupAndRefusesBadOnes) {
    const RunResult help = run(SIM, {"--help"});
    EXPECT_EQ(help.rc, 0) << help.err;
    EXPECT_EQ(help.out.rfind("Usage: zefirel-sim [OPTIONS]\n", 0), 0u) << help.out;
    for (const char* text : {"The controller:\n  --identity TEXT", "The car:\n", "The line:\n", "Faults:\n",
                             "--bad-checksum-every N", "--injector-ms N:MS", "SIGUSR1"})
        EXPECT_NE(help.out.find(text), std::string::npos) << text;

    const std::pair<std::vector<std::string>, std::string> bad[] = {
        {{"--frobnicate"}, "--frobnicate"},
        {{"--injectors"}, "--injectors: 1 required N missing"},
        {{"--injectors", "9"}, "--injectors: needs a whole number from 1 to 8, got 9"},
        {{"--date", "2003-12-31"}, "--date: invalid value 2003-12-31"},
        {{"--verbose=yes"}, "verbose"},
        {{"--injectors", "010"}, "from 1 to 8, got 010"}, // ten, not octal eight
        {{"--idle-rpm", "nan"}, "--idle-rpm: needs a number from 300 to 3000, got nan"},
    };
    for (const auto& [args, says] : bad) {
        const RunResult r = run(SIM, args);
        EXPECT_EQ(r.rc, 2) << says;
        EXPECT_TRUE(r.out.empty()) << r.out << " (no terminal was opened)";
        EXPECT_EQ(r.err.rfind("zefirel-sim: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    }
}

} // namespace
} // namespace zefirel::test
