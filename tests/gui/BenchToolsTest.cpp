// The bench tools in the window: the service report's pages as pixels, the check
// grid's colours and the tolerance, the troubleshooter's run and copy, and the CSV
// export from the menu.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <unistd.h>

#include "AppTestKit.h"
#include "diag/Recording.h"
#include "integration/SimKit.h"
#include "ui/app/Commands.h"
#include "ui/bench/AcceptanceDlg.h"
#include "ui/bench/BenchCommands.h"
#include "ui/bench/ConnDoctorDlg.h"
#include "report/ReportPainter.h"
#include "ui/diag/DeviceDocUi.h"
#include "ui/map/MapGrid.h"
#include "ui/support/MsgHelper.h"

namespace zefirel::test {
namespace {

/// Share of the image's pixels that match a test.
template <class F>
double share(const QImage& image, F&& match) {
    qint64 hits = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            hits += match(QColor(image.pixel(x, y)));
    return double(hits) / double(image.width() * image.height());
}
bool inked(const QColor& c) { return c.lightness() < 200; }
bool red(const QColor& c) { return c.red() > 140 && c.green() < 90 && c.blue() < 90; }
bool mapShade(const QColor& c) { return std::abs(c.red() - 0xFF) < 8 && std::abs(c.green() - 0xD9) < 8 && std::abs(c.blue() - 0xA0) < 8; }

ServiceReportData sampleReport(bool changed) {
    CSettingsBlock block;
    block.initDefaults();
    if (changed)
        block.setValue(ESetting::mainCorrection, 1.5);
    ServiceReportData r;
    r.versionRead = r.settingsRead = r.curveRead = r.mapRead = r.errorsRead = true;
    r.date = "08.12.2026 10:00";
    r.identity = "PL-TEST";
    r.version = 5;
    r.settings = settingLines(block);
    r.car = carLines(block);
    r.errors = "Brak błędów.";
    r.curve.fill(0);
    r.curve[10] = 12;
    r.map[20 * 8 + 3] = 110;
    r.mapInUse = true;
    return r;
}

/// A line of a recording: petrol time in ticks at 2500 rpm, on petrol or LPG.
std::string recordingLine(int n, bool lpg, int petrolTicks) {
    std::string s = std::to_string(n) + "\t1\t" + (lpg ? "3" : "2") + "\t1\t1920\t1920\t" + std::to_string(petrolTicks);
    return s + "\t0\t0\t0\t100\t120\t110\t70\t23\t30\t0\t0\r\n";
}

} // namespace

TEST(BenchTools, ReportPagesAreDrawnAndMarkAChangedSettingInRed) {
    qtApp();
    const QImage plain = renderReportPage(sampleReport(false), 0, 700);
    const QImage marked = renderReportPage(sampleReport(true), 0, 700);
    const QImage second = renderReportPage(sampleReport(true), 1, 700);
    EXPECT_GT(share(marked, inked), 0.01);
    EXPECT_GT(share(second, inked), 0.005);
    EXPECT_EQ(share(plain, red), 0.0);
    EXPECT_GT(share(marked, red), 0.0002);
    // The one map cell in use is shaded; nothing else is.
    const double shaded = share(second, mapShade);
    EXPECT_GT(shaded, 0.0003); // one cell: about 0.05 % of the page
    ServiceReportData unused = sampleReport(true);
    unused.map = emptyMap();
    EXPECT_EQ(share(renderReportPage(unused, 1, 700), mapShade), 0.0);
}

TEST(BenchTools, AMapOrSettingsNotReadAreNeitherDrawnNorShadedButNamed) {
    qtApp();
    // What a device holds after failed reads: a map of zeros (−100 % everywhere)
    // and settings changed from the factory's.
    ServiceReportData r = sampleReport(true);
    r.map.fill(0);
    const double shadedWhenRead = share(renderReportPage(r, 1, 700), mapShade);
    EXPECT_GT(shadedWhenRead, 0.05); // all 400 cells
    r.mapRead = false;
    r.settingsRead = false;
    r.settings.clear();
    EXPECT_EQ(share(renderReportPage(r, 1, 700), mapShade), 0.0);
    EXPECT_EQ(share(renderReportPage(sampleReport(false), 0, 700), red), 0.0);
    // The sentence in the settings' place is the one red text on page 1.
    EXPECT_GT(share(renderReportPage(r, 0, 700), red), 0.0002);
}

TEST(BenchTools, TheCheckGridIsColouredAndJudgedAgainAtAnotherTolerance) {
    qtApp();
    CScratchFolder home;
    const std::string rec = home.path() + "/drive.lpgd";
    std::ofstream out(rec, std::ios::binary);
    int n = 0;
    for (int i = 0; i < 20; ++i)
        out << recordingLine(++n, false, 160); // 4.0 ms on petrol
    for (int i = 0; i < 20; ++i)
        out << recordingLine(++n, true, 176);  // 4.4 ms on LPG: +10 %
    out.close();
    CAcceptanceDlg dlg;
    ASSERT_TRUE(dlg.load(QString::fromStdString(rec)));
    EXPECT_EQ(dlg.result().verdict, ECheckVerdict::Fail);
    EXPECT_EQ(dlg.grid()->cellText(8, 2), QStringLiteral("+10.0% !"));
    EXPECT_EQ(dlg.grid()->cellBackground(8, 2), QColor(CHECK_FAIL_COLOUR));
    EXPECT_TRUE(dlg.verdictText().startsWith(QStringLiteral("Wynik: ustawienia wymagają poprawy")));
    dlg.findChild<QDoubleSpinBox*>(QStringLiteral("checkTolerance"))->setValue(12);
    // The point passes now, but one point is too little of the map for a pass.
    EXPECT_EQ(dlg.result().passed, 1);
    EXPECT_EQ(dlg.result().verdict, ECheckVerdict::NoData);
    EXPECT_TRUE(dlg.verdictText().startsWith(QStringLiteral("Wynik: za mało danych")));
    EXPECT_EQ(dlg.grid()->cellText(8, 2), QStringLiteral("+10.0%"));
    EXPECT_EQ(dlg.grid()->cellBackground(8, 2), QColor(CHECK_PASS_COLOUR));
    EXPECT_NE(dlg.grid()->cellBackground(9, 2), QColor(CHECK_PASS_COLOUR));
}

TEST(BenchTools, TheTroubleshooterRunsOffTheWindowAndCopiesItsReport) {
    qtApp();
    CSimOnPty sim;
    const std::string pty = sim.server.slavePath();
    CConnDoctorDlg dlg(nullptr, [pty](const DoctorProgress& progress, const std::atomic<bool>* stop) {
        PortCandidate good, missing;
        good.path = pty;
        good.portNumber = 1;
        missing.path = "/dev/zefirel-none";
        missing.portNumber = 2;
        return CConnectionDoctor().run({good, missing}, progress, stop);
    });
    dlg.start();
    EXPECT_TRUE(dlg.running());
    EXPECT_FALSE(dlg.findChild<QPushButton*>(QStringLiteral("doctorCopy"))->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 15000);
    EXPECT_TRUE(dlg.reportText().contains(QString::fromStdString("Port 1: " + pty + " — OK")));
    EXPECT_TRUE(dlg.reportText().contains(QStringLiteral("Port 2: /dev/zefirel-none — Brak urządzenia")));
    QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("doctorCopy")), Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(), dlg.reportText());
    // Closing in the middle of a run waits for it instead of leaving it behind.
    dlg.start();
    dlg.reject();
    EXPECT_FALSE(dlg.running());
}

