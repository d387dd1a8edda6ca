// The step-by-step setup against the virtual controller, its dialogs answered as
// they open: errors held stop it at their codes, an implausibly long petrol time
// turns the 12 V signal setting over once, the sequence type decides which
// injectors are checked, a refused basic setting writes nothing, "Zatrzymaj"
// during the procedure ends it with the failure message, and a full pass leaves
// the controller in AUTO with the computed correction.
#include "AppTestKit.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

#include "autosetup/AutoSetWizard.h"
#include "autosetup/AutoSetup.h"
#include "ui/app/Commands.h"
#include "ui/app/DeviceFrm.h"
#include "ui/autosetup/AutoSetupView.h"

using namespace zefirel;
using namespace zefirel::test;

namespace {

/// Setup record bytes of the values the tests look at (host order).
constexpr size_t SETUP_OPTION_FLAGS = 10;
constexpr size_t SETUP_PETROL_TYPE = 20;

/// Answers every modal dialog as it opens: notes its name, title, button texts
/// and texts, then runs the action given for its name (OK when none is given).
class CDialogAnswers {
public:
    using Action = std::function<void(QDialog*)>;
    struct Seen {
        QString name, title, ok, cancel, text;
    };

    CDialogAnswers() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { look(); });
        m_timer.start();
    }
    std::map<QString, Action> actions;
    std::vector<Seen> seen;

    QStringList names() const {
        QStringList out;
        for (const Seen& s : seen) out << s.name;
        return out;
    }

    static void press(QDialog* dlg, const char* button) {
        if (auto* b = dlg->findChild<QPushButton*>(QLatin1String(button)))
            QMetaObject::invokeMethod(b, "click", Qt::QueuedConnection);
        else
            QMetaObject::invokeMethod(dlg, "accept", Qt::QueuedConnection);
    }
    static Action ok() {
        return [](QDialog* d) { press(d, "stepOk"); };
    }
    static Action cancel() {
        return [](QDialog* d) { press(d, "stepCancel"); };
    }
    /// Types text into the named edit (or combo box), then OK.
    static Action type(const char* name, const char* text) {
        return [name, text](QDialog* d) {
            if (auto* combo = d->findChild<QComboBox*>(QLatin1String(name))) combo->setCurrentText(QString::fromUtf8(text));
            else d->findChild<QLineEdit*>(QLatin1String(name))->setText(QString::fromUtf8(text));
            press(d, "stepOk");
        };
    }

private:
    void look() {
        auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dlg || dlg == m_last) return;
        m_last = dlg;
        Seen s{dlg->objectName(), dlg->windowTitle(), {}, {}, {}};
        if (auto* b = dlg->findChild<QPushButton*>(QStringLiteral("stepOk"))) s.ok = b->text();
        if (auto* b = dlg->findChild<QPushButton*>(QStringLiteral("stepCancel"))) s.cancel = b->text();
        for (QLabel* l : dlg->findChildren<QLabel*>()) s.text += l->text() + QLatin1Char('\n');
        if (auto* e = dlg->findChild<QPlainTextEdit*>()) s.text += e->toPlainText();
        seen.push_back(s);
        const auto it = actions.find(s.name);
        (it != actions.end() ? it->second : ok())(dlg);
    }
    QTimer m_timer;
    QPointer<QDialog> m_last; ///< drops to null when the dialog goes, so the next one at its address counts
};

class WizardTest : public AppTest {
protected:
    /// A warm engine on the virtual controller, polled, with the car data known.
    void startWarm(sim::SimConfig cfg = {}) {
        cfg.ambientC = 60;
        startSimulator(cfg);
        startProgram();
        ASSERT_TRUE(waitUntil([&] { return doc().diagnosticsOn() && doc().diagData().count() > 0; }, 5000));
        doc().setCarDataKnown(true);
    }
    /// Changes settings in the controller.
    void writeToController(const std::function<void(CSettingsBlock&)>& edit) {
        ASSERT_TRUE(doc().readSettings());
        CSettingsBlock record = doc().settings();
        edit(record);
        SettingsWriteRequest request;
        request.wanted = record;
        ASSERT_TRUE(doc().commitSettings(request).ok());
    }
    void runWizard() {
        updateMenus();
        ASSERT_TRUE(mainFrame().action(ID_WIZARD)->isEnabled());
        mainFrame().action(ID_WIZARD)->trigger();
    }
    /// The messages shown with the stop icon.
    QStringList errorMessages() {
        QStringList out;
        for (const ShownMessage& m : messages())
            if (m.style == EMsgStyle::Error) out << m.text;
        return out;
    }
    CAutoSetupView& view() { return *docUi().frame()->autoSetupView(); }
    bool menusEnabled() {
        const QList<QAction*> tops = mainFrame().menuBar()->actions();
        return std::all_of(tops.begin(), tops.end(), [](QAction* a) { return a->isEnabled(); });
    }
};

} // namespace

