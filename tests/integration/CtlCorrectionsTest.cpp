// zefirelctl corrections against the virtual controller: reading the curve,
// refusing bad lists before anything is sent, and writing the curve with its
// in-use flag.
#include <gtest/gtest.h>

#include "SimKit.h"
#include "link/SettingsBlock.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::sim;
using namespace zefirel::test;

namespace {

struct CtlOnSim : CSimOnPty {
    RunResult operator()(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--device", server.slavePath()});
        return run(CTL, args, {"XDG_CONFIG_HOME=" + home.path() + "/config", "XDG_DATA_HOME=" + home.path() + "/data"});
    }
    int stored(size_t point) const { return ctl.eeprom()[eeprom::TABLE + point] - 100; }
    bool inUse() const {
        CSettingsBlock blk;
        decodeSettings(blk, ctl.setupRecord().data());
        return (blk.optionFlags() & 0x01) != 0;
    }
    CScratchFolder home;
};

const char* const CAR = "--car=Opel;Astra;1600;101;2003;4;";

/// "V,V,...": 25 values, with the given ones set and the others 0.
std::string curveList(std::initializer_list<std::pair<size_t, const char*>> set, size_t count = 25) {
    std::vector<std::string> v(count, "0");
    for (const auto& [i, text] : set) v[i] = text;
    std::string out;
    for (const std::string& s : v) out += (out.empty() ? "" : ",") + s;
    return out;
}

} // namespace

TEST(CtlCorrections, BadListsAreRefusedBeforeAnythingIsSent) {
    CtlOnSim c;
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{CAR, "corrections", "set", curveList({}, 24)}, "25 wartości"},
        {{CAR, "corrections", "set", curveList({{3, "26"}})}, "3 ms jest poza zakresem"},
        {{CAR, "corrections", "set", curveList({{0, "-26"}})}, "0 ms jest poza zakresem"},
        {{CAR, "corrections", "set", curveList({{4, "1.5"}})}, "nie jest liczbą całkowitą"},
        {{CAR, "corrections", "set", curveList({{5, ""}})}, "nie jest liczbą całkowitą"},
        {{"corrections", "set", curveList({{5, "2"}})}, "Musisz podać dane dotyczące samochodu"},
        // The car data dialog's rule: blanks are no capacity, and the refusal names it.
        {{"--car=Opel;Astra; ;101;2003;4;", "corrections", "set", curveList({{5, "2"}})},
         "Musisz podać dane dotyczące samochodu i zamontowanej instalacji\nBrak danych: Pojemność silnika"},
        {{CAR, "corrections", "put"}, "użycie: corrections"},
    };
    for (const Case& k : cases) {
        const RunResult r = c(k.args);
        EXPECT_EQ(r.rc, 2) << k.says;
        EXPECT_NE(r.err.find(k.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(c.server.requestCount(), 0u);
}

TEST(CtlCorrections, SetWritesTheCurveWithItsFlagAndGetReadsItBack) {
    CtlOnSim c;
    RunResult r = c({"corrections"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("0 ms: 0 %\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("24 ms: 0 %\nin use: no\n"), std::string::npos);

    r = c({CAR, "corrections", "set", curveList({{0, "-25"}, {12, "7"}, {24, "25"}})});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(c.stored(0), -25);
    EXPECT_EQ(c.stored(12), 7);
    EXPECT_EQ(c.stored(24), 25);
    EXPECT_TRUE(c.inUse());
    EXPECT_NE(r.out.find("12 ms: 7 %\n"), std::string::npos) << r.out;

    r = c({"--json", "corrections", "get"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "{\"corrections\":[-25,0,0,0,0,0,0,0,0,0,0,0,7,0,0,0,0,0,0,0,0,0,0,0,25],\"inUse\":true}\n");

    // An all-zero curve switches it off.
    r = c({CAR, "corrections", "set", curveList({})});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(c.stored(24), 0);
    EXPECT_FALSE(c.inUse());
}

TEST(CtlCorrections, AWriteCutShortNeverSwitchesOnACurveItDidNotWrite) {
    // The controller holds a curve that is switched off. Whichever request the
    // line dies after, it must not end up using that old curve.
    for (uint64_t answered = 4; answered <= 8; ++answered) {
        SCOPED_TRACE("line closed after request " + std::to_string(answered));
        CtlOnSim c;
        EepromImage e = c.ctl.eeprom();
        e[eeprom::TABLE + 3] = 100 + 20;
        c.ctl.setEeprom(e);
        ASSERT_FALSE(c.inUse());
        SimFaults faults;
        faults.closeAfter = answered;
        c.server.setFaults(faults);
        const RunResult r = c({CAR, "corrections", "set", curveList({{3, "-5"}})});
        EXPECT_FALSE(c.inUse() && c.stored(3) == 20) << r.err;
        if (r.rc == 0) {
            EXPECT_EQ(c.stored(3), -5);
            EXPECT_TRUE(c.inUse());
        } else {
            EXPECT_EQ(r.rc, 1) << r.err;
        }
    }
}
