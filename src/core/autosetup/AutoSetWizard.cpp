#include "autosetup/AutoSetWizard.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "autosetup/AutoSetup.h"
#include "diag/DeviceDoc.h"
#include "link/Conversions.h"
#include "support/Error.h"

namespace zefirel {

namespace {

constexpr const char* WIZARD_WHERE = "CDeviceDoc::onAutoSet()";

/// Shows the busy cursor for its lifetime.
class CBusy {
public:
    explicit CBusy(IAutoSetWizardHost& host) : m_host(host) { m_host.setBusy(true); }
    ~CBusy() { m_host.setBusy(false); }
    CBusy(const CBusy&) = delete;
    CBusy& operator=(const CBusy&) = delete;

private:
    IAutoSetWizardHost& m_host;
};

/// Runs a controller operation under the busy cursor.
template <class F>
auto busy(IAutoSetWizardHost& host, F&& f) {
    CBusy b(host);
    return f();
}

} // namespace

int injectorsToCheck(const std::string& cylinders, uint8_t petrolInjectionType) {
    int count = 0;
    if (petrolInjectionType & INJECTION_HALF_SEQUENCE) {
        count = 2;
    } else if (petrolInjectionType & INJECTION_NON_SEQUENCE) {
        count = 1;
    } else {
        // The leading whole number of the text; no number gives 0.
        const long v = std::strtol(cylinders.c_str(), nullptr, 10);
        count = static_cast<int>(std::clamp(v, 0L, static_cast<long>(MAX_INJECTORS)));
    }
    // A text that is no number would otherwise check no injector at all, and the
    // controller has no injector past the eighth.
    return std::clamp(count, 1, MAX_INJECTORS);
}

std::string signal12VNote(double petrolMs, bool nowOn) {
    return "Odczytany czas wtrysku benzyny " + streamNumber(quantizeMs(petrolMs)) +
           " ms oznacza odwrotnie odczytywany sygnał wtryskiwaczy: ustawienie „Wtryskiwacze benzynowe załączane "
           "sygnałem 12 V” zostało " +
           (nowOn ? "włączone" : "wyłączone") + " i wpisane do sterownika.";
}

bool CAutoSetWizard::run() {
    // The wizard holds the car from its first question to its last write.
    const CProcedureHold hold(m_doc);
    try {
        return steps();
    } catch (IError* e) {
        const std::unique_ptr<IError> owned = adoptError(e);
        m_host.message(errorReportText(WIZARD_ERROR_HEADLINE, WIZARD_WHERE, *owned), false);
    } catch (...) {
        m_host.message(std::string(WIZARD_ERROR_HEADLINE) + "\nSzczegóły: " + WIZARD_WHERE + "\ncatch(...)", false);
    }
    return false;
}

bool CAutoSetWizard::fail(const std::string& text, bool errorIcon) {
    m_host.message(text, errorIcon);
    return false;
}

bool CAutoSetWizard::dialog(const std::function<bool()>& show) {
    m_doc.slowRefresh();
    const bool ok = show();
    m_doc.normalRefresh();
    return ok;
}

bool CAutoSetWizard::write(const CSettingsBlock& record) {
    SettingsWriteRequest request;
    request.wanted = record;
    request.source = EWriteSource::Wizard;
    request.carDataChecked = true; // asked at the wizard's start
    const SettingsWriteResult result = busy(m_host, [&] { return m_doc.commitSettings(request); });
    if (result.ok()) {
        m_wrote = true;
        return true;
    }
    return fail(result.message.empty() ? std::string(WIZARD_WRITE_FAILED)
                                       : std::string(WIZARD_WRITE_FAILED) + "\n" + result.message);
}

bool CAutoSetWizard::abandon() {
    if (!m_wrote || !m_host.ask(WIZARD_RESTORE_QUESTION)) return false;
    // The whole record as read before the first write: what the wizard changed
    // (the 12 V signal, the basic settings, the map switched off) goes back.
    write(m_before);
    return false;
}

bool CAutoSetWizard::requestSample(int injector, CDiag& out) {
    CBusy b(m_host);
    for (int attempt = 0; attempt < WIZARD_DIAG_ATTEMPTS; ++attempt)
        if (m_doc.requestDiag(injector, out)) return true;
    return false;
}

bool CAutoSetWizard::steps() {
    // The car data are written with every settings record.
    if (!m_doc.ensureCarData()) return fail(AUTOSETUP_CAR_DATA_MISSING, false);

    // A controller that reports errors is not set up until they are cleared.
    uint8_t report[ERROR_REPORT_SIZE] = {};
    if (!busy(m_host, [&] { return m_doc.readErrors(report); })) return fail(WIZARD_READ_ERRORS_FAILED, false);
    if (const std::string errors = m_doc.describeReport(report); !errors.empty()) {
        m_host.message(WIZARD_ERRORS_HELD, false);
        m_host.showErrorCodes(errors);
        return false;
    }
    if (m_doc.diagData().count() == 0) return fail(WIZARD_NO_DIAG_DATA);
    if (!busy(m_host, [&] { return m_doc.readSettings(); })) return fail(WIZARD_READ_FAILED);

    // A petrol time far beyond any idle reading is the injector signal read with
    // the wrong polarity: the 12 V signal setting is turned over.
    CDiag sample;
    if (!requestSample(1, sample)) return fail(WIZARD_DIAG_FAILED);
    // The wizard edits a copy of the controller's record; only what the one write
    // path accepted becomes the document's.
    CSettingsBlock s = m_doc.settings();
    m_before = s;
    m_wrote = false;
    if (const double petrolMs = sample.petrolTime(0) * tickLength(); petrolMs > INVERTED_SIGNAL_MS) {
        const auto type = static_cast<uint8_t>(s.value(ESetting::petrolInjectionType));
        s.setValue(ESetting::petrolInjectionType, type ^ INJECTION_SIGNAL_12V);
        if (!write(s)) return false;
        s = m_doc.settings();
        // Said before the first question, so the installer knows what changed.
        m_host.note(signal12VNote(petrolMs, (type & INJECTION_SIGNAL_12V) == 0));
    }

    std::string cylinders;
    if (!dialog([&] { return m_host.askCylinders(cylinders); })) return abandon();
    const int injectors =
        injectorsToCheck(cylinders, static_cast<uint8_t>(s.value(ESetting::petrolInjectionType)));
    for (int n = 1; n <= injectors; ++n) {
        if (!requestSample(n, sample)) return fail(WIZARD_DIAG_FAILED);
        std::string faults;
        if (!CLPGDeviceErr::checkSample(sample, faults)) return fail(std::string(WIZARD_SAMPLE_FAULTS) + "\n" + faults);
    }

    // A refused record is not written (the document keeps the controller's
    // values); the dialog opens again with what was typed, the allowed range said.
    for (;;) {
        if (!dialog([&] { return m_host.askBasicSettings(s); })) return abandon();
        const std::string faults = checkSettingsWithRanges(s);
        if (faults.empty()) break;
        m_host.message(faults + WIZARD_CORRECT_VALUES, true);
    }
    // The automatic setup measures the main correction alone, without the map.
    s.setValue(ESetting::optionFlags, s.optionFlags() & ~OPTION_MAP_IN_USE);
    if (!write(s)) return false;

    if (!dialog([&] { return m_host.confirm(EWizardDialog::Step2); })) return abandon();
    if (!busy(m_host, [&] { return m_doc.setWorkLpg(); })) return fail(WIZARD_LPG_FAILED);
    if (!dialog([&] { return m_host.confirm(EWizardDialog::Step3); })) return abandon();
    if (!dialog([&] { return m_host.confirm(EWizardDialog::Step4); })) return abandon();

    m_host.showAutoSetupPane(true);
    CAutoSetup& setup = m_host.startProcedure();
    // The run has ended only when its thread has left it: a run stopped during
    // its final write could otherwise still succeed after being judged failed.
    const bool open = busy(m_host, [&] {
        return m_host.waitUntil([&] { return !setup.running() && !setup.threadActive(); });
    });
    if (!open) return false;
    if (!setup.succeeded()) return fail(WIZARD_PROCEDURE_FAILED);

    m_host.showAutoSetupPane(false);
    if (!dialog([&] { return m_host.confirm(EWizardDialog::End); })) return false;
    if (!busy(m_host, [&] { return m_doc.setWorkAuto(); })) return fail(WIZARD_AUTO_FAILED);
    return true;
}

} // namespace zefirel