TEST_F(WizardTest, ErrorsHeldStopItAtTheirCodesUntilCleared) {
    sim::SimConfig cfg;
    cfg.errors[0] = 0x01;
    cfg.errors[3] = 0x04;
    startWarm(cfg);
    uint8_t report[ERROR_REPORT_SIZE] = {};
    ASSERT_TRUE(doc().readErrors(report));
    QString codes = qstr(doc().describeReport(report));
    codes.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    ASSERT_FALSE(codes.isEmpty());

    CDialogAnswers answers;
    runWizard();
    EXPECT_TRUE(shown(QString::fromUtf8(WIZARD_ERRORS_HELD)));
    ASSERT_EQ(answers.names(), QStringList{QStringLiteral("errCodesDlg")});
    EXPECT_EQ(answers.seen[0].text, codes);

    m_controller->setErrors({});
    answers.seen.clear();
    answers.actions["stepStartDlg"] = CDialogAnswers::cancel();
    runWizard();
    EXPECT_EQ(answers.names(), QStringList{QStringLiteral("stepStartDlg")});
}

TEST_F(WizardTest, ALongPetrolTimeTurnsThe12VSignalSettingOverOnce) {
    sim::SimConfig cfg;
    cfg.injectorPetrolMs[0] = 60;
    startWarm(cfg);
    const uint8_t before = m_controller->setupRecord()[SETUP_PETROL_TYPE];
    // "Przerwij" keeps what the wizard wrote when asked "Nie".
    setMessageInterceptor([this](const ShownMessage& m) {
        std::lock_guard<std::mutex> g(m_lock);
        m_messages.push_back(m);
        return m.style == EMsgStyle::Question ? EMsgResult::No : EMsgResult::Ok;
    });
    CDialogAnswers answers;
    answers.actions["stepStartDlg"] = CDialogAnswers::cancel();
    runWizard();
    EXPECT_EQ(m_controller->setupRecord()[SETUP_PETROL_TYPE], before ^ INJECTION_SIGNAL_12V);
    EXPECT_TRUE(shown(QString::fromUtf8(WIZARD_RESTORE_QUESTION)));
    // The first question says, in a line of its own, what was changed and why.
    const auto start = std::find_if(answers.seen.begin(), answers.seen.end(), [](const CDialogAnswers::Seen& d) {
        return d.name == QStringLiteral("stepStartDlg");
    });
    ASSERT_NE(start, answers.seen.end());
    const bool nowOn = (before & INJECTION_SIGNAL_12V) == 0;
    EXPECT_TRUE(start->text.contains(QStringLiteral("sygnałem 12 V” zostało %1 i wpisane do sterownika.\n")
                                      .arg(nowOn ? QStringLiteral("włączone") : QStringLiteral("wyłączone"))))
        << start->text.toStdString();

    // Read right from now on: the next start leaves the setting alone.
    m_controller->setInjectorPetrolMs(1, -1);
    runWizard();
    EXPECT_EQ(m_controller->setupRecord()[SETUP_PETROL_TYPE], before ^ INJECTION_SIGNAL_12V);
    QStringList asked = answers.names();
    asked.removeAll(QStringLiteral("waitDlg")); // the resets' wait windows, when they stay long enough to be seen
    EXPECT_EQ(asked, (QStringList{QStringLiteral("stepStartDlg"), QStringLiteral("stepStartDlg")}));
    EXPECT_FALSE(answers.seen.back().text.contains(QStringLiteral("12 V"))) << "said again without a change";
    // The turned-over byte is written as every change of the injection type is:
    // between a reset and the clearing of the errors.
    const auto received = m_controller->received();
    const auto record = std::find_if(received.begin(), received.end(),
                                     [](const sim::SimRequest& r) { return r.type == MSG_TYPE_SETUP; });
    ASSERT_NE(record, received.end());
    EXPECT_TRUE(std::any_of(received.begin(), record, [](const sim::SimRequest& r) {
        return r.type == MSG_TYPE_COMMAND && r.payload.at(0) == CMD_WORK_GAS;
    }));
    EXPECT_TRUE(std::any_of(record, received.end(), [](const sim::SimRequest& r) {
        return r.type == MSG_TYPE_COMMAND && r.payload.at(0) == CMD_CLEAR_ERRORS;
    }));
    EXPECT_TRUE(errorMessages().isEmpty()) << errorMessages().join(QLatin1Char('|')).toStdString();
}

