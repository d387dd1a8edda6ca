#pragma once
/// CAutoSetup: the automatic setup procedure. With the engine idling it switches
/// the controller to petrol and to LPG five times, measures the petrol computer's
/// injection time on both fuels, adds the first difference to the main correction
/// at once, filters the five differences and adds their mean, then writes the
/// result to the controller. It talks to its user only through IAutoSetupHost (log
/// lines, a question, messages, the Start/Stop buttons), so the windowed view, the
/// step-by-step wizard and the command line run the same code.
///
/// Threads: doWork() runs on a worker thread (CAutoSetupThread) or on the calling
/// thread; any other thread may stop it with stop(). The host is called from the
/// thread that runs doWork(). Running, succeeded and the constant correction are
/// atomics; the step corrections are read under a lock.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "autosetup/AutoSetupMath.h"
#include "link/SettingsBlock.h"
#include "link/Threads.h"

namespace zefirel {

class CDeviceDoc;

/// What the procedure needs from whoever shows it.
class IAutoSetupHost {
public:
    virtual ~IAutoSetupHost() = default;
    /// Appends one line to the log.
    virtual void addLogLine(const std::string& text) = 0;
    /// Asks with OK and Cancel (information icon); true for OK.
    virtual bool askUser(const std::string& text) = 0;
    /// Shows a message with an OK button and waits until it is closed.
    virtual void showMessage(const std::string& text) = 0;
    /// Enables or disables the Start and the Stop button.
    virtual void enableStart(bool /*on*/) {}
    virtual void enableStop(bool /*on*/) {}
};

// Texts of the procedure.
inline constexpr const char* AUTOSETUP_ASK_IDLE = "Ustal wolne obroty";
inline constexpr const char* AUTOSETUP_END = "Koniec";
inline constexpr const char* AUTOSETUP_ERR_THREAD = "Błąd - Nie udało się uruchomić procedury.";
/// Asked before a run goes out of sight (its pane hidden, the window closed).
inline constexpr const char* AUTOSETUP_STOP_QUESTION = "Trwa automatyczne ustawianie. Czy chcesz je przerwać?";
inline constexpr const char* AUTOSETUP_DONE = "Koniec ustawiania";
/// Logged before "Koniec" when the run ended because it was asked to stop.
inline constexpr const char* AUTOSETUP_STOPPED = "Ustawianie zatrzymane.";
/// The status bar's word on "Zatrzymaj".
inline constexpr const char* AUTOSETUP_STOPPED_NOTICE =
    "Automatyczne ustawianie zatrzymane; ustawienia wpisane wcześniej pozostają w sterowniku.";
/// The log line of a written main correction ("Wpisano główną poprawkę: 1.8 ms").
std::string writtenCorrectionLine(double ms);
/// The log line of "Główna poprawka 2" made equal to the main correction.
std::string writtenCorrection2Line(double ms);
inline constexpr const char* AUTOSETUP_ERR_READ = "Błąd - Nie powiodło się wczytanie ustawień z urządzenia!";
inline constexpr const char* AUTOSETUP_ERR_WRITE = "Błąd - Nie powiodło się wpisanie ustawień do urządzenia!";
inline constexpr const char* AUTOSETUP_ERR_PETROL = "Błąd - Nie można przełączyć na benzynę!";
inline constexpr const char* AUTOSETUP_ERR_LPG = "Błąd - Nie można przełączyć na LPG!";
inline constexpr const char* AUTOSETUP_ERR_MEASURE = "Błąd - Nie można pobrać czasu wtr. benzynowego!";
inline constexpr const char* AUTOSETUP_ERR_HEADLINE = "Błąd wykonania procedury autoustawiania";
inline constexpr const char* AUTOSETUP_CAR_DATA_MISSING =
    "Musisz podać dane dotyczące samochodu i zamontowanej instalacji";
/// The line that opens every run and closes a successful one: 82 hyphens.
std::string autoSetupRule();

/// Lowest and highest main correction the first step may leave, and the range
/// the installer is advised to stay in.
inline constexpr double MAIN_CORRECTION_FLOOR = 0.0;
inline constexpr double MAIN_CORRECTION_CEILING = 4.0;
inline constexpr double ADVISED_LOW = 1.5;
inline constexpr double ADVISED_HIGH = 2.5;
/// Samples averaged by one measurement, and the pause of one wait round.
inline constexpr int MEASURE_SAMPLES = 40;
inline constexpr int WAIT_ROUND_MS = 50;
/// Number of switch-over steps.
inline constexpr int AUTOSETUP_STEPS = 5;

class CAutoSetup {
public:
    CAutoSetup(CDeviceDoc& doc, std::shared_ptr<IAutoSetupHost> host);

