#include "ui/autosetup/AutoSetupView.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QHeaderView>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include "autosetup/AutoSetup.h"
#include "diag/DeviceDoc.h"
#include "ui/app/DeviceFrm.h"
#include "ui/app/LPGBar.h"
#include "ui/support/MsgHelper.h"

namespace zefirel {

namespace {

/// The procedure's user: hands every call to the GUI thread, where the view is
/// looked up again (it may be gone by then).
class CViewHost : public IAutoSetupHost {
public:
    explicit CViewHost(CAutoSetupView* view) : m_view(view) {}

    void addLogLine(const std::string& text) override {
        const QString t = qstr(text);
        queued([t](CAutoSetupView& v) { v.addLogLine(t); });
    }
    bool askUser(const std::string& text) override {
        EMsgResult r = EMsgResult::Cancel;
        const QString t = qstr(text);
        blocking([&](CAutoSetupView& v) { r = zefOkCancelBox(&v, t, EMsgStyle::Info); });
        return r == EMsgResult::Ok;
    }
    void showMessage(const std::string& text) override {
        const QString t = qstr(text);
        blocking([&](CAutoSetupView& v) { zefMessageBox(&v, t); });
    }
    void enableStart(bool on) override {
        queued([on](CAutoSetupView& v) { v.startButton()->setEnabled(on); });
    }
    void enableStop(bool on) override {
        queued([on](CAutoSetupView& v) { v.stopButton()->setEnabled(on); });
    }

private:
    bool onGuiThread() const { return QThread::currentThread() == qApp->thread(); }
    template <class F> void queued(F f) {
        QPointer<CAutoSetupView> view = m_view;
        // The application object is the context: it outlives every view, and calls
        // queued to it keep their order.
        runOnGuiThread(qApp, [view, f] {
            if (view) f(*view);
        });
    }
    template <class F> void blocking(F f) {
        QPointer<CAutoSetupView> view = m_view;
        auto call = [view, &f] {
            if (view) f(*view);
        };
        if (onGuiThread())
            call();
        else
            QMetaObject::invokeMethod(qApp, call, Qt::BlockingQueuedConnection);
    }
    QPointer<CAutoSetupView> m_view;
};

} // namespace

CAutoSetupView::CAutoSetupView(CDeviceDoc& doc, QWidget* parent) : QWidget(parent), m_doc(doc) {
    setObjectName(QStringLiteral("autoSetupView"));
    auto* lay = new QVBoxLayout(this);
    m_log = new QTableWidget(0, 1, this);
    m_log->setObjectName(QStringLiteral("autoSetupLog"));
    m_log->horizontalHeader()->hide();
    m_log->verticalHeader()->hide();
    m_log->setSelectionMode(QAbstractItemView::SingleSelection);
    m_log->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_log->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_log->setShowGrid(false);
    m_log->setColumnWidth(0, AUTOSETUP_LOG_COLUMN_WIDTH);
    m_log->verticalHeader()->setDefaultSectionSize(m_log->fontMetrics().height() + 4);
    m_start = new QPushButton(QStringLiteral("Start"), this);
    m_start->setObjectName(QStringLiteral("autoSetupStart"));
    m_stop = new QPushButton(QStringLiteral("Zatrzymaj"), this);
    m_stop->setObjectName(QStringLiteral("autoSetupStop"));
    lay->addWidget(m_log, 1);
    lay->addWidget(m_start);
    lay->addWidget(m_stop);
    m_setup = std::make_shared<CAutoSetup>(doc, std::make_shared<CViewHost>(this));
    connect(m_start, &QPushButton::clicked, this, &CAutoSetupView::OnBtnStart);
    connect(m_stop, &QPushButton::clicked, this, &CAutoSetupView::OnBtnStop);
    m_start->setEnabled(false);
    m_stop->setEnabled(false);
}

CAutoSetupView::~CAutoSetupView() {
    m_setup->stop();
}

void CAutoSetupView::initialUpdate() {
    m_setup->setRunning(false);
    m_start->setEnabled(m_doc.isVersionOk());
    m_stop->setEnabled(false);
}

void CAutoSetupView::refreshIdle() {
    if (!m_setup->running() && !m_setup->threadActive()) m_start->setEnabled(m_doc.isVersionOk());
}

bool CAutoSetupView::runActive() const { return m_setup->running() || m_setup->threadActive(); }

bool CAutoSetupView::confirmStop() {
    if (!runActive()) return true;
    if (zefMessageBox(this, QString::fromUtf8(AUTOSETUP_STOP_QUESTION), QString(APP_CAPTION), EMsgStyle::Question) !=
        EMsgResult::Yes)
        return false;
    stopAndWait(CLOSE_WAIT_MS);
    m_start->setEnabled(m_doc.isVersionOk());
    m_stop->setEnabled(false);
    return true;
}

void CAutoSetupView::addLogLine(const QString& text) {
    const int row = m_log->rowCount();
    m_log->insertRow(row);
    auto* item = new QTableWidgetItem(text);
    // A line wider than the column is read whole in its tooltip.
    item->setToolTip(text);
    m_log->setItem(row, 0, item);
    m_log->scrollToItem(item, QAbstractItemView::EnsureVisible);
}

void CAutoSetupView::OnBtnStart() {
    if (!m_doc.ensureCarData()) {
        zefMessageBox(this, QString::fromUtf8(AUTOSETUP_CAR_DATA_MISSING));
        return;
    }
    startProcedure();
}

void CAutoSetupView::startProcedure() {
    // A stopped run may still be inside a controller command: one run at a time.
    if (m_setup->threadActive() && !stopAndWait(CLOSE_WAIT_MS)) return;
    m_setup->begin();
    try {
        CAutoSetup::startThread(m_setup); // a failed start ends the run it began
    } catch (...) {
        zefMessageBox(this, QString::fromUtf8(AUTOSETUP_ERR_THREAD), QString(APP_CAPTION), EMsgStyle::Error);
    }
}

void CAutoSetupView::OnBtnStop() {
    // After a run's own successful end "Zatrzymaj" may still be enabled: there is
    // nothing to stop then, and nothing to confirm.
    const bool wasRunning = m_setup->running();
    m_setup->stop();
    QThread::msleep(AUTOSETUP_STOP_WAIT_MS);
    m_start->setEnabled(true);
    m_stop->setEnabled(false);
    // The run's last lines ("Ustawianie zatrzymane.", "Koniec") arrive as they are
    // logged; the status bar says at once that the stop was taken.
    for (QWidget* w = parentWidget(); wasRunning && w; w = w->parentWidget())
        if (auto* frame = qobject_cast<CDeviceFrame*>(w)) {
            if (frame->bar()) frame->bar()->showNotice(QString::fromUtf8(AUTOSETUP_STOPPED_NOTICE));
            break;
        }
}

bool CAutoSetupView::stopAndWait(int timeoutMs) {
    m_setup->stop();
    // Calls the worker hands over meanwhile (a message it waits on) must run.
    const auto until = QDeadlineTimer(timeoutMs);
    while (m_setup->threadActive() && !until.hasExpired()) {
        QApplication::processEvents();
        QThread::msleep(10);
    }
    return !m_setup->threadActive();
}

} // namespace zefirel
