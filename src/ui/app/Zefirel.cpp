#include "ui/app/Zefirel.h"

#include "diag/DeviceDoc.h"
#include "ui/app/AboutDlg.h"
#include "ui/app/Commands.h"
#include "ui/app/MainFrm.h"
#include "support/StartupTrace.h"
#include "ui/app/Translations.h"
#include "ui/bench/BenchCommands.h"
#include "ui/history/HistoryCommand.h"
#include "ui/diag/DeviceDocUi.h"
#include "ui/support/DialogKit.h"

namespace zefirel {

CZefirel::CZefirel(IPreferences* prefs) : m_prefs(prefs) { setObjectName(QStringLiteral("zefirelApp")); }

CZefirel::~CZefirel() {
    exitInstance();
    m_doc.reset();
}

bool CZefirel::initInstance(bool showWindow) {
    installPolishTranslations();
    installDialogCloseKeys();
    m_main = std::make_unique<CMainFrame>();
    startupMark("frame");
    connect(m_main.get(), &CMainFrame::command, this, &CZefirel::onCommand);
    m_main->setCloseGuard([this] { return !m_doc || m_doc->mayClose(); });
    m_main->setCloseHandler([this] { exitInstance(); });
    onFileNew();
    if (showWindow) {
        m_main->show();
        m_main->move(0, 0);
        m_main->resize(1024, 768);
        m_main->showMaximized();
        startupMark("window");
    }
    return true;
}

void CZefirel::exitInstance() {
    if (m_doc) m_doc->close();
}

void CZefirel::onFileNew() {
    if (m_doc) {
        m_doc->close();
        m_doc.reset();
    }
    m_doc = std::make_unique<CDeviceDocUi>(m_main.get(), m_prefs);
    m_doc->open();
}

void CZefirel::onAppAbout() {
    CDeviceDoc* doc = m_doc ? &m_doc->doc() : nullptr;
    if (doc) doc->slowRefresh();
    CAboutDlg dlg(doc, m_main.get());
    dlg.exec();
}

void CZefirel::onCommand(int id) {
    switch (id) {
    case ID_ABOUT: onAppAbout(); return;
    case ID_EXIT: m_main->close(); return;
    case ID_NEW: onFileNew(); return;
    default:
        if (onBenchCommand(id, m_doc.get(), m_main.get())) return;
        if (onHistoryCommand(id, m_doc.get(), m_main.get())) return;
        if (m_doc) m_doc->onCommand(id);
    }
}

} // namespace zefirel
