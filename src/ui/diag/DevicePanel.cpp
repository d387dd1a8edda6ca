#include "ui/diag/DevicePanel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QStandardItemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>

#include "diag/DeviceDoc.h"
#include "diag/DiagUnits.h"
#include "link/Conversions.h"
#include "ui/app/LPGBar.h"
#include "ui/support/MsgHelper.h"


namespace zefirel {

namespace {
const char* const CHART_NAMES[] = {"Obroty 1/min", "Czas wtrysku [ms]", "Ciśnienie [kPa]", "Temperatura LPG [C]",
                                   "Sonda Lambda [V]"};
constexpr int DEFAULT_CHART = 1;
QFont panelFont(bool bold) {
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    // The faces that stand in for MS Sans Serif (DejaVu Sans here) run wider; 17 px
    // gives about the line width its 20 px had, so every readout fits the 200 px pane.
    f.setPixelSize(17);
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    return f;
}

} // namespace

CSpinArrows::CSpinArrows(QWidget* parent) : QAbstractSpinBox(parent) {
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    // Only the arrows count: the box shows no number of its own.
    setFixedWidth(22);
    setFocusPolicy(Qt::StrongFocus);
}

void CSpinArrows::stepBy(int steps) { emit stepped(steps); }

void CSpinArrows::wheelEvent(QWheelEvent* e) { e->ignore(); }

void CSpinArrows::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_PageUp || e->key() == Qt::Key_PageDown) {
        e->ignore();
        return;
    }
    QAbstractSpinBox::keyPressEvent(e);
}

CDevicePanel::CDevicePanel(CDeviceDoc& doc, CLPGBar* bar, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_bar(bar) {
    setObjectName(QStringLiteral("devicePanel"));
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(4, 4, 4, 4);
    lay->setSpacing(4);

    auto* modes = new QHBoxLayout;
    m_btnGasoline = new QPushButton(QStringLiteral("Benzyna"), this);
    m_btnLpg = new QPushButton(QStringLiteral("LPG"), this);
    m_btnAuto = new QPushButton(QStringLiteral("Auto"), this);
    m_btnGasoline->setObjectName(QStringLiteral("btnGasoline"));
    m_btnLpg->setObjectName(QStringLiteral("btnLpg"));
    m_btnAuto->setObjectName(QStringLiteral("btnAuto"));
    m_btnGasoline->setToolTip(QStringLiteral("Przełącz sterownik na benzynę (Ctrl+B)"));
    m_btnLpg->setToolTip(QStringLiteral("Przełącz sterownik na LPG (Ctrl+L)"));
    m_btnAuto->setToolTip(QStringLiteral("Sterownik sam przełącza na LPG i benzynę (Ctrl+A)"));
    for (QPushButton* b : {m_btnGasoline, m_btnLpg, m_btnAuto}) {
        b->setMinimumWidth(10);
        // The mode chosen last stays pressed; the field below shows what the
        // controller reports it does.
        b->setCheckable(true);
        b->setAutoExclusive(false);
        modes->addWidget(b);
    }
    lay->addLayout(modes);
    connect(m_btnGasoline, &QPushButton::clicked, this, &CDevicePanel::onBtnGasoline);
    connect(m_btnLpg, &QPushButton::clicked, this, &CDevicePanel::onBtnLpg);
    connect(m_btnAuto, &QPushButton::clicked, this, &CDevicePanel::onBtnAuto);

    auto* state = new QLabel(this);
    state->setObjectName(QStringLiteral("workState"));
    state->setAlignment(Qt::AlignCenter);
    state->setAutoFillBackground(true);
    state->setFrameShape(QFrame::Box);
    state->setFont(panelFont(true));
    m_fields[QStringLiteral("workState")] = state;
    lay->addWidget(state);

    auto* injRow = new QHBoxLayout;
    injRow->addWidget(new QLabel(QStringLiteral("Wtryskiwacz"), this));
    m_injector = new QComboBox(this);
    m_injector->setObjectName(QStringLiteral("injector"));
    for (int i = 1; i <= 8; ++i) m_injector->addItem(QString::number(i));
    injRow->addWidget(m_injector, 1);
    lay->addLayout(injRow);
    connect(m_injector, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_doc.setSelectedInjector(index + 1); });

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    addReadout(grid, 0, QStringLiteral("RPM"), QStringLiteral("rpm"), COLOUR_YELLOW, true);
    addReadout(grid, 1, QStringLiteral("Czas benz."), QStringLiteral("petrolTime"), COLOUR_WHITE, false);
    addReadout(grid, 2, QStringLiteral("Czas LPG"), QStringLiteral("lpgTime"), COLOUR_YELLOW, true);
    addReadout(grid, 3, QStringLiteral("T.ogrzewacza"), QStringLiteral("heaterTemp"), COLOUR_WHITE, false);
    addReadout(grid, 4, QStringLiteral("T. LPG"), QStringLiteral("lpgTemp"), COLOUR_YELLOW, true);
    addReadout(grid, 5, QStringLiteral("Ciśn.różnicowe"), QStringLiteral("pressure"), COLOUR_WHITE, false);
    addReadout(grid, 6, QStringLiteral("Lambda"), QStringLiteral("lambda"), COLOUR_YELLOW, true);
    addReadout(grid, 7, QStringLiteral("T. wewn."), QStringLiteral("internalTemp"), COLOUR_WHITE, false);
    addReadout(grid, 8, QStringLiteral("Nap. zas."), QStringLiteral("supplyVoltage"), COLOUR_YELLOW, false);
    m_supplyLabel = qobject_cast<QLabel*>(grid->itemAtPosition(8, 0)->widget());
    m_supplyLabel->setObjectName(QStringLiteral("supplyVoltageLabel"));
    lay->addLayout(grid);

    auto* corr = new QGroupBox(QStringLiteral("Główna poprawka [ms]"), this);
    auto* corrLay = new QHBoxLayout(corr);
    corrLay->setContentsMargins(4, 4, 4, 4);
    m_correction = new QLineEdit(corr);
    m_correction->setObjectName(QStringLiteral("correctionEdit"));
    m_correction->setToolTip(QStringLiteral("Główna poprawka w ms: liczba z kropką lub przecinkiem\n") +
                             correctionRangeText().trimmed());
    m_spin = new CSpinArrows(corr);
    m_spin->setObjectName(QStringLiteral("correctionSpin"));
    m_btnWrite = new QPushButton(QStringLiteral("Wpisz"), corr);
    m_btnWrite->setObjectName(QStringLiteral("btnWrite"));
    m_btnWrite->setMinimumWidth(10);
    corrLay->addWidget(m_correction, 1);
    corrLay->addWidget(m_spin);
    corrLay->addWidget(m_btnWrite);
    lay->addWidget(corr);
    connect(m_spin, &CSpinArrows::stepped, this, &CDevicePanel::onSpin);
    connect(m_btnWrite, &QPushButton::clicked, this, &CDevicePanel::onBtnWrite);
    // Enter in the edit writes as "Wpisz"; Up and Down step it as the arrows do.
    connect(m_correction, &QLineEdit::returnPressed, this, [this] {
        if (m_btnWrite->isEnabled()) onBtnWrite();
    });
    m_correction->installEventFilter(this);

    lay->addWidget(new QLabel(QStringLiteral("Wykres"), this));
    m_chart = new QComboBox(this);
    m_chart->setObjectName(QStringLiteral("chart"));
    for (const char* name : CHART_NAMES) m_chart->addItem(QString::fromUtf8(name));
    m_chart->setCurrentIndex(DEFAULT_CHART);
    lay->addWidget(m_chart);
    connect(m_chart, &QComboBox::activated, this, [this](int index) { emit chartSelected(index); });
    lay->addStretch(1);

    m_readoutTimer = new QTimer(this);
    m_readoutTimer->setObjectName(QStringLiteral("timer5001"));
    m_readoutTimer->setInterval(READOUT_PERIOD_MS);
    connect(m_readoutTimer, &QTimer::timeout, this, &CDevicePanel::onReadoutTick);
    m_reconnectTimer = new QTimer(this);
    m_reconnectTimer->setObjectName(QStringLiteral("timer5006"));
    connect(m_reconnectTimer, &QTimer::timeout, this, &CDevicePanel::onReconnectTick);

    resetNow();
}

