#include "autosetup/AutoSetup.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>

#include "diag/DeviceDoc.h"
#include "link/Conversions.h"
#include "support/Error.h"

namespace zefirel {

namespace {

constexpr const char* MSG_TOO_SMALL =
    "Wyliczono zbyt małą poprawkę.\n"
    "Poprawki powinny być z zakresu od 1.5ms do 2.5ms.\n"
    "Aby poprawnie ustawić sterownik spróbuj wykonać nastepujące czynności:\n"
    "-zmienić wtryskiwacze na mniejsze lub \n"
    "-obniżyć cisnienie reduktora\n";
constexpr const char* MSG_TOO_LARGE = "Wyliczono zbyt dużą poprawkę.\n"
                                      "Poprawki powinny być z zakresu od 1.5ms do 2.5ms.\n"
                                      "Należy zmienić wtryskiwacze na większe.\n";

std::string ms(double v) {
    return streamNumber(quantizeMs(v));
}

} // namespace

std::string writtenCorrectionLine(double ms) { return "Wpisano główną poprawkę: " + streamNumber(ms) + " ms"; }

std::string writtenCorrection2Line(double ms) {
    return "Wpisano główną poprawkę 2 (= główna): " + streamNumber(ms) + " ms";
}

std::string autoSetupRule() {
    return std::string(82, '-');
}

CAutoSetup::CAutoSetup(CDeviceDoc& doc, std::shared_ptr<IAutoSetupHost> host)
    : m_doc(doc), m_host(std::move(host)) {}

std::vector<double> CAutoSetup::stepCorrections() const {
    std::lock_guard<std::mutex> g(m_stepsLock);
    return m_steps;
}

void CAutoSetup::log(const std::string& line) {
    {
        std::lock_guard<std::mutex> g(m_logLock);
        m_runLog += line;
        m_runLog += '\n';
    }
    m_host->addLogLine(line);
}

void CAutoSetup::begin() {
    {
        std::lock_guard<std::mutex> g(m_logLock);
        m_runLog.clear();
    }
    setRejectLimit(DEFAULT_REJECT_LIMIT);
    m_stopAsked.store(false);
    m_host->enableStart(false);
    m_host->enableStop(true);
    log(autoSetupRule());
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[64] = {};
    std::strftime(stamp, sizeof stamp, "Czas rozpoczęcia: %d-%m:%Y %H:%M:%S", &local);
    log(stamp);
    log("Start");
    setRunning(true);
}

bool CAutoSetup::doWork() {
    const bool ok = workCaught();
    // The run, done or not, goes into the car's history with its log.
    if (IWriteJournal* journal = m_doc.writeJournal()) {
        std::string runLog;
        {
            std::lock_guard<std::mutex> g(m_logLock);
            runLog = m_runLog;
        }
        journal->recordAutoSetup(m_doc.settings(), ok, runLog);
    }
    return ok;
}

bool CAutoSetup::workCaught() {
    const char* where = "CAutoSetupView::doWork()";
    try {
        return run();
    } catch (IError* e) {
        const std::unique_ptr<IError> owned = adoptError(e);
        showCaught(where, owned->format());
    } catch (...) {
        showCaught(where, "catch(...)");
    }
    // The run is over whatever was thrown (a vanished serial line, most often):
    // it ends like any failed run, so the buttons and the running flag do not
    // claim a run that no longer exists.
    return fail();
}

void CAutoSetup::showCaught(const std::string& where, const std::string& description) {
    m_host->showMessage(std::string(AUTOSETUP_ERR_HEADLINE) + "\nSzczegóły: " + where + "\n" + description);
}

void CAutoSetup::startThread(const std::shared_ptr<CAutoSetup>& setup) {
    setup->m_threadActive.store(true);
    CLPGThreadManager::instance().insert(new CAutoSetupThread(setup));
}

bool CAutoSetup::waitThread(int timeoutMs) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_threadActive.load()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void CAutoSetupThread::onStartFailed() {
    m_setup->m_threadActive.store(false);
    m_setup->fail(AUTOSETUP_ERR_THREAD);
}

void CAutoSetupThread::run() {
    struct Done {
        CAutoSetup& s;
        ~Done() { s.m_threadActive.store(false); }
    } done{*m_setup};
    try {
        m_setup->doWork();
    } catch (IError* e) {
        const std::unique_ptr<IError> owned = adoptError(e);
        m_setup->host().showMessage("CAutoSetupThread::doWork()\n" + owned->format());
    } catch (...) {
        m_setup->host().showMessage("CAutoSetupThread::doWork()\ncatch(...)");
    }
}

// --- the run -----------------------------------------------------------------------

bool CAutoSetup::fail() {
    m_host->enableStart(true);
    m_host->enableStop(false);
    if (m_stopAsked.exchange(false)) log(AUTOSETUP_STOPPED);
    log(AUTOSETUP_END);
    m_running.store(false);
    m_constantCorrection.store(0.0);
    return false;
}

bool CAutoSetup::fail(const char* line) {
    log(line);
    return fail();
}

CAutoSetup::EWait CAutoSetup::waitForSamples(int n) {
    CDiagData& store = m_doc.diagData();
    int start = store.count();
    for (;;) {
        if (!running()) return EWait::Stopped;
        const int count = store.count();
        // A store emptied by a new diagnostic run: count from its start.
        if (count < start) start = 0;
        if (count - start >= n) return EWait::Done;
        // Without polling no sample will come: a wait here would never end.
        if (!m_doc.diagnosticsOn()) return EWait::NoSamples;
        std::this_thread::sleep_for(std::chrono::milliseconds(WAIT_ROUND_MS));
    }
}

CAutoSetup::EWait CAutoSetup::measureInjection(double& meanTimeMs, double& meanPressureCode) {
    log("Pomiar...");
    if (const EWait w = waitForSamples(MEASURE_SAMPLES); w != EWait::Done) return w;
    const int count = m_doc.diagData().count();
    std::vector<CDiag> samples;
    m_doc.diagData().getRange(samples, std::max(0, count - MEASURE_SAMPLES), count);
    if (samples.empty()) return EWait::NoSamples;
    double time = 0, pressure = 0;
    for (const CDiag& d : samples) {
        time += d.auxTime() * tickLength();
        pressure += d.pressure2Code();
    }
    meanTimeMs = time / static_cast<double>(samples.size());
    meanPressureCode = pressure / static_cast<double>(samples.size());
    return EWait::Done;
}

bool CAutoSetup::checkFirstStep(CSettingsBlock& s) {
    const double m = s.mainCorrection();
    if (!(m >= MAIN_CORRECTION_FLOOR)) {
        m_host->showMessage(MSG_TOO_SMALL);
        m_host->enableStart(true);
        m_host->enableStop(false);
        return fail();
    }
    if (m > MAIN_CORRECTION_CEILING) {
        s.setMainCorrection(MAIN_CORRECTION_CEILING);
        m_host->showMessage(MSG_TOO_LARGE);
    } else if (m < ADVISED_LOW || m > ADVISED_HIGH) {
        m_host->showMessage("Wyliczona poprawka: " + streamNumber(m) +
                            " ms nie mieści się w zalecanym zakresie od 1.5ms do 2.5ms.");
    }
    return true;
}

bool CAutoSetup::writeRecord(const CSettingsBlock& record, CSettingsBlock* written) {
    SettingsWriteRequest request;
    request.wanted = record;
    request.source = EWriteSource::AutoSetup;
    const SettingsWriteResult result = m_doc.commitSettings(request);
    if (result.ok()) {
        if (written) *written = result.written;
        // The car file is a copy; the controller holds the record all the same.
        if (!result.message.empty()) log(result.message);
        return true;
    }
    // Why it was not written (a value out of range, a failed step) goes in the log
    // above the error line, line by line as the log shows text.
    std::string text = result.message;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) log(text.substr(start, end - start));
        start = end + 1;
    }
    return false;
}

