// Map learning against the virtual controller: a road test with zefirelctl that
// finds the simulator's hidden map and checks it in a second pass, the session's
// "Wpisz" and "Cofnij" through the checked write path, and the command's refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "SimKit.h"
#include "link/Conversions.h"
#include "link/Protocol.h"
#include "map/MapLearnSession.h"
#include "map/MapWrite.h"
#include "support/RecordingHost.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::sim;
using namespace zefirel::test;

namespace {

MapBytes eepromMap(const CSimController& ctl) {
    MapBytes m;
    const EepromImage e = ctl.eeprom();
    std::copy_n(e.begin() + eeprom::MAP, MAP_BYTES, m.begin());
    return m;
}

const std::string CAR = "Skoda;Octavia;1598;75;2004;4;180";

} // namespace

TEST(MapLearnSim, ARoadTestOfTwoPassesWritesTheHiddenMapAndJudgesEveryDrivenCellWithinTolerance) {
    CScratchFolder home;
    SimConfig cfg;
    cfg.drive = true;
    cfg.seed = 7;             // the hidden map: a smooth one drawn from the seed
    cfg.warmUpSeconds = 10;   // model seconds: a short cold start
    cfg.dwellSeconds = 2;     // a lap of 288 model seconds, about 5800 polls
    // Short ramps between points: a ramp crosses map rows the fold leaves empty, where
    // the car runs lean on LPG and its computer's trim grows; arriving with that trim,
    // the controller looks the map up at the trimmed petrol time, and a long ramp can
    // carry the time into an empty row and hold it there.
    cfg.transitionSeconds = 0.05;
    CSimOnPty sim(cfg);
    const CDriveScenario::HiddenMap& hidden = sim.ctl.drive().hiddenMap();
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + home.path() + "/config",
                                          "XDG_DATA_HOME=" + home.path() + "/data"};
    const std::string out = home.path() + "/learned.map";

    // Each pass long enough for a lap on each fuel, also on a busy machine.
    const RunResult r = run(CTL, {"--device", sim.server.slavePath(), "--car", CAR, "--json", "map", "learn",
                                  "--seconds", "16", "--lpg-after", "8", "--out", out, "--write", "--passes", "2"},
                            env);
    ASSERT_EQ(r.rc, 0) << r.err << r.out;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["written"], true);
    ASSERT_EQ(j["map"].size(), MAP_BYTES);
    const Bytes file = readBytes(out);
    ASSERT_EQ(file.size(), MAP_BYTES);
    for (size_t i = 0; i < MAP_BYTES; ++i)
        ASSERT_EQ(j["map"][i].get<int>(), file[i]) << i;
    ASSERT_EQ(j["cells"].size(), size_t(SPEED_BUCKETS));
    EXPECT_EQ(j["cells"][0].size(), size_t(LOAD_BUCKETS));
    EXPECT_TRUE(j["cells"][2][3].contains("petrolCount") && j["cells"][2][3].contains("correction"));
    // The drive gave every guard rail something to refuse.
    for (const char* reason : {"switch", "transient", "cold", "cutOff"})
        EXPECT_GT(j["ignored"][reason].get<int>(), 0) << reason;

    // The second pass judged every cell the first pass learned (most of the lap's 72
    // operating points), each within ±5 %; and each of them holds in the controller's
    // map, in both rows of its petrol time, the hidden map's value within 2 points.
    int learned = 0;
    for (const auto& speed : j["cells"])
        for (const auto& c : speed)
            learned += c["petrolCount"].get<int>() > MAP_MIN_COUNT && c["lpgCount"].get<int>() > MAP_MIN_COUNT;
    EXPECT_GE(learned, 60);
    ASSERT_EQ(j["residual"].size(), size_t(learned)) << r.out;
    const MapBytes inController = eepromMap(sim.ctl);
    for (const auto& c : j["residual"]) {
        EXPECT_LE(std::fabs(c["percent"].get<double>()), ACCEPT_DEFAULT_TOLERANCE) << c.dump();
        const int speed = c["speed"], load = c["load"];
        const double petrolMs = j["cells"][speed][load]["petrolMean"];
        const size_t i = size_t(2 * static_cast<int>(petrolMs) * 8 + speed);
        EXPECT_NEAR(inController[i], hidden[i], 2.0) << c.dump();
        EXPECT_NEAR(inController[i + 8], hidden[i + 8], 2.0) << c.dump();
    }
}

