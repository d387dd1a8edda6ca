#include "ui/map/TimeCorrView.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <vector>

#include "diag/DeviceDoc.h"
#include "diag/DiagUnits.h"
#include "ui/support/MsgHelper.h"
#include "ui/support/WriteGate.h"
#include "ui/support/WriteResultBox.h"

namespace zefirel {

namespace {
const QString MSG_READ_FAILED = QStringLiteral("Nie powiodło się odczytanie ustawień urządzenia!");
const QString MSG_CURVE_WRITE_TEXT = QStringLiteral("Nie powiodło się wpisanie ustawień urządzenia!");
const QString MSG_CAR_DATA = QStringLiteral("Musisz podać dane dotyczące samochodu i zamontowanej instalacji");
constexpr const char* WAIT_READING = "Wczytywanie ustawień z urządzenia...";

constexpr int VALUE_HEIGHT = 18;
constexpr int ARROW_SIZE = 14;
constexpr int BUTTON_HEIGHT = 24;

/// The buttons' bar: side by side where the pane is wide enough, one above the
/// other where it is not (the map pane beside it), so none is ever cut off.
class CButtonBar : public QWidget {
public:
    CButtonBar() : m_lay(new QBoxLayout(QBoxLayout::LeftToRight, this)) {
        // The bar's width is not held at the row's: narrower, the buttons stack.
        m_lay->setSizeConstraint(QLayout::SetNoConstraint);
    }
    QBoxLayout* boxLayout() const { return m_lay; }
    QSize minimumSizeHint() const override {
        int widest = 0;
        for (int i = 0; i < m_lay->count(); ++i)
            if (QWidget* w = m_lay->itemAt(i)->widget()) widest = std::max(widest, w->sizeHint().width());
        const QMargins m = m_lay->contentsMargins();
        return {widest + m.left() + m.right(), m_lay->minimumSize().height()};
    }

protected:
    void resizeEvent(QResizeEvent* e) override {
        QWidget::resizeEvent(e);
        // The row's width with the buttons side by side.
        m_lay->setDirection(QBoxLayout::LeftToRight);
        const bool fits = width() >= m_lay->minimumSize().width();
        m_lay->setDirection(fits ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
        updateGeometry();
    }

private:
    QBoxLayout* m_lay;
};

/// Closes the host's wait window when the read ends, also by an error object.
struct WaitGuard {
    ILPGHost& host;
    ~WaitGuard() { host.closeWait(); }
};
} // namespace

CTimeCorrView::CTimeCorrView(CDeviceDoc& doc, QWidget* parent) : QWidget(parent), m_doc(doc), m_chart(this) {
    setObjectName(QStringLiteral("timeCorrView"));
    setMinimumSize(VIEW_WIDTH, VIEW_HEIGHT);
    resize(VIEW_WIDTH, VIEW_HEIGHT);
    m_valueFont = QFont(QStringLiteral("MS Sans Serif"));
    m_valueFont.setStyleHint(QFont::SansSerif);
    m_valueFont.setPixelSize(12);
    m_valueFont.setBold(true);

    for (int i = 0; i < POINTS; ++i) {
        const auto k = static_cast<size_t>(i);
        auto* value = new QLineEdit(this);
        value->setObjectName(QStringLiteral("value%1").arg(i));
        value->setReadOnly(true);
        value->setAlignment(Qt::AlignRight);
        value->setFont(m_valueFont);
        value->setFrame(true);
        value->setTextMargins(0, 0, 0, 0);
        m_values[k] = value;
        auto arrow = [this, i](Qt::ArrowType type, const char* name, int step) {
            auto* b = new QToolButton(this);
            b->setObjectName(QStringLiteral("%1%2").arg(QLatin1String(name)).arg(i));
            b->setArrowType(type);
            b->setAutoRepeat(true);
            b->setFixedSize(ARROW_SIZE, ARROW_SIZE);
            connect(b, &QToolButton::clicked, this, [this, i, step] { onSpin(i, step); });
            return b;
        };
        m_up[k] = arrow(Qt::UpArrow, "spinUp", +1);
        m_down[k] = arrow(Qt::DownArrow, "spinDown", -1);
        auto* check = new QCheckBox(this);
        check->setObjectName(QStringLiteral("check%1").arg(i));
        check->setToolTip(QStringLiteral("%1 ms").arg(i));
        connect(check, &QCheckBox::clicked, this, [this, i] { onCheck(i); });
        m_checks[k] = check;
    }
    m_read = namedButton(this, QStringLiteral("Wczytaj z urządzenia"), "btnTimeCorrRead");
    m_write = namedButton(this, QStringLiteral("Wpisz do urządzenia"), "btnTimeCorrWrite");
    m_clear = namedButton(this, QStringLiteral("Kasuj poprawki"), "btnTimeCorrClear");
    connect(m_read, &QPushButton::clicked, this, &CTimeCorrView::onTimeCorrGet);
    connect(m_write, &QPushButton::clicked, this, &CTimeCorrView::onTimeCorrSet);
    connect(m_clear, &QPushButton::clicked, this, &CTimeCorrView::onClear);

    m_markTimer = new QTimer(this);
    m_markTimer->setInterval(MARK_PERIOD_MS);
    connect(m_markTimer, &QTimer::timeout, this, &CTimeCorrView::onMarkTimer);

    m_chart.SetSize(size());
    placeControls();
    for (int i = 0; i < POINTS; ++i) enablePoint(i);
    showValues();
    updateButtons();
}

CTimeCorrView::~CTimeCorrView() = default;

void CTimeCorrView::initialUpdate() {
    for (int i = 0; i < POINTS; ++i) enablePoint(i);
    onTimeCorrGet();
    m_markTimer->start();
}

bool CTimeCorrView::markTimerActive() const { return m_markTimer->isActive(); }

// --- layout and painting ---------------------------------------------------------

void CTimeCorrView::placeControls() {
    // Each point's controls stand under its bar.
    const int w = m_chart.XToPixel(1) - m_chart.XToPixel(0);
    const int boxWidth = std::max(2 * ARROW_SIZE, w - 2);
    for (int i = 0; i < POINTS; ++i) {
        const auto k = static_cast<size_t>(i);
        const int x = m_chart.XToPixel(i) + 2;
        m_values[k]->setGeometry(x, CONTROLS_TOP, boxWidth, VALUE_HEIGHT);
        const int arrows = x + (boxWidth - 2 * ARROW_SIZE) / 2;
        m_up[k]->move(arrows, CONTROLS_TOP + VALUE_HEIGHT + 2);
        m_down[k]->move(arrows + ARROW_SIZE, CONTROLS_TOP + VALUE_HEIGHT + 2);
        m_checks[k]->move(x + (boxWidth - m_checks[k]->sizeHint().width()) / 2,
                          CONTROLS_TOP + VALUE_HEIGHT + ARROW_SIZE + 4);
    }
    if (m_buttonBar) return; // the buttons stand in their own bar
    const int buttonsTop = CONTROLS_TOP + VALUE_HEIGHT + ARROW_SIZE + 30;
    int x = static_cast<int>(m_chart.Left());
    for (QPushButton* b : {m_read, m_write, m_clear}) {
        const int bw = b->sizeHint().width() + 8;
        b->setGeometry(x, buttonsTop, bw, BUTTON_HEIGHT);
        x += bw + 10;
    }
}

QWidget* CTimeCorrView::buttonBar() {
    if (m_buttonBar) return m_buttonBar;
    auto* bar = new CButtonBar;
    m_buttonBar = bar;
    m_buttonBar->setObjectName(QStringLiteral("timeCorrButtons"));
    QBoxLayout* row = bar->boxLayout();
    row->setContentsMargins(4, 4, 4, 4);
    row->setSpacing(6);
    for (QPushButton* b : {m_read, m_write, m_clear}) {
        b->setMinimumHeight(BUTTON_HEIGHT);
        row->addWidget(b, 0, Qt::AlignLeft);
    }
    row->addStretch(1);
    // The space the buttons took under the point controls is not needed any more.
    setMinimumSize(VIEW_WIDTH, CONTROLS_TOP + VALUE_HEIGHT + ARROW_SIZE + 30);
    resize(minimumSize());
    return m_buttonBar;
}

void CTimeCorrView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    m_chart.Draw(p);
}

void CTimeCorrView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    m_chart.SetSize(size());
    placeControls();
    update();
}

