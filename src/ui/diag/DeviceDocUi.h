#pragma once
/// CDeviceDocUi: the windowed side of the device document. It owns the core
/// document (CDeviceDoc), its host and its frame, handles the document's menu
/// commands with their dialogs and messages, and keeps the commands' enabled,
/// checked and text states by the document's rules.

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <string>


class QAction;
class QWidget;

namespace zefirel {

class CDeviceDoc;
class CDeviceFrame;
class CHistoryJournal;
class CMainFrame;
class CMapLearnWindow;
class CQtHost;
class IPreferences;

/// Chooses a file: save or open mode, the starting folder, the filter
/// ("Description(*.ext)") and the default extension. Returns the full path, or an
/// empty text on Cancel.
using FileChooser = std::function<QString(bool save, const QString& folder, const QString& filter,
                                          const QString& defaultSuffix)>;

class CDeviceDocUi : public QObject {
    Q_OBJECT
public:
    /// Creates the core document, its frame (maximised in the main window's document
    /// area) and the device menus. Nothing connects yet: call open().
    CDeviceDocUi(CMainFrame* main, IPreferences* prefs);
    ~CDeviceDocUi() override;

    /// New-document step: connects under the wait window, then lets the live panel
    /// start diagnostics on a connected controller.
    bool open();
    /// Closing: run flags cleared, diagnostics stopped, up to 3000 ms for the worker
    /// threads, disconnect.
    void close();

    CDeviceDoc& doc() const { return *m_doc; }
    CDeviceFrame* frame() const;
    CQtHost& host() const { return *m_host; }
    /// The car history: every write of the document's device is kept there.
    CHistoryJournal& history() const { return *m_history; }

    /// Handles a menu command; false when the command is not the document's.
    bool onCommand(int id);
    /// Refreshes every command's enabled, checked and text state.
    void updateCommands();
    /// The document's enabling rule of a command, whether or not its window exists yet.
    bool ruleEnabled(int id) const;
    /// Commands that write into the controller, reset it or end the polling a
    /// setup procedure measures with.
    static bool writesToController(int id);
    /// Whether the window behind a command exists in this build.
    static bool windowAvailable(int id);

    /// Replaces the file dialogs (tests, scripted runs); an empty function restores them.
    static void setFileChooser(FileChooser chooser);
    /// Asks for a file with the replacement when one is set, else with a file dialog
    /// (parent, save or open mode, starting folder, filter, default extension, the
    /// dialog's title saying what the file is for).
    static QString askFile(QWidget* parent, bool save, const QString& folder, const QString& filter,
                           const QString& defaultSuffix, const QString& title = QString());
    /// The same with a checkbox under the dialog's fields (optionText), started from
    /// option and read back into it on OK; a replacement chooser leaves it as it is.
    static QString askFile(QWidget* parent, bool save, const QString& folder, const QString& filter,
                           const QString& defaultSuffix, const QString& title, const QString& optionText, bool& option);

    // Handlers of the document's commands.
    void onDiagnostic();
    void onReplay();
    void onEepromRead();
    void onEepromWrite();
    void onErrorsRead();
    void onErrorsClear();
    void onUnlock();
    void onAutoSettingsPane();
    void onMapPane();
    /// "Nauka mapy...": shows the map learning window (made on first use; it
    /// keeps its table while hidden).
    void onMapLearn();
    CMapLearnWindow* mapLearnWindow() const;
    /// "Ustawienia krok po kroku...": the step-by-step setup wizard. While it runs
    /// the document takes no other command.
    void onAutoSet();
    /// Opens or closes the automatic setup pane and marks its menu entry.
    void setAutoSetupPane(bool shown);
    /// Before the main window closes: false when an automatic setup run goes on
    /// because the installer chose not to stop it.
    bool mayClose();
    /// Whether the document has been closed.
    bool closed() const { return m_closed; }
    // The settings dialogs (DeviceDocUiSettings.cpp).
    void onLevelSensor();
    void onDeviceVersion();
    /// "Kolejność wtryskiwaczy...": the injector sequence window.
    void onInjSequence();
    /// "Ustawienia ręczne...": the error check, then the settings dialog.
    void onManualSettings();
    /// A snapshot of the settings list was applied: the charts' window moves to its
    /// sample number .. +1000 with grid 100 (when moveWindow) and the view redraws.
    void showSnapshotWindow(uint32_t sampleNo, bool moveWindow);
    static constexpr double SNAPSHOT_WINDOW_SAMPLES = 1000;
    static constexpr double SNAPSHOT_WINDOW_GRID = 100;
    /// Decodes an error report: "Brak błędów." or the error codes dialog.
    void showErrors(const uint8_t* report11);

private:
    QString chooseFile(bool save, const QString& title, const QString& filter, const QString& defaultSuffix);
    /// Runs an EEPROM image transfer (returning its failure text) in the background.
    /// Shows a finished action in the status bar for a few seconds.
    void notify(const QString& text);
    /// True when the transfer succeeded (its failure was shown).
    bool runEepromTransfer(const char* where, const std::function<std::string()>& transfer);
    void setAction(int id, bool enabled, bool checked = false);
    /// Whether the automatic setup procedure of the pane is running.
    bool autoSetupRunning() const;

    QPointer<CMainFrame> m_main;
    /// Outlives the document, which tells it about every write.
    std::unique_ptr<CHistoryJournal> m_history;
    std::unique_ptr<CQtHost> m_host;
    std::unique_ptr<CDeviceDoc> m_doc;
    QPointer<CDeviceFrame> m_frame;
    QPointer<CMapLearnWindow> m_learnWindow;
    bool m_autoSetupShown = false;
    bool m_mapShown = false;
    bool m_closed = false;
    bool m_wizardRunning = false;
    /// Notes each live recording in the car history when it ends.
};

} // namespace zefirel