TEST(MapLearnSim, WpiszWritesTheProposalAndCofnijWritesBackTheMapFromBefore) {
    CSimOnPty sim;
    CRecordingHost host;
    host.carDataAnswer = true;
    CTestDevice dev{&host};
    ASSERT_TRUE(dev.connectPath(sim.server.slavePath()) && dev.isVersionOk());
    dev.setResetTimeout(5000);
    MapBytes before = emptyMap();
    before[0] = 93;
    before[399] = 111;
    ASSERT_TRUE(dev.commitSettings(mapWriteRequest(dev, before, EWriteSource::Test)).ok());

    CMapLearnSession session;
    ASSERT_TRUE(session.start(dev));
    EXPECT_EQ(session.previousMap(), before);
    // A cell learned from samples: 8 ms on petrol, 8.8 ms on LPG at 2000 rpm.
    const MapUnits units = MapUnits::current();
    for (bool petrol : {true, false}) {
        session.lineLost();
        CDiag d;
        d.setWorkState(petrol ? WORK_STATE_PETROL : 3);
        d.setRpmPeriod(static_cast<uint16_t>(std::lround(units.rpmConstant / 2000)));
        d.setPetrolTime(0, static_cast<uint16_t>(std::lround((petrol ? 8.0 : 8.8) / units.tickMs)));
        d.setPressure3Code(static_cast<uint8_t>(std::lround(pressureCode(101.0 - 35))));
        d.setHeaterTempCode(temperatureCode(70));
        for (int i = 0; i < 20; ++i)
            session.add(d);
    }
    const MapBytes proposed = session.proposedMap();
    ASSERT_EQ(proposed[16 * 8 + 2], 110);

    std::vector<SettingChange> asked;
    const SettingsWriteRequest write = session.writeRequest(dev, [&asked](const std::vector<SettingChange>& c) {
        asked = c;
        return true;
    });
    EXPECT_EQ(write.source, EWriteSource::Learning);
    EXPECT_EQ(write.scope, EWriteScope::Map);
    const SettingsWriteResult written = dev.commitSettings(write);
    ASSERT_TRUE(written.ok()) << written.message;
    EXPECT_FALSE(asked.empty()) << "the change list is asked before the write";
    EXPECT_TRUE(session.noteWrite(write, written));
    EXPECT_EQ(eepromMap(sim.ctl), proposed);
    EXPECT_EQ(session.learner().pass(), 2);

    // Declined: nothing is sent, the pass goes on.
    const SettingsWriteRequest undo = session.undoRequest(dev, [](const std::vector<SettingChange>&) { return false; });
    const SettingsWriteResult declined = dev.commitSettings(undo);
    EXPECT_EQ(declined.outcome, EWriteOutcome::Declined);
    EXPECT_FALSE(session.noteUndo(declined));
    EXPECT_EQ(eepromMap(sim.ctl), proposed);

    const SettingsWriteRequest undone = session.undoRequest(dev, {});
    const SettingsWriteResult back = dev.commitSettings(undone);
    ASSERT_TRUE(back.ok()) << back.message;
    EXPECT_TRUE(session.noteUndo(back));
    EXPECT_EQ(eepromMap(sim.ctl), before);
    EXPECT_EQ(session.learner().pass(), 1);
    EXPECT_EQ(session.proposedMap(), proposed) << "the first pass's table is kept";
}

TEST(MapLearnSim, TheCommandRefusesBadUsageBeforeItDrives) {
    struct Case {
        std::vector<std::string> args;
        const char* why;
    } cases[] = {
        {{"map", "learn"}, "no --seconds"},
        {{"map", "learn", "--seconds", "0"}, "no time"},
        {{"map", "learn", "--seconds", "10", "--lpg-after", "10"}, "LPG after the end"},
        {{"map", "learn", "--seconds", "10", "--passes", "2"}, "a second pass without a write"},
        {{"map", "learn", "--seconds", "10", "--passes", "3", "--write"}, "three passes"},
        {{"map", "learn", "--seconds", "10", "--write"}, "a write without --car"},
        {{"map", "learn", "--seconds", "10", "--out", "/no/such/folder/x.map"}, "an output that cannot be made"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--device", "/dev/null/none", "--json"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = run(CTL, args);
        EXPECT_EQ(r.rc, 2) << c.why << ": " << r.err;
        const nlohmann::json j = nlohmann::json::parse(r.out);
        EXPECT_EQ(j["exitCode"], 2) << c.why;
        EXPECT_FALSE(j["error"].get<std::string>().empty()) << c.why;
    }
    // No controller there: a controller failure.
    const RunResult r = run(CTL, {"--device", "/dev/null/none", "map", "learn", "--seconds", "1"});
    EXPECT_EQ(r.rc, 1) << r.err;
}
