#include "ui/map/InjSeqDlg.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/support/MsgHelper.h"

namespace zefirel {

namespace {
const QString TEXT_START_REFRESH = QStringLiteral("Odświerzaj cyklicznie");
const QString TEXT_STOP_REFRESH = QStringLiteral("Zatrzymaj odświeżanie");
const QString MSG_NON_SEQUENTIAL = QStringLiteral("Silnik z wtryskiem niesekwencyjnym");
const QString MSG_READ_FAILED = QStringLiteral("Nie można pobrać informacji o sekwencji wtrysków");
} // namespace

class CInjSeqDlg::CChartArea : public QWidget {
public:
    CChartArea(CInjSeqDlg& dlg, QWidget* parent) : QWidget(parent), m_dlg(dlg) {
        setObjectName(QStringLiteral("injSeqChartArea"));
        setMinimumSize(400, 250);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        m_dlg.m_chart.Draw(p);
    }
    void resizeEvent(QResizeEvent* e) override {
        QWidget::resizeEvent(e);
        m_dlg.m_chart.SetSize(size());
    }

private:
    CInjSeqDlg& m_dlg;
};

CInjSeqDlg::CInjSeqDlg(CLPGDevice& device, QWidget* parent)
    : QDialog(parent), m_device(device), m_area(new CChartArea(*this, this)), m_chart(m_area) {
    setObjectName(QStringLiteral("injSeqDlg"));
    setWindowTitle(QStringLiteral("Kolejność wtryskiwaczy"));
    resize(705, 518);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(m_area, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_refreshButton = namedButton(this, TEXT_START_REFRESH, "btnRefresh");
    QPushButton* close = namedButton(this, QStringLiteral("Zamknij"), "btnClose");
    buttons->addWidget(m_refreshButton);
    buttons->addWidget(close);
    lay->addLayout(buttons);
    connect(m_refreshButton, &QPushButton::clicked, this, &CInjSeqDlg::onRefreshButton);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    m_timer = new QTimer(this);
    m_timer->setInterval(REFRESH_MS);
    connect(m_timer, &QTimer::timeout, this, &CInjSeqDlg::onRefreshTimer);

    m_chart.SetSize(m_area->size());
    guarded(parent, "CInjSeqDlg::OnInitDialog()", [this] { initialRead(); });
}

CInjSeqDlg::~CInjSeqDlg() {
    m_timer->stop();
    // The read uses the device and posts its result to this window: let it end
    // first (its posted result goes with the window).
    if (m_read.valid()) m_read.wait();
}

std::vector<ChartPoint> CInjSeqDlg::traces(const std::vector<SequenceItem>& items, double range) {
    std::vector<ChartPoint> points;
    if (!(range > 0)) return points;
    const double step = range / TRACE_STEPS;
    // Each x is computed from the start so that rounding does not add a step.
    for (int n = 0;; ++n) {
        const double x = n * step;
        if (!(x < range)) break;
        for (const SequenceItem& it : items) {
            if (!it.present) continue;
            double y = 2.0 * (it.injector - 1);
            if (x > it.time && x < it.time + PULSE_MS) y += 1;
            points.push_back(ChartPoint{x, y, static_cast<int32_t>(x), CHART_BLUE});
        }
    }
    return points;
}

void CInjSeqDlg::buildTraces() {
    m_chart.Clear();
    for (const ChartPoint& p : traces(m_items, m_chart.XMax())) m_chart.AddPoint(p);
    m_area->update();
}

void CInjSeqDlg::initialRead() {
    m_spread = true;
    if (!m_device.readSequence(m_items, m_spread)) {
        zefMessageBox(parentWidget(), MSG_READ_FAILED, QString(APP_CAPTION), EMsgStyle::Error);
        return;
    }
    if (!m_spread) zefMessageBox(parentWidget(), MSG_NON_SEQUENTIAL);
    CWaitCursor cursor;
    buildTraces();
}

void CInjSeqDlg::onRefreshButton() {
    if (m_refresh) {
        m_timer->stop();
        m_refreshButton->setText(TEXT_START_REFRESH);
    } else {
        m_timer->start();
        m_refreshButton->setText(TEXT_STOP_REFRESH);
    }
    m_refresh = !m_refresh;
}

void CInjSeqDlg::onRefreshTimer() {
    if (m_pending) return; // the previous read is still running
    m_pending = true;
    m_read = std::async(std::launch::async, [this] {
        std::vector<SequenceItem> items;
        bool spread = true;
        bool ok = false;
        try {
            ok = m_device.readSequence(items, spread);
        } catch (IError* e) {
            adoptError(e); // the next tick tries again
        } catch (...) {
        }
        QMetaObject::invokeMethod(
            this, [this, ok, items = std::move(items), spread]() mutable { takeRefresh(ok, std::move(items), spread); },
            Qt::QueuedConnection);
    });
}

void CInjSeqDlg::takeRefresh(bool ok, std::vector<SequenceItem> items, bool spread) {
    m_pending = false;
    // A failed read keeps what is drawn and says nothing.
    if (!ok) return;
    m_items = std::move(items);
    m_spread = spread;
    buildTraces();
}

} // namespace zefirel
