#include "ui/app/MainFrm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMenuBar>
#include <QStyle>
#include <QToolBar>

#include "ui/app/Commands.h"
#include "ui/events/MarkerDlg.h"

namespace zefirel {

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowTitle(QStringLiteral("Zefirel"));
    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(m_mdi);

    m_toolBar = addToolBar(QStringLiteral("Pasek narzędzi"));
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setMovable(true);
    m_toolBar->setIconSize(QSize(16, 15));
    const struct {
        int id;
        QStyle::StandardPixmap icon;
        const char* tip;
    } buttons[] = {{ID_OPEN, QStyle::SP_DialogOpenButton, "Otwórz"},
                   {ID_PRINT, QStyle::SP_FileIcon, "Drukuj"},
                   {ID_ABOUT, QStyle::SP_MessageBoxInformation, "O programie"}};
    for (const auto& b : buttons) {
        QAction* a = m_toolBar->addAction(style()->standardIcon(b.icon), QString::fromUtf8(b.tip));
        a->setObjectName(QStringLiteral("tool%1").arg(b.id));
        const int id = b.id;
        connect(a, &QAction::triggered, this, [this, id] { emit command(id); });
        m_toolActions[b.id] = a;
    }
    // Opening files has no handler: the button stays disabled.
    m_toolActions[ID_OPEN]->setEnabled(false);
    // Ctrl+P belongs to the window, not to the toolbar: a hidden toolbar would take
    // the shortcut with it.
    m_toolActions[ID_PRINT]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    addAction(m_toolActions[ID_PRINT]);
    // Ctrl+Shift+P opens the print preview, also where no menu names it.
    auto* preview = new QAction(this);
    preview->setObjectName(QStringLiteral("previewKey"));
    preview->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    connect(preview, &QAction::triggered, this, [this] { emit command(ID_PRINT_PREVIEW); });
    addAction(preview);
    // F10 opens the menu bar at its first menu, as in most desktop programs.
    auto* menuKey = new QAction(this);
    menuKey->setObjectName(QStringLiteral("menuKey"));
    menuKey->setShortcut(QKeySequence(Qt::Key_F10));
    connect(menuKey, &QAction::triggered, this, [this] {
        const QList<QAction*> tops = menuBar()->actions();
        if (!tops.isEmpty()) menuBar()->setActiveAction(tops.constFirst());
    });
    addAction(menuKey);
    installEmptyMenus();
    qApp->installEventFilter(this);
}