bool CAutoSetup::step(int k, int settle) {
    log("----Krok " + std::to_string(k) + "----");
    log("Przełączenie na benzynę...");
    if (!m_doc.setWorkPetrol()) return fail(AUTOSETUP_ERR_PETROL);
    log("Start pomiaru czasu wtrysku benz.");
    EWait w = waitForSamples(settle);
    if (w == EWait::Stopped) return fail();
    double petrol = 0, lpg = 0, pressure = 0;
    if (w == EWait::NoSamples || measureInjection(petrol, pressure) != EWait::Done)
        return fail(AUTOSETUP_ERR_MEASURE);
    log("Czas benzynowy = " + ms(petrol));

    log("Przełączenie na LPG...");
    if (!m_doc.setWorkLpg()) return fail(AUTOSETUP_ERR_LPG);
    w = waitForSamples(settle);
    if (w == EWait::Stopped) return fail();
    if (w == EWait::NoSamples || measureInjection(lpg, pressure) != EWait::Done)
        return fail(AUTOSETUP_ERR_MEASURE);
    // The reducer pressure belongs to the car data kept on the PC, not to the
    // controller's values: it is noted in the document's record at once.
    const double reducer = pressureKPa(std::trunc(pressure));
    m_doc.updateSettings([reducer](CSettingsBlock& own) { own.setReducerPressure(reducer); });
    const double d = quantizeMs(lpg - petrol);
    log("Czas benzynowy na LPG = " + ms(lpg));
    log("Poprawka = " + streamNumber(d) + " ms");
    {
        std::lock_guard<std::mutex> g(m_stepsLock);
        m_steps.push_back(d);
    }
    if (k != 1) return true;
    CSettingsBlock s = m_doc.settings();
    s.setMainCorrection(s.mainCorrection() + d);
    if (!checkFirstStep(s)) return false;
    if (!running()) return fail();
    CSettingsBlock written;
    if (!writeRecord(s, &written)) return fail(AUTOSETUP_ERR_WRITE);
    log(writtenCorrectionLine(written.mainCorrection()));
    return true;
}

