#include "ui/bench/AcceptanceDlg.h"

#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "diag/Recording.h"
#include "map/MapText.h"
#include "ui/app/NumberFormat.h"
#include "ui/bench/BenchWork.h"
#include "ui/map/MapGrid.h"
#include "ui/support/MsgHelper.h"

namespace zefirel {

CAcceptanceDlg::CAcceptanceDlg(QWidget* parent, std::function<QString()> chooser)
    : QDialog(parent), m_chooser(std::move(chooser)) {
    setObjectName(QStringLiteral("acceptanceDlg"));
    setWindowTitle(QStringLiteral("Sprawdzenie ustawień"));
    auto* lay = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    m_file = new QLabel(QStringLiteral("Nie wybrano nagrania."), this);
    m_file->setObjectName(QStringLiteral("checkFile"));
    top->addWidget(m_file, 1);
    top->addWidget(new QLabel(QStringLiteral("Tolerancja:"), this));
    m_tolerance = new CDecimalSpinBox(this);
    m_tolerance->setObjectName(QStringLiteral("checkTolerance"));
    m_tolerance->setRange(0.5, 50);
    m_tolerance->setSingleStep(0.5);
    m_tolerance->setDecimals(1);
    m_tolerance->setSuffix(QStringLiteral(" %"));
    m_tolerance->setValue(ACCEPT_DEFAULT_TOLERANCE);
    top->addWidget(m_tolerance);
    QPushButton* choose = namedButton(this, QStringLiteral("Wybierz nagranie..."), "checkChoose");
    top->addWidget(choose);
    lay->addLayout(top);
    m_verdict = new QLabel(this);
    m_verdict->setObjectName(QStringLiteral("checkVerdict"));
    m_verdict->setWordWrap(true);
    m_verdict->setAutoFillBackground(true);
    m_verdict->setMargin(6);
    lay->addWidget(m_verdict);
    auto* legend = new QLabel(
        QStringLiteral("W komórkach: różnica czasu wtrysku benzyny podczas jazdy na LPG względem jazdy na benzynie "
                       "(wiersze: czas wtrysku benzyny, kolumny: obroty). Zielone — w tolerancji, czerwone — poza "
                       "nią, żółte — za mało próbek, by ocenić."),
        this);
    legend->setWordWrap(true);
    lay->addWidget(legend);
    m_grid = new CMapGrid(this);
    m_grid->setObjectName(QStringLiteral("checkGrid"));
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lay->addWidget(m_grid, 1);
    QPushButton* close = namedButton(this, QStringLiteral("Zamknij"), "checkClose");
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(close);
    lay->addLayout(bottom);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(choose, &QPushButton::clicked, this, [this] {
        const QString path = m_chooser ? m_chooser() : QString();
        if (!path.isEmpty())
            load(path);
    });
    connect(m_tolerance, &QDoubleSpinBox::valueChanged, this, [this] { judge(); });
    resize(820, 640);
    judge();
}

bool CAcceptanceDlg::load(const QString& path) {
    MapResult cells;
    uint64_t samples = 0;
    RecordingReadStats lines;
    bool finished = false;
    try {
        finished = runWithProgress(this, QStringLiteral("Wczytywanie nagrania..."),
                                   [&](const auto& progress, const auto& stop) {
                                       cells = readRecordingCells(path.toStdString(), MapUnits::current(), progress,
                                                                  &stop, samples, &lines);
                                   });
    } catch (IError* e) {
        showCaughtError(this, QString(), "CAcceptanceDlg::load()", e);
        return false;
    }
    if (!finished)
        return false;
    m_cells = cells;
    m_samples = samples;
    m_loaded = true;
    m_path = path;
    m_file->setText(QStringLiteral("Nagranie: %1 (%2)").arg(QFileInfo(path).fileName(), qstr(recordingStatsText(lines))));
    judge();
    showRecordingDamage(this, path.toStdString(), lines);
    return true;
}

void CAcceptanceDlg::setTolerance(double percent) { m_tolerance->setValue(percent); }

QString CAcceptanceDlg::verdictText() const { return m_verdict->text(); }

void CAcceptanceDlg::judge() {
    if (!m_loaded) {
        m_verdict->setText(QStringLiteral("Wybierz nagranie z jazdą na benzynie i na LPG."));
        return;
    }
    m_result = judgeCells(m_cells, m_tolerance->value());
    m_result.samples = m_samples;
    m_grid->setTexts(checkTexts(m_result));
    // The grid takes a changed cell for a value typed by hand; these are not.
    const QSignalBlocker quiet(m_grid);
    for (int row = 0; row < MAP_ROWS; ++row) {
        for (int column = 0; column < MAP_COLUMNS; ++column) {
            const CheckCell& c = m_result.cells[row][column];
            QTableWidgetItem* item = m_grid->item(row, column + 1);
            if (!item || c.state == ECheckCell::Empty)
                continue;
            const QRgb colour = c.state == ECheckCell::Pass   ? CHECK_PASS_COLOUR
                                : c.state == ECheckCell::Fail ? CHECK_FAIL_COLOUR
                                                              : CHECK_TOO_FEW_COLOUR;
            item->setBackground(QColor(colour));
            item->setToolTip(QStringLiteral("Benzyna: %1 próbek, średnio %2 ms\nLPG: %3 próbek, średnio %4 ms")
                                 .arg(c.petrolCount)
                                 .arg(c.petrolMean, 0, 'f', 2)
                                 .arg(c.lpgCount)
                                 .arg(c.lpgMean, 0, 'f', 2));
        }
    }
    m_verdict->setText(qstr(checkVerdictText(m_result)));
    QPalette pal = m_verdict->palette();
    pal.setColor(QPalette::Window, QColor(m_result.verdict == ECheckVerdict::Pass   ? CHECK_PASS_COLOUR
                                          : m_result.verdict == ECheckVerdict::Fail ? CHECK_FAIL_COLOUR
                                                                                    : CHECK_TOO_FEW_COLOUR));
    m_verdict->setPalette(pal);
}

} // namespace zefirel
