#include "ui/chart/ChartSetupDlg.h"

#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "ui/chart/Chart.h"
#include "ui/support/MsgHelper.h"

namespace zefirel {

namespace {

/// Widest and narrowest x window the dialog lets through, in samples.
constexpr double MAX_X_WIDTH = 10000;
constexpr double MIN_X_WIDTH = 50;

const char* const FIELD_NAMES[CChartSetupDlg::FieldCount] = {"plotWidth", "plotHeight", "xMin", "xMax",
                                                              "yMin",      "yMax",       "xGrid", "yGrid"};

/// A group box with two labelled edits side by side.
QGroupBox* Pair(const QString& title, const QString& first, QLineEdit* a, const QString& second, QLineEdit* b) {
    auto* box = new QGroupBox(title);
    auto* row = new QHBoxLayout(box);
    if (!first.isEmpty()) row->addWidget(new QLabel(first));
    row->addWidget(a);
    if (!second.isEmpty()) row->addWidget(new QLabel(second));
    row->addWidget(b);
    return box;
}

} // namespace

CChartSetupDlg::CChartSetupDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("chartSetupDlg"));
    setWindowTitle(QStringLiteral("Ustawienia wykresu..."));
    for (int f = 0; f < FieldCount; ++f) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(FIELD_NAMES[f]));
        m_edits[static_cast<size_t>(f)] = edit;
    }
    m_edits[PlotWidth]->setReadOnly(true);
    m_edits[PlotHeight]->setReadOnly(true);
    for (Field f : {XMin, XMax, YMin, YMax}) m_edits[f]->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Pair(QStringLiteral("Wymiary (piksele)"), QString(), m_edits[PlotWidth], QString(),
                           m_edits[PlotHeight]));
    layout->addWidget(Pair(QStringLiteral("Zakres dla osi x"), QStringLiteral("od"), m_edits[XMin],
                           QStringLiteral("do"), m_edits[XMax]));
    layout->addWidget(Pair(QStringLiteral("Zakres dla osi y"), QStringLiteral("od"), m_edits[YMin],
                           QStringLiteral("do"), m_edits[YMax]));
    layout->addWidget(Pair(QStringLiteral("Siatka"), QStringLiteral("x"), m_edits[XGrid], QStringLiteral("y"),
                           m_edits[YGrid]));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CChartSetupDlg::accept);
    auto* cancel = new QPushButton(QStringLiteral("Anuluj"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(cancel, &QPushButton::clicked, this, &CChartSetupDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    WriteFields();
}

void CChartSetupDlg::FillFrom(const CSeriesChart& chart) {
    m_values = {chart.PlotWidth(), chart.PlotHeight(), chart.XMin(), chart.XMax(),
                chart.YMin(),      chart.YMax(),       chart.XGrid(), chart.YGrid()};
    WriteFields();
}

void CChartSetupDlg::ApplyTo(CSeriesChart& chart) const {
    CSeriesChart::SetXWindow(m_values[XMin], m_values[XMax]);
    chart.SetYRange(m_values[YMin], m_values[YMax]);
    CSeriesChart::SetXGridStep(m_values[XGrid]);
    chart.SetYGrid(m_values[YGrid]);
}

void CChartSetupDlg::WriteFields() {
    // Ten significant digits: enough for any sample number, and a grid step computed
    // as a tenth of a range shows as 0.3, not 0.30000000000000004.
    for (size_t f = 0; f < FieldCount; ++f) m_edits[f]->setText(QString::number(m_values[f], 'g', 10));
}

bool CChartSetupDlg::ReadFields() {
    std::array<double, FieldCount> read{};
    for (size_t f = 0; f < FieldCount; ++f) {
        bool ok = false;
        // A decimal comma is what a Polish keyboard user types: "1,5" is 1.5.
        QString text = m_edits[f]->text().trimmed();
        if (!text.contains(QLatin1Char('.'))) text.replace(QLatin1Char(','), QLatin1Char('.'));
        read[f] = text.toDouble(&ok);
        if (!ok || !std::isfinite(read[f])) return false;
    }
    m_values = read;
    return true;
}

void CChartSetupDlg::OnXMaxLeft() {
    if (!ReadFields()) return;
    double& lo = m_values[XMin];
    double& hi = m_values[XMax];
    if (hi - lo > MAX_X_WIDTH) lo = std::max(hi - MAX_X_WIDTH, 0.0);
    if (hi - lo < MIN_X_WIDTH) {
        lo = std::max(hi - MIN_X_WIDTH, 0.0);
        if (hi - MIN_X_WIDTH <= 0) hi = MIN_X_WIDTH;
    }
    m_values[XGrid] = (hi - lo) / 10;
    WriteFields();
}

void CChartSetupDlg::OnXMinLeft() {
    if (!ReadFields()) return;
    double& lo = m_values[XMin];
    double& hi = m_values[XMax];
    if (hi - lo > MAX_X_WIDTH) hi = lo + MAX_X_WIDTH;
    if (hi - lo < MIN_X_WIDTH) hi = lo + MIN_X_WIDTH;
    m_values[XGrid] = (hi - lo) / 10;
    WriteFields();
}

void CChartSetupDlg::OnYLeft() {
    if (!ReadFields()) return;
    m_values[YGrid] = (m_values[YMax] - m_values[YMin]) / 10;
    WriteFields();
}

bool CChartSetupDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        if (watched == m_edits[XMax]) OnXMaxLeft();
        else if (watched == m_edits[XMin]) OnXMinLeft();
        else if (watched == m_edits[YMin] || watched == m_edits[YMax]) OnYLeft();
    }
    return QDialog::eventFilter(watched, event);
}

void CChartSetupDlg::accept() {
    // Grid steps must be positive too: a zero or negative step has no grid to draw.
    const bool valid = ReadFields() && m_values[XMax] > m_values[XMin] && m_values[YMax] > m_values[YMin] &&
                       m_values[XGrid] > 0 && m_values[YGrid] > 0;
    if (valid) {
        QDialog::accept();
        return;
    }
    zefMessageBox(this, QStringLiteral("Nieprawidłowe wartości"));
}

bool CChartSetupDlg::Run(CSeriesChart& chart, QWidget* view, const QString& scalePath) {
    CChartSetupDlg dlg(view);
    dlg.FillFrom(chart);
    if (dlg.exec() != QDialog::Accepted) return false;
    dlg.ApplyTo(chart);
    if (view) view->update();
    chart.SaveScale(scalePath);
    return true;
}

} // namespace zefirel