// A text field claims its editing keys before any shortcut is looked up: on an X11
// desktop Ctrl+U erases a line edit and Ctrl+K the rest of it, so Ctrl+U in the
// correction field would wipe the value instead of opening "Ustawienia ręczne...".
// In this window the shortcuts come first, in every field: the claim is refused, so
// the shortcut runs its command; a key press that still arrives belongs to a command
// that is disabled now, and it must not edit the field either.
bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::ShortcutOverride || type == QEvent::KeyPress) && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this && isWindowShortcut(*static_cast<QKeyEvent*>(event))) {
        event->ignore();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool CMainFrame::isWindowShortcut(const QKeyEvent& key) const {
    if (key.key() == 0 || key.key() == Qt::Key_unknown) return false;
    const QKeySequence pressed(key.keyCombination());
    for (const QAction* a : findChildren<QAction*>())
        if (a->shortcuts().contains(pressed)) return true;
    return false;
}

QAction* CMainFrame::action(int id) const {
    if (auto it = m_menuActions.find(id); it != m_menuActions.end()) return it->second;
    if (auto it = m_toolActions.find(id); it != m_toolActions.end()) return it->second;
    return nullptr;
}

QMenu* CMainFrame::addTopMenu(const QString& title) {
    QMenu* m = menuBar()->addMenu(title);
    connect(m, &QMenu::aboutToShow, this, &CMainFrame::updateCommands);
    // After the update, which may have renamed an entry.
    connect(m, &QMenu::aboutToShow, this, [m] { assignMnemonics(m->actions()); });
    return m;
}

QString withoutMnemonic(QString text) {
    for (int i = 0; i < text.size(); ++i)
        if (text.at(i) == QLatin1Char('&')) text.remove(i, 1); // "&&" keeps one '&'
    return text;
}

void assignMnemonics(const QList<QAction*>& actions) {
    QString used;
    QList<QAction*> unassigned;
    for (QAction* a : actions) {
        if (a->isSeparator()) continue;
        const QString text = a->text();
        const qsizetype amp = text.indexOf(QLatin1Char('&'));
        const QChar letter = amp >= 0 && amp + 1 < text.size() ? text.at(amp + 1).toLower() : QChar();
        // A letter an entry above already has (texts of Qt's own menus, translated,
        // may share one) is given up and a free one found below.
        if (!letter.isNull() && !used.contains(letter)) {
            used += letter;
        } else {
            if (!letter.isNull()) a->setText(withoutMnemonic(text));
            unassigned << a;
        }
    }
    for (QAction* a : unassigned) {
        QString text = a->text();
        // Only the label part: the text after a tab is the shortcut column.
        const qsizetype end = text.contains(QLatin1Char('\t')) ? text.indexOf(QLatin1Char('\t')) : text.size();
        // The first letter of a word first, then one inside a word: an underlined
        // narrow letter right after a capital ("D&iagnostyka") reads as the capital.
        for (const bool wordStart : {true, false}) {
            qsizetype at = -1;
            for (qsizetype i = 0; i < end && at < 0; ++i) {
                const QChar c = text.at(i).toLower();
                if (!c.isLetter() || used.contains(c)) continue;
                if (wordStart && i > 0 && !text.at(i - 1).isSpace()) continue;
                at = i;
            }
            if (at < 0) continue;
            used += text.at(at).toLower();
            text.insert(at, QLatin1Char('&'));
            a->setText(text);
            break;
        }
    }
}

QAction* CMainFrame::addCommand(QMenu* menu, const QString& text, int id) {
    // A "\t" in the text puts the rest in the menu's shortcut column.
    QAction* a = menu->addAction(text);
    a->setObjectName(QStringLiteral("cmd%1").arg(id));
    a->setProperty("commandId", id);
    connect(a, &QAction::triggered, this, [this, id] { emit command(id); });
    m_menuActions[id] = a;
    return a;
}

void CMainFrame::clearMenus() {
    for (QAction* top : menuBar()->actions())
        if (QMenu* m = top->menu()) m->deleteLater();
    menuBar()->clear();
    m_menuActions.clear();
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    if (m_closeGuard && !m_closeGuard()) {
        e->ignore();
        return;
    }
    if (m_onClose) m_onClose();
    QMainWindow::closeEvent(e);
}

void CMainFrame::installEmptyMenus() {
    clearMenus();
    addCommand(addTopMenu(QStringLiteral("Plik")), QStringLiteral("Wyjście"), ID_EXIT);
    QMenu* help = addTopMenu(QStringLiteral("&Help"));
    addCommand(help, QStringLiteral("&About..."), ID_ABOUT);
    addCommand(help, QStringLiteral("Diagnostyka połączenia..."), ID_CONN_DOCTOR);
    giveMnemonics();
}

void CMainFrame::installDeviceMenus() {
    clearMenus();
    QMenu* file = addTopMenu(QStringLiteral("Plik"));
    // The entry names Ctrl+F, so the key opens it too (the text after "\t" is what
    // the menu shows in its shortcut column).
    addCommand(file, QStringLiteral("Wczytaj plik diagnostyczny...\tCtrl+F"), ID_REPLAY)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    addCommand(file, QStringLiteral("Eksport do CSV..."), ID_CSV_EXPORT);
    addCommand(file, QStringLiteral("Raport serwisowy..."), ID_SERVICE_REPORT);
    file->addSeparator();
    // Ctrl+P itself stays with the window's print action (the toolbar's), which
    // works with or without this menu; the entry only names it.
    addCommand(file, QStringLiteral("Drukuj...\tCtrl+P"), ID_PRINT);
    addCommand(file, QStringLiteral("Podgląd wydruku..."), ID_PRINT_PREVIEW);
    file->addSeparator();
    addCommand(file, QStringLiteral("Wyjście"), ID_EXIT);

    QMenu* eeprom = addTopMenu(QStringLiteral("EEPROM"));
    addCommand(eeprom, QStringLiteral("Wczytaj..."), ID_EEPROM_READ)->setEnabled(false);
    addCommand(eeprom, QStringLiteral("Wpisz..."), ID_EEPROM_WRITE)->setEnabled(false);
    eeprom->addSeparator();
    addCommand(eeprom, QStringLiteral("Wersja urządzenia..."), ID_DEVICE_VERSION)->setEnabled(false);

    QMenu* diag = addTopMenu(QStringLiteral("Diagnostyka"));
    addCommand(diag, QStringLiteral("Włącz tryb diagnostyczny"), ID_DIAGNOSTIC);
    addCommand(diag, QStringLiteral("Sprawdzenie ustawień..."), ID_ACCEPTANCE_CHECK);
    diag->addSeparator();
    // F9 is free among the program's keys (F1..F8 injectors, Shift+F1..F5 charts,
    // F10 the menu bar) and needs one hand only, while driving too.
    addCommand(diag, QStringLiteral("Wstaw znacznik...\t%1").arg(QString::fromLatin1(MARKER_KEY_TEXT)), ID_MARKER)
        ->setShortcut(QKeySequence(MARKER_KEY));
    addCommand(diag, QStringLiteral("Porównaj nagrania..."), ID_COMPARE);

    QMenu* setup = addTopMenu(QStringLiteral("Ustawienia urządzenia"));
    addCommand(setup, QStringLiteral("Ustawienia krok po kroku..."), ID_WIZARD);
    addCommand(setup, QStringLiteral("Ustawienia automatycze"), ID_AUTO_SETTINGS)->setCheckable(true);
    setup->addSeparator();
    QAction* manual = addCommand(setup, QStringLiteral("Ustawienia ręczne..."), ID_MANUAL_SETTINGS);
    manual->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    addCommand(setup, QStringLiteral("Historia samochodu..."), ID_CAR_HISTORY);
    setup->addSeparator();
    addCommand(setup, QStringLiteral("Kolejność wtryskiwaczy..."), ID_INJ_SEQUENCE);
    setup->addSeparator();
    addCommand(setup, QStringLiteral("Mapa wtrysków"), ID_MAP)->setCheckable(true);
    addCommand(setup, QStringLiteral("Nauka mapy..."), ID_MAP_LEARN);

    QMenu* sensors = addTopMenu(QStringLiteral("Czujniki"));
    addCommand(sensors, QStringLiteral("Kalibracja czujnika poziomu gazu..."), ID_LEVEL_SENSOR);

    QMenu* errors = addTopMenu(QStringLiteral("Kody błędów"));
    addCommand(errors, QStringLiteral("Wczytaj..."), ID_ERRORS_READ);
    addCommand(errors, QStringLiteral("Kasuj"), ID_ERRORS_CLEAR);

    QMenu* info = addTopMenu(QStringLiteral("Informacje"));
    addCommand(info, QStringLiteral("O programie..."), ID_ABOUT);
    info->addSeparator();
    addCommand(info, QStringLiteral("Odblokowanie "), ID_UNLOCK);
    info->addSeparator();
    addCommand(info, QStringLiteral("Diagnostyka połączenia..."), ID_CONN_DOCTOR);
    giveMnemonics();
}

void CMainFrame::giveMnemonics() {
    assignMnemonics(menuBar()->actions());
    for (QMenu* m : topMenus()) assignMnemonics(m->actions());
}

void CMainFrame::removeDeviceMenus() {
    for (int i = 0; i < 3; ++i) {
        const QList<QAction*> tops = menuBar()->actions();
        if (tops.size() <= 2) break;
        QAction* top = tops.at(2);
        if (QMenu* m = top->menu()) {
            for (QAction* a : m->actions()) {
                const QVariant id = a->property("commandId");
                if (id.isValid()) m_menuActions.erase(id.toInt());
            }
        }
        menuBar()->removeAction(top);
    }
}

QList<QMenu*> CMainFrame::topMenus() const {
    QList<QMenu*> out;
    for (QAction* a : menuBar()->actions())
        if (a->menu()) out << a->menu();
    return out;
}

void CMainFrame::enableTopMenus(bool enable) {
    const QList<QAction*> tops = menuBar()->actions();
    for (int i = 0; i < tops.size() && i < 7; ++i) tops.at(i)->setEnabled(enable);
}

} // namespace zefirel