// --- showing the curve -----------------------------------------------------------

void CTimeCorrView::showValues() {
    for (size_t i = 0; i < m_curve.size(); ++i) m_values[i]->setText(QString::number(m_curve[i]));
}

void CTimeCorrView::showCurvePoints() {
    m_chart.Clear();
    for (int i = 0; i < POINTS; ++i)
        m_chart.AddPoint(ChartPoint{double(i), m_curve[static_cast<size_t>(i)], i, CHART_BLUE});
    update();
}

void CTimeCorrView::rebuildFromCurve() {
    m_chart.SetData(m_curve);
    update(m_chart.GetPlotRect());
}

void CTimeCorrView::loadCurve(const TimeCorrectionCurve& curve) {
    m_curve = curve;
    m_loaded = curve;
    showCurvePoints();
    showValues();
}

void CTimeCorrView::enablePoint(int point) {
    const auto k = static_cast<size_t>(point);
    const bool on = m_chart.IsEdited(point);
    m_checks[k]->setChecked(on);
    m_values[k]->setEnabled(on);
    m_up[k]->setEnabled(on);
    m_down[k]->setEnabled(on);
}

void CTimeCorrView::updateButtons() {
    const bool connected = writeAllowed(m_doc);
    m_read->setEnabled(connected);
    // Writing needs the controller's curve read on this connection (or a curve
    // wholly the installer's): otherwise points never read would be written.
    m_write->setEnabled(connected && (m_readOn == m_doc.connectionNumber() || m_curveOwned));
}

