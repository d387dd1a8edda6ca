#include "ui/map/MapLearnWindow.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "diag/DeviceDoc.h"
#include "map/MapText.h"
#include "map/MapWrite.h"
#include "ui/map/CoverageGrid.h"
#include "ui/map/MapCompare.h"
#include "ui/map/MapView.h"
#include "ui/support/BackgroundWork.h"
#include "ui/support/MsgHelper.h"
#include "ui/support/WaitDlg.h"
#include "ui/support/WriteGate.h"
#include "ui/support/WriteResultBox.h"

namespace zefirel {

namespace {

/// Map cells listed one by one in the question before a write; the rest are counted.
constexpr int LISTED_CELLS = 12;

QString cellPercent(uint8_t byte) { return qstr(mapPercentText(int(byte) - MAP_NO_CORRECTION)); }

/// The write path's names of the values a map write changes, in the installer's words.
QString changeName(const std::string& name) {
    if (name == "optionFlags") return QStringLiteral("Opcje sterownika (poprawki czasu wtrysku, mapa wtrysków)");
    if (name.rfind("map", 0) == 0) return QStringLiteral("Komórki mapy z poprawką");
    return qstr(name);
}

CoverageTable coverageOf(const CMapLearner& learner) {
    CoverageTable t{};
    for (int s = 0; s < SPEED_BUCKETS; ++s)
        for (int l = 0; l < LOAD_BUCKETS; ++l) {
            const LearnCell c = learner.cell(s, l);
            // In a checking pass the LPG count is the one of that pass: what the
            // installer drives now.
            t[size_t(s)][size_t(l)] = {c.petrolCount, learner.checking() ? c.checkCount : c.lpgCount, c.state};
        }
    return t;
}

} // namespace

CMapLearnWindow::CMapLearnWindow(CDeviceDoc& doc, QWidget* parent) : QWidget(parent, Qt::Window), m_doc(doc) {
    setObjectName(QStringLiteral("mapLearnWindow"));
    setWindowTitle(QStringLiteral("Nauka mapy"));
    m_start = namedButton(this, QStringLiteral("Rozpocznij naukę"), "learnStartButton");
    m_write = namedButton(this, QStringLiteral("Wpisz"), "learnWriteButton");
    m_undo = namedButton(this, QStringLiteral("Cofnij"), "learnUndoButton");
    // Wide enough for each of its three texts, so the row does not move when it changes.
    const QFontMetrics fm(m_start->font());
    int textWidth = 0;
    for (const char* t : {"Rozpocznij naukę", "Zatrzymaj naukę", "Wznów naukę"})
        textWidth = std::max(textWidth, fm.horizontalAdvance(QString::fromUtf8(t)));
    m_start->setMinimumWidth(textWidth + 24);
    m_write->setToolTip(QStringLiteral("Wpisuje proponowaną mapę do sterownika (najpierw pokazuje listę zmian)"));
    m_undo->setToolTip(QStringLiteral("Wpisuje z powrotem mapę, którą sterownik miał przed nauką"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("learnStatus"));
    m_status->setWordWrap(true);
    m_pass = new QLabel(this);
    m_pass->setObjectName(QStringLiteral("learnPass"));
    m_pass->setWordWrap(true);
    m_done = new QLabel(this);
    m_done->setObjectName(QStringLiteral("learnDone"));
    m_done->setWordWrap(true);
    QFont bold = m_done->font();
    bold.setBold(true);
    m_done->setFont(bold);
    m_ignored = new QLabel(this);
    m_ignored->setObjectName(QStringLiteral("learnIgnored"));
    m_ignored->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_grid = new CCoverageGrid(this);
    m_compare = new CMapCompare(this);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_start, m_write, m_undo}) buttons->addWidget(b);
    buttons->addSpacing(12);
    buttons->addWidget(m_status, 1);

    auto* facts = new QVBoxLayout;
    facts->addWidget(m_pass);
    facts->addWidget(m_done);
    facts->addSpacing(8);
    facts->addWidget(m_ignored);
    facts->addStretch(1);
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_grid, 0, Qt::AlignTop);
    middle->addSpacing(12);
    middle->addLayout(facts, 1);

    auto* lay = new QVBoxLayout(this);
    lay->addLayout(buttons);
    lay->addLayout(middle);
    lay->addWidget(m_compare, 1);

    connect(m_start, &QPushButton::clicked, this, &CMapLearnWindow::onStartStop);
    connect(m_write, &QPushButton::clicked, this, &CMapLearnWindow::onWrite);
    connect(m_undo, &QPushButton::clicked, this, &CMapLearnWindow::onUndo);
    m_timer = new QTimer(this);
    m_timer->setInterval(LEARN_REFRESH_MS);
    connect(m_timer, &QTimer::timeout, this, &CMapLearnWindow::refresh);
    m_timer->start();
    showState();
    // The whole window on a 1280 × 800 screen, less the desktop's panels.
    const QRect room = screen() ? screen()->availableGeometry() : QRect(0, 0, 1280, 800);
    resize(std::min(room.width() - 20, 1260), std::min(room.height() - 40, 760));
}