TEST_F(WizardTest, TheSequenceTypeDecidesWhichInjectorsAreChecked) {
    sim::SimConfig cfg;
    cfg.injectors = 6;
    startWarm(cfg);
    // Six cylinders chosen each time; one injector sends no signal.
    struct Case {
        uint8_t type;
        int silent;
        bool refused;
    } cases[] = {
        {INJECTION_HALF_SEQUENCE, 3, false}, // only injectors 1 and 2 are checked
        {INJECTION_HALF_SEQUENCE, 2, true},
        {INJECTION_NON_SEQUENCE, 2, false}, // only injector 1
        {0x00, 3, true},                    // full sequence: all six
    };
    for (const Case& c : cases) {
        for (int n = 1; n <= 8; ++n) m_controller->setInjectorPetrolMs(n, n == c.silent ? 0.0 : -1.0);
        writeToController([&](CSettingsBlock& s) { s.setValue(ESetting::petrolInjectionType, c.type); });
        {
            std::lock_guard<std::mutex> g(m_lock);
            m_messages.clear();
        }
        CDialogAnswers answers;
        answers.actions["stepStartDlg"] = CDialogAnswers::type("cylinders", "6");
        answers.actions["step1Dlg"] = CDialogAnswers::cancel();
        runWizard();
        const QString refusal = QStringLiteral("Błędy sterownika LPG:\nBrak lub błędny sygnał wtryskiwacza benzynowego: %1\n")
                                    .arg(c.silent);
        EXPECT_EQ(errorMessages(), c.refused ? QStringList{refusal} : QStringList{}) << "type " << int(c.type);
        EXPECT_EQ(answers.names().contains(QStringLiteral("step1Dlg")), !c.refused) << "type " << int(c.type);
    }
}

TEST_F(WizardTest, ARefusedBasicSettingNamesItsRangeAndStep1OpensAgainWithTheTypedValues) {
    startWarm();
    ASSERT_TRUE(doc().readSettings());
    const double voltage = doc().settings().value(ESetting::minSupplyVoltage);
    const auto record = m_controller->setupRecord();
    CDialogAnswers answers;
    QStringList reopenedWith;
    int step1Shown = 0;
    answers.actions["step1Dlg"] = [&](QDialog* d) {
        if (++step1Shown == 1) {
            d->findChild<QLineEdit*>(QStringLiteral("switchSpeed"))->setText(QStringLiteral("1700"));
            d->findChild<QLineEdit*>(QStringLiteral("minSupplyVoltage"))->setText(QStringLiteral("8"));
            CDialogAnswers::press(d, "stepOk");
            return;
        }
        reopenedWith << d->findChild<QLineEdit*>(QStringLiteral("switchSpeed"))->text()
                     << d->findChild<QLineEdit*>(QStringLiteral("minSupplyVoltage"))->text();
        CDialogAnswers::press(d, "stepCancel");
    };
    runWizard();
    // The check's own text, the allowed range under it, and what to do.
    EXPECT_EQ(errorMessages(), QStringList{QStringLiteral("Błędna wartość minimalnego napięcia zasilania\n"
                                                          "  (dozwolone wartości: od 9 do 12)\n") +
                                           QString::fromUtf8(WIZARD_CORRECT_VALUES)});
    EXPECT_EQ(answers.names(),
              (QStringList{QStringLiteral("stepStartDlg"), QStringLiteral("step1Dlg"), QStringLiteral("step1Dlg")}));
    EXPECT_EQ(reopenedWith, (QStringList{QStringLiteral("1700"), QStringLiteral("8")}));
    EXPECT_EQ(m_controller->setupRecord(), record);
    // Nothing was written, so "Przerwij" has nothing to put back and asks nothing.
    EXPECT_FALSE(shown(QString::fromUtf8(WIZARD_RESTORE_QUESTION)));
    // The record keeps what the controller holds, so no later write carries 8 V.
    EXPECT_EQ(doc().settings().value(ESetting::minSupplyVoltage), voltage);
}

TEST_F(WizardTest, PrzerwijAfterTheWizardWroteOffersToPutTheControllersRecordBack) {
    startWarm();
    const auto record = m_controller->setupRecord();
    ASSERT_TRUE(doc().readSettings());
    const double speed = doc().settings().value(ESetting::switchSpeed);
    // Step 1 is written (with the map switched off); "Przerwij" on step 2.
    CDialogAnswers answers;
    answers.actions["step1Dlg"] = CDialogAnswers::type("switchSpeed", "1650");
    answers.actions["step2Dlg"] = [&](QDialog* d) {
        EXPECT_NE(m_controller->setupRecord(), record) << "step 1 was not written";
        CDialogAnswers::press(d, "stepCancel");
    };
    runWizard();
    EXPECT_TRUE(shown(QString::fromUtf8(WIZARD_RESTORE_QUESTION)));
    EXPECT_EQ(m_controller->setupRecord(), record);
    EXPECT_EQ(doc().settings().value(ESetting::switchSpeed), speed);
    EXPECT_TRUE(errorMessages().isEmpty()) << errorMessages().join(QLatin1Char('|')).toStdString();
}

