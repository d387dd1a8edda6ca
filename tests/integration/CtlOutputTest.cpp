// What zefirelctl prints besides its results: progress in a pipe and on a
// terminal, failures as JSON under --json, and a port another program holds.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <thread>

#include "SimKit.h"
#include "support/TestDevice.h"

namespace zefirel::test {
namespace {

/// A virtual controller in this process, with the program's folders in a scratch folder.
struct CtlOnPty : CSimOnPty {
    std::vector<std::string> env() const {
        return {"XDG_CONFIG_HOME=" + home.path() + "/config", "XDG_DATA_HOME=" + home.path() + "/data"};
    }
    std::vector<std::string> line(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--device", server.slavePath()});
        return args;
    }
    RunResult operator()(const std::vector<std::string>& args) const { return run(CTL, line(args), env()); }
    std::string file(const std::string& name) const { return home.path() + "/" + name; }

    CScratchFolder home;
};

/// Runs zefirelctl with its standard error on a terminal (a pty); returns what the
/// terminal received.
std::string stderrOnTerminal(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return {};
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    const int nul = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t pid = spawn(CTL, args, env, nul, slave);
    ::close(slave);
    ::close(nul);
    std::string seen;
    pollfd fd{master, POLLIN, 0};
    char buf[4096];
    ssize_t n = 0;
    // The child's end closing shows as an error on the master's side.
    while (::poll(&fd, 1, 20000) > 0 && (n = ::read(master, buf, sizeof buf)) > 0)
        seen.append(buf, static_cast<size_t>(n));
    ::close(master);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return seen;
}

TEST(CtlOutput, ProgressIsALineAStepInAPipeAndOneLineRewrittenOnATerminal) {
    CtlOnPty c;
    ASSERT_TRUE(c.opened);
    const RunResult piped = c({"eeprom", "read", c.file("a.eeprom")});
    ASSERT_EQ(piped.rc, 0) << piped.err;
    EXPECT_EQ(piped.err.find('\r'), std::string::npos) << piped.err;
    std::istringstream lines(piped.err);
    int steps = 0;
    for (std::string l; std::getline(lines, l);) {
        if (l.rfind("EEPROM", 0) != 0) continue;
        EXPECT_TRUE(std::regex_match(l, std::regex("EEPROM [0-9]+%"))) << "one step a line: " << l;
        ++steps;
    }
    EXPECT_GE(steps, 5) << piped.err;

    const std::string shown = stderrOnTerminal(c.line({"eeprom", "read", c.file("b.eeprom")}), c.env());
    const size_t first = shown.find("EEPROM "), last = shown.rfind('%');
    ASSERT_NE(first, std::string::npos) << shown;
    ASSERT_NE(last, std::string::npos) << shown;
    const std::string rewritten = shown.substr(first, last - first);
    EXPECT_EQ(rewritten.find('\n'), std::string::npos) << "every step on the one line: " << shown;
    EXPECT_GE(std::count(rewritten.begin(), rewritten.end(), '\r'), 4) << shown;
    EXPECT_NE(shown.find('\n', last), std::string::npos) << "the line is ended when the read is done";
}

/// The one JSON value a --json run printed, or null when it printed something else.
nlohmann::json onlyValue(const std::string& out) {
    if (out.empty() || out.back() != '\n' || out.find('\n') != out.size() - 1)
        return nullptr;
    return nlohmann::json::parse(out, nullptr, false);
}

TEST(CtlOutput, WithJsonAFailureIsAnErrorObjectWithItsMessageAndExitCode) {
    CtlOnPty c;
    ASSERT_TRUE(c.opened);
    const struct {
        std::vector<std::string> args;
        int rc;
        std::string says;
    } cases[] = {
        {{"--json", "frobnicate"}, 2, "nieznane polecenie frobnicate"},
        {{"--json", "record", "x.lpgd", "--seconds"}, 2, "--seconds: brak wartości S"},
        {{"--json", "settings", "set", "nope=1"}, 2, "nieznane ustawienie nope"},
        {{"--json", "settings", "set", "mainCorrection=2"}, 2, "--car"},
        {{"--json", "--car=Opel;Astra;;101;2003;4;", "info"}, 2, "Brak danych"},
        {{"--json", "replay", c.file("none.lpgd")}, 1, "Nie można"},
    };
    for (const auto& k : cases) {
        const RunResult r = c(k.args);
        EXPECT_EQ(r.rc, k.rc) << k.says << r.err;
        const nlohmann::json v = onlyValue(r.out);
        ASSERT_TRUE(v.is_object()) << k.says << ": " << r.out;
        EXPECT_EQ(v.value("exitCode", -1), k.rc) << r.out;
        EXPECT_NE(v.value("error", std::string()).find(k.says), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(k.says), std::string::npos) << "the text stays on standard error: " << r.err;
    }
    // A result is still the only output of a command that succeeds.
    const RunResult ok = c({"--json", "sequence"});
    EXPECT_EQ(ok.rc, 0) << ok.err;
    EXPECT_FALSE(onlyValue(ok.out).contains("error")) << ok.out;

    c.server.setMuted(true);
    const RunResult silent = c({"--json", "info"});
    EXPECT_EQ(silent.rc, 1);
    EXPECT_EQ(onlyValue(silent.out), nlohmann::json({{"error", "Nie można nawiązać komunikacji z urządzeniem LPG"},
                                                     {"exitCode", 1}}))
        << silent.out;
}

TEST(CtlOutput, APortAnotherProgramHoldsIsSaidAsSuchWithItsHolder) {
    CtlOnPty c;
    ASSERT_TRUE(c.opened);
    // One zefirelctl records for a while and holds the port all that time.
    const int nul = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t holder =
        spawn(CTL, c.line({"record", c.file("drive.lpgd"), "--seconds", "4"}), c.env(), nul, nul);
    ::close(nul);
    for (int i = 0; i < 250 && c.server.requestCount() < 5; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_GE(c.server.requestCount(), 5u) << "the recording has begun";

    const RunResult r = c({"info"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("Port zajęty przez inny program: " + c.server.slavePath()), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("zefirelctl (PID " + std::to_string(holder) + ")"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Nie można nawiązać komunikacji"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("(PID "), r.err.rfind("(PID ")) << "the simulator serving the terminal is no holder: " << r.err;

    int status = 0;
    ::waitpid(holder, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the holder's run is not disturbed";
}

} // namespace
} // namespace zefirel::test