MapBytes CMapLearnWindow::controllerMap() const {
    return m_session.wroteMap() ? m_session.learner().written() : m_session.previousMap();
}

void CMapLearnWindow::onStartStop() {
    if (m_session.running()) {
        m_session.stop();
    } else if (m_session.started()) {
        // What was polled during the pause is not taken, and nothing is compared
        // across the gap.
        m_session.skipStored(m_doc.diagData());
        m_session.lineLost();
        m_session.resume();
    } else if (writeAllowed(m_doc)) {
        guarded(this, "CMapLearnWindow::onStartStop()", [&] {
            bool ok = false;
            m_busy = true; // the session is the worker's until the read ends
            {
                CWaitCursor cursor;
                try {
                    runInBackground([&] { ok = m_session.start(m_doc); });
                } catch (...) {
                    m_busy = false;
                    throw;
                }
            }
            m_busy = false;
            if (ok) m_session.skipStored(m_doc.diagData()); // learning starts now
            if (!ok)
                zefMessageBox(this, QString::fromUtf8(MSG_MAP_READ_FAILED), QString(APP_CAPTION), EMsgStyle::Error);
        });
    }
    showState();
}

void CMapLearnWindow::refresh() {
    if (m_busy) return;
    // Samples stored before the line went are still taken; the stream then breaks
    // so nothing is compared across the gap. A new run after the reconnect refills
    // the store and the session follows it.
    if (m_session.running()) m_session.feed(m_doc.diagData());
    const bool line = m_doc.isVersionOk();
    if (!line && m_lineSeen && m_session.started()) m_session.lineLost();
    m_lineSeen = line;
    showState();
}

bool CMapLearnWindow::confirmWrite(const std::vector<SettingChange>& changes, const MapBytes& bytes,
                                   const QString& question) {
    const MapBytes before = controllerMap();
    QString cells;
    int changed = 0;
    for (int r = 0; r < MAP_ROWS; ++r)
        for (int c = 0; c < MAP_COLUMNS; ++c) {
            const size_t i = size_t(r * MAP_COLUMNS + c);
            if (bytes[i] == before[i]) continue;
            if (++changed <= LISTED_CELLS)
                cells += QStringLiteral("  %1 ms, %2 obr/min: %3 → %4\n")
                             .arg(qstr(mapRowLabel(r)), qstr(mapColumnHeader(c)), cellPercent(before[i]), cellPercent(bytes[i]));
        }
    if (changed > LISTED_CELLS) cells += QStringLiteral("  … i %1 innych\n").arg(changed - LISTED_CELLS);
    QString text = QStringLiteral("Zmienione komórki mapy wtrysków: %1\n").arg(changed) + cells;
    std::vector<SettingChange> named = changes;
    for (SettingChange& c : named) c.name = changeName(c.name).toStdString();
    if (!named.empty()) text += QStringLiteral("\nZmiany względem ustawień sterownika:\n") + qstr(formatChanges(named));
    return zefMessageBox(this, text + QLatin1Char('\n') + question, QString(APP_CAPTION), EMsgStyle::Question) ==
           EMsgResult::Yes;
}

bool CMapLearnWindow::commit(SettingsWriteRequest request, SettingsWriteResult& result) {
    // The write runs on a worker while the window paints; its question comes back
    // here, and the wait window shows only once the installer said yes.
    CWaitDlg wait(QString::fromUtf8(WAIT_MAP_WRITE));
    wait.setWindowModality(Qt::ApplicationModal);
    if (request.confirm)
        request.confirm = [this, &wait, ask = request.confirm](const std::vector<SettingChange>& changes) {
            bool yes = false;
            QMetaObject::invokeMethod(
                this,
                [&] {
                    const CCursorLift lift;
                    yes = ask(changes);
                    if (yes) wait.showCentred();
                },
                Qt::BlockingQueuedConnection);
            return yes;
        };
    m_busy = true;
    {
        CWaitCursor cursor;
        try {
            runInBackground([&] { result = m_doc.commitSettings(request); });
        } catch (...) {
            m_busy = false;
            throw;
        }
    }
    m_busy = false;
    wait.hide();
    const WriteTexts texts{QStringLiteral("Nie powiodło się wpisanie ustawień do urządzenia!"),
                           QString::fromUtf8(MSG_WRITE_NO_CAR_DATA)};
    return showWriteResult(this, result, texts);
}