    /// What a starter does before it runs the procedure: the reject limit back to
    /// 10, Start disabled, Stop enabled, the start lines (the hyphen line, the start
    /// time "Czas rozpoczęcia: %d-%m:%Y %H:%M:%S" and "Start") and running set.
    void begin();
    /// Runs the whole procedure on the calling thread; true only when the computed
    /// correction was written. Error objects and other exceptions are caught and
    /// shown, and the run then ends as a failure.
    bool doWork();
    /// Starts doWork() on a worker thread of the thread registry. When no thread can
    /// be started the run ends as a failure and the error (std::system_error)
    /// passes to the caller.
    static void startThread(const std::shared_ptr<CAutoSetup>& setup);

    /// Asks the run to end at its next wait round (the Stop button, Ctrl+C,
    /// closing the document). Safe from any thread and from a signal handler.
    void stop() {
        m_stopAsked.store(true, std::memory_order_relaxed);
        m_running.store(false, std::memory_order_relaxed);
    }
    bool running() const { return m_running.load(std::memory_order_relaxed); }
    void setRunning(bool on) { m_running.store(on, std::memory_order_relaxed); }
    bool succeeded() const { return m_succeeded.load(std::memory_order_relaxed); }
    /// The mean correction of the last successful run ("Stała poprawka"); 0 otherwise.
    double constantCorrection() const { return m_constantCorrection.load(std::memory_order_relaxed); }
    double rejectLimit() const { return m_rejectLimit.load(std::memory_order_relaxed); }
    void setRejectLimit(double limit) { m_rejectLimit.store(limit, std::memory_order_relaxed); }
    /// The corrections of the steps done so far in this run, in step order.
    std::vector<double> stepCorrections() const;
    /// Whether a worker thread started by startThread() is still inside doWork().
    bool threadActive() const { return m_threadActive.load(); }
    /// Waits up to timeoutMs for that thread to finish; true when none runs.
    bool waitThread(int timeoutMs) const;

    IAutoSetupHost& host() { return *m_host; }
    CDeviceDoc& document() { return m_doc; }

private:
    /// How a wait for samples ended.
    enum class EWait { Done, Stopped, NoSamples };
    friend class CAutoSetupThread;

    bool run();
    bool fail();
    /// Log the line, then take the failure end.
    bool fail(const char* line);
    EWait waitForSamples(int n);
    EWait measureInjection(double& meanTimeMs, double& meanPressureCode);
    /// The step-1 range check of the new main correction; false ends the run.
    bool checkFirstStep(CSettingsBlock& s);
    /// Writes a record through the document's one write path; on a refusal or a
    /// failure its reason goes in the log and false comes back.
    bool writeRecord(const CSettingsBlock& record, CSettingsBlock* written = nullptr);
    bool step(int k, int settle);
    /// Appends a line to the host's log and to this run's copy of it.
    void log(const std::string& line);
    /// doWork() without keeping the run in the car's history.
    bool workCaught();
    void showCaught(const std::string& where, const std::string& description);

    CDeviceDoc& m_doc;
    std::shared_ptr<IAutoSetupHost> m_host;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_succeeded{false};
    std::atomic<bool> m_stopAsked{false}; ///< stop() was called since begin()
    std::atomic<double> m_constantCorrection{0.0};
    std::atomic<double> m_rejectLimit{DEFAULT_REJECT_LIMIT};
    std::atomic<bool> m_threadActive{false};
    mutable std::mutex m_logLock;
    std::string m_runLog; ///< the lines logged since begin(), guarded by m_logLock
    mutable std::mutex m_stepsLock;
    std::vector<double> m_steps; ///< guarded by m_stepsLock
};

/// The worker thread of the procedure: runs doWork() once. What escapes it is
/// shown as "CAutoSetupThread::doWork()" with its description.
class CAutoSetupThread : public CSThread {
public:
    explicit CAutoSetupThread(std::shared_ptr<CAutoSetup> setup) : m_setup(std::move(setup)) {}
    void run() override;
    /// No thread could be started: the run begun for it ends as a failed run (the
    /// running flag drops, Start comes back), or it would stay "running" for good.
    void onStartFailed() override;

private:
    std::shared_ptr<CAutoSetup> m_setup;
};

} // namespace zefirel
