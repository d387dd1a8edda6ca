// The connection troubleshooter against the virtual controller and its faults, a
// port held by another program, and zefirelctl doctor as the installer runs it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "SimKit.h"
#include "link/ConnectionDoctor.h"
#include "diag/Diag.h"
#include "link/Conversions.h"
#include "link/LPGDevice.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::sim;
using namespace zefirel::test;

namespace {

PortCandidate candidate(const std::string& path, uint32_t number = 0) {
    PortCandidate c;
    c.path = path;
    c.portNumber = number;
    c.searched = number >= 1 && number <= 7;
    return c;
}

/// A program started in the background and killed at the end of the test.
class CChild {
public:
    CChild(const std::string& program, const std::vector<std::string>& args) {
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            if (const int nul = ::open("/dev/null", O_RDWR); nul >= 0) {
                ::dup2(nul, 0);
                ::dup2(nul, 1);
                ::dup2(nul, 2);
            }
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
    }
    ~CChild() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    pid_t pid() const { return m_pid; }
    /// Waits until the child runs the program named (its exec has happened).
    bool runs(const std::string& name) const {
        for (int i = 0; i < 200; ++i) {
            std::ifstream comm("/proc/" + std::to_string(m_pid) + "/comm");
            std::string got;
            if (std::getline(comm, got) && got == name)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

private:
    pid_t m_pid = -1;
};

} // namespace

TEST(ConnectionDoctor, SaysWhatIsWrongWithEachKindOfPort) {
    SimConfig other;
    other.versionWord = 6;
    other.identity = "INNY-6";
    other.timerFrequency = 20000;
    SimConfig closing;
    closing.faults.closeAfter = 1;
    CSimOnPty good, mute, garbage, dropping(closing), otherVersion(other);
    mute.server.setMuted(true);
    SimFaults noise;
    noise.garbageMs = 20;
    garbage.server.setMuted(true);
    garbage.server.setFaults(noise);

    struct Case {
        const char* what;
        std::string path;
        EPortVerdict verdict;
        const char* advice; ///< a part of what the installer is told
    } cases[] = {
        {"a controller of version 5", good.server.slavePath(), EPortVerdict::Ok, "odpowiada poprawnie"},
        {"no device there", "/dev/zefirel-no-such-port", EPortVerdict::Missing, "Takiego urządzenia nie ma"},
        {"a silent line", mute.server.slavePath(), EPortVerdict::Silent, "zapłon"},
        {"bytes that are no frame", garbage.server.slavePath(), EPortVerdict::NoValidFrame, "inna prędkość"},
        {"a line that closes", dropping.server.slavePath(), EPortVerdict::LineDropped, "luźny styk"},
        {"another version", otherVersion.server.slavePath(), EPortVerdict::OtherVersion, "w wersji 6 (INNY-6)"},
    };
    std::vector<PortCandidate> ports;
    for (const Case& k : cases)
        ports.push_back(candidate(k.path));
    std::vector<int> seen;
    const auto started = std::chrono::steady_clock::now();
    const DoctorReport report =
        CConnectionDoctor().run(ports, [&](int percent, const std::string&) { seen.push_back(percent); });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    ASSERT_EQ(report.ports.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(report.ports[i].verdict, cases[i].verdict) << verdictTitle(report.ports[i].verdict);
        EXPECT_NE(verdictAdvice(report.ports[i]).find(cases[i].advice), std::string::npos)
            << verdictAdvice(report.ports[i]);
    }
    const PortDiagnosis& ok = report.ports[0];
    EXPECT_EQ(ok.identity, "ZEFSIM-0000001");
    EXPECT_EQ(ok.version, 5u);
    EXPECT_EQ(ok.programmingDate, "16/03/2026");
    EXPECT_GT(report.ports[3].bytesReceived, 0u);
    // A few seconds per port at most, and progress from 0 to 100.
    EXPECT_LT(seconds, 4.0 * static_cast<double>(std::size(cases)));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);
    // The text for a support message names every port and the controller found.
    const std::string text = doctorReportText(report);
    EXPECT_NE(text.find(mute.server.slavePath() + " — Brak odpowiedzi"), std::string::npos) << text;
    EXPECT_NE(text.find("identyfikator ZEFSIM-0000001"), std::string::npos);
    EXPECT_NE(text.find("Znaleziono sterowników LPG: 1."), std::string::npos);
    // A controller looked at does not change how samples are read in this process.
    EXPECT_EQ(report.ports[5].timerFrequency, 20000u);
    EXPECT_DOUBLE_EQ(tickLength(), 0.025);
}

TEST(ConnectionDoctor, NamesTheProgramThatHoldsThePortAndKnowsItsOwn) {
    CSimOnPty sim;
    CScratchFolder home;
    // zefirelctl recording from the controller holds the port for its run.
    const CChild recorder(CTL, {"--device", sim.server.slavePath(), "record", home.path() + "/r.lpgd", "--seconds",
                                "30"});
    for (int i = 0; i < 400 && sim.server.requestCount() < 20; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(sim.server.requestCount(), 20u) << "the recorder did not start";
    const PortDiagnosis busy = CConnectionDoctor().diagnose(candidate(sim.server.slavePath(), 3));
    EXPECT_EQ(busy.verdict, EPortVerdict::Busy);
    ASSERT_FALSE(busy.holders.empty());
    EXPECT_EQ(busy.holders[0].pid, recorder.pid());
    EXPECT_EQ(busy.holders[0].name, "zefirelctl");
    EXPECT_NE(verdictAdvice(busy).find("zefirelctl (PID " + std::to_string(recorder.pid()) + ")"), std::string::npos)
        << verdictAdvice(busy);

    // A terminal program that only leaves a UUCP lock file is named too.
    CSimOnPty free;
    const CChild terminal("/bin/sleep", {"30"});
    ASSERT_TRUE(terminal.runs("sleep"));
    SurveyFolders folders;
    folders.lockDirs = {home.path()};
    const std::string pts = free.server.slavePath();
    std::ofstream(home.path() + "/LCK.." + pts.substr(pts.rfind('/') + 1)) << "      " << terminal.pid() << "\n";
    const PortDiagnosis locked = CConnectionDoctor(folders).diagnose(candidate(pts));
    EXPECT_EQ(locked.verdict, EPortVerdict::Busy);
    ASSERT_EQ(locked.holders.size(), 1u);
    EXPECT_EQ(locked.holders[0].name, "sleep");
    EXPECT_EQ(free.server.requestCount(), 0u); // nothing was sent to it

    // A port this program is connected through is named as such, not as busy, and
    // as a connection only while its controller answers: a pulled cable leaves the
    // port open but silent.
    CSimOnPty other;
    CSerialPort mine;
    mine.openPath(other.server.slavePath());
    for (const bool answers : {true, false}) {
        CConnectionDoctor doctor;
        doctor.setOwnLineCheck([answers](const std::string&) { return answers; });
        DoctorReport here = doctor.run({candidate(other.server.slavePath(), 1)});
        EXPECT_EQ(here.ports[0].verdict, EPortVerdict::InUseHere);
        const std::string text = doctorReportText(here);
        EXPECT_EQ(text.find("Ten program jest połączony ze sterownikiem (Port 1: ") != std::string::npos, answers) << text;
        EXPECT_EQ(text.find("ale sterownik na nim nie odpowiada") != std::string::npos, !answers) << text;
    }
    // Nobody to ask: holding the port is not reported as a connection.
    const std::string unknown = doctorReportText(CConnectionDoctor().run({candidate(other.server.slavePath(), 1)}));
    EXPECT_EQ(unknown.find("jest połączony"), std::string::npos) << unknown;
}

// Before the doctor opens a port it looks at who holds it: opening alone raises DTR
// and RTS, and root is let past another holder's exclusive mode. inotify sees every
// open of the device, also one that is closed at once.
TEST(ConnectionDoctor, NeverOpensAPortSomeoneHolds) {
    CScratchFolder locks;
    SurveyFolders folders;
    folders.lockDirs = {locks.path()};
    const CChild terminal("/bin/sleep", {"30"});
    ASSERT_TRUE(terminal.runs("sleep"));
    CSimOnPty lockedSim, mineSim;
    const std::string locked = lockedSim.server.slavePath(), own = mineSim.server.slavePath();
    std::ofstream(locks.path() + "/LCK.." + locked.substr(locked.rfind('/') + 1)) << "      " << terminal.pid() << "\n";
    CSerialPort mine; // this program's live port
    mine.openPath(own);

    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, locked.c_str(), IN_OPEN), 0);
    ASSERT_GE(::inotify_add_watch(watch, own.c_str(), IN_OPEN), 0);
    const DoctorReport report = CConnectionDoctor(folders).run({candidate(locked, 2), candidate(own, 3)});
    EXPECT_EQ(report.ports[0].verdict, EPortVerdict::Busy);
    EXPECT_EQ(report.ports[1].verdict, EPortVerdict::InUseHere);
    char events[4096];
    const ssize_t n = ::read(watch, events, sizeof events);
    ::close(watch);
    EXPECT_LE(n, 0) << "a held port was opened";
    EXPECT_EQ(lockedSim.server.requestCount() + mineSim.server.requestCount(), 0u);
}

