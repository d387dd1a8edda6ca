// The automatic setup procedure against the virtual controller over a
// pseudo-terminal: it converges on the car's hidden LPG need, handles a first
// step that leaves the main correction too large or below zero, writes nothing
// after a Cancel, and ends promptly when stopped or when the line vanishes.
#include <gtest/gtest.h>

#ifdef ZEFIREL_HAVE_SIMLIB

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <future>

#include "AutoSetupKit.h"
#include "DiagTestKit.h"
#include "SimKit.h"
#include "autosetup/AutoSetup.h"
#include "diag/DeviceDoc.h"

using namespace zefirel;
using namespace zefirel::test;
using namespace zefirel::sim;

namespace {

class AutoSetupSim : public ::testing::Test {
protected:
    void TearDown() override {
        if (setup) setup->stop();
        if (running.valid()) running.wait_for(std::chrono::seconds(30));
        if (doc) {
            doc->stopDiagnostics();
            EXPECT_TRUE(doc->waitInputThread(3000));
        }
        sim.reset();
    }
    void start(double trueCorrection) {
        SimConfig cfg;
        cfg.trueCorrectionMs = trueCorrection;
        cfg.ambientC = 60; // a warm engine, as the procedure expects
        sim = std::make_unique<CSimOnPty>(cfg);
        ASSERT_TRUE(sim->opened);
        doc = std::make_unique<CQuickDoc>(&docHost);
        ASSERT_TRUE(doc->connectPath(sim->server.slavePath()));
        doc->setCarDataKnown(true);
        doc->startDiagnostics(scratch.path() + "/autosetup.lpgd");
        setup = std::make_shared<CAutoSetup>(*doc, host);
        setup->begin();
    }
    /// Runs the procedure on another thread, as the windowed program does.
    void runAsync() {
        running = std::async(std::launch::async, [this] { return setup->doWork(); });
    }
    /// The run took its failure end; then everything is closed for the next case.
    void expectFailureEndAndClose() {
        EXPECT_EQ(host->lines().back(), "Koniec");
        EXPECT_FALSE(setup->running());
        EXPECT_TRUE(host->startEnabled);
        EXPECT_FALSE(host->stopEnabled);
        TearDown();
        running = {};
        setup.reset();
        doc.reset();
    }
    /// Settings records the controller has received so far.
    size_t setupFrames() const {
        const auto all = sim->ctl.received();
        return static_cast<size_t>(
            std::count_if(all.begin(), all.end(), [](const SimRequest& r) { return r.type == MSG_TYPE_SETUP; }));
    }
    bool ended(int timeoutMs) {
        return running.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready;
    }

    CScratchFolder scratch;
    CThreadSafeHost docHost;
    std::shared_ptr<CAutoSetupTestHost> host = std::make_shared<CAutoSetupTestHost>();
    std::unique_ptr<CSimOnPty> sim;
    std::unique_ptr<CQuickDoc> doc;
    std::shared_ptr<CAutoSetup> setup;
    std::future<bool> running;
};

} // namespace