// Runs "Eksport do CSV..." with the recording and the output chosen in the file
// dialogs; returns the messages it showed.
static std::vector<ShownMessage> exportFromTheMenu(const std::string& rec, const QString& output) {
    QStringList answers{QString::fromStdString(rec), output};
    CDeviceDocUi::setFileChooser([&](bool, const QString&, const QString&, const QString&) {
        return answers.isEmpty() ? QString() : answers.takeFirst();
    });
    std::vector<ShownMessage> shown;
    setMessageInterceptor([&](const ShownMessage& m) {
        shown.push_back(m);
        return EMsgResult::Ok;
    });
    onBenchCommand(ID_CSV_EXPORT, nullptr, nullptr);
    setMessageInterceptor({});
    CDeviceDocUi::setFileChooser({});
    return shown;
}

TEST(BenchTools, CsvExportFromTheMenuWritesTheChosenFile) {
    qtApp();
    CScratchFolder home;
    const std::string rec = home.path() + "/r.lpgd";
    std::ofstream(rec, std::ios::binary) << recordingLine(1, false, 160) << recordingLine(2, true, 170);
    const QString csv = QString::fromStdString(home.path() + "/r.csv");
    const std::vector<ShownMessage> shown = exportFromTheMenu(rec, csv);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text,
              QStringLiteral("Zapisano 2 wiersze w pliku %1.\nWczytano wierszy: 2, użyto: 2, pominięto: 0").arg(csv));
    std::ifstream in(csv.toStdString(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("\r\n2;1;LPG;3;1;2500,0;2500,0;4,250;4,250;"), std::string::npos) << text;
    EXPECT_FALSE(onBenchCommand(ID_MAP, nullptr, nullptr));
}