void CMapLearnWindow::onWrite() {
    guarded(this, "CMapLearnWindow::onWrite()", [&] {
        const MapBytes bytes = m_session.proposedMap();
        const SettingsWriteRequest request =
            m_session.writeRequest(m_doc, [this, bytes](const std::vector<SettingChange>& changes) {
                return confirmWrite(changes, bytes, QStringLiteral("Czy chcesz wpisać proponowaną mapę do urządzenia?"));
            });
        SettingsWriteResult result;
        commit(request, result);
        if (m_session.noteWrite(request, result))
            emit notice(QStringLiteral("Wpisano mapę z nauki. Sterownik pracuje na benzynie — przełącz na LPG "
                                       "i przejedź te same punkty pracy"));
    });
    showState();
}

void CMapLearnWindow::onUndo() {
    guarded(this, "CMapLearnWindow::onUndo()", [&] {
        const MapBytes bytes = m_session.previousMap();
        const SettingsWriteRequest request =
            m_session.undoRequest(m_doc, [this, bytes](const std::vector<SettingChange>& changes) {
                return confirmWrite(changes, bytes,
                                    QStringLiteral("Czy chcesz wpisać z powrotem mapę, którą sterownik miał przed nauką?"));
            });
        SettingsWriteResult result;
        commit(request, result);
        if (m_session.noteUndo(result))
            emit notice(QStringLiteral("Przywrócono mapę sprzed nauki. Sterownik pracuje na benzynie"));
    });
    showState();
}

QString CMapLearnWindow::statusText() const {
    if (!m_session.started())
        return writeAllowed(m_doc) ? QStringLiteral("Nauka nie trwa. Rozgrzej silnik i naciśnij „Rozpocznij naukę”.")
                                   : QStringLiteral("Brak połączenia ze sterownikiem.");
    if (!m_session.running()) return QStringLiteral("Nauka zatrzymana. Tabela jest zachowana.");
    if (!m_doc.isVersionOk())
        return QStringLiteral("Brak połączenia ze sterownikiem. Tabela jest zachowana; nauka wznowi się po "
                              "ponownym połączeniu.");
    if (!m_doc.diagnosticsOn())
        return QStringLiteral("Tryb diagnostyczny jest wyłączony: włącz go, aby zbierać próbki.");
    return QStringLiteral("Nauka trwa.");
}

QString CMapLearnWindow::doneText() const {
    const CMapLearner& l = m_session.learner();
    if (l.checking()) {
        if (l.converged())
            return QStringLiteral("Wszystkie komórki z poprawką mieszczą się w tolerancji ±%1%. Nauka zakończona.")
                .arg(l.tolerance());
        return QStringLiteral("W tolerancji ±%1%: %2 komórek (%3% komórek z poprawką)")
            .arg(l.tolerance())
            .arg(l.doneCells())
            .arg(l.doneShare());
    }
    return QStringLiteral("Gotowe: %1 z %2 przejechanych komórek (%3%)")
        .arg(l.doneCells())
        .arg(l.drivenCells())
        .arg(l.doneShare());
}

QString CMapLearnWindow::ignoredText() const {
    const CMapLearner& l = m_session.learner();
    QString text = QStringLiteral("Użyte próbki: %1\nPominięte próbki: %2\n").arg(l.used()).arg(l.ignoredTotal());
    for (int r = 0; r < LEARN_IGNORE_REASONS; ++r) {
        const auto reason = static_cast<ELearnIgnore>(r);
        text += QStringLiteral("  %1: %2\n").arg(QString::fromUtf8(learnIgnoreText(reason))).arg(l.ignored(reason));
    }
    return text.trimmed();
}

void CMapLearnWindow::showState() {
    const CMapLearner& l = m_session.learner();
    m_grid->setTable(coverageOf(l));
    m_compare->setMaps(m_session.proposedMap(), controllerMap(), m_session.started());
    m_status->setText(statusText());
    m_pass->setText(l.checking() ? QStringLiteral("Przejazd sprawdzający %1: jedź na LPG przez te same punkty pracy.")
                                       .arg(l.pass() - 1)
                                 : QStringLiteral("Pierwszy przejazd: każdy punkt pracy najpierw na benzynie, potem "
                                                  "na LPG (z mapą wyłączoną lub pustą)."));
    m_done->setText(doneText());
    m_ignored->setText(ignoredText());
    updateButtons();
}

void CMapLearnWindow::updateButtons() {
    const bool free = writeAllowed(m_doc) && !m_busy;
    m_start->setText(m_session.running()   ? QStringLiteral("Zatrzymaj naukę")
                     : m_session.started() ? QStringLiteral("Wznów naukę")
                                           : QStringLiteral("Rozpocznij naukę"));
    m_start->setEnabled(!m_busy && (m_session.started() || free));
    const MapBytes proposal = m_session.proposedMap();
    m_write->setEnabled(free && m_session.started() && mapInUse(proposal) && proposal != controllerMap());
    m_undo->setEnabled(free && m_session.wroteMap());
}

} // namespace zefirel