TEST_F(AutoSetupSim, ConvergesOnTheCarsNeed) {
    start(1.8);
    // Injectors 1 and 2 use a second correction of 2.0 ms before the run.
    EepromImage e = sim->ctl.eeprom();
    e[eeprom::SETUP + 23] = 80;
    e[eeprom::SETUP + 24] = 0x03;
    sim->ctl.setEeprom(e);
    EXPECT_TRUE(setup->doWork());
    EXPECT_TRUE(setup->succeeded());
    EXPECT_FALSE(setup->running());
    // From 1.0 ms the first step jumps to about 1.8; the residual steps find
    // (almost) nothing left, and the written value stays within two ticks.
    EXPECT_NEAR(sim->ctl.mainCorrectionMs(), 1.8, 0.05 + 1e-9);
    const std::vector<double> steps = setup->stepCorrections();
    ASSERT_EQ(steps.size(), 5u);
    EXPECT_NEAR(steps[0], 0.8, 0.05 + 1e-9);
    EXPECT_NEAR(setup->constantCorrection(), 0.0, 0.05 + 1e-9);
    // The second correction is dropped: every injector uses the main one.
    const auto record = sim->ctl.setupRecord();
    EXPECT_EQ(record[23], 40); // mainCorrection2 = the 1.0 ms read at the start
    EXPECT_EQ(record[24], 0);
    EXPECT_GT(doc->settings().reducerPressure(), 100.0);

    EXPECT_EQ(host->questions(), std::vector<std::string>{"Ustal wolne obroty"});
    EXPECT_TRUE(host->messages().empty()) << "1.8 ms is within the advised range";
    const auto lines = host->lines();
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(lines[0], std::string(82, '-'));
    EXPECT_EQ(lines[1].rfind("Czas rozpoczęcia: ", 0), 0u);
    EXPECT_EQ(lines[2], "Start");
    // The second correction made equal to the main one is said as written.
    EXPECT_EQ(lines[3], "Wpisano główną poprawkę 2 (= główna): 1 ms");
    const std::vector<std::string> step1(lines.begin() + 4, lines.begin() + 9);
    EXPECT_EQ(step1, (std::vector<std::string>{"----Krok 1----", "Przełączenie na benzynę...",
                                               "Start pomiaru czasu wtrysku benz.", "Pomiar...", lines[8]}));
    EXPECT_EQ(lines[8].rfind("Czas benzynowy = ", 0), 0u);
    EXPECT_TRUE(host->logged("Poprawka = " + streamNumber(steps[0]) + " ms"));
    EXPECT_TRUE(host->logged("----Krok 5----"));
    const std::vector<std::string> tail(lines.end() - 6, lines.end());
    EXPECT_EQ(tail,
              (std::vector<std::string>{
                  "---- Wyniki ----:", "Stała poprawka = " + streamNumber(setup->constantCorrection()) + " ms",
                  "Wpisanie wyliczonych ustawień...",
                  "Wpisano główną poprawkę: " + streamNumber(sim->ctl.mainCorrectionMs()) + " ms", "Koniec ustawiania",
                  std::string(82, '-')}))
        << "the six last lines";
}

TEST_F(AutoSetupSim, FirstStepRangeCheck) {
    struct Case {
        double need;
        const char* messageStart;
        bool continues;
        double mainAfterStep1;
    } cases[] = {
        {4.6,
         "Wyliczono zbyt dużą poprawkę.\nPoprawki powinny być z zakresu od 1.5ms do 2.5ms.\n"
         "Należy zmienić wtryskiwacze na większe.\n",
         true, 4.0},
        // Below zero nothing is written: the document keeps the controller's 1.0 ms.
        {-0.3, "Wyliczono zbyt małą poprawkę.\nPoprawki powinny być z zakresu od 1.5ms do 2.5ms.\n", false,
         1.0},
        {1.2, "Wyliczona poprawka: ", true, 1.2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.need);
        host = std::make_shared<CAutoSetupTestHost>();
        start(c.need);
        runAsync();
        // Stop once step 2 has begun: the check has been made by then.
        ASSERT_TRUE(waitFor([&] { return host->logged("----Krok 2----") || ended(0); }, 30000));
        const bool reachedStep2 = host->logged("----Krok 2----");
        setup->stop();
        ASSERT_TRUE(ended(5000));
        EXPECT_FALSE(running.get());
        EXPECT_EQ(reachedStep2, c.continues);
        const auto messages = host->messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].rfind(c.messageStart, 0), 0u) << messages[0];
        // The clamped values are exact; the advisory case keeps what it measured.
        const double tolerance = c.need == 1.2 ? 0.05 + 1e-9 : 1e-9;
        EXPECT_NEAR(doc->settings().mainCorrection(), c.mainAfterStep1, tolerance);
        // Only a continuing run writes the checked value; below zero nothing is written.
        EXPECT_NEAR(sim->ctl.mainCorrectionMs(), c.continues ? doc->settings().mainCorrection() : 1.0, 1e-9);
        if (c.need == 1.2) {
            EXPECT_EQ(messages[0], "Wyliczona poprawka: " + streamNumber(doc->settings().mainCorrection()) +
                                       " ms nie mieści się w zalecanym zakresie od 1.5ms do 2.5ms.");
        }
        expectFailureEndAndClose();
    }
}