void CTimeCorrView::followConnection() {
    const bool replay = !m_doc.diagnosticsOn() && !m_doc.recordingPath().empty();
    if (m_doc.isVersionOk() && m_readOn != m_doc.connectionNumber() && !m_curveOwned && !replay) onTimeCorrGet();
    updateButtons();
}

void CTimeCorrView::setCurve(const TimeCorrectionCurve& curve) {
    m_curve = curve;
    showValues();
}

void CTimeCorrView::onSettingsWritten() {
    // Another writer changed the curve: show it, unless the installer is editing.
    if (m_curve == m_loaded && m_readOn == m_doc.connectionNumber()) loadCurve(timeCorrections(m_doc.lastControllerSettings()));
    updateButtons();
}

void CTimeCorrView::takeRecordingCurve() {
    std::vector<CSettingsBlock> history;
    if (!m_doc.readSettingsHistory(history) || history.empty()) return;
    // The recording's curve is only shown: it may be another car's, so "Wpisz" waits
    // until the controller's own curve is read again (or the installer clears it).
    m_curve = timeCorrections(history.back());
    m_readOn = 0;
    m_curveOwned = false;
}

// --- commands --------------------------------------------------------------------

void CTimeCorrView::onTimeCorrGet() {
    guarded(window(), "CTimeCorrView::onTimeCorrGet", [this] {
        CWaitCursor cursor;
        if (!m_doc.diagnosticsOn() && !m_doc.recordingPath().empty()) {
            // A replayed recording: its own curve, and nothing is asked of the controller.
            takeRecordingCurve();
            showCurvePoints();
        } else if (m_doc.isVersionOk()) {
            m_doc.host().showWait(WAIT_READING);
            bool ok = false;
            {
                WaitGuard wait{m_doc.host()};
                QApplication::processEvents();
                ok = m_doc.readTimeCorrections();
            }
            if (ok) {
                m_readOn = m_doc.connectionNumber();
                m_curveOwned = false;
                loadCurve(timeCorrections(m_doc.lastControllerSettings()));
            } else
                zefMessageBox(window(), MSG_READ_FAILED, QString(APP_CAPTION), EMsgStyle::Error);
        }
    });
    updateButtons();
    showValues();
}

void CTimeCorrView::onTimeCorrSet() {
    guarded(window(), "CTimeCorrView::onTimeCorrSet()", [this] {
        SettingsWriteResult result;
        {
            CWaitCursor cursor;
            result = m_doc.commitSettings(curveWriteRequest(m_doc, m_curve, EWriteSource::Curve));
        }
        if (showWriteResult(window(), result, {MSG_CURVE_WRITE_TEXT, MSG_CAR_DATA})) {
            m_readOn = m_doc.connectionNumber();
            m_curveOwned = false;
            loadCurve(timeCorrections(m_doc.lastControllerSettings()));
        }
    });
    updateButtons();
}

void CTimeCorrView::onClear() {
    m_curve = TimeCorrectionCurve{};
    m_curveOwned = true;
    rebuildFromCurve();
    showValues();
    updateButtons();
}

void CTimeCorrView::onSpin(int point, int step) {
    if (point < 0 || point >= POINTS) return;
    const auto k = static_cast<size_t>(point);
    const std::optional<double> next = spinTimeCorrection(m_curve[k], step);
    if (!next) return;
    m_curve[k] = *next;
    showValues();
    rebuildFromCurve();
    showValues();
}

void CTimeCorrView::onCheck(int point) {
    if (point < 0 || point >= POINTS) return;
    m_chart.SetEdited(point, m_checks[static_cast<size_t>(point)]->isChecked());
    enablePoint(point);
    update(m_chart.GetPlotRect()); // the bar turns blue or grey
}

void CTimeCorrView::onMarkTimer() {
    CDiag newest;
    const double mark = m_doc.diagData().getLast(newest) ? petrolMs(newest) : 0.0;
    if (mark == m_chart.Highlight()) return;
    m_chart.SetHighlight(mark);
    update(m_chart.GetPlotRect());
}

} // namespace zefirel
