// The commands that talk to the controller, from the windows: each one meets a
// vanished line with a message instead of ending the program, EEPROM transfers run
// while the window keeps painting and the progress moves, and the waits that can
// be cancelled offer "Anuluj".

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "AppTestKit.h"
#include "diag/Recording.h"
#include "ui/app/AboutDlg.h"
#include "ui/app/Commands.h"
#include "ui/app/DeviceFrm.h"
#include "ui/app/QtHost.h"
#include "ui/diag/DevicePanel.h"
#include "ui/map/TimeCorrView.h"
#include "ui/support/WaitDlg.h"

namespace zefirel::test {
namespace {

std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

/// The wait window on screen, or null.
CWaitDlg* visibleWait() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<CWaitDlg*>(w); d && d->isVisible()) return d;
    return nullptr;
}

class ControllerCommands : public AppTest {
protected:
    void startQuiet(const sim::SimConfig& cfg = sim::SimConfig()) {
        startWithoutDiagnostics(cfg);
        doc().setAdministratorLevel(true); // the EEPROM entries, and writes without car data
        updateMenus();
    }
    QPushButton* button(const char* name) {
        return docUi().frame()->panel()->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    QPushButton* timeCorrButton(const char* name) {
        return docUi().frame()->timeCorrView()->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    /// Whether a message shown after the first `from` ones names the handler.
    bool caughtAt(size_t from, const char* where) {
        const auto all = messages();
        const QString details = QStringLiteral("Szczegóły: ") + QString::fromLatin1(where);
        return std::any_of(all.begin() + static_cast<long>(std::min(from, all.size())), all.end(),
                           [&](const ShownMessage& m) { return m.text.contains(details); });
    }
};

TEST_F(ControllerCommands, EveryCommandMeetsAVanishedLineWithAMessage) {
    startQuiet();
    const std::string image = m_home.path() + "/image.eeprom";
    writeBytes(image, std::vector<uint8_t>(EEPROM_SIZE, 0x11));
    m_server->closeLine();
    ASSERT_TRUE(waitUntil([&] { return m_server->lineClosed(); }, 2000));

    struct Case {
        const char* where;
        std::function<void()> run;
    };
    const Case cases[] = {
        {"CAboutDlg::OnInitDialog()",
         [&] {
             onNextModal([](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
             mainFrame().action(ID_ABOUT)->trigger();
         }},
        {"CDevicePanel::onBtnGasoline()", [&] { button("btnGasoline")->click(); }},
        {"CDevicePanel::onBtnLpg()", [&] { button("btnLpg")->click(); }},
        {"CDevicePanel::onBtnAuto()", [&] { button("btnAuto")->click(); }},
        {"CDevicePanel::onBtnWrite()", [&] { button("btnWrite")->click(); }},
        {"CDevicePanel::onBtnWrite()", [&] { docUi().frame()->panel()->onSpin(1); }},
        {"CDeviceDoc::onEepromRead()",
         [&] {
             m_nextFile = QString::fromStdString(m_home.path() + "/copy.eeprom");
             mainFrame().action(ID_EEPROM_READ)->trigger();
         }},
        {"CDeviceDoc::onEepromWrite()",
         [&] {
             m_nextFile = QString::fromStdString(image);
             mainFrame().action(ID_EEPROM_WRITE)->trigger();
         }},
        {"CDeviceDoc::onErrorsRead()", [&] { mainFrame().action(ID_ERRORS_READ)->trigger(); }},
        {"CDeviceDoc::onErrorsClear()", [&] { mainFrame().action(ID_ERRORS_CLEAR)->trigger(); }},
        {"CInjSeqDlg::OnInitDialog()",
         [&] {
             onNextModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
             mainFrame().action(ID_INJ_SEQUENCE)->trigger();
         }},
        {"CTimeCorrView::onTimeCorrGet", [&] { timeCorrButton("btnTimeCorrRead")->click(); }},
        {"CTimeCorrView::onTimeCorrSet()", [&] { timeCorrButton("btnTimeCorrWrite")->click(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        const size_t before = messages().size();
        c.run();
        EXPECT_TRUE(caughtAt(before, c.where));
        EXPECT_EQ(visibleWait(), nullptr);
    }
    EXPECT_FALSE(std::filesystem::exists(m_home.path() + "/copy.eeprom"));
    EXPECT_TRUE(docUi().frame()->isVisible());
}

TEST_F(ControllerCommands, EepromTransfersLeaveTheWindowRunningAndMoveTheProgress) {
    sim::SimConfig cfg;
    cfg.baudTiming = true; // 64 blocks at 14400 baud: over a second each way
    startQuiet(cfg);
    QProgressBar* progress = docUi().frame()->bar()->progressBar();
    std::vector<uint8_t> pattern(EEPROM_SIZE);
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>(i * 7 + 3);
    const std::string load = m_home.path() + "/load.eeprom";
    writeBytes(load, pattern);
    const std::string copy = m_home.path() + "/copy.eeprom";

    for (const bool read : {true, false}) {
        SCOPED_TRACE(read ? "read into a file" : "write from a file");
        m_nextFile = QString::fromStdString(read ? copy : load);
        int ticks = 0, highest = 0;
        QTimer probe; // runs only while the GUI thread is free
        probe.setInterval(20);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            ++ticks;
            highest = std::max(highest, progress->value());
        });
        probe.start();
        QElapsedTimer took;
        took.start();
        mainFrame().action(read ? ID_EEPROM_READ : ID_EEPROM_WRITE)->trigger();
        const qint64 ms = took.elapsed();
        probe.stop();
        ASSERT_GT(ms, 500);
        EXPECT_GT(ticks, ms / 20 / 4) << ms << " ms";
        EXPECT_GT(highest, 0);
        EXPECT_LT(highest, 100);
        EXPECT_EQ(progress->value(), 0);
        const auto sim = m_controller->eeprom();
        const std::vector<uint8_t> inSim(sim.begin(), sim.end());
        EXPECT_EQ(read ? fileBytes(copy) : pattern, inSim);
    }
    // Only the question before the write, which replaces every setting.
    for (const ShownMessage& m : messages()) {
        EXPECT_EQ(m.style, EMsgStyle::Question) << m.text.toStdString();
        EXPECT_TRUE(m.text.contains(QStringLiteral("zastąpi wszystkie ustawienia"))) << m.text.toStdString();
    }
}

/// Presses "Anuluj" of the wait window once it has been on screen for delayMs,
/// noting the wait's text. It looks whenever the GUI thread runs its events, also
/// while the wait window first paints.
class CAnulujPresser {
public:
    explicit CAnulujPresser(int delayMs) {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this, delayMs] {
            CWaitDlg* wait = visibleWait();
            auto* anuluj = wait ? wait->findChild<QPushButton*>(QStringLiteral("waitCancel")) : nullptr;
            if (!anuluj || pressed) return;
            text = wait->text();
            buttonText = anuluj->text();
            if (!m_seen.isValid()) m_seen.start();
            if (m_seen.elapsed() >= delayMs) {
                anuluj->click();
                pressed = true;
            }
        });
        m_timer.start();
    }
    bool pressed = false;
    QString text, buttonText;

private:
    QTimer m_timer;
    QElapsedTimer m_seen;
};

TEST_F(ControllerCommands, AnulujEndsTheResetWaitOfClearingErrors) {
    startQuiet();
    sim::SimFaults faults;
    faults.muteAfter = 1; // the switch to petrol is answered, the polls for its state are not
    m_server->setFaults(faults);
    CAnulujPresser presser(1500);
    QElapsedTimer took;
    took.start();
    mainFrame().action(ID_ERRORS_CLEAR)->trigger();
    EXPECT_TRUE(presser.pressed);
    EXPECT_EQ(presser.text, QStringLiteral("Resetowanie sterownika LPG..."));
    EXPECT_EQ(presser.buttonText, QStringLiteral("Anuluj"));
    EXPECT_LT(took.elapsed(), 10000) << "the wait went on to its time-out";
    EXPECT_TRUE(shown(QStringLiteral("Nie można skasować błędów urządzenia")));
    EXPECT_EQ(visibleWait(), nullptr);
}

TEST_F(AppTest, TheReplayWaitOffersAnulujAndTheReplayEndsWhenItIsPressed) {
    startProgram(); // no controller: the replay is enabled
    const std::string file = m_home.path() + "/long.lpgd";
    {
        CRecordingWriter w;
        ASSERT_TRUE(w.open(file));
        CDiag d;
        for (uint32_t n = 1; n <= 2000; ++n) {
            d.setSampleNo(n);
            ASSERT_TRUE(w.write(d));
        }
    }
    m_nextFile = QString::fromStdString(file);
    CAnulujPresser presser(0); // at once: the replay may be over at its first wait
    mainFrame().action(ID_REPLAY)->trigger();
    EXPECT_TRUE(presser.pressed);
    EXPECT_EQ(presser.text, QStringLiteral("Wczytywanie pliku diagnostycznego..."));
    EXPECT_FALSE(doc().diagnosticsOn());
    EXPECT_FALSE(doc().inputThreadRunning());
    EXPECT_LE(doc().diagData().count(), 2000);
    EXPECT_EQ(doc().recordingPath(), file);
    EXPECT_EQ(visibleWait(), nullptr);
}

TEST_F(AppTest, AReplaySaysWhatItReadAndRefusesAFileWithoutARecord) {
    startProgram(); // no controller: the replay is enabled
    const std::string line = "1\t1\t2\t1\t4800\t4800\t120\t0\t0\t0\t100\t120\t110\t70\t23\t30\t0\t0\r\n";
    // Line 2 is cut short: it costs its own sample, not the one after it.
    const std::string damaged = m_home.path() + "/damaged.lpgd", empty = m_home.path() + "/empty.lpgd";
    std::ofstream(damaged, std::ios::binary) << line << "2\t1\t2\t1\t48\r\n" << "3" << line.substr(1);
    std::ofstream(empty, std::ios::binary) << "";

    m_nextFile = QString::fromStdString(damaged);
    mainFrame().action(ID_REPLAY)->trigger();
    EXPECT_EQ(doc().diagData().count(), 2);
    CDiag last;
    ASSERT_TRUE(doc().diagData().getLast(last));
    EXPECT_EQ(last.sampleNo(), 3u);
    EXPECT_EQ(last.rpmPeriod(), 4800);
    EXPECT_TRUE(shown(QString::fromUtf8("Pominięto uszkodzone wiersze pliku danych diagnostycznych: %1\n"
                                        "Wczytano wierszy: 3, użyto: 2, pominięto: 1 (pierwszy błędny: wiersz 2)")
                          .arg(m_nextFile)));
    EXPECT_EQ(doc().recordingPath(), damaged);

    m_nextFile = QString::fromStdString(empty);
    mainFrame().action(ID_REPLAY)->trigger();
    const auto all = messages();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back().text, QString::fromUtf8("Plik nie zawiera żadnego poprawnego zapisu danych diagnostycznych: %1\n"
                                                 "Wczytano wierszy: 0, użyto: 0, pominięto: 0")
                                   .arg(m_nextFile));
    EXPECT_EQ(all.back().style, EMsgStyle::Error);
    EXPECT_NE(doc().recordingPath(), empty) << "nothing of it is taken as a recording";
}

TEST(QtHostWait, OnlyACancellableWaitHasAnulujAndPumpingReportsIt) {
    qtApp();
    CQtHost host;
    host.showWait("Nawiązanie połączenia z urządzeniem...");
    ASSERT_NE(host.waitDialog(), nullptr);
    EXPECT_EQ(host.waitDialog()->findChild<QPushButton*>(QStringLiteral("waitCancel")), nullptr);
    EXPECT_TRUE(host.pumpEvents());
    host.closeWait();
    EXPECT_EQ(host.waitDialog(), nullptr);

    host.showCancellableWait("Wczytywanie pliku diagnostycznego...");
    CWaitDlg* wait = host.waitDialog();
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(wait->text(), QStringLiteral("Wczytywanie pliku diagnostycznego..."));
    auto* anuluj = wait->findChild<QPushButton*>(QStringLiteral("waitCancel"));
    ASSERT_NE(anuluj, nullptr);
    EXPECT_TRUE(host.pumpEvents());
    anuluj->click();
    EXPECT_FALSE(host.pumpEvents());
    EXPECT_FALSE(host.pumpEvents()); // it stays cancelled until the wait closes
    host.closeWait();
    host.showCancellableWait("Resetowanie sterownika LPG...");
    EXPECT_TRUE(host.pumpEvents()); // a new wait starts afresh
    host.closeWait();
}

} // namespace
} // namespace zefirel::test
