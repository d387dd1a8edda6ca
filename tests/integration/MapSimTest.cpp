// The injection map against the virtual controller: the verified write with its
// map-in-use flag, a read-back that fails, and a drive recorded with zefirelctl
// that computes the simulator's hidden map again.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "SimKit.h"
#include "link/Protocol.h"
#include "map/MapWrite.h"
#include "support/RecordingHost.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::sim;
using namespace zefirel::test;

namespace {

struct Connected : CSimOnPty {
    explicit Connected(const SimConfig& c = {}) : CSimOnPty(c) {
        host.carDataAnswer = true;
        connected = dev.connectPath(server.slavePath()) && dev.isVersionOk();
        dev.setResetTimeout(5000);
    }
    bool mapFlag() const { return (ctl.setupRecord()[10] & OPTION_MAP_IN_USE) != 0; }
    MapBytes eepromMap() const {
        MapBytes m;
        const EepromImage e = ctl.eeprom();
        std::copy_n(e.begin() + eeprom::MAP, MAP_BYTES, m.begin());
        return m;
    }

    CRecordingHost host;
    CTestDevice dev{&host};
    bool connected = false;
};

/// Reads the numbers of a JSON array that starts after key.
std::vector<double> jsonNumbers(const std::string& json, const std::string& key, size_t count) {
    std::vector<double> out;
    size_t at = json.find("\"" + key + "\":[");
    if (at == std::string::npos)
        return out;
    const char* p = json.c_str() + at + key.size() + 4;
    while (out.size() < count) {
        char* end = nullptr;
        out.push_back(std::strtod(p, &end));
        if (end == p)
            break;
        p = end + 1;
    }
    return out;
}

} // namespace

TEST(MapSim, AVerifiedWriteSetsTheFlagExactlyWhenACellHoldsACorrection) {
    Connected c;
    ASSERT_TRUE(c.connected);
    MapBytes oneCell = emptyMap();
    oneCell[6 * 8 + 1] = 101; // +1 % at 3.0 ms, 1000-2000 rpm
    struct Case {
        const char* what;
        MapBytes map;
        bool flag;
    } cases[] = {{"one 1 % cell", oneCell, true}, {"all cells empty", emptyMap(), false}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        EXPECT_TRUE(c.dev.commitSettings(mapWriteRequest(c.dev, k.map, EWriteSource::Test)).mapWritten);
        EXPECT_EQ(c.eepromMap(), k.map);
        EXPECT_EQ(c.mapFlag(), k.flag);
        EXPECT_EQ(c.ctl.workState(), 2); // left on petrol by the reset
    }
    MapBytes back{};
    EXPECT_TRUE(readMapBytes(c.dev, back));
    EXPECT_EQ(back, emptyMap());
}

TEST(MapSim, AReadBackThatFailsLeavesTheFlagAsItWas) {
    SimConfig cfg;
    cfg.faults.badChecksumCommand = CMD_EEPROM; // map blocks are written, never read back
    Connected c(cfg);
    ASSERT_TRUE(c.connected);
    const auto before = c.ctl.setupRecord();
    MapBytes map = emptyMap();
    map[0] = 120;
    const SettingsWriteResult r = c.dev.commitSettings(mapWriteRequest(c.dev, map, EWriteSource::Test));
    EXPECT_EQ(r.outcome, EWriteOutcome::MapFailed);
    EXPECT_EQ(r.message, "Nie powiodło się zweryfikowanie mapy wtrysków z urządzenia!");
    EXPECT_EQ(c.eepromMap(), map);
    EXPECT_EQ(c.ctl.setupRecord(), before);
}

TEST(MapSim, ADriveRecordedWithTheCommandLineComputesTheHiddenMap) {
    CScratchFolder home;
    // A hidden map with a different correction in every whole millisecond and column.
    MapBytes hidden;
    for (int row = 0; row < MAP_ROWS; ++row)
        for (int column = 0; column < MAP_COLUMNS; ++column)
            hidden[size_t(row * 8 + column)] = static_cast<uint8_t>(100 - 8 + (row / 2) % 9 + 3 * column);
    SimConfig cfg;
    cfg.drive = true;
    cfg.trueMap.assign(hidden.begin(), hidden.end());
    CSimOnPty sim(cfg);
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + home.path() + "/config",
                                          "XDG_DATA_HOME=" + home.path() + "/data"};
    const std::string rec = home.path() + "/drive.lpgd", out = home.path() + "/drive.map";

    // Laps on petrol, then on LPG; a lap takes about 11500 polls (a few seconds).
    const double lap = sim.ctl.drive().lapSeconds();
    const RunResult r = run(CTL, {"--device", sim.server.slavePath(), "--json", "record", rec, "--seconds", "12",
                                  "--lpg-after", "6"}, env);
    ASSERT_EQ(r.rc, 0) << r.err;
    ASSERT_GT(sim.ctl.modelTime(), 2 * lap) << "the drive did not go round twice: " << r.out;

    const RunResult m = run(CTL, {"--json", "map", "compute", rec, out}, env);
    ASSERT_EQ(m.rc, 0) << m.err;
    const Bytes computed = readBytes(out);
    ASSERT_EQ(computed.size(), MAP_BYTES);
    EXPECT_EQ(jsonNumbers(m.out, "map", MAP_BYTES), std::vector<double>(computed.begin(), computed.end()));

    // Every point of the lap gives its whole-millisecond rows in its column.
    int checked = 0;
    for (const DrivePoint& p : sim.ctl.drive().points()) {
        const int row = 2 * static_cast<int>(p.petrolMs), column = static_cast<int>(p.rpm / 1000);
        const size_t i = size_t(row * 8 + column);
        EXPECT_NEAR(computed[i], hidden[i], 2.0) << p.petrolMs << " ms, " << p.rpm << " rpm";
        EXPECT_EQ(computed[i + 8], computed[i]);
        ++checked;
    }
    EXPECT_EQ(checked, 72);
}

TEST(MapSim, MapComputeRefusesBadInputWithoutWritingItsOutput) {
    CScratchFolder home;
    const std::string out = home.path() + "/out.map";
    EXPECT_EQ(run(CTL, {"map", "compute", home.path() + "/none.lpgd", out}).rc, 1);
    EXPECT_EQ(run(CTL, {"map", "compute", out}).rc, 2);
    writeBytes(home.path() + "/empty.lpgd", {});
    EXPECT_EQ(run(CTL, {"map", "compute", home.path() + "/empty.lpgd", out, "--timer-frequency", "0"}).rc, 2);
    EXPECT_TRUE(readBytes(out).empty());

    // An empty recording holds no record: refused, and no map is written from it.
    RunResult r = run(CTL, {"map", "compute", home.path() + "/empty.lpgd", out, "--timer-frequency", "20000"});
    EXPECT_EQ(r.rc, 1) << r.err;
    EXPECT_TRUE(readBytes(out).empty());

    // A recording with records but none in the map's range computes an empty map,
    // printed as the grid.
    const std::string idle = home.path() + "/idle.lpgd";
    const std::string line = "1\t1\t2\t1\t0\t0\t0\t0\t0\t0\t100\t120\t110\t70\t23\t30\t0\t0\r\n";
    writeBytes(idle, Bytes(line.begin(), line.end()));
    r = run(CTL, {"map", "compute", idle, out, "--timer-frequency", "20000"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(readBytes(out), Bytes(MAP_BYTES, 100));
    EXPECT_EQ(r.out.rfind("ms        0-1000    1000-2000", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\n24.5-25.0\n"), std::string::npos);
}