// A car whose need moves after the first step: the later steps pull the final
// correction out of what the controller can hold. The write path refuses it (an
// encoder that wrapped would send -0.3 ms as 6.175 ms and 7 ms as 0.6 ms), the
// log says why, and the controller keeps the first step's value.
TEST_F(AutoSetupSim, AFinalCorrectionOutOfRangeIsRefusedAndNothingIsSent) {
    struct Case {
        double firstNeed, laterNeed, afterStep1;
    } cases[] = {{0.1, -0.3, 0.1}, {4.6, 7.0, 4.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.laterNeed);
        host = std::make_shared<CAutoSetupTestHost>();
        start(c.firstNeed);
        runAsync();
        ASSERT_TRUE(waitFor([&] { return host->logged("----Krok 2----") || ended(0); }, 30000));
        ASSERT_TRUE(host->logged("----Krok 2----"));
        EXPECT_NEAR(sim->ctl.mainCorrectionMs(), c.afterStep1, 0.05 + 1e-9);
        const double written = sim->ctl.mainCorrectionMs();
        sim->ctl.setTrueCorrectionMs(c.laterNeed);
        const size_t setupFramesBefore = setupFrames();
        ASSERT_TRUE(ended(120000));
        EXPECT_FALSE(running.get());
        EXPECT_FALSE(setup->succeeded());
        EXPECT_TRUE(host->logged("Błędna wartość głównej poprawki"));
        EXPECT_TRUE(host->logged("Błąd - Nie powiodło się wpisanie ustawień do urządzenia!"));
        EXPECT_FALSE(host->logged("Koniec ustawiania"));
        EXPECT_EQ(setupFrames(), setupFramesBefore) << "a settings record was sent";
        EXPECT_DOUBLE_EQ(sim->ctl.mainCorrectionMs(), written);
        EXPECT_DOUBLE_EQ(doc->settings().mainCorrection(), doc->lastControllerSettings().mainCorrection());
        expectFailureEndAndClose();
    }
}

TEST_F(AutoSetupSim, CancelAtTheIdleQuestionWritesNothing) {
    start(1.8);
    host->answer = false;
    EXPECT_FALSE(setup->doWork());
    const auto lines = host->lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "Start");
    EXPECT_EQ(lines[3], "Koniec");
    // The settings were neither read nor written.
    EXPECT_FALSE(doc->controllerSettingsKnown());
    EXPECT_TRUE(setup->stepCorrections().empty());
    EXPECT_FALSE(setup->succeeded());
    EXPECT_FALSE(setup->running());
}

TEST_F(AutoSetupSim, StopOrAVanishedLineEndsTheRun) {
    for (bool vanish : {false, true}) {
        SCOPED_TRACE(vanish ? "line closed" : "stopped");
        host = std::make_shared<CAutoSetupTestHost>();
        start(1.8);
        runAsync();
        ASSERT_TRUE(waitFor([&] { return host->logged("----Krok 2----"); }, 30000));
        if (vanish)
            sim->server.closeLine();
        else
            setup->stop();
        // A stop is seen at the next wait round; a vanished line ends polling after
        // its failed polls, and the wait for samples gives up with it.
        ASSERT_TRUE(ended(vanish ? 20000 : 1000));
        EXPECT_FALSE(running.get());
        EXPECT_FALSE(setup->succeeded());
        // A stop is said as such, above "Koniec"; a vanished line is no stop.
        EXPECT_EQ(host->logged(AUTOSETUP_STOPPED), !vanish);
        expectFailureEndAndClose();
    }
}

namespace {

const char* const CAR = "--car=Opel;Astra;1600;101;2003;4;";

/// The JSON number array after "key":[ (empty when the key is missing).
std::vector<double> jsonNumbers(const std::string& json, const std::string& key) {
    std::vector<double> out;
    size_t pos = json.find("\"" + key + "\":[");
    if (pos == std::string::npos) return out;
    pos += key.size() + 4;
    while (pos < json.size() && json[pos] != ']') {
        char* end = nullptr;
        out.push_back(std::strtod(json.c_str() + pos, &end));
        pos = static_cast<size_t>(end - json.c_str());
        if (pos < json.size() && json[pos] == ',') ++pos;
    }
    return out;
}

} // namespace