QLabel* CDevicePanel::addReadout(QGridLayout* grid, int row, const QString& label, const QString& name,
                                 uint32_t colour, bool bold) {
    auto* caption = new QLabel(label, this);
    caption->setFont(panelFont(bold));
    grid->addWidget(caption, row, 0);
    auto* f = new QLabel(this);
    f->setObjectName(name);
    f->setAutoFillBackground(true);
    f->setFrameShape(QFrame::Panel);
    f->setFrameShadow(QFrame::Sunken);
    f->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    f->setFont(panelFont(true));
    f->setMinimumWidth(60);
    paintField(f, colour);
    grid->addWidget(f, row, 1);
    m_fields[name] = f;
    return f;
}

QLabel* CDevicePanel::field(const QString& name) const {
    auto it = m_fields.find(name);
    return it == m_fields.end() ? nullptr : it->second;
}

void CDevicePanel::setReadout(const QString& name, const QString& text) {
    if (QLabel* f = field(name)) f->setText(text);
}

void CDevicePanel::setWorkState(const QString& text, uint32_t colour, bool keepColour) {
    QLabel* f = field(QStringLiteral("workState"));
    f->setText(text);
    if (!keepColour) paintField(f, colour);
    f->repaint();
}


int CDevicePanel::chartIndex() const { return m_chart->currentIndex(); }
int CDevicePanel::injector() const { return m_injector->currentIndex() + 1; }

bool CDevicePanel::selectChart(int index) {
    if (index < 0 || index >= m_chart->count() || index == m_chart->currentIndex()) return false;
    m_chart->setCurrentIndex(index);
    emit chartSelected(index);
    return true;
}

void CDevicePanel::selectInjector(int injector) {
    if (injector >= 1 && injector <= m_injector->count() && injectorAvailable(injector))
        m_injector->setCurrentIndex(injector - 1);
}

bool CDevicePanel::injectorAvailable(int injector) const {
    const int count = m_doc.isVersionOk() ? m_doc.settings().injectorCount() : 0;
    // Without a known count (no controller yet) every injector may be chosen.
    return count <= 0 || injector <= count;
}

void CDevicePanel::limitInjectors() {
    auto* model = qobject_cast<QStandardItemModel*>(m_injector->model());
    if (!model) return;
    for (int i = 0; i < model->rowCount(); ++i)
        if (QStandardItem* item = model->item(i)) item->setEnabled(injectorAvailable(i + 1));
    if (!injectorAvailable(m_injector->currentIndex() + 1)) m_injector->setCurrentIndex(0);
}

} // namespace zefirel
