#include "ui/events/CompareDlg.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "diag/Recording.h"
#include "ui/bench/AcceptanceDlg.h"
#include "ui/bench/BenchWork.h"
#include "ui/events/CompareChart.h"
#include "ui/support/DialogKit.h"
#include "ui/support/MsgHelper.h"

namespace zefirel {

namespace {

QString Ms(double v) { return QString::number(v, 'f', 2); }
QString Percent(double v) { return QString::asprintf("%+.1f", v); }

/// Cells of one recording's side: times, difference and counts.
void FillSide(QTableWidget* t, int row, int col, const CompareSide& s) {
    const bool any = s.petrolCount > 0 || s.lpgCount > 0;
    auto* petrol = new QTableWidgetItem(s.petrolCount > 0 ? Ms(s.petrolMs) : QString());
    auto* lpg = new QTableWidgetItem(s.lpgCount > 0 ? Ms(s.lpgMs) : QString());
    auto* diff = new QTableWidgetItem(s.judged ? Percent(s.difference) : any ? QStringLiteral("za mało") : QString());
    auto* counts = new QTableWidgetItem(QStringLiteral("%1 / %2").arg(s.petrolCount).arg(s.lpgCount));
    if (!s.judged && any) {
        diff->setBackground(QColor(CHECK_TOO_FEW_COLOUR));
        diff->setToolTip(QStringLiteral("Za mało próbek jazdy na benzynie lub na LPG, by ocenić tę komórkę."));
    }
    int c = col;
    for (QTableWidgetItem* item : {petrol, lpg, diff, counts}) {
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        t->setItem(row, c++, item);
    }
}

} // namespace

CCompareDlg::CCompareDlg(QWidget* parent, std::function<QString(const QString&)> chooser)
    : QDialog(parent), m_chooser(std::move(chooser)) {
    setObjectName(QStringLiteral("compareDlg"));
    setWindowTitle(QStringLiteral("Porównanie nagrań"));
    auto* lay = new QVBoxLayout(this);
    const char* names[2][3] = {{"compareFileA", "compareChooseA", "Nagranie A (przed):"},
                               {"compareFileB", "compareChooseB", "Nagranie B (po):"}};
    for (int i = 0; i < 2; ++i) {
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel(QString::fromUtf8(names[i][2]), this));
        m_files[i] = new QLabel(QStringLiteral("nie wybrano"), this);
        m_files[i]->setObjectName(QString::fromLatin1(names[i][0]));
        m_files[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        row->addWidget(m_files[i], 1);
        QPushButton* pick = namedButton(this, QStringLiteral("Wybierz..."), names[i][1]);
        connect(pick, &QPushButton::clicked, this, [this, i] { choose(i == 1); });
        row->addWidget(pick);
        lay->addLayout(row);
    }
    m_verdict = new QLabel(this);
    m_verdict->setObjectName(QStringLiteral("compareVerdict"));
    m_verdict->setWordWrap(true);
    QFont bold = m_verdict->font();
    bold.setBold(true);
    m_verdict->setFont(bold);
    m_verdict->setMargin(4);
    lay->addWidget(m_verdict);

    auto* split = new QSplitter(Qt::Vertical, this);
    split->setObjectName(QStringLiteral("compareSplitter"));
    m_table = new QTableWidget(0, COL_COUNT, split);
    m_table->setObjectName(QStringLiteral("compareTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Obroty [1/min]"), QStringLiteral("Podciśnienie"),
                                        QStringLiteral("A: benz. na benz. [ms]"), QStringLiteral("A: benz. na LPG [ms]"),
                                        QStringLiteral("A: różnica [%]"), QStringLiteral("A: próbki benz./LPG"),
                                        QStringLiteral("B: benz. na benz. [ms]"), QStringLiteral("B: benz. na LPG [ms]"),
                                        QStringLiteral("B: różnica [%]"), QStringLiteral("B: próbki benz./LPG"),
                                        QStringLiteral("Zmiana A→B [p.p.]"), QStringLiteral("Ocena")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setStretchLastSection(true);

    auto* chartPane = new QWidget(split);
    auto* chartLay = new QVBoxLayout(chartPane);
    chartLay->setContentsMargins(0, 0, 0, 0);
    auto* offsetRow = new QHBoxLayout;
    auto* offsetLabel = new QLabel(QStringLiteral("&Przesunięcie B [próbki]:"), chartPane);
    offsetRow->addWidget(offsetLabel);
    m_offset = new QSpinBox(chartPane);
    m_offset->setObjectName(QStringLiteral("compareOffset"));
    m_offset->setRange(0, 0);
    offsetLabel->setBuddy(m_offset);
    offsetRow->addWidget(m_offset);
    m_slider = new QSlider(Qt::Horizontal, chartPane);
    m_slider->setObjectName(QStringLiteral("compareOffsetSlider"));
    m_slider->setRange(0, 0);
    offsetRow->addWidget(m_slider, 1);
    offsetRow->addWidget(new QLabel(QStringLiteral("(na wykresie: strzałki ←/→ o 10 próbek, z Shift o 1)"), chartPane));
    chartLay->addLayout(offsetRow);
    m_chart = new CCompareChartView(chartPane);
    chartLay->addWidget(m_chart, 1);
    split->addWidget(m_table);
    split->addWidget(chartPane);
    lay->addWidget(split, 1);

    connect(m_offset, &QSpinBox::valueChanged, this, &CCompareDlg::setOffset);
    connect(m_slider, &QSlider::valueChanged, this, &CCompareDlg::setOffset);
    connect(m_chart, &CCompareChartView::offsetStepRequested, this,
            [this](int delta) { setOffset(m_offset->value() + delta); });

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    QPushButton* close = namedButton(this, QStringLiteral("Zamknij"), "compareClose");
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    bottom->addWidget(close);
    lay->addLayout(bottom);
    resize(1000, 680);
}

CCompareDlg::~CCompareDlg() = default;

QString CCompareDlg::verdictText() const { return m_verdict->text(); }

int CCompareDlg::offset() const { return m_offset->value(); }

void CCompareDlg::setOffset(int samples) {
    samples = std::clamp(samples, m_offset->minimum(), m_offset->maximum());
    {
        const QSignalBlocker b1(m_offset), b2(m_slider);
        m_offset->setValue(samples);
        m_slider->setValue(samples);
    }
    m_chart->setOffset(samples);
}

void CCompareDlg::choose(bool second) {
    if (!m_chooser) return;
    const QString path = m_chooser(second ? QStringLiteral("Porównaj nagrania — nagranie B (po zmianie)")
                                          : QStringLiteral("Porównaj nagrania — nagranie A (przed zmianą)"));
    if (path.isEmpty()) return;
    QString paths[2] = {m_paths[0], m_paths[1]};
    paths[second ? 1 : 0] = path;
    if (paths[0].isEmpty() || paths[1].isEmpty()) {
        m_paths[second ? 1 : 0] = path;
        m_files[second ? 1 : 0]->setText(QDir::toNativeSeparators(path));
        return;
    }
    load(paths[0], paths[1]);
}

bool CCompareDlg::load(const QString& pathA, const QString& pathB) {
    CompareResult result;
    std::vector<CDiag> samples[2];
    bool failed = true;
    bool finished = false;
    guarded(this, "CCompareDlg::load()", [&] {
        finished = runWithProgress(this, QStringLiteral("Porównywanie nagrań..."), [&](const auto& progress, const auto& stop) {
            result = compareRecordings(pathA.toStdString(), pathB.toStdString());
            progress(50);
            if (stop) return;
            loadRecording(pathA.toStdString(), samples[0]);
            progress(75);
            if (stop) return;
            loadRecording(pathB.toStdString(), samples[1]);
            progress(100);
        });
        failed = false;
    });
    if (failed || !finished) return false;
    m_paths[0] = pathA;
    m_paths[1] = pathB;
    m_files[0]->setText(QDir::toNativeSeparators(pathA));
    m_files[1]->setText(QDir::toNativeSeparators(pathB));
    m_result = std::move(result);
    m_verdict->setText(QString::fromStdString(m_result.verdict));
    fillTable();
    m_chart->setRecordings(samples[0], samples[1]);
    const int lastA = samples[0].empty() ? 0 : int(samples[0].back().sampleNo());
    const int lastB = samples[1].empty() ? 0 : int(samples[1].back().sampleNo());
    {
        const QSignalBlocker b1(m_offset), b2(m_slider);
        m_offset->setRange(-lastB, lastA);
        m_slider->setRange(-lastB, lastA);
        m_slider->setPageStep(std::max(10, (lastA + lastB) / 50));
    }
    setOffset(0);
    return true;
}

void CCompareDlg::fillTable() {
    m_table->setRowCount(static_cast<int>(m_result.cells.size()));
    for (int row = 0; row < static_cast<int>(m_result.cells.size()); ++row) {
        const CompareCell& c = m_result.cells[size_t(row)];
        m_table->setItem(row, COL_SPEED, new QTableWidgetItem(QString::fromStdString(compareSpeedText(c.speedBucket))));
        m_table->setItem(row, COL_LOAD, new QTableWidgetItem(QString::fromStdString(compareLoadText(c.loadBucket))));
        FillSide(m_table, row, COL_A_PETROL, c.a);
        FillSide(m_table, row, COL_B_PETROL, c.b);
        const bool judged = c.verdict != ECompareChange::NotJudged;
        auto* change = new QTableWidgetItem(judged ? Percent(c.change) : QString());
        change->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_table->setItem(row, COL_CHANGE, change);
        QString text;
        QColor colour;
        switch (c.verdict) {
        case ECompareChange::Better: text = QStringLiteral("lepiej"); colour = QColor(CHECK_PASS_COLOUR); break;
        case ECompareChange::Worse: text = QStringLiteral("gorzej"); colour = QColor(CHECK_FAIL_COLOUR); break;
        case ECompareChange::Same: text = QStringLiteral("bez zmian"); break;
        case ECompareChange::NotJudged:
            text = QStringLiteral("bez oceny");
            colour = QColor(CHECK_TOO_FEW_COLOUR);
            break;
        }
        auto* verdict = new QTableWidgetItem(text);
        if (colour.isValid()) {
            verdict->setBackground(colour);
            change->setBackground(colour);
        }
        m_table->setItem(row, COL_VERDICT, verdict);
    }
    m_table->resizeColumnsToContents();
    fitColumnsToHeaders(m_table);
}

} // namespace zefirel
