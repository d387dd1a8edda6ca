// The live panel against the virtual controller: readouts and their formats, the
// work-mode buttons and keys, the main correction's spin and "Wpisz" with the text
// they accept, the periodic error check and settings re-read, a run restarted
// while polling, the reconnect after the line went silent and the connection to a
// controller that appears after the program started.

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <future>
#include <initializer_list>
#include <utility>

#include "AppTestKit.h"
#include "diag/DiagUnits.h"
#include "link/Conversions.h"
#include "ui/app/Commands.h"
#include "ui/app/DeviceFrm.h"
#include "ui/chart/Chart.h"
#include "ui/diag/DevicePanel.h"
#include "ui/diag/DisplayView.h"

namespace zefirel::test {
namespace {

class PanelTest : public AppTest {
protected:
    CDevicePanel* panel() { return docUi().frame()->panel(); }
    QString text(const char* name) { return panel()->field(QString::fromLatin1(name))->text(); }
    QLineEdit* edit() { return panel()->findChild<QLineEdit*>(QStringLiteral("correctionEdit")); }
    QPushButton* button(const char* name) { return panel()->findChild<QPushButton*>(QString::fromLatin1(name)); }
    QWidget* injectorList() { return panel()->findChild<QWidget*>(QStringLiteral("injector")); }
    QString controllerCorrection() { return QString::asprintf("%.3f", m_controller->mainCorrectionMs()); }
    /// Gives a control of the (activated) main window the keyboard focus.
    bool focus(QWidget* w) {
        mainFrame().activateWindow();
        w->setFocus();
        return waitUntil([w] { return w->hasFocus(); }, 2000);
    }
    /// Expects each named readout to show exactly its text.
    void expectTexts(std::initializer_list<std::pair<const char*, const char*>> fields) {
        for (auto [name, want] : fields) EXPECT_EQ(text(name), QString::fromUtf8(want)) << name;
    }
};

bool matches(const QString& s, const char* pattern) {
    return QRegularExpression(QRegularExpression::anchoredPattern(QString::fromLatin1(pattern))).match(s).hasMatch();
}

TEST_F(PanelTest, ReadoutsShowTheControllersValuesInTheirFormats) {
    sim::SimConfig cfg;
    cfg.ambientC = 60; // a warm engine: every temperature is shown as a number
    startSimulator(cfg);
    startProgram();
    EXPECT_TRUE(panel()->readoutTimerActive());
    ASSERT_TRUE(waitUntil([&] { return doc().diagData().count() > 10; }, 5000));
    panel()->onReadoutTick();
    CDiag last;
    ASSERT_TRUE(doc().diagData().getLast(last));

    const std::pair<const char*, const char*> formats[] = {
        {"rpm", "\\d+"},           {"petrolTime", "\\d+\\.\\d\\d"}, {"lpgTime", "\\d+\\.\\d\\d"},
        {"lambda", "\\d\\.\\d"},     {"supplyVoltage", "\\d+\\.\\d"}, {"internalTemp", "-?\\d+"},
        {"lpgTemp", "-?\\d+"},     {"heaterTemp", "-?\\d+"}};
    for (auto [name, pattern] : formats) EXPECT_TRUE(matches(text(name), pattern)) << name << ": " << text(name).toStdString();
    EXPECT_NEAR(text("rpm").toDouble(), cfg.idleRpm, 150);
    EXPECT_NEAR(text("petrolTime").toDouble(), cfg.petrolIdleMs, 1.0);
    // The simulator starts on petrol.
    EXPECT_EQ(text("workState"), QStringLiteral("Benzyna"));
    EXPECT_EQ(shownColour(panel()->field(QStringLiteral("workState"))), SHOWN_YELLOW);
    // The injector indicators of the status bar follow the sample (4 injectors fire).
    CLPGBar* bar = docUi().frame()->bar();
    EXPECT_EQ(shownColour(bar->injectorField(0)), SHOWN_GREEN);
    EXPECT_EQ(shownColour(bar->injectorField(7)), SHOWN_GREY);
}

TEST_F(PanelTest, OutOfRangeValuesReadBrakAndNumbersStayNumbers) {
    startProgram(); // no controller: the test fills the store itself
    CDiag d;
    d.setRpmPeriod(0);             // no engine speed
    d.setPressureCode(0);          // 0 kPa
    d.setLpgTempCode(255);         // −36 °C
    d.setHeaterTempCode(254);      // −35 °C
    d.setInternalTempCode(255);    // −36 °C, still a number
    d.setWorkState(3);
    doc().diagData().add(d);
    panel()->onReadoutTick();
    expectTexts({{"rpm", "BRAK"}, {"pressure", "BRAK"}, {"lpgTemp", "BRAK"}, {"heaterTemp", "BRAK"},
                 {"internalTemp", "-36"}, {"lambda", "0.0"}, {"workState", "LPG"}});
    EXPECT_EQ(shownColour(panel()->field(QStringLiteral("workState"))), SHOWN_GREEN);

    // Feature 0x0800 hides the supply voltage while the engine runs on petrol.
    doc().updateSettings([](CSettingsBlock& b) { b.setFeatures(std::array<uint8_t, 20>{0x00, 0x08}.data()); });
    d.setWorkState(2);
    d.setRpmPeriod(static_cast<uint16_t>(rpmConstant() / 850));
    doc().diagData().add(d);
    panel()->onReadoutTick();
    EXPECT_TRUE(panel()->field(QStringLiteral("supplyVoltage"))->isHidden());
    EXPECT_TRUE(panel()->findChild<QLabel*>(QStringLiteral("supplyVoltageLabel"))->isHidden());
    EXPECT_EQ(text("rpm"), QStringLiteral("850"));

    // reset() puts back the initial texts.
    panel()->reset();
    expectTexts({{"rpm", "0"}, {"petrolTime", "0.00"}, {"pressure", "0.0"}, {"workState", "Benzyna"}});
}

TEST_F(PanelTest, ModeButtonsSwitchTheControllerAndTheField) {
    startSimulator();
    startProgram();
    // "Auto" keeps the colour of the mode before it until the next readout tick rewrites the field.
    const struct {
        const char* button;
        sim::EWorkMode mode;
        const char* text;
        QColor colour;
    } steps[] = {{"btnLpg", sim::EWorkMode::Lpg, "LPG", SHOWN_GREEN},
                 {"btnAuto", sim::EWorkMode::Auto, "AUTO", SHOWN_GREEN},
                 {"btnGasoline", sim::EWorkMode::Petrol, "Benzyna", SHOWN_YELLOW}};
    for (const auto& s : steps) {
        button(s.button)->click();
        EXPECT_EQ(m_controller->mode(), s.mode) << s.button;
        EXPECT_EQ(text("workState"), QString::fromUtf8(s.text));
        EXPECT_EQ(shownColour(panel()->field(QStringLiteral("workState"))), s.colour) << s.button;
    }
    EXPECT_FALSE(shown(QStringLiteral("Nie powiodło się przełączenie na LPG!")));

    // Ctrl+L reaches the same button through the frame.
    docUi().frame()->handleShortcut(Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(m_controller->mode(), sim::EWorkMode::Lpg);
}

TEST_F(PanelTest, ModeButtonsShowTheControllersWorkModeWhoeverSetIt) {
    startSimulator();
    startProgram();
    const auto pressed = [&] {
        QStringList out;
        for (const char* name : {"btnGasoline", "btnLpg", "btnAuto"})
            if (button(name)->isChecked()) out << QLatin1String(name);
        return out;
    };
    const auto showsOnly = [&](const char* name) {
        return waitUntil([&] { return pressed() == QStringList{QLatin1String(name)}; }, 5000);
    };
    // Before any click: the controller works on petrol, as its samples say.
    EXPECT_TRUE(showsOnly("btnGasoline")) << pressed().join(QLatin1Char(',')).toStdString();
    // Switched by the setup procedure, not by this panel.
    ASSERT_TRUE(doc().setWorkLpg());
    EXPECT_TRUE(showsOnly("btnLpg")) << pressed().join(QLatin1Char(',')).toStdString();
    // AUTO as the wizard's last step sets it stays shown while the controller picks the fuel.
    ASSERT_TRUE(doc().setWorkAuto());
    EXPECT_TRUE(showsOnly("btnAuto")) << pressed().join(QLatin1Char(',')).toStdString();
    pump(3 * READOUT_PERIOD_MS);
    EXPECT_EQ(pressed(), QStringList{QStringLiteral("btnAuto")});
    // A click shows its mode at once.
    button("btnGasoline")->click();
    EXPECT_EQ(pressed(), QStringList{QStringLiteral("btnGasoline")});
}

TEST_F(PanelTest, CorrectionNeedsCarDataThenSpinAndWpiszWriteOnlyValidValues) {
    startSimulator();
    startProgram();
    const double start = m_controller->mainCorrectionMs();
    EXPECT_EQ(edit()->text(), QString::asprintf("%.3f", start));

    // Without car data (and without the administrator level) the car information
    // dialog asks for them; cancelled, nothing is written.
    bool asked = false;
    onNextModal([&](QWidget* w) {
        asked = w->objectName() == QStringLiteral("carInfoDlg");
        qobject_cast<QDialog*>(w)->reject();
    });
    edit()->setText(QStringLiteral("1.500"));
    button("btnWrite")->click();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(shown(QStringLiteral("Aby wpisać ustawienia musisz podać dane dotyczące samochodu i zamontowanej instalacji")));
    // The installer chose to cancel: that is no failure to report.
    EXPECT_FALSE(shown(QStringLiteral("Nie powiodło się ustawienie urządzenia!")));
    EXPECT_DOUBLE_EQ(m_controller->mainCorrectionMs(), start);

    doc().setAdministratorLevel(true);
    button("btnWrite")->click();
    EXPECT_NEAR(m_controller->mainCorrectionMs(), 1.5, 1e-9);

    // One step up adds a tick; the value is snapped to the tick grid.
    edit()->setText(QStringLiteral("1.52")); // 1.545 ms lies nearer to 62 ticks than to 61
    panel()->onSpin(1);
    EXPECT_EQ(edit()->text(), QStringLiteral("1.550"));
    EXPECT_NEAR(m_controller->mainCorrectionMs(), 1.55, 1e-9);
    EXPECT_NEAR(doc().settings().value(ESetting::mainCorrection2), 1.55, 1e-9);

    // The control itself: its up arrow adds a step, the Down key takes one away.
    auto* spin = panel()->findChild<QAbstractSpinBox*>(QStringLiteral("correctionSpin"));
    const QPoint up(spin->width() - 4, 3);
    QTest::mousePress(spin, Qt::LeftButton, {}, up);
    QTest::mouseRelease(spin, Qt::LeftButton, {}, up);
    EXPECT_EQ(edit()->text(), QStringLiteral("1.575"));
    QTest::keyClick(spin, Qt::Key_Down);
    EXPECT_EQ(edit()->text(), QStringLiteral("1.550"));

    // A step past 6 ms (or below 0) changes nothing and sends nothing.
    edit()->setText(QStringLiteral("6.000"));
    panel()->onSpin(1);
    EXPECT_EQ(edit()->text(), QStringLiteral("6.000"));
    EXPECT_NEAR(m_controller->mainCorrectionMs(), 1.55, 1e-9);
    EXPECT_NEAR(doc().settings().mainCorrection(), 1.55, 1e-9);
    edit()->setText(QStringLiteral("0.000"));
    panel()->onSpin(-1);
    EXPECT_EQ(edit()->text(), QStringLiteral("0.000"));
    EXPECT_NEAR(m_controller->mainCorrectionMs(), 1.55, 1e-9);

    // "Wpisz" with a value the record check refuses: the check's text as an error,
    // nothing written anywhere, and the field shows the stored value again.
    const size_t before = messages().size();
    edit()->setText(QStringLiteral("7.5"));
    button("btnWrite")->click();
    const auto shownNow = messages();
    ASSERT_EQ(shownNow.size(), before + 1);
    EXPECT_EQ(shownNow.back().style, EMsgStyle::Error);
    EXPECT_TRUE(shownNow.back().text.contains(QStringLiteral("Błędna wartość głównej poprawki")));
    EXPECT_NEAR(doc().settings().mainCorrection(), 1.55, 1e-9);
    EXPECT_NEAR(m_controller->mainCorrectionMs(), 1.55, 1e-9);
    EXPECT_EQ(edit()->text(), QStringLiteral("1.550"));
}

TEST_F(PanelTest, StoredErrorsLightTheIndicatorOnTheTenthTick) {
    sim::SimConfig cfg;
    cfg.errors = {0x01};
    startSimulator(cfg);
    startProgram();
    panel()->stop(doc().currentRun()); // the test runs the ticks itself
    ASSERT_TRUE(waitUntil([&] { return doc().diagData().count() > 0; }, 5000));
    CLPGBar* bar = docUi().frame()->bar();
    for (int i = 0; i < 9; ++i) panel()->onReadoutTick();
    panel()->waitPeriodicReads();
    EXPECT_EQ(bar->errorField()->text(), QString());
    panel()->onReadoutTick();
    panel()->waitPeriodicReads();
    EXPECT_EQ(bar->errorField()->text(), QStringLiteral("Błąd"));
    EXPECT_EQ(shownColour(bar->errorField()), SHOWN_RED);
}

TEST_F(PanelTest, ASilentLineIsMarkedLostAndTheReconnectBringsDiagnosticsBack) {
    startSimulator();
    startProgram();
    ASSERT_TRUE(doc().diagnosticsOn());
    ASSERT_TRUE(waitUntil([&] { return text("rpm") != QStringLiteral("0"); }, 5000)); // live values shown
    m_server->setMuted(true);
    ASSERT_TRUE(waitUntil([&] { return doc().isConnectionLost(); }, 20000));
    ASSERT_TRUE(waitUntil([&] { return panel()->reconnectTimerActive(); }, 2000));
    EXPECT_EQ(panel()->reconnectInterval(), RECONNECT_FIRST_MS);
    // The first reconnect tick shows the state and, finding no controller, retries every 5 s.
    ASSERT_TRUE(waitUntil([&] { return panel()->reconnectInterval() == RECONNECT_RETRY_MS; }, 20000));
    CLPGBar* bar = docUi().frame()->bar();
    EXPECT_EQ(bar->connectionField()->text(), QStringLiteral("Brak połączenia"));
    EXPECT_FALSE(doc().diagnosticsOn());
    EXPECT_FALSE(button("btnLpg")->isEnabled());
    // The last values stay readable but grey, and no injector lamp claims activity.
    const auto textColour = [&] { return panel()->field(QStringLiteral("rpm"))->palette().color(QPalette::WindowText); };
    EXPECT_TRUE(panel()->readoutsStale());
    EXPECT_EQ(textColour(), QColor(0x80, 0x80, 0x80));
    EXPECT_NE(text("rpm"), QStringLiteral("0"));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(CLPGBar::fieldColour(bar->injectorField(i)), COLOUR_GREY) << i;

    m_server->setMuted(false);
    ASSERT_TRUE(waitUntil([&] { return doc().diagnosticsOn(); }, 20000));
    EXPECT_EQ(bar->connectionField()->text(), QStringLiteral("Połączony"));
    EXPECT_TRUE(button("btnLpg")->isEnabled());
    EXPECT_FALSE(panel()->readoutsStale());
    EXPECT_EQ(textColour(), QColor(Qt::black));
    const int from = doc().diagData().count();
    EXPECT_TRUE(waitUntil([&] { return doc().diagData().count() > from + 5; }, 5000));
}

TEST_F(PanelTest, CorrectionTextTakesEitherDecimalSeparatorAndAnythingElseSendsNothing) {
    startSimulator();
    startProgram();
    panel()->stop(doc().currentRun()); // no settings re-read in between
    doc().setAdministratorLevel(true);
    const struct {
        const char* text;
        bool spin;       // a spin step up instead of "Wpisz"
        double written;  // ms the controller then holds; < 0: refused
    } cases[] = {{"1,8", false, 1.8}, {" 2.025 ", false, 2.025}, {"1,5", true, 1.525}, {"abc", false, -1},
                 {"1.5ms", false, -1}, {"", false, -1}, {"1,2,3", false, -1}, {"nan", false, -1},
                 {"abc", true, -1},    {"", true, -1}};
    for (const auto& c : cases) {
        const double before = m_controller->mainCorrectionMs();
        const size_t shownBefore = messages().size();
        edit()->setText(QString::fromUtf8(c.text));
        if (c.spin) panel()->onSpin(1);
        else button("btnWrite")->click();
        const auto now = messages();
        if (c.written >= 0) {
            EXPECT_EQ(now.size(), shownBefore) << c.text;
            EXPECT_NEAR(m_controller->mainCorrectionMs(), c.written, 1e-9) << c.text;
            continue;
        }
        ASSERT_EQ(now.size(), shownBefore + 1) << c.text;
        // The range the field takes goes under the message; the field shows the
        // last good value again, in the form it takes.
        EXPECT_EQ(now.back().text,
                  QStringLiteral("Nieprawidłowe wartości.\n  (dozwolone wartości: od 0.000 do 6.000 ms, np. 1.800)"))
            << c.text;
        EXPECT_EQ(now.back().caption, QStringLiteral("Zefirel"));
        EXPECT_DOUBLE_EQ(m_controller->mainCorrectionMs(), before) << c.text;
        EXPECT_EQ(edit()->text(), controllerCorrection()) << c.text;
    }

    // A spin step is checked like "Wpisz": a record the check refuses is not sent.
    doc().updateSettings([](CSettingsBlock& b) { b.setValue(ESetting::referencePressure, 59); });
    const QString kept = controllerCorrection();
    edit()->setText(QStringLiteral("2.000"));
    panel()->onSpin(1);
    EXPECT_EQ(messages().back().text,
              QStringLiteral("Błędna wartość ciśnienia reg=ferencyjnego\n  (dozwolone wartości: od 60 do 140)\n"));
    EXPECT_EQ(controllerCorrection(), kept);
    EXPECT_EQ(edit()->text(), kept);
}

TEST_F(PanelTest, OnlyArrowsAndUpDownKeysStepTheCorrection) {
    startSimulator();
    startProgram();
    doc().setAdministratorLevel(true);
    edit()->setText(QStringLiteral("2.000"));
    button("btnWrite")->click();
    auto* spin = panel()->findChild<QAbstractSpinBox*>(QStringLiteral("correctionSpin"));
    const QPointF middle(spin->width() / 2.0, spin->height() / 2.0);
    const struct {
        const char* what;
        std::function<void()> send;
        const char* value;
    } inputs[] = {
        {"wheel",
         [&] {
             QWheelEvent wheel(middle, spin->mapToGlobal(middle), QPoint(), QPoint(0, 120), Qt::NoButton,
                               Qt::NoModifier, Qt::NoScrollPhase, false);
             QApplication::sendEvent(spin, &wheel);
         },
         "2.000"},
        {"PageUp", [&] { QTest::keyClick(spin, Qt::Key_PageUp); }, "2.000"},
        {"PageDown", [&] { QTest::keyClick(spin, Qt::Key_PageDown); }, "2.000"},
        {"Up", [&] { QTest::keyClick(spin, Qt::Key_Up); }, "2.025"},
        {"Up in the edit", [&] { QTest::keyClick(edit(), Qt::Key_Up); }, "2.050"},
        {"Down in the edit", [&] { QTest::keyClick(edit(), Qt::Key_Down); }, "2.025"},
        {"Enter in the edit",
         [&] {
             edit()->setText(QStringLiteral("1,5"));
             QTest::keyClick(edit(), Qt::Key_Return);
         },
         "1.500"},
    };
    for (const auto& in : inputs) {
        in.send();
        EXPECT_EQ(edit()->text(), QString::fromLatin1(in.value)) << in.what;
        EXPECT_EQ(controllerCorrection(), QString::fromLatin1(in.value)) << in.what;
    }
}

TEST_F(PanelTest, ModeKeysLeaveTextFieldsTheirEditingMeaning) {
    startSimulator();
    startProgram();
    ASSERT_TRUE(focus(edit()));
    QTest::keyClick(edit(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(edit()->selectedText(), edit()->text());
    QTest::keyClick(edit(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(m_controller->mode(), sim::EWorkMode::Petrol);

    ASSERT_TRUE(focus(injectorList()));
    QTest::keyClick(injectorList(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(m_controller->mode(), sim::EWorkMode::Lpg);
}

TEST_F(PanelTest, ReReadSettingsSkipACorrectionBeingTyped) {
    startSimulator();
    startProgram();
    panel()->stop(doc().currentRun()); // the test runs the ticks itself
    ASSERT_TRUE(waitUntil([&] { return doc().diagData().count() > 0; }, 5000));
    const struct {
        bool keepFocus;
        const char* shown; // nullptr: the controller's value
    } cases[] = {{true, "2,5"}, {false, nullptr}};
    for (const auto& c : cases) {
        ASSERT_TRUE(focus(edit()));
        edit()->selectAll();
        QTest::keyClicks(edit(), QStringLiteral("2,5"));
        if (!c.keepFocus) {
            ASSERT_TRUE(focus(injectorList()));
        }
        for (int i = 0; i < SETTINGS_REREAD_TICKS; ++i) panel()->onReadoutTick();
        panel()->waitPeriodicReads();
        EXPECT_EQ(edit()->text(), c.shown ? QString::fromLatin1(c.shown) : controllerCorrection()) << c.keepFocus;
    }
}

// The periodic re-read never lands inside a write: while a write holds the
// controller the re-read is skipped at once (the window does not wait for it), and
// the record the write sends and the document keeps are the writer's.
TEST_F(PanelTest, TheReReadIsSkippedWhileAWriteHoldsTheController) {
    startSimulator();
    startProgram();
    doc().setCarDataKnown(true);
    panel()->stop(doc().currentRun()); // the test runs the ticks itself
    ASSERT_TRUE(waitUntil([&] { return doc().diagData().count() > 0; }, 5000));
    std::promise<void> inside, release;
    std::shared_future<void> released = release.get_future().share();
    SettingsWriteRequest q;
    q.wanted = doc().settings();
    q.wanted.setMainCorrection(2.5);
    q.confirm = [&](const std::vector<SettingChange>&) {
        inside.set_value();
        released.wait();
        return true;
    };
    auto write = std::async(std::launch::async, [&] { return doc().commitSettings(q); });
    inside.get_future().wait();
    EXPECT_TRUE(doc().writeInProgress());
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < SETTINGS_REREAD_TICKS; ++i) panel()->onReadoutTick();
    panel()->waitPeriodicReads();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << "the window waited for the write";
    release.set_value();
    const SettingsWriteResult r = write.get();
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(m_controller->setupRecord()[9], 100);
    EXPECT_DOUBLE_EQ(doc().settings().mainCorrection(), 2.5);
    // The next re-read finds the controller free and takes what it holds.
    for (int i = 0; i < SETTINGS_REREAD_TICKS; ++i) panel()->onReadoutTick();
    panel()->waitPeriodicReads();
    EXPECT_DOUBLE_EQ(doc().settings().mainCorrection(), 2.5);
}

TEST_F(PanelTest, ALateEndOfThePreviousRunLeavesANewRunGoing) {
    startSimulator();
    startProgram();
    ASSERT_TRUE(waitUntil([&] { return doc().diagData().count() > 5; }, 5000));
    const std::string second = m_home.path() + "/second.lpgd";
    doc().startDiagnostics(second);
    pump(700); // the previous polling thread's queued calls are carried out by now
    CDisplayView* view = docUi().frame()->displayView();
    EXPECT_TRUE(panel()->readoutTimerActive());
    EXPECT_TRUE(view->refreshTimerActive());
    EXPECT_EQ(mainFrame().windowTitle(), QStringLiteral("Zefirel - ") + QString::fromStdString(second));
    EXPECT_TRUE(waitUntil([&] { return view->chart().GetLastSampleNo() > 5; }, 3000));
}

TEST_F(PanelTest, AControllerAppearingAfterStartIsConnectedWithItsOwnSettings) {
    startProgram();
    EXPECT_TRUE(shownStartingWith(QStringLiteral("Nie można nawiązać komunikacji z urządzeniem LPG\n")));
    EXPECT_TRUE(panel()->reconnectTimerActive());
    // The mode keys do nothing while their buttons are disabled (no port error either).
    const size_t before = messages().size();
    EXPECT_FALSE(docUi().frame()->handleShortcut(Qt::Key_L, Qt::ControlModifier));
    EXPECT_EQ(messages().size(), before);

    startSimulator();
    sim::EepromImage image = m_controller->eeprom();
    image[sim::eeprom::SETUP + 9] = 80; // 2.0 ms, not the default the block holds until a read
    m_controller->setEeprom(image);
    ASSERT_TRUE(waitUntil([&] { return doc().diagnosticsOn(); }, 15000));
    EXPECT_EQ(docUi().frame()->bar()->connectionField()->text(), QStringLiteral("Połączony"));
    EXPECT_EQ(edit()->text(), QStringLiteral("2.000"));
    EXPECT_TRUE(button("btnWrite")->isEnabled());
    updateMenus();
    EXPECT_TRUE(mainFrame().action(ID_DIAGNOSTIC)->isEnabled());
    EXPECT_EQ(mainFrame().windowTitle(), QStringLiteral("Zefirel - ") + QString::fromStdString(doc().recordingPath()));
    const int from = doc().diagData().count();
    EXPECT_TRUE(waitUntil([&] { return doc().diagData().count() > from + 5; }, 5000));
}

TEST_F(PanelTest, NoMessageBoxAppearsUnderTheWaitCursor) {
    sim::SimConfig cfg;
    cfg.faults.badChecksumCommand = CMD_WORK_LPG;
    startSimulator(cfg);
    startProgram();
    std::vector<bool> underCursor;
    setMessageInterceptor([&](const ShownMessage& m) {
        underCursor.push_back(QApplication::overrideCursor() != nullptr);
        std::lock_guard<std::mutex> g(m_lock);
        m_messages.push_back(m);
        return EMsgResult::Ok;
    });
    bool dialogUnderCursor = true;
    onNextModal([&](QWidget* w) {
        dialogUnderCursor = QApplication::overrideCursor() != nullptr;
        qobject_cast<QDialog*>(w)->reject();
    });
    button("btnWrite")->click(); // the car data are asked for, cancelled: the write is refused
    button("btnLpg")->click();   // every answer to the LPG command arrives garbled
    EXPECT_FALSE(dialogUnderCursor);
    // Cancelling the car data is said as such, not as a failed write.
    EXPECT_TRUE(shown(QString::fromUtf8(MSG_WRITE_NO_CAR_DATA)));
    EXPECT_FALSE(shown(QStringLiteral("Nie powiodło się ustawienie urządzenia!")));
    EXPECT_TRUE(shown(QStringLiteral("Nie powiodło się przełączenie na LPG!")));
    EXPECT_EQ(std::count(underCursor.begin(), underCursor.end(), true), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
} // namespace zefirel::test