TEST_F(WizardTest, ZatrzymajDuringTheProcedureEndsWithTheFailureMessage) {
    startWarm();
    CDialogAnswers answers;
    QTimer stopper;
    stopper.setInterval(20);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        // Once the first wait for samples has begun.
        if (!view().log()->findItems(QStringLiteral("Start pomiaru"), Qt::MatchStartsWith).isEmpty()) {
            stopper.stop();
            EXPECT_TRUE(view().stopButton()->isEnabled());
            view().stopButton()->click();
        }
    });
    stopper.start();
    runWizard();
    EXPECT_FALSE(stopper.isActive()) << "the procedure never reached its first wait";
    pump(50); // the worker's last log rows
    EXPECT_EQ(errorMessages(), QStringList{QString::fromUtf8(WIZARD_PROCEDURE_FAILED)});
    EXPECT_EQ(answers.names().size(), 5) << answers.names().join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(docUi().frame()->paneWidth(1), AUTOSETUP_PANE_WIDTH) << "the pane stays open";
    EXPECT_EQ(view().log()->item(view().log()->rowCount() - 1, 0)->text(), QStringLiteral("Koniec"));
    EXPECT_NE(m_controller->mode(), sim::EWorkMode::Auto);
    EXPECT_TRUE(menusEnabled());
}

TEST_F(WizardTest, AFullPassWritesTheCorrectionAndEndsInAuto) {
    sim::SimConfig cfg;
    cfg.trueCorrectionMs = 1.8;
    startWarm(cfg);
    writeToController([](CSettingsBlock& s) { s.setValue(ESetting::optionFlags, s.optionFlags() | OPTION_MAP_IN_USE); });
    CDialogAnswers answers;
    bool grayedDuringRun = false;
    answers.actions["step2Dlg"] = [&](QDialog* d) {
        grayedDuringRun = !mainFrame().menuBar()->actions().front()->isEnabled();
        // Before the switch the engine still runs on petrol.
        EXPECT_EQ(m_controller->mode(), sim::EWorkMode::Petrol);
        CDialogAnswers::press(d, "stepOk");
    };
    answers.actions["step3Dlg"] = [&](QDialog* d) {
        EXPECT_EQ(m_controller->mode(), sim::EWorkMode::Lpg);
        CDialogAnswers::press(d, "stepOk");
    };
    runWizard();

    struct Expected {
        const char *name, *title, *ok, *cancel;
    } expected[] = {
        {"stepStartDlg", "Ustawienia krok po kroku", "Dalej >>", "Przerwij"},
        {"step1Dlg", "Krok 1", "Dalej >>", "Przerwij"},
        {"step2Dlg", "Krok 2", "Przełącz na LPG", "Przerwij"},
        {"step3Dlg", "Krok 3", "Dalej >>", "Przerwij"},
        {"step4Dlg", "Krok 4", "Dalej >>", "Przerwij"},
        {"stepEndDlg", "Krok 3", "Koniec", "Anuluj"},
    };
    ASSERT_EQ(answers.seen.size(), std::size(expected)) << answers.names().join(QLatin1Char(',')).toStdString();
    for (size_t i = 0; i < std::size(expected); ++i) {
        const CDialogAnswers::Seen& s = answers.seen[i];
        EXPECT_EQ(s.name, QString::fromUtf8(expected[i].name));
        EXPECT_EQ(s.title, QString::fromUtf8(expected[i].title));
        EXPECT_EQ(s.ok, QString::fromUtf8(expected[i].ok));
        EXPECT_EQ(s.cancel, QString::fromUtf8(expected[i].cancel));
    }
    EXPECT_TRUE(answers.seen[3].text.contains(QStringLiteral("WYMAGANYCH 100 kPa")));
    EXPECT_TRUE(errorMessages().isEmpty()) << errorMessages().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(shown(QString::fromUtf8(AUTOSETUP_ASK_IDLE)));
    EXPECT_TRUE(view().procedure().succeeded());
    EXPECT_EQ(m_controller->mode(), sim::EWorkMode::Auto);
    EXPECT_NEAR(m_controller->mainCorrectionMs(), 1.8, 0.05 + 1e-9);
    EXPECT_EQ(m_controller->setupRecord()[SETUP_OPTION_FLAGS] & OPTION_MAP_IN_USE, 0);
    EXPECT_EQ(docUi().frame()->paneWidth(1), 0) << "the pane closes after a successful run";
    EXPECT_TRUE(grayedDuringRun);
    EXPECT_TRUE(menusEnabled());
}
