#include "ui/app/QtHost.h"

#include <QApplication>
#include <QThread>

#include "ui/app/LPGBar.h"
#include "ui/app/MainFrm.h"
#include "ui/support/MsgHelper.h"
#include "ui/support/WaitDlg.h"

namespace zefirel {

CQtHost::CQtHost(QObject* parent) : QObject(parent) { setObjectName(QStringLiteral("qtHost")); }

CQtHost::~CQtHost() = default;

bool CQtHost::onGuiThread() const { return QThread::currentThread() == thread(); }

void CQtHost::onGui(std::function<void()> f) {
    if (onGuiThread()) f();
    else QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

EMsgResult CQtHost::showMessage(const std::string& text, const std::string& caption, EMsgStyle style) {
    const QString t = qstr(text), c = qstr(caption);
    QWidget* parent = m_frame.data();
    if (onGuiThread()) return zefMessageBox(parent, t, c, style);
    if (style != EMsgStyle::Question) {
        onGui([parent, t, c, style] { zefMessageBox(parent, t, c, style); });
        return EMsgResult::Ok;
    }
    EMsgResult answer = EMsgResult::No;
    QMetaObject::invokeMethod(
        this, [&] { answer = zefMessageBox(parent, t, c, style); }, Qt::BlockingQueuedConnection);
    return answer;
}

void CQtHost::removeDeviceMenus() {
    onGui([this] {
        if (m_frame) m_frame->removeDeviceMenus();
    });
}

void CQtHost::showConnection(bool connected) {
    onGui([this, connected] {
        if (m_bar) m_bar->showConnection(connected);
    });
}

void CQtHost::showError(bool on) {
    onGui([this, on] {
        if (m_bar) m_bar->showError(on);
    });
}

void CQtHost::setProgress(int percent) {
    onGui([this, percent] {
        if (m_bar) m_bar->setProgress(percent);
    });
}

void CQtHost::openWait(const QString& text, bool cancellable) {
    onGui([this, text, cancellable] {
        m_wait = std::make_unique<CWaitDlg>(text, cancellable);
        m_wait->showCentred();
    });
}

void CQtHost::showWait(const std::string& text) { openWait(qstr(text), false); }

void CQtHost::showCancellableWait(const std::string& text) { openWait(qstr(text), true); }

void CQtHost::closeWait() {
    onGui([this] { m_wait.reset(); });
}

bool CQtHost::pumpEvents() {
    if (!onGuiThread()) return true;
    QApplication::processEvents(QEventLoop::AllEvents, 50);
    return !(m_wait && m_wait->cancelled());
}

bool CQtHost::askCarData(CSettingsBlock& block) {
    if (!m_askCarData) return false;
    if (onGuiThread()) return m_askCarData(block);
    bool ok = false;
    QMetaObject::invokeMethod(this, [&] { ok = m_askCarData(block); }, Qt::BlockingQueuedConnection);
    return ok;
}

void CQtHost::settingsWritten() {
    onGui([this] {
        if (m_settingsWritten) m_settingsWritten();
    });
}

void CQtHost::startTimer(int id, int periodMs) {
    onGui([this, id, periodMs] {
        if (m_timerStarter) m_timerStarter(id, periodMs);
    });
}

void CQtHost::reconnectEnded(bool connected) {
    onGui([this, connected] {
        if (m_reconnectEnded) m_reconnectEnded(connected);
    });
}

void CQtHost::diagnosticsEnded(uint64_t run) {
    onGui([this, run] {
        if (m_diagEnded) m_diagEnded(run);
    });
}

} // namespace zefirel