TEST(BenchTools, CsvExportOntoTheRecordingItselfIsRefused) {
    qtApp();
    CScratchFolder home;
    const std::string rec = home.path() + "/r.lpgd", link = home.path() + "/same.csv";
    std::ofstream(rec, std::ios::binary) << recordingLine(1, false, 160) << recordingLine(2, true, 170);
    std::ifstream before(rec, std::ios::binary);
    const std::string original((std::istreambuf_iterator<char>(before)), {});
    ASSERT_EQ(::symlink(rec.c_str(), link.c_str()), 0);
    for (const std::string& output : {rec, link, home.path() + "/./r.lpgd"}) {
        SCOPED_TRACE(output);
        const std::vector<ShownMessage> shown = exportFromTheMenu(rec, QString::fromStdString(output));
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_TRUE(shown[0].text.startsWith(QString::fromUtf8(MSG_OUTPUT_IS_RECORDING))) << shown[0].text.toStdString();
        EXPECT_EQ(shown[0].style, EMsgStyle::Error);
        std::ifstream after(rec, std::ios::binary);
        EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}), original);
    }
}

} // namespace zefirel::test

namespace zefirel::test {

class BenchReportTest : public AppTest {
protected:
    /// Once the report's preview shows, saves it as pdf and closes it.
    void saveReportWhenShown(QTimer& poll, const QString& pdf, bool& previewed) {
        QObject::connect(&poll, &QTimer::timeout, [this, &poll, pdf, &previewed] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->objectName() != QStringLiteral("reportPreview") || !w->isVisible())
                    continue;
                poll.stop();
                previewed = true;
                m_nextFile = pdf;
                w->findChild<QAction*>(QStringLiteral("reportSavePdf"))->trigger();
                qobject_cast<QDialog*>(w)->reject();
                return;
            }
        });
        poll.start(100);
    }
};

TEST_F(BenchReportTest, TheReportFromTheMenuIsPreviewedAndSavedAsAPdf) {
    startSimulator();
    startProgram();
    const QString pdf = QString::fromStdString(m_home.path() + "/raport.pdf");
    bool previewed = false;
    QTimer poll;
    saveReportWhenShown(poll, pdf, previewed);
    mainFrame().action(ID_SERVICE_REPORT)->trigger();
    EXPECT_TRUE(previewed);
    EXPECT_TRUE(shown(QStringLiteral("Raport zapisano w pliku %1.").arg(pdf))) << messages().size();
    const Bytes bytes = readBytes(pdf.toStdString());
    ASSERT_GT(bytes.size(), 1000u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 5), "%PDF-");
}

TEST_F(BenchReportTest, TheInstallerChoosesTheRecordingAndIsOfferedTheCurrentOne) {
    ASSERT_EQ(::access("/usr/bin/pdftotext", X_OK), 0) << "pdftotext is missing: run scripts/setup.sh";
    startSimulator();
    startProgram();
    const std::string current = doc().recordingPath();
    ASSERT_FALSE(current.empty());
    const std::string other = m_home.path() + "/jazda-do-raportu.lpgd";
    {
        std::ofstream out(other, std::ios::binary);
        for (int n = 1; n <= 37; ++n)
            out << recordingLine(n, n > 20, 160);
    }
    const QString pdf = QString::fromStdString(m_home.path() + "/raport.pdf");
    bool previewed = false;
    QTimer poll;
    saveReportWhenShown(poll, pdf, previewed);
    const size_t asked = m_dialogs.size();
    m_nextFile = QString::fromStdString(other);
    mainFrame().action(ID_SERVICE_REPORT)->trigger();
    ASSERT_TRUE(previewed);
    ASSERT_GT(m_dialogs.size(), asked);
    EXPECT_FALSE(m_dialogs[asked].save);
    EXPECT_EQ(m_dialogs[asked].folder, QString::fromStdString(current)); // offered first
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("/usr/bin/pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(pdftotext.waitForFinished(20000));
    const std::string text = pdftotext.readAllStandardOutput().toStdString();
    EXPECT_NE(text.find("Nagranie: jazda-do-raportu.lpgd"), std::string::npos) << text;
    EXPECT_NE(text.find("37 (benzyna 20, LPG 17)"), std::string::npos) << text;

    // A chosen recording that cannot be read stops the report with the reason.
    ::unlink(other.c_str());
    m_nextFile = QString::fromStdString(other);
    const size_t previews = m_dialogs.size();
    mainFrame().action(ID_SERVICE_REPORT)->trigger();
    EXPECT_TRUE(shown(QString::fromStdString(std::string(MSG_RECORDING_OPEN) + ": " + other)));
    EXPECT_EQ(m_dialogs.size(), previews + 1); // the recording's choice only, no PDF asked for
}

} // namespace zefirel::test