// The probe reads the controller it looks at with a device object of its own: a
// controller of another timer frequency and sample layout changes nothing of how
// the samples of this process's own controller are read, not even for a moment.
TEST(ConnectionDoctor, TheProbeLeavesTheProcessTimerAndLayoutAlone) {
    SimConfig other;
    other.timerFrequency = 20000;
    other.featureMask |= FEATURE_EXTENDED_DIAG;
    CSimOnPty probed(other);
    const double tick = tickLength();
    const bool extended = CDiag::extendedLayout();
    std::atomic<bool> done{false}, changed{false};
    std::thread watcher([&] {
        while (!done.load()) {
            if (tickLength() != tick || CDiag::extendedLayout() != extended)
                changed.store(true);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const PortDiagnosis d = CConnectionDoctor().diagnose(candidate(probed.server.slavePath()));
    done.store(true);
    watcher.join();
    EXPECT_EQ(d.verdict, EPortVerdict::Ok);
    EXPECT_EQ(d.timerFrequency, 20000u);
    EXPECT_FALSE(changed.load()) << "the process-wide timer constants or sample layout changed during the probe";
}

TEST(ConnectionDoctor, CommandLineGoesThroughThePortsItSearches) {
    CSimOnPty sim;
    CScratchFolder home;
    std::vector<std::string> env = {"XDG_CONFIG_HOME=" + home.path() + "/config",
                                    "XDG_DATA_HOME=" + home.path() + "/data"};
    for (int n = 1; n <= 7; ++n)
        env.push_back("ZEFIREL_COM" + std::to_string(n) + "=" +
                      (n == 4 ? sim.server.slavePath() : home.path() + "/none" + std::to_string(n)));
    const RunResult text = run(CTL, {"doctor"}, env);
    EXPECT_EQ(text.rc, 0) << text.err;
    EXPECT_NE(text.out.find("Port 4: " + sim.server.slavePath() + " — OK"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Port 2: " + home.path() + "/none2 — Brak urządzenia"), std::string::npos);
    EXPECT_NE(text.out.find("Zmienna ZEFIREL_COM2 wskazuje urządzenie, którego nie ma."), std::string::npos);

    const RunResult json = run(CTL, {"--json", "--port", "4", "doctor"}, env);
    EXPECT_EQ(json.rc, 0) << json.err;
    EXPECT_NE(json.out.find("\"verdict\":\"ok\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"identity\":\"ZEFSIM-0000001\""), std::string::npos);

    // No controller anywhere: the exit status says so.
    sim.server.setMuted(true);
    const RunResult none = run(CTL, {"--port", "4", "doctor"}, env);
    EXPECT_EQ(none.rc, 1);
    EXPECT_NE(none.out.find("Nie znaleziono sterownika LPG na żadnym porcie."), std::string::npos) << none.out;
}
