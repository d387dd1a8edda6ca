#pragma once
/// CMainFrame: the program's main window — the multiple-document area, the toolbar
/// (open, print, about) and the menu bar. With a device document open the menu bar
/// holds the device menus; without one only "Plik" and "&Help". Every menu entry is
/// a QAction named "cmd<id>"; triggering one emits command(id). The shortcuts of the
/// menus and of the window work from every field of the window, ahead of the field's
/// own editing keys.

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>

class QAction;
class QCloseEvent;
class QMdiArea;
class QMenu;
class QToolBar;

namespace zefirel {

/// Gives each entry without one a keyboard mnemonic (Alt+letter): the first letter of
/// its label not yet taken in the list. The visible text stays the same.
void assignMnemonics(const QList<QAction*>& actions);
/// A menu text as shown, without its mnemonic marker.
QString withoutMnemonic(QString text);

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);

    QMdiArea* mdiArea() const { return m_mdi; }
    QToolBar* toolBar() const { return m_toolBar; }
    /// The action of a command id in the current menu bar or toolbar; null when none.
    QAction* action(int id) const;
    /// Installs the device document's menus (with separators, EEPROM entries grayed).
    void installDeviceMenus();
    /// Installs the menus shown without a document.
    void installEmptyMenus();
    /// Removes the three device menus at position 2 (a controller of another version).
    void removeDeviceMenus();
    /// Grays (false) or enables (true) the top-level entries at positions 0..6.
    void enableTopMenus(bool enable);
    /// The top-level menus, in order.
    QList<QMenu*> topMenus() const;
    /// Runs f when the window is closed (the document closes its connection).
    void setCloseHandler(std::function<void()> f) { m_onClose = std::move(f); }
    /// Asked before the window closes; false keeps it open (a run the installer
    /// chose not to stop).
    void setCloseGuard(std::function<bool()> f) { m_closeGuard = std::move(f); }

signals:
    /// A menu entry, toolbar button or accelerator was triggered.
    void command(int id);
    /// A menu is about to open: the owner refreshes the enabled and checked states.
    void updateCommands();

protected:
    void closeEvent(QCloseEvent* e) override;
    /// Keeps the window's shortcuts ahead of the fields' own editing keys.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Whether a key is the shortcut of one of this window's actions.
    bool isWindowShortcut(const QKeyEvent& key) const;
    void giveMnemonics();
    QAction* addCommand(QMenu* menu, const QString& text, int id);
    QMenu* addTopMenu(const QString& title);
    void clearMenus();
    QMdiArea* m_mdi;
    QToolBar* m_toolBar;
    std::map<int, QAction*> m_menuActions;
    std::map<int, QAction*> m_toolActions;
    std::function<void()> m_onClose;
    std::function<bool()> m_closeGuard;
};

/// Grays the main window's top-level menu entries 0..6 for its lifetime (the
/// step-by-step wizard holds one while it runs).
class CAutoDisableMenu {
public:
    explicit CAutoDisableMenu(CMainFrame* frame) : m_frame(frame) {
        if (m_frame) m_frame->enableTopMenus(false);
    }
    ~CAutoDisableMenu() {
        if (m_frame) m_frame->enableTopMenus(true);
    }
    CAutoDisableMenu(const CAutoDisableMenu&) = delete;
    CAutoDisableMenu& operator=(const CAutoDisableMenu&) = delete;

private:
    QPointer<CMainFrame> m_frame;
};

} // namespace zefirel
