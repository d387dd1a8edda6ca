#include "ui/history/CarHistoryDlg.h"

#include <QAbstractItemView>
#include <QColor>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "diag/DeviceDoc.h"
#include "history/HistoryJournal.h"
#include "ui/history/HistoryTexts.h"
#include "ui/settings/ChangeLabels.h"
#include "ui/support/DialogKit.h"
#include "ui/support/MsgHelper.h"
#include "ui/support/WriteGate.h"
#include "ui/support/WriteResultBox.h"

namespace zefirel {

namespace {

/// The item data that holds a list row's id.
constexpr int ROW_ID = Qt::UserRole;
/// ... and the kind of a timeline line.
constexpr int ROW_KIND = Qt::UserRole + 1;

QTableWidget* makeTable(QWidget* parent, const char* name, const QStringList& headers) {
    auto* t = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    t->setObjectName(QLatin1String(name));
    t->setHorizontalHeaderLabels(headers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

QTableWidgetItem* cell(const QString& text) { return new QTableWidgetItem(text); }

QString carName(const HistoryCar& car) {
    QStringList parts;
    for (ECarText t : {ECarText::make, ECarText::model, ECarText::capacity}) {
        const QString s = qstr(car.texts[static_cast<size_t>(t)]).trimmed();
        if (!s.isEmpty()) parts << s;
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace

CCarHistoryDlg::CCarHistoryDlg(CHistoryJournal& journal, CDeviceDoc* doc, QWidget* parent)
    : QDialog(parent), m_journal(journal), m_doc(doc) {
    setObjectName(QStringLiteral("carHistoryDlg"));
    setWindowTitle(QStringLiteral("Historia samochodu"));
    auto* v = new QVBoxLayout(this);
    m_problem = makeNoteLine(this, "historyProblem");
    m_problem->setStyleSheet(QStringLiteral("color: rgb(192,0,0);"));
    v->addWidget(m_problem);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(buildCars());
    split->addWidget(buildTimeline());
    split->setStretchFactor(1, 2);
    split->setSizes({420, 680});
    v->addWidget(split, 1);
    auto* buttons = new QHBoxLayout;
    m_status = makeNoteLine(this, "historyStatus");
    buttons->addWidget(m_status, 1);
    buttons->addStretch(1);
    m_restore = namedButton(this, QStringLiteral("Przywróć"), "historyRestore");
    m_restore->setToolTip(QStringLiteral("Wpisuje do sterownika ustawienia zapisane w wybranym wpisie"));
    auto* close = namedButton(this, QStringLiteral("Zamknij"), "historyClose");
    buttons->addWidget(m_restore);
    buttons->addWidget(close);
    v->addLayout(buttons);
    connect(m_restore, &QPushButton::clicked, this, [this] { onRestore(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    if (m_doc)
        gateWrites(m_restore, *m_doc, [this] { return restorable(); });
    else
        m_restore->setEnabled(false);
    resize(1100, 640);
    refreshCars();
}

CCarHistoryDlg::~CCarHistoryDlg() = default;

QWidget* CCarHistoryDlg::buildCars() {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(0, 0, 0, 0);
    m_search = new QLineEdit(page);
    m_search->setObjectName(QStringLiteral("historySearch"));
    m_search->setPlaceholderText(QStringLiteral("Szukaj: marka, model, nr rejestracyjny, VIN, identyfikator"));
    m_search->setClearButtonEnabled(true);
    v->addWidget(m_search);
    m_carList = makeTable(page, "historyCars",
                          {QStringLiteral("Samochód"), QStringLiteral("Nr rejestracyjny"), QStringLiteral("Identyfikator"),
                           QStringLiteral("Ostatnio")});
    m_carList->setSelectionMode(QAbstractItemView::SingleSelection);
    v->addWidget(m_carList, 1);
    auto* form = new QFormLayout;
    m_registration = new QLineEdit(page);
    m_registration->setObjectName(QStringLiteral("historyRegistration"));
    m_vin = new QLineEdit(page);
    m_vin->setObjectName(QStringLiteral("historyVin"));
    m_note = new QLineEdit(page);
    m_note->setObjectName(QStringLiteral("historyNote"));
    form->addRow(QStringLiteral("Nr rejestracyjny"), m_registration);
    form->addRow(QStringLiteral("VIN"), m_vin);
    form->addRow(QStringLiteral("Notatka"), m_note);
    v->addLayout(form);
    m_saveDetails = namedButton(page, QStringLiteral("Zapisz dane samochodu"), "historySaveDetails");
    v->addWidget(m_saveDetails, 0, Qt::AlignRight);
    connect(m_search, &QLineEdit::textChanged, this, &CCarHistoryDlg::refreshCars);
    connect(m_carList, &QTableWidget::itemSelectionChanged, this, &CCarHistoryDlg::onCarChosen);
    connect(m_saveDetails, &QPushButton::clicked, this, [this] { onSaveDetails(); });
    return page;
}

QWidget* CCarHistoryDlg::buildTimeline() {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(0, 0, 0, 0);
    m_timeline = makeTable(page, "historyTimeline",
                           {QStringLiteral("Data"), QStringLiteral("Zdarzenie"), QStringLiteral("Źródło"),
                            QStringLiteral("Wynik"), QStringLiteral("Opis")});
    // One line shows what it did; two writes chosen show what differs between them.
    m_timeline->setSelectionMode(QAbstractItemView::ExtendedSelection);
    v->addWidget(m_timeline, 3);
    auto* hint = new QLabel(QStringLiteral("Wybierz dwa zapisy (Ctrl + kliknięcie), aby zobaczyć, czym się różnią."), page);
    hint->setObjectName(QStringLiteral("historyHint"));
    v->addWidget(hint);
    m_changes = new QPlainTextEdit(page);
    m_changes->setObjectName(QStringLiteral("historyChanges"));
    m_changes->setReadOnly(true);
    v->addWidget(m_changes, 2);
    connect(m_timeline, &QTableWidget::itemSelectionChanged, this, &CCarHistoryDlg::onEntriesChosen);
    return page;
}

bool CCarHistoryDlg::withDb(const std::function<void(CHistoryDb&)>& work) {
    std::string problem;
    if (m_journal.withDatabase(work, &problem)) return true;
    showProblem(problem.empty() ? QString::fromUtf8(MSG_HISTORY_PROBLEM_HEAD) : qstr(problem));
    return false;
}

void CCarHistoryDlg::showProblem(const QString& text) {
    m_available = false;
    showNote(m_problem, text);
    for (QWidget* w : std::initializer_list<QWidget*>{m_search, m_carList, m_registration, m_vin, m_note,
                                                      m_saveDetails, m_timeline, m_changes})
        w->setEnabled(false);
    m_restoreWrite.reset();
}

void CCarHistoryDlg::refreshCars() {
    const int64_t keep = chosenCar();
    const std::string search = m_search->text().trimmed().toStdString();
    m_cars.clear();
    withDb([&](CHistoryDb& db) { m_cars = db.cars(search); });
    const QSignalBlocker block(m_carList);
    m_carList->setRowCount(static_cast<int>(m_cars.size()));
    int keepRow = -1;
    for (int r = 0; r < static_cast<int>(m_cars.size()); ++r) {
        const HistoryCar& car = m_cars[static_cast<size_t>(r)];
        auto* name = cell(carName(car));
        name->setData(ROW_ID, QVariant::fromValue<qlonglong>(car.id));
        m_carList->setItem(r, 0, name);
        m_carList->setItem(r, 1, cell(qstr(car.registration)));
        m_carList->setItem(r, 2, cell(qstr(car.identity)));
        m_carList->setItem(r, 3, cell(qstr(car.lastSeen)));
        if (car.id == keep) keepRow = r;
    }
    fitColumnsToHeaders(m_carList);
    // The car chosen before stays chosen while the search still lists it; else the first.
    m_carList->clearSelection();
    if (keepRow < 0 && !m_cars.empty()) keepRow = 0;
    if (keepRow >= 0) m_carList->selectRow(keepRow);
    onCarChosen();
}

bool CCarHistoryDlg::chooseCar(int64_t carId) {
    for (int r = 0; r < m_carList->rowCount(); ++r)
        if (m_carList->item(r, 0)->data(ROW_ID).toLongLong() == carId) {
            m_carList->selectRow(r);
            return true;
        }
    return false;
}

bool CCarHistoryDlg::chooseIdentity(const std::string& identity) {
    if (identity.empty()) return false;
    // The list is the most recently seen first.
    for (const HistoryCar& car : m_cars)
        if (car.identity == identity) return chooseCar(car.id);
    return false;
}

int64_t CCarHistoryDlg::chosenCar() const {
    const QList<QTableWidgetItem*> items = m_carList->selectedItems();
    return items.isEmpty() ? 0 : m_carList->item(items.first()->row(), 0)->data(ROW_ID).toLongLong();
}

void CCarHistoryDlg::onCarChosen() {
    const int64_t id = chosenCar();
    const auto car = std::find_if(m_cars.begin(), m_cars.end(), [id](const HistoryCar& c) { return c.id == id; });
    const bool known = car != m_cars.end();
    m_registration->setText(known ? qstr(car->registration) : QString());
    m_vin->setText(known ? qstr(car->vin) : QString());
    m_note->setText(known ? qstr(car->note) : QString());
    for (QWidget* w : std::initializer_list<QWidget*>{m_registration, m_vin, m_note, m_saveDetails})
        w->setEnabled(known && m_available);
    showTimeline();
}

void CCarHistoryDlg::showTimeline() {
    const int64_t carId = chosenCar();
    m_entries.clear();
    if (carId != 0) withDb([&](CHistoryDb& db) { m_entries = db.timeline(carId); });
    const QSignalBlocker block(m_timeline);
    m_timeline->clearSelection();
    m_timeline->setRowCount(static_cast<int>(m_entries.size()));
    for (int r = 0; r < static_cast<int>(m_entries.size()); ++r) {
        const HistoryEntry& e = m_entries[static_cast<size_t>(r)];
        QTableWidgetItem* items[] = {cell(qstr(e.time)), cell(historyWhatText(e)), cell(historySourceText(e.source)),
                                     cell(historyResultText(e)), cell(qstr(e.summary))};
        items[0]->setData(ROW_ID, QVariant::fromValue<qlonglong>(e.id));
        items[0]->setData(ROW_KIND, static_cast<int>(e.kind));
        const bool failed = historyEntryFailed(e);
        for (int c = 0; c < 5; ++c) {
            if (failed) items[c]->setForeground(QColor(192, 0, 0));
            m_timeline->setItem(r, c, items[c]);
        }
    }
    fitColumnsToHeaders(m_timeline);
    onEntriesChosen();
}

std::vector<HistoryWrite> CCarHistoryDlg::chosenWrites() {
    std::vector<int64_t> ids;
    for (const QModelIndex& i : m_timeline->selectionModel()->selectedRows()) {
        const HistoryEntry& e = m_entries[static_cast<size_t>(i.row())];
        if (e.kind == EHistoryEntryKind::Write) ids.push_back(e.id);
    }
    std::vector<HistoryWrite> out;
    withDb([&](CHistoryDb& db) {
        for (int64_t id : ids)
            if (auto w = db.write(id)) out.push_back(std::move(*w));
    });
    // Oldest first: the change list reads from the earlier write to the later one.
    std::sort(out.begin(), out.end(), [](const HistoryWrite& a, const HistoryWrite& b) {
        return a.time != b.time ? a.time < b.time : a.id < b.id;
    });
    return out;
}

void CCarHistoryDlg::onEntriesChosen() {
    m_restoreWrite.reset();
    showNote(m_status, QString());
    const QModelIndexList rows = m_timeline->selectionModel()->selectedRows();
    QString text;
    if (rows.size() == 1) {
        const HistoryEntry& e = m_entries[static_cast<size_t>(rows.first().row())];
        if (e.kind == EHistoryEntryKind::Write) {
            const std::vector<HistoryWrite> w = chosenWrites();
            if (!w.empty()) {
                const HistoryWrite& one = w.front();
                text = one.changes.empty() ? QStringLiteral("Ten zapis niczego nie zmienił.\n")
                                           : QStringLiteral("Zmiany względem ustawień sterownika:\n") +
                                                 namedChanges(one.changes);
                if (!one.message.empty()) text += QStringLiteral("\n") + qstr(one.message) + QStringLiteral("\n");
                if (one.kind == EWriteKind::Settings && one.ok) m_restoreWrite = one;
            }
        } else if (e.kind == EHistoryEntryKind::AutoSetup) {
            withDb([&](CHistoryDb& db) {
                if (auto run = db.autoSetup(e.id)) text = qstr(run->log);
            });
        } else {
            text = qstr(e.summary) + (e.path.empty() ? QString() : QStringLiteral("\n") + qstr(e.path));
        }
    } else if (rows.size() == 2) {
        const std::vector<HistoryWrite> w = chosenWrites();
        if (w.size() == 2) {
            std::vector<SettingChange> diff = historyDiff(w[0], w[1]);
            // The maps are compared as a count of the cells that differ.
            QString mapLine;
            if (!diff.empty() && diff.back().name.rfind("map", 0) == 0) {
                mapLine = QStringLiteral("Mapa wtrysków: różnych komórek %1\n").arg(qstr(diff.back().after));
                diff.pop_back();
            }
            text = QStringLiteral("Różnice między zapisem z %1 a zapisem z %2:\n").arg(qstr(w[0].time), qstr(w[1].time)) +
                   (diff.empty() && mapLine.isEmpty() ? QStringLiteral("(brak różnic)\n") : namedChanges(diff) + mapLine);
        } else {
            text = QStringLiteral("Porównać można tylko dwa zapisy.");
        }
    } else if (rows.size() > 2) {
        text = QStringLiteral("Porównać można tylko dwa zapisy.");
    }
    m_changes->setPlainText(text);
    if (m_doc) m_restore->setEnabled(writeAllowed(*m_doc) && restorable());
}

bool CCarHistoryDlg::restorable() const { return m_available && m_restoreWrite.has_value(); }

bool CCarHistoryDlg::onRestore() {
    if (!m_doc || !m_restoreWrite) return false;
    const HistoryWrite w = *m_restoreWrite;
    const std::string problem = restoreProblem(w, m_doc->settings());
    if (!problem.empty()) {
        zefMessageBox(this, qstr(problem), QString(APP_CAPTION), EMsgStyle::Error);
        return false;
    }
    // The one write path reads the controller's record, lists what changes against
    // it (the question below) and writes only on "Tak".
    SettingsWriteRequest request = restoreRequest(w, EWriteSource::FileRestore);
    request.confirm = [this](const std::vector<SettingChange>& changes) {
        const CCursorLift lift;
        return confirmSettingChanges(this, changes);
    };
    SettingsWriteResult result;
    underWaitCursor([&] {
        result = m_doc->commitSettings(request);
        return true;
    });
    bool written = false;
    if (result.outcome == EWriteOutcome::Refused)
        zefMessageBox(this, qstr(result.message), QString(APP_CAPTION), EMsgStyle::Error);
    else
        written = showWriteResult(this, result,
                                  {QString::fromUtf8(MSG_WRITE_FAILED), QString::fromUtf8(MSG_WRITE_NO_CAR_DATA)});
    // The attempt is a line of the timeline now.
    const int64_t car = chosenCar();
    refreshCars();
    chooseCar(car);
    if (written) showNote(m_status, QStringLiteral("Przywrócono ustawienia z %1.").arg(qstr(w.time)));
    return written;
}

bool CCarHistoryDlg::onSaveDetails() {
    const int64_t car = chosenCar();
    if (car == 0) return false;
    bool saved = false;
    withDb([&](CHistoryDb& db) {
        saved = db.setCarDetails(car, m_registration->text().trimmed().toStdString(),
                                 m_vin->text().trimmed().toStdString(), m_note->text().trimmed().toStdString());
    });
    if (!saved) {
        if (m_available)
            zefMessageBox(this, QStringLiteral("Nie udało się zapisać danych samochodu w historii."),
                          QString(APP_CAPTION), EMsgStyle::Error);
        return false;
    }
    refreshCars();
    chooseCar(car);
    showNote(m_status, QStringLiteral("Zapisano dane samochodu."));
    return true;
}

} // namespace zefirel
