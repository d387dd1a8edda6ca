// zefirelctl autosetup: the automatic setup procedure from the command line. It
// polls the controller (into --record FILE, or a temporary recording removed at
// the end), runs the same procedure as the windowed program and prints its log
// as it goes. Ctrl+C stops it at its next wait, as the Stop button does.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "CtlCli.h"
#include "autosetup/AutoSetup.h"
#include "support/Error.h"

namespace zefirel::ctl {

namespace {

/// The procedure the interrupt handler stops (null outside a run).
std::atomic<CAutoSetup*> g_running{nullptr};

void onInterrupt(int) {
    if (CAutoSetup* s = g_running.load()) s->stop();
}

/// While alive, Ctrl+C stops the procedure instead of ending the program; a
/// second Ctrl+C ends it as usual. No restart of interrupted calls, so a pending
/// answer to the question is cancelled too.
class CInterruptStops {
public:
    explicit CInterruptStops(CAutoSetup& setup) {
        g_running.store(&setup);
        struct sigaction sa {};
        sa.sa_handler = onInterrupt;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESETHAND;
        ::sigaction(SIGINT, &sa, &m_previous);
    }
    ~CInterruptStops() {
        ::sigaction(SIGINT, &m_previous, nullptr);
        g_running.store(nullptr);
    }
    CInterruptStops(const CInterruptStops&) = delete;
    CInterruptStops& operator=(const CInterruptStops&) = delete;

private:
    struct sigaction m_previous {};
};

/// The procedure's user on a terminal: log lines on standard output as they come
/// (kept for --json instead), messages on standard error, the question answered
/// on standard input unless --yes.
class CCtlAutoSetupHost : public IAutoSetupHost {
public:
    CCtlAutoSetupHost(CCtlContext& ctx, bool yes) : m_ctx(ctx), m_yes(yes) {}

    void addLogLine(const std::string& text) override {
        m_log.push_back(text);
        if (!m_ctx.jsonOutput()) {
            m_ctx.out(text);
            std::fflush(stdout);
        }
    }
    bool askUser(const std::string& text) override {
        if (m_yes) {
            m_ctx.message(text);
            return true;
        }
        std::fprintf(stderr, "%s [Enter = OK, n = Anuluj]: ", text.c_str());
        std::fflush(stderr);
        std::string answer;
        char c = 0;
        for (;;) {
            const ssize_t n = ::read(STDIN_FILENO, &c, 1);
            if (n <= 0) { // end of input or Ctrl+C: Cancel
                std::fputc('\n', stderr);
                return false;
            }
            if (c == '\n') break;
            answer += c;
        }
        return answer.empty() || answer == "ok" || answer == "OK" || answer == "y" || answer == "t";
    }
    void showMessage(const std::string& text) override { m_ctx.message(text); }

    const std::vector<std::string>& log() const { return m_log; }

private:
    CCtlContext& m_ctx;
    bool m_yes;
    std::vector<std::string> m_log;
};

/// A fresh temporary folder for the recording; empty when none can be made.
std::string temporaryFolder() {
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "zefirel-autosetup-XXXXXX").string();
    return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

struct AutoSetupOptions {
    std::string record; ///< empty: a temporary recording
    bool yes = false;
};

int runAutoSetup(CCtlContext& ctx, const AutoSetupOptions& o) {
    const std::string& record = o.record;
    const bool haveRecord = !record.empty(), answerYes = o.yes;
    // The procedure writes settings, which needs the car data: without --car
    // nothing is sent.
    if (!ctx.options().haveCar) {
        return ctx.carDataNeeded(AUTOSETUP_CAR_DATA_MISSING);
    }
    if (const int rc = ctx.connect(); rc != EXIT_OK) return rc;
    CDeviceDoc& dev = ctx.device();
    if (!dev.ensureCarData()) {
        ctx.message(AUTOSETUP_CAR_DATA_MISSING);
        return EXIT_FAILED;
    }
    const std::string tempFolder = haveRecord ? std::string() : temporaryFolder();
    const std::string file = haveRecord           ? record
                             : tempFolder.empty() ? std::string()
                                                  : tempFolder + "/autosetup.lpgd";
    if (file.empty()) {
        ctx.message("Nie można utworzyć pliku diagnostycznego");
        return EXIT_FAILED;
    }

    auto host = std::make_shared<CCtlAutoSetupHost>(ctx, answerYes);
    auto setup = std::make_shared<CAutoSetup>(dev, host);
    bool ok = false;
    {
        // The polling thread keeps Ctrl+C blocked, so it reaches this thread and
        // interrupts a pending answer to the question.
        sigset_t interrupt, previous;
        sigemptyset(&interrupt);
        sigaddset(&interrupt, SIGINT);
        ::pthread_sigmask(SIG_BLOCK, &interrupt, &previous);
        try {
            dev.startDiagnostics(file);
        } catch (IError* e) {
            ctx.message(adoptError(e)->format());
        }
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    if (!dev.diagnosticsOn()) { // no recording could be started: no samples to measure
        std::error_code ec;
        if (!tempFolder.empty()) std::filesystem::remove_all(tempFolder, ec);
        return EXIT_FAILED;
    }
    {
        CInterruptStops interrupts(*setup);
        setup->begin();
        ok = setup->doWork();
    }
    dev.stopDiagnostics();
    dev.waitInputThread(CLOSE_WAIT_MS);
    if (!haveRecord) {
        std::error_code ec;
        std::filesystem::remove_all(tempFolder, ec);
    }

    if (ctx.jsonOutput()) {
        // What the controller holds now (null when its settings were never read).
        const double main = dev.controllerSettingsKnown() ? dev.lastControllerSettings().mainCorrection()
                                                          : std::numeric_limits<double>::quiet_NaN();
        CJsonWriter w;
        w.beginObject()
            .key("succeeded")
            .value(ok)
            .key("constantCorrection")
            .value(setup->constantCorrection())
            .key("mainCorrection")
            .value(main)
            .key("steps")
            .beginArray();
        for (double d : setup->stepCorrections())
            w.value(d);
        w.endArray().key("log").beginArray();
        for (const std::string& line : host->log())
            w.value(line);
        ctx.json(w.endArray().endObject());
    }
    return ok ? EXIT_OK : EXIT_FAILED;
}

CtlRunner declareAutoSetup(CLI::App& cmd) {
    auto o = std::make_shared<AutoSetupOptions>();
    cmd.add_option("--record", o->record, "keep the recording the procedure measures in FILE")
        ->type_name("FILE")
        ->check(nonEmpty());
    cmd.add_flag("--yes", o->yes, "answer the procedure's question with OK instead of asking")
        ->disable_flag_override();
    return [o](CCtlContext& ctx) { return runAutoSetup(ctx, *o); };
}

const CCtlRegistration reg{
    {"autosetup", "[--car DATA] autosetup [--record FILE] [--yes]",
     "compute and write the main LPG correction from five petrol/LPG switch-overs at idle",
     declareAutoSetup}};

} // namespace

} // namespace zefirel::ctl