TEST(AutoSetupCtl, WritesTheComputedCorrection) {
    SimConfig cfg;
    cfg.ambientC = 60;
    cfg.trueCorrectionMs = 1.8;
    CSimOnPty line(cfg);
    ASSERT_TRUE(line.opened);
    CScratchFolder scratch;
    const std::string rec = scratch.path() + "/setup.lpgd";
    const RunResult r =
        run(CTL, {"--device", line.server.slavePath(), CAR, "--json", "autosetup", "--yes", "--record", rec});
    ASSERT_EQ(r.rc, 0) << r.err << r.out;
    EXPECT_EQ(r.out.rfind("{\"succeeded\":true,\"constantCorrection\":", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\"log\":[\"" + std::string(82, '-') + "\",\"Czas rozpoczęcia: "),
              std::string::npos);
    EXPECT_NE(r.out.find("\"Koniec ustawiania\""), std::string::npos);
    EXPECT_NE(r.err.find("Ustal wolne obroty"), std::string::npos) << "the question is shown";
    const std::vector<double> steps = jsonNumbers(r.out, "steps");
    ASSERT_EQ(steps.size(), 5u) << r.out;
    EXPECT_NEAR(steps[0], 0.8, 0.05 + 1e-9);
    EXPECT_NEAR(line.ctl.mainCorrectionMs(), 1.8, 0.05 + 1e-9);
    const size_t main = r.out.find("\"mainCorrection\":");
    ASSERT_NE(main, std::string::npos);
    EXPECT_DOUBLE_EQ(std::strtod(r.out.c_str() + main + 17, nullptr), line.ctl.mainCorrectionMs());
    // The recording asked for stays, with the settings written in its companion.
    EXPECT_GT(readBytes(rec).size(), 0u);
    EXPECT_GT(readBytes(rec + "-config").size(), 0u);
}

TEST(AutoSetupCtl, InterruptStopsTheRunAtItsNextWait) {
    SimConfig cfg;
    cfg.ambientC = 60;
    CSimOnPty line(cfg);
    ASSERT_TRUE(line.opened);
    std::vector<std::string> words{CTL, "--device", line.server.slavePath(), CAR, "autosetup", "--yes"};
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        if (const int nul = ::open("/dev/null", O_RDWR); nul >= 0) {
            ::dup2(nul, 0);
            ::dup2(nul, 2);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    bool interrupted = false;
    char buf[4096];
    pollfd p{out[0], POLLIN, 0};
    while (::poll(&p, 1, 20000) > 0) {
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
        // Interrupted while it waits after the first switch to petrol.
        if (!interrupted && text.find("Start pomiaru czasu wtrysku benz.\n") != std::string::npos) {
            ::kill(pid, SIGINT);
            interrupted = true;
        }
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(interrupted) << text;
    ASSERT_TRUE(WIFEXITED(status)) << "Ctrl+C stops the run, not the program";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(text.substr(text.size() - 7), "Koniec\n") << text;
    EXPECT_EQ(text.find("----Krok 2----"), std::string::npos);
    EXPECT_DOUBLE_EQ(line.ctl.mainCorrectionMs(), 1.0) << "no correction was written";
}

TEST(AutoSetupCtl, CancelAndBadUsage) {
    SimConfig cfg;
    cfg.ambientC = 60;
    CSimOnPty line(cfg);
    ASSERT_TRUE(line.opened);
    const auto before = line.ctl.setupRecord();
    const std::string dev = line.server.slavePath();
    // Without --yes the question is read from standard input: no answer is Cancel.
    const RunResult cancel = run(CTL, {"--device", dev, CAR, "autosetup"});
    EXPECT_EQ(cancel.rc, 1) << cancel.err;
    EXPECT_NE(cancel.out.find("Start\nKoniec\n"), std::string::npos) << cancel.out;
    struct Case {
        std::vector<std::string> args;
        const char* why;
    } usage[] = {
        {{"--device", dev, "autosetup", "--yes"}, "no car data"},
        {{"--device", dev, CAR, "autosetup", "--record"}, "--record without a file"},
        {{"--device", dev, CAR, "autosetup", "now"}, "a stray word"},
    };
    for (const Case& c : usage)
        EXPECT_EQ(run(CTL, c.args).rc, 2) << c.why;
    EXPECT_EQ(line.ctl.setupRecord(), before) << "nothing was written";
}

#endif
