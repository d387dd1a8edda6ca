// The car history window: a seeded history's lines newest first in the
// installer's words, two writes compared as the settings dialog lists changes,
// "Przywróć" writing an earlier record into the virtual controller after its list
// of changes (and nothing when the list is answered "Nie"), and a history file
// that cannot be opened said in the window.

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

#include <fstream>
#include <thread>

#include "AppTestKit.h"
#include "history/HistoryJournal.h"
#include "ui/history/CarHistoryDlg.h"

namespace zefirel::test {
namespace {

QStringList column(QTableWidget* t, int c) {
    QStringList out;
    for (int r = 0; r < t->rowCount(); ++r) out << t->item(r, c)->text();
    return out;
}

/// The timeline's row of the write from this source ("Panel", "Ustawienia ręczne").
int rowFrom(QTableWidget* t, const char* source) {
    return static_cast<int>(column(t, 2).indexOf(QString::fromUtf8(source)));
}

/// Chooses these rows of the timeline (and only them).
void chooseRows(QTableWidget* t, std::initializer_list<int> rows) {
    t->clearSelection();
    for (int r : rows)
        t->selectionModel()->select(t->model()->index(r, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

CSettingsBlock carRecord(double mainCorrection, const char* make) {
    CSettingsBlock b;
    b.setIdentity("ZF-000777");
    b.setCarText(ECarText::make, make);
    b.setCarText(ECarText::model, "Astra");
    b.setCarText(ECarText::capacity, "1.6");
    b.setMainCorrection(mainCorrection);
    return b;
}

class CarHistoryGui : public AppTest {
protected:
    std::string dbPath() const { return m_home.path() + "/historia.sqlite"; }
    QTableWidget* timeline(CCarHistoryDlg& dlg) { return dlg.findChild<QTableWidget*>(QStringLiteral("historyTimeline")); }
    QString changes(CCarHistoryDlg& dlg) {
        return dlg.findChild<QPlainTextEdit*>(QStringLiteral("historyChanges"))->toPlainText();
    }
    QPushButton* restore(CCarHistoryDlg& dlg) { return dlg.findChild<QPushButton*>(QStringLiteral("historyRestore")); }

    /// Writes the main correction through the one write path, as the panel does.
    void writeCorrection(double ms, EWriteSource source) {
        SettingsWriteRequest r;
        r.wanted = doc().settings();
        r.wanted.setMainCorrection(ms);
        r.source = source;
        ASSERT_TRUE(doc().commitSettings(r).ok());
    }
    std::vector<std::vector<uint8_t>> setupFramesSince(size_t n) const {
        std::vector<std::vector<uint8_t>> out;
        const auto all = m_controller->received();
        for (size_t i = n; i < all.size(); ++i)
            if (all[i].type == MSG_TYPE_SETUP) out.push_back(all[i].payload);
        return out;
    }
    /// The program on the simulator with two writes in the car's history: the main
    /// correction 1.2 ms from the panel, then 1.8 ms from the settings dialog.
    void twoWrites() {
        startWithoutDiagnostics();
        doc().setCarDataKnown(true);
        // The history opens (and takes in the car files there are: none) before the
        // writes, so that their own car file does not come back as an import.
        ASSERT_TRUE(docUi().history().withDatabase([](CHistoryDb&) {}));
        m_first = m_controller->received().size();
        writeCorrection(1.2, EWriteSource::Panel);
        m_earlierFrames = setupFramesSince(m_first);
        m_earlierRecord = m_controller->setupRecord();
        writeCorrection(1.8, EWriteSource::Dialog);
        ASSERT_EQ(m_earlierFrames.size(), 1u);
    }
    size_t m_first = 0;
    std::vector<std::vector<uint8_t>> m_earlierFrames;
    std::array<uint8_t, 26> m_earlierRecord{};
};

TEST_F(CarHistoryGui, TimelineShowsTheCarsLinesNewestFirstInPolish) {
    {
        CHistoryDb db(dbPath());
        ASSERT_TRUE(db.open()) << db.problem();
        WriteJournalEntry first;
        first.source = EWriteSource::Panel;
        first.outcome = EWriteOutcome::Written;
        first.ok = true;
        first.before = carRecord(1.0, "Opel");
        first.after = carRecord(1.5, "Opel");
        first.changes = settingsChanges(first.before, first.after);
        ASSERT_NE(db.recordWrite(first, EWriteSource::Dialog), 0);
        ASSERT_NE(db.recordAutoSetup(first.after, false, "Brak obrotów silnika"), 0);
        ASSERT_NE(db.recordRecording(first.after, "/dane/jazda.lpgd", 95.0, "95 s"), 0);
        ASSERT_NE(db.recordReport(first.after, "/dane/Raport-ZF-000777.pdf"), 0);
        // The last write a second later, so that it is the newest line by its time.
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        WriteJournalEntry failed = first;
        failed.source = EWriteSource::AutoSetup;
        failed.outcome = EWriteOutcome::WriteFailed;
        failed.ok = false;
        ASSERT_NE(db.recordWrite(failed, EWriteSource::Dialog), 0);
    }
    CHistoryJournal journal(EWriteSource::Dialog, dbPath());
    CCarHistoryDlg dlg(journal, nullptr);
    ASSERT_TRUE(dlg.available());
    auto* cars = dlg.findChild<QTableWidget*>(QStringLiteral("historyCars"));
    ASSERT_EQ(cars->rowCount(), 1);
    EXPECT_EQ(cars->item(0, 0)->text(), QStringLiteral("Opel Astra 1.6"));
    EXPECT_EQ(cars->item(0, 2)->text(), QStringLiteral("ZF-000777"));
    QTableWidget* t = timeline(dlg);
    EXPECT_EQ(column(t, 1), (QStringList{QStringLiteral("Zapis ustawień"), QStringLiteral("Raport serwisowy"),
                                         QStringLiteral("Nagranie"), QStringLiteral("Ustawienia automatyczne"),
                                         QStringLiteral("Zapis ustawień")}));
    EXPECT_EQ(column(t, 2).first(), QStringLiteral("Ustawienia automatyczne"));
    EXPECT_EQ(column(t, 2).last(), QStringLiteral("Panel"));
    EXPECT_EQ(column(t, 3).first(), QStringLiteral("Błąd zapisu"));
    EXPECT_EQ(column(t, 3).last(), QStringLiteral("Wpisano"));
    // The failed write and the failed setup stand out; the good write does not.
    EXPECT_EQ(t->item(0, 3)->foreground().color(), QColor(192, 0, 0));
    EXPECT_EQ(t->item(3, 3)->foreground().color(), QColor(192, 0, 0));
    EXPECT_NE(t->item(4, 3)->foreground().color(), QColor(192, 0, 0));
    EXPECT_GT(t->item(0, 0)->text(), t->item(1, 0)->text());
    EXPECT_GE(t->item(1, 0)->text(), t->item(4, 0)->text());

    // A search that matches nothing empties both lists.
    dlg.findChild<QLineEdit*>(QStringLiteral("historySearch"))->setText(QStringLiteral("Fiat"));
    EXPECT_EQ(cars->rowCount(), 0);
    EXPECT_EQ(t->rowCount(), 0);
}

TEST_F(CarHistoryGui, TwoWritesComparedShowTheSettingsDialogsChangeList) {
    twoWrites();
    CCarHistoryDlg dlg(docUi().history(), &doc());
    ASSERT_TRUE(dlg.chooseIdentity(doc().settings().identity()));
    QTableWidget* t = timeline(dlg);
    // The two writes, and the recording that ran before them.
    ASSERT_EQ(t->rowCount(), 3);
    EXPECT_EQ(t->item(0, 1)->text(), QStringLiteral("Nagranie"));
    const int panel = rowFrom(t, "Panel"), dialog = rowFrom(t, "Ustawienia ręczne");
    ASSERT_EQ(dialog, 1);
    ASSERT_EQ(panel, 2);
    // One write: what it changed.
    chooseRows(t, {dialog});
    EXPECT_TRUE(changes(dlg).contains(QStringLiteral("Główna poprawka [ms]: 1.2 → 1.8"))) << changes(dlg).toStdString();
    // Two writes, chosen newest first: from the earlier one to the later one.
    chooseRows(t, {dialog, panel});
    const QString text = changes(dlg);
    EXPECT_TRUE(text.startsWith(QStringLiteral("Różnice między zapisem z "))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\nGłówna poprawka [ms]: 1.2 → 1.8\n"))) << text.toStdString();
    EXPECT_FALSE(restore(dlg)->isEnabled()); // two lines: nothing to put back
}

TEST_F(CarHistoryGui, RestoreWritesTheEarlierRecordAfterItsChangeList) {
    twoWrites();
    CCarHistoryDlg dlg(docUi().history(), &doc());
    ASSERT_TRUE(dlg.chooseIdentity(doc().settings().identity()));
    QTableWidget* t = timeline(dlg);
    chooseRows(t, {rowFrom(t, "Panel")}); // the write of 1.2 ms
    ASSERT_TRUE(restore(dlg)->isEnabled());
    const size_t before = m_controller->received().size();
    restore(dlg)->click();
    // The same record as the earlier write sent, after the list of changes.
    EXPECT_EQ(setupFramesSince(before), m_earlierFrames);
    EXPECT_EQ(m_controller->setupRecord(), m_earlierRecord);
    EXPECT_DOUBLE_EQ(doc().settings().mainCorrection(), 1.2);
    EXPECT_TRUE(shownStartingWith(QStringLiteral("Zmiany względem ustawień sterownika:\nGłówna poprawka [ms]: 1.8 → 1.2\n")));
    // The restore is a line of its own, the newest write.
    ASSERT_EQ(t->rowCount(), 4);
    const int restored = rowFrom(t, "Zapisane ustawienia");
    ASSERT_GE(restored, 0);
    EXPECT_LT(restored, rowFrom(t, "Ustawienia ręczne"));
    EXPECT_EQ(t->item(restored, 3)->text(), QStringLiteral("Wpisano"));
}

TEST_F(CarHistoryGui, RestoreAnsweredNoWritesNothing) {
    twoWrites();
    setMessageInterceptor([this](const ShownMessage& m) {
        std::lock_guard<std::mutex> g(m_lock);
        m_messages.push_back(m);
        return m.text.startsWith(QStringLiteral("Zmiany")) ? EMsgResult::No : EMsgResult::Yes;
    });
    const auto now = m_controller->setupRecord();
    CCarHistoryDlg dlg(docUi().history(), &doc());
    ASSERT_TRUE(dlg.chooseIdentity(doc().settings().identity()));
    chooseRows(timeline(dlg), {rowFrom(timeline(dlg), "Panel")});
    const size_t before = m_controller->received().size();
    EXPECT_FALSE(dlg.onRestore());
    EXPECT_TRUE(shownStartingWith(QStringLiteral("Zmiany względem ustawień sterownika:")));
    EXPECT_TRUE(setupFramesSince(before).empty());
    EXPECT_EQ(m_controller->setupRecord(), now);
    EXPECT_DOUBLE_EQ(doc().settings().mainCorrection(), 1.8);
}

TEST_F(CarHistoryGui, TheMenuOpensTheWindowAtTheConnectedCar) {
    twoWrites();
    QAction* entry = mainFrame().action(ID_CAR_HISTORY);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->text().remove(QLatin1Char('&')), QStringLiteral("Historia samochodu..."));
    QString identity;
    int lines = -1;
    onNextModal([&](QWidget* w) {
        auto* dlg = qobject_cast<CCarHistoryDlg*>(w);
        ASSERT_NE(dlg, nullptr);
        auto* cars = dlg->findChild<QTableWidget*>(QStringLiteral("historyCars"));
        ASSERT_FALSE(cars->selectedItems().isEmpty());
        identity = cars->item(cars->selectedItems().first()->row(), 2)->text();
        lines = timeline(*dlg)->rowCount();
        dlg->reject();
    });
    entry->trigger();
    EXPECT_EQ(identity, QString::fromStdString(doc().settings().identity()));
    EXPECT_EQ(lines, 3); // the two writes and the recording before them
}

TEST_F(CarHistoryGui, AHistoryFileThatCannotBeOpenedIsSaidInTheWindow) {
    {
        std::ofstream junk(dbPath(), std::ios::binary);
        junk << std::string(4096, 'x');
    }
    CHistoryJournal journal(EWriteSource::Dialog, dbPath());
    CCarHistoryDlg dlg(journal, nullptr);
    EXPECT_FALSE(dlg.available());
    auto* problem = dlg.findChild<QLabel*>(QStringLiteral("historyProblem"));
    EXPECT_FALSE(problem->isHidden());
    EXPECT_TRUE(problem->text().contains(QString::fromStdString(dbPath()))) << problem->text().toStdString();
    EXPECT_FALSE(dlg.findChild<QTableWidget*>(QStringLiteral("historyCars"))->isEnabled());
}

} // namespace
} // namespace zefirel::test
