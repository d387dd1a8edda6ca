// Numbers under a Polish desktop (pl_PL.UTF-8, what installers' desktops run): the
// readouts, the map's row labels, the service report's values and the decimal
// fields keep the decimal point of the program's texts and files, and the fields
// take a comma as well.

#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRegularExpression>
#include <QTest>

#include <clocale>
#include <set>

#include "AppTestKit.h"
#include "link/SettingsBlock.h"
#include "settings/ServiceReport.h"
#include "ui/app/DeviceFrm.h"
#include "ui/app/NumberFormat.h"
#include "ui/bench/AcceptanceDlg.h"
#include "ui/diag/DevicePanel.h"
#include "ui/map/MapGrid.h"

namespace zefirel::test {
namespace {

/// The process as a QApplication leaves it on a Polish desktop (the C library's
/// locale and Qt's default locale taken from pl_PL.UTF-8), then the program's
/// start-up rule, as main() runs it right after making the application object.
class PolishDesktopTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        m_savedC = std::setlocale(LC_ALL, nullptr);
        ASSERT_NE(std::setlocale(LC_ALL, "pl_PL.UTF-8"), nullptr)
            << "the pl_PL.UTF-8 locale is missing (scripts/setup.sh generates it)";
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        useProgramNumberFormat();
    }
    void TearDown() override {
        AppTest::TearDown();
        std::setlocale(LC_ALL, m_savedC.c_str());
        useProgramNumberFormat();
    }
    std::string m_savedC;
};

bool matches(const QString& s, const char* pattern) {
    return QRegularExpression(QRegularExpression::anchoredPattern(QString::fromLatin1(pattern))).match(s).hasMatch();
}

TEST_F(PolishDesktopTest, NumbersKeepTheirDecimalPointAndDecimalFieldsTakeEitherMark) {
    startProgram();
    // Readouts of a sample (the panel formats them with the core's printf rules).
    CDiag d;
    d.setRpmPeriod(2400);
    d.setPetrolTime(0, 1660);
    d.setSupplyVoltageCode(140);
    d.setLambdaCode(90);
    d.setWorkState(2);
    doc().diagData().add(d);
    CDevicePanel* panel = docUi().frame()->panel();
    panel->onReadoutTick();
    for (const char* name : {"petrolTime", "lpgTime", "supplyVoltage", "lambda"}) {
        const QString shown = panel->field(QString::fromLatin1(name))->text();
        EXPECT_TRUE(matches(shown, "\\d+\\.\\d+")) << name << ": " << shown.toStdString();
    }

    // The map's row labels.
    CMapGrid grid;
    EXPECT_EQ(grid.item(0, 0)->text(), QStringLiteral("0.0-0.5"));
    EXPECT_EQ(grid.item(49, 0)->text(), QStringLiteral("24.5-25.0"));

    // The service report's values: whole numbers without a dangling mark.
    const CSettingsBlock factory;
    const std::vector<ReportLine> lines = settingLines(factory);
    ASSERT_FALSE(lines.empty());
    // The packed settings are named in words ("Pełna sekwencja"); every other value is a number.
    const std::set<std::string> named = {"Wtryskiwacze z główną poprawką 2", "Korekcje w użyciu", "Typ wtryskiwaczy LPG",
                                         "Sposób wtrysku benzyny",
                                         "Przełącz na AUTO gdy temperatura LPG spadnie poniżej 3 st.C"};
    for (const ReportLine& line : lines)
        EXPECT_TRUE(named.count(line.label) || matches(QString::fromStdString(line.value), "-?\\d+([.,]\\d+)?( .*)?"))
            << line.label << ": " << line.value;
    const auto rpm = std::find_if(lines.begin(), lines.end(), [](const ReportLine& l) {
        return l.label == "Obroty automatycznego przejścia na LPG";
    });
    ASSERT_NE(rpm, lines.end());
    EXPECT_TRUE(matches(QString::fromStdString(rpm->value), "\\d+ obr/min")) << rpm->value;

    // A decimal field shows a point and takes "2,5" and "3.5".
    CAcceptanceDlg check;
    auto* tolerance = check.findChild<QDoubleSpinBox*>(QStringLiteral("checkTolerance"));
    ASSERT_NE(tolerance, nullptr);
    EXPECT_EQ(tolerance->text(), QStringLiteral("5.0 %"));
    for (const auto& [typed, value] : {std::pair{"2,5", 2.5}, std::pair{"3.5", 3.5}}) {
        tolerance->selectAll();
        QTest::keyClicks(tolerance, QString::fromLatin1(typed));
        QTest::keyClick(tolerance, Qt::Key_Return);
        EXPECT_DOUBLE_EQ(tolerance->value(), value) << typed;
    }
    EXPECT_EQ(tolerance->text(), QStringLiteral("3.5 %"));
}

} // namespace
} // namespace zefirel::test