bool CAutoSetup::run() {
    const CProcedureHold hold(m_doc);
    m_succeeded.store(false);
    m_running.store(true);
    m_constantCorrection.store(0.0);
    {
        std::lock_guard<std::mutex> g(m_stepsLock);
        m_steps.clear();
    }
    if (!m_host->askUser(AUTOSETUP_ASK_IDLE)) return fail();
    if (!m_doc.readSettings()) return fail(AUTOSETUP_ERR_READ);
    // The settle count rests on the controller's own emulator and sequence values,
    // read just now, not on whatever the document held before.
    CSettingsBlock s = m_doc.settings();
    const int settle =
        settleCount(s.featureMask(), static_cast<uint8_t>(s.value(ESetting::petrolInjectionType)),
                    s.injectorCount(), static_cast<int>(s.value(ESetting::emulatorStepDelay)));
    s.setValue(ESetting::mainCorrection2, s.mainCorrection());
    s.setValue(ESetting::correction2Injectors, 0);
    CSettingsBlock written;
    if (!writeRecord(s, &written)) return fail(AUTOSETUP_ERR_WRITE);
    log(writtenCorrection2Line(written.value(ESetting::mainCorrection2)));

    for (int k = 1; k <= AUTOSETUP_STEPS; ++k)
        if (!step(k, settle)) return false;

    const CorrectionFilter f = filterCorrections(stepCorrections(), rejectLimit(), tickLength());
    log("---- Wyniki ----:");
    log("Stała poprawka = " + streamNumber(f.mean) + " ms");
    // Stop pressed after the last wait: nothing more is written.
    if (!running()) return fail();
    m_host->enableStart(true);
    log("Wpisanie wyliczonych ustawień...");
    s = m_doc.settings();
    s.setMainCorrection(quantizeMs(f.mean + s.mainCorrection()));
    if (!writeRecord(s, &written)) {
        log(AUTOSETUP_ERR_WRITE);
        m_host->enableStart(true);
        m_host->enableStop(false);
        return fail();
    }
    // The last lines say what the controller holds now.
    log(writtenCorrectionLine(written.mainCorrection()));
    log(AUTOSETUP_DONE);
    log(autoSetupRule());
    m_doc.normalRefresh();
    m_constantCorrection.store(f.mean);
    m_succeeded.store(true);
    m_running.store(false);
    return true;
}

} // namespace zefirel
