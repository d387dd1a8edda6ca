// The check after calibration on drives of the virtual controller recorded with
// zefirelctl: with the controller's map equal to the car's hidden need it passes;
// with an empty map each point shows the hidden correction it lacks, and fails.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "SimKit.h"
#include "map/AcceptanceCheck.h"
#include "map/MapWrite.h"
#include "support/RecordingHost.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::sim;
using namespace zefirel::test;

TEST(AcceptanceSim, ADriveOnTheRightMapPassesAndOnAnEmptyOneFails) {
    for (const bool rightMap : {true, false}) {
        SCOPED_TRACE(rightMap ? "the hidden map written" : "no map");
        CScratchFolder home;
        SimConfig cfg;
        cfg.drive = true;
        // The car needs −8 .. +21 %, a different correction in every millisecond and column.
        for (int row = 0; row < MAP_ROWS; ++row)
            for (int column = 0; column < MAP_COLUMNS; ++column)
                cfg.trueMap.push_back(static_cast<uint8_t>(100 - 8 + (row / 2) % 9 + 3 * column));
        CSimOnPty sim(cfg);
        const CDriveScenario& drive = sim.ctl.drive();
        if (rightMap) {
            CRecordingHost host;
            host.carDataAnswer = true;
            CTestDevice dev(&host);
            dev.setResetTimeout(5000);
            ASSERT_TRUE(dev.connectPath(sim.server.slavePath()) && dev.isVersionOk());
            MapBytes map;
            std::copy(drive.hiddenMap().begin(), drive.hiddenMap().end(), map.begin());
            ASSERT_TRUE(dev.commitSettings(mapWriteRequest(dev, map, EWriteSource::Test)).mapWritten);
            dev.disconnect();
        }
        const std::string rec = home.path() + "/drive.lpgd";
        const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + home.path() + "/config",
                                              "XDG_DATA_HOME=" + home.path() + "/data"};
        const RunResult r = run(CTL, {"--device", sim.server.slavePath(), "record", rec, "--seconds", "12",
                                      "--lpg-after", "6"}, env);
        ASSERT_EQ(r.rc, 0) << r.err;
        ASSERT_GT(sim.ctl.modelTime(), 2 * drive.lapSeconds()) << "the drive did not go round twice";

        const AcceptanceResult check = checkRecording(rec);
        const RunResult cli = run(CTL, {"check", rec}, env);
        if (rightMap) {
            EXPECT_EQ(check.verdict, ECheckVerdict::Pass) << checkVerdictText(check);
            EXPECT_EQ(check.failed, 0);
            EXPECT_GE(check.passed, 60);
            EXPECT_EQ(cli.rc, 0) << cli.out;
            EXPECT_NE(cli.out.find("Wynik: ustawienia poprawne."), std::string::npos) << cli.out;
            continue;
        }
        EXPECT_EQ(check.verdict, ECheckVerdict::Fail);
        EXPECT_EQ(cli.rc, 1);
        EXPECT_NE(cli.out.find("Wynik: ustawienia wymagają poprawy"), std::string::npos) << cli.out;
        // Every point shows, in its own column and millisecond (a point's time lies on
        // the border of two map rows), the correction the map lacks there.
        int judged = 0;
        for (const DrivePoint& p : drive.points()) {
            const int row = 2 * static_cast<int>(p.petrolMs), column = static_cast<int>(p.rpm / 1000);
            const CheckCell& lower = check.cells[row][column];
            const CheckCell& c = lower.state != ECheckCell::Empty ? lower : check.cells[row + 1][column];
            if (c.state != ECheckCell::Pass && c.state != ECheckCell::Fail)
                continue;
            const double hidden = drive.hiddenPercent(p.petrolMs, p.rpm);
            EXPECT_NEAR(c.difference, hidden, 2.0) << p.petrolMs << " ms, " << p.rpm << " rpm";
            // Judged by the tenth it shows: +5.04 % is "+5.0%" and passes.
            EXPECT_EQ(c.state, std::labs(percentTenths(c.difference)) <= 50 ? ECheckCell::Pass : ECheckCell::Fail)
                << checkCellText(c);
            ++judged;
        }
        EXPECT_GE(judged, 60);
        EXPECT_GE(check.failed, 30);
        // A tolerance wide enough for every hidden correction passes the same drive.
        const RunResult wide = run(CTL, {"check", rec, "--tolerance", "40"}, env);
        EXPECT_EQ(wide.rc, 0) << wide.out;
    }
}

TEST(AcceptanceSim, IdleOnPetrolThenOnLpgIsTooLittleDataWithItsOwnExitStatus) {
    CScratchFolder home;
    SimConfig cfg;
    cfg.trueCorrectionMs = 1.0; // the factory main correction: the LPG dose at idle is right
    CSimOnPty sim(cfg);
    const std::string rec = home.path() + "/idle.lpgd";
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + home.path() + "/config",
                                          "XDG_DATA_HOME=" + home.path() + "/data"};
    const RunResult r = run(CTL, {"--device", sim.server.slavePath(), "record", rec, "--seconds", "4",
                                  "--lpg-after", "2"}, env);
    ASSERT_EQ(r.rc, 0) << r.err;
    const AcceptanceResult check = checkRecording(rec);
    ASSERT_GE(check.passed, 1) << checkVerdictText(check); // idle judged on both fuels
    EXPECT_EQ(check.failed, 0);

    const RunResult cli = run(CTL, {"check", rec}, env);
    EXPECT_EQ(cli.rc, 3) << cli.out;
    EXPECT_NE(cli.out.find("Wynik: za mało danych"), std::string::npos) << cli.out;
    EXPECT_EQ(cli.out.find("ustawienia poprawne"), std::string::npos) << cli.out;
    const RunResult json = run(CTL, {"--json", "check", rec}, env);
    EXPECT_EQ(json.rc, 3);
    EXPECT_NE(json.out.find("\"no-data\""), std::string::npos) << json.out;
    const RunResult help = run(CTL, {"check", "--help"}, env);
    EXPECT_NE(help.out.find("3 too little data"), std::string::npos) << help.out;
}
