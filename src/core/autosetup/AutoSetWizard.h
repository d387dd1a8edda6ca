#pragma once
/// CAutoSetWizard: the step-by-step setup of a controller in a car ("Ustawienia
/// krok po kroku..."). It checks that the controller reports no errors and sends
/// live data, checks the petrol injector signal of every injector (inverting the
/// 12 V signal setting when the time read is implausibly long), lets the installer
/// confirm the basic settings, switches the engine to LPG, runs the automatic
/// setup procedure and finally switches the controller to automatic work.
///
/// The steps need no widgets: every dialog, message and wait goes through
/// IAutoSetWizardHost, so the windowed program shows real dialogs and a test can
/// answer them. run() runs on the thread that owns the document (the GUI thread).

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "link/SettingsBlock.h"
#include "map/MapCompute.h" // OPTION_MAP_IN_USE

namespace zefirel {

class CAutoSetup;
class CDeviceDoc;
class CDiag;

/// The wizard's dialogs that only continue (OK) or end it (Cancel).
enum class EWizardDialog { Step2, Step3, Step4, End };

/// What the wizard needs from whoever shows it.
class IAutoSetWizardHost {
public:
    virtual ~IAutoSetWizardHost() = default;
    /// A message box with an OK button; errorIcon: the stop icon, else none.
    virtual void message(const std::string& text, bool errorIcon) = 0;
    /// A question with "Tak" and "Nie"; true for "Tak".
    virtual bool ask(const std::string& text) = 0;
    /// A line of its own that the wizard's next dialog shows above its texts (what
    /// the wizard did before asking).
    virtual void note(const std::string& line) = 0;
    /// The error codes dialog with a decoded error report.
    virtual void showErrorCodes(const std::string& text) = 0;
    /// The opening dialog: the number of cylinders as chosen (text). False: ended.
    virtual bool askCylinders(std::string& cylinders) = 0;
    /// The dialog of the seven basic settings, opened on the block's values; OK
    /// stores the edited values into the block. False: ended.
    virtual bool askBasicSettings(CSettingsBlock& block) = 0;
    /// One of the dialogs that only continue or end. False: ended.
    virtual bool confirm(EWizardDialog dialog) = 0;
    /// Shows or hides the busy cursor.
    virtual void setBusy(bool on) = 0;
    /// Opens or closes the automatic setup pane.
    virtual void showAutoSetupPane(bool show) = 0;
    /// Starts the automatic setup procedure as the pane's Start button does once
    /// the car data are known, and returns it.
    virtual CAutoSetup& startProcedure() = 0;
    /// Keeps the user interface alive (log rows, "Zatrzymaj") until done() holds.
    /// False when the document was closed meanwhile: the wizard then ends quietly.
    virtual bool waitUntil(const std::function<bool()>& done) = 0;
};

// Texts of the wizard.
inline constexpr const char* WIZARD_ERRORS_HELD = "Sterownik LPG sygnalizuje błędy!\nSkasuj błędy i uruchom ponownie autoustawianie";
inline constexpr const char* WIZARD_READ_ERRORS_FAILED = "Nie można wczytać błędów urządzenia";
inline constexpr const char* WIZARD_NO_DIAG_DATA = "Urządzenie nie wysyła danych diagnostycznych!";
inline constexpr const char* WIZARD_READ_FAILED = "Nie powiodło się wczytanie ustawień z urządzenia!";
inline constexpr const char* WIZARD_DIAG_FAILED = "Nie można pobrać danych diagnostycznych ze sterownika LPG.";
inline constexpr const char* WIZARD_WRITE_FAILED = "Nie powiodło się wpisanie ustawień do urządzenia!";
inline constexpr const char* WIZARD_SAMPLE_FAULTS = "Błędy sterownika LPG:";
inline constexpr const char* WIZARD_LPG_FAILED = "Nie powiodło się przełączenie na LPG!";
inline constexpr const char* WIZARD_PROCEDURE_FAILED =
    "Nie powiodła się procedura automatycznego wyznaczenia poprawek lub została przerwana!";
inline constexpr const char* WIZARD_AUTO_FAILED = "Nie powiodło się przejście urządzenia w tryb AUTO!";
inline constexpr const char* WIZARD_ERROR_HEADLINE = "Błąd wykonania procedury autoustawiania.";
/// Asked when the installer ends the wizard after it has written to the controller.
inline constexpr const char* WIZARD_RESTORE_QUESTION =
    "Kreator wpisał już do sterownika zmienione ustawienia.\n"
    "Czy przywrócić ustawienia, które sterownik miał przed uruchomieniem kreatora?";
/// Below a refused basic setting: the dialog opens again with the values typed.
inline constexpr const char* WIZARD_CORRECT_VALUES = "Popraw wartości w oknie „Krok 1” i naciśnij „Dalej >>”.";

/// The line that says the wizard turned the 12 V signal setting over: the petrol
/// time read (ms) and whether the setting is on now.
std::string signal12VNote(double petrolMs, bool nowOn);

/// petrolInjectionType bit of injectors switched by a 12 V signal.
inline constexpr uint8_t INJECTION_SIGNAL_12V = 0x01;
/// A petrol time read above this (ms) means the signal is read inverted.
inline constexpr double INVERTED_SIGNAL_MS = 50.0;
/// Attempts of one diagnostic request.
inline constexpr int WIZARD_DIAG_ATTEMPTS = 10;
/// Most injectors a controller drives.
inline constexpr int MAX_INJECTORS = 8;
/// The settings the installer confirms in the basic settings dialog.
inline constexpr std::array<ESetting, 7> WIZARD_BASIC_SETTINGS = {
    ESetting::switchSpeed,          ESetting::switchTemperature, ESetting::maxInternalTemperature,
    ESetting::petrolSwitchPressure, ESetting::ignitionsPerCycle, ESetting::minSupplyVoltage,
    ESetting::lpgSwitchDelay};

/// The injectors whose signal is checked: the chosen number of cylinders (a text
/// that is no number gives 0), 2 with half sequence, else 1 with non-sequence.
/// Never fewer than 1 (injector 1 is always checked) nor more than 8.
int injectorsToCheck(const std::string& cylinders, uint8_t petrolInjectionType);

class CAutoSetWizard {
public:
    CAutoSetWizard(CDeviceDoc& doc, IAutoSetWizardHost& host) : m_doc(doc), m_host(host) {}

    /// Runs the whole wizard; true when it switched the controller to AUTO. Error
    /// objects and other exceptions are caught and shown.
    bool run();

private:
    bool steps();
    /// Asks the controller for a sample of injector n, up to 10 attempts.
    bool requestSample(int injector, CDiag& out);
    /// Runs a dialog between the slow and the normal refresh.
    bool dialog(const std::function<bool()>& show);
    bool fail(const std::string& text, bool errorIcon = true);
    /// Writes a record through the one write path; false after the message.
    bool write(const CSettingsBlock& record);
    /// "Przerwij" on a step: after the wizard has written, offers to put the
    /// controller's earlier record back (through the same write path). False.
    bool abandon();

    CDeviceDoc& m_doc;
    IAutoSetWizardHost& m_host;
    /// The controller's record as read before the wizard's first write.
    CSettingsBlock m_before;
    /// The wizard has written a record to the controller in this run.
    bool m_wrote = false;
};

} // namespace zefirel
