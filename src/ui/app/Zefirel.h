#pragma once
/// CZefirel: the application object. Start-up creates the main window, creates the
/// device document (which connects to the controller), shows the window maximised,
/// and routes the commands that are not the document's (about, exit, new document).

#include <QObject>
#include <memory>

namespace zefirel {

class CDeviceDocUi;
class CMainFrame;
class IPreferences;

/// The program's version shown in the About box.
inline constexpr const char* PROGRAM_VERSION_TEXT = "Zefirel Wersja 5.2";

class CZefirel : public QObject {
    Q_OBJECT
public:
    /// prefs: the persisted values ("Last RS nr"); not owned.
    explicit CZefirel(IPreferences* prefs);
    ~CZefirel() override;

    /// Start-up: main window, new document (connects), window shown and maximised.
    bool initInstance(bool showWindow = true);
    /// Closes the document (run flags, worker wait, disconnect).
    void exitInstance();

    CMainFrame* mainFrame() const { return m_main.get(); }
    CDeviceDocUi* document() const { return m_doc.get(); }

    /// Opens a new device document (closing the current one).
    void onFileNew();
    /// The About box.
    void onAppAbout();

public slots:
    void onCommand(int id);

private:
    IPreferences* m_prefs;
    std::unique_ptr<CMainFrame> m_main;
    std::unique_ptr<CDeviceDocUi> m_doc;
};

} // namespace zefirel
