// zefirelctl events and compare on crafted recordings: the text and --json output,
// a sidecar's markers, usage and file errors; and the export's optional event column.
#include <gtest/gtest.h>

#include "SimKit.h"
#include "events/DiagEvents.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::sim;
using namespace zefirel::test;

namespace {

/// A recording line: LPG (state 3) or petrol (2), engine period, petrol ticks, pressure and load codes.
std::string line(int n, int state, int period, int petrolTicks, int pressure, int pressure3) {
    return std::to_string(n) + "\t1\t" + std::to_string(state) + "\t1\t" + std::to_string(period) + "\t" +
           std::to_string(period) + "\t" + std::to_string(petrolTicks) + "\t0\t0\t0\t100\t120\t110\t112\t23\t" +
           std::to_string(pressure) + "\t0\t" + std::to_string(pressure3) + "\r\n";
}

struct Home {
    CScratchFolder dir;
    std::vector<std::string> env() const {
        return {"XDG_CONFIG_HOME=" + dir.path() + "/config", "XDG_DATA_HOME=" + dir.path() + "/data"};
    }
    std::string file(const std::string& name) const { return dir.path() + "/" + name; }
    RunResult operator()(const std::vector<std::string>& args) const { return run(CTL, args, env()); }
    void write(const std::string& name, const std::string& text) const {
        writeBytes(file(name), Bytes(text.begin(), text.end()));
    }
};

/// 10 samples on petrol, then 20 on LPG with the pressure (code 69 ≈ 48 kPa) low on 15..17.
std::string drive() {
    std::string s;
    for (int n = 1; n <= 30; ++n)
        s += line(n, n <= 10 ? 2 : 3, 2400, 160, n >= 15 && n <= 17 ? 69 : 126, 80);
    return s;
}

} // namespace

TEST(EventsCtl, EventsAndMarkersAsTextAndJson) {
    Home h;
    h.write("drive.lpgd", drive());
    ASSERT_TRUE(addRecordingMarker(h.file("drive.lpgd"), 20, "hałas"));
    RunResult r = h({"events", h.file("drive.lpgd")});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("#11  0:00.6  Przejście na LPG: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("#15  0:00.8  Niskie ciśnienie: Ciśnienie gazu"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("#20  0:01.0  Znacznik: hałas"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Zdarzeń: 2, znaczników: 1"), std::string::npos) << r.out;

    r = h({"events", "--json", h.file("drive.lpgd")});
    ASSERT_EQ(r.rc, 0) << r.err;
    expectJsonLines(r.out, "events --json");
    EXPECT_NE(r.out.find("{\"sample\":11,\"timeMs\":550,\"kind\":\"to_lpg\",\"name\":\"Przejście na LPG\""),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"kind\":\"low_pressure\""), std::string::npos);
    EXPECT_NE(r.out.find("\"markers\":[{\"sample\":20,\"timeMs\":1000,\"note\":\"hałas\"}]"), std::string::npos)
        << r.out;

    // A cut sidecar: the events stay, the markers are reported lost once.
    const Bytes whole = readBytes(sidecarPath(h.file("drive.lpgd")));
    writeBytes(sidecarPath(h.file("drive.lpgd")), Bytes(whole.begin(), whole.begin() + 30));
    r = h({"events", h.file("drive.lpgd")});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("Zdarzeń: 2, znaczników: 0"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("jest uszkodzony"), std::string::npos) << r.err;

    r = h({"events", "--json", h.file("missing.lpgd")});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.out.find("\"exitCode\":1"), std::string::npos) << r.out;
    EXPECT_EQ(h({"events"}).rc, 2);
}

TEST(EventsCtl, CompareTableAndJson) {
    Home h;
    // One cell (2000-3000 1/min, vacuum 30-40 kPa at code 78): +10 % in A, +2 % in B.
    std::string a, b;
    int n = 0;
    for (int i = 0; i < 20; ++i) {
        ++n;
        a += line(n, 2, 1920, 200, 126, 78);
        b += line(n, 2, 1920, 200, 126, 78);
    }
    for (int i = 0; i < 20; ++i) {
        ++n;
        a += line(n, 3, 1920, 220, 126, 78);
        b += line(n, 3, 1920, 204, 126, 78);
    }
    h.write("a.lpgd", a);
    h.write("b.lpgd", b);
    RunResult r = h({"compare", h.file("a.lpgd"), h.file("b.lpgd")});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("+10.0% (20/20)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("+2.0% (20/20)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("-8.0"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Lepiej: 1, gorzej: 0, bez zmian: 0, bez oceny: 0"), std::string::npos) << r.out;

    r = h({"compare", "--json", h.file("a.lpgd"), h.file("b.lpgd")});
    ASSERT_EQ(r.rc, 0) << r.err;
    expectJsonLines(r.out, "compare --json");
    EXPECT_EQ(r.out.rfind("{\"cells\":[{\"speed\":2000,\"load\":30,\"a\":{\"petrolCount\":20,\"lpgCount\":20,", 0), 0u)
        << r.out;
    EXPECT_NE(r.out.find("\"change\":-8,\"verdict\":\"better\"}],\"verdict\":\"Lepiej: 1,"), std::string::npos)
        << r.out;
    EXPECT_EQ(h({"compare", h.file("a.lpgd")}).rc, 2);
    EXPECT_EQ(h({"compare", h.file("a.lpgd"), h.file("none.lpgd")}).rc, 1);
}

TEST(EventsCtl, ExportKeepsItsColumnsAndAddsTheEventColumnOnlyWhenAsked) {
    Home h;
    h.write("drive.lpgd", drive());
    ASSERT_EQ(h({"export", h.file("drive.lpgd"), h.file("plain.csv")}).rc, 0);
    ASSERT_EQ(h({"export", "--events", h.file("drive.lpgd"), h.file("events.csv")}).rc, 0);
    const Bytes pb = readBytes(h.file("plain.csv")), eb = readBytes(h.file("events.csv"));
    std::vector<std::string> plain, events;
    for (auto [bytes, out] : {std::pair{&pb, &plain}, std::pair{&eb, &events}}) {
        const std::string text(bytes->begin(), bytes->end());
        for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
            out->push_back(text.substr(at, end - at));
    }
    ASSERT_EQ(plain.size(), 31u);
    ASSERT_EQ(events.size(), 31u);
    EXPECT_EQ(plain[0].find("Zdarzenie"), std::string::npos);
    for (size_t i = 0; i < plain.size(); ++i) {
        // Every row is the plain row followed by one more field.
        ASSERT_EQ(events[i].rfind(plain[i] + ";", 0), 0u) << i;
        const std::string extra = events[i].substr(plain[i].size() + 1);
        if (i == 0)
            EXPECT_EQ(extra, "Zdarzenie");
        else if (i == 11)
            EXPECT_EQ(extra.rfind("\"Przejście na LPG: Sterownik przeszedł na gaz przy 2000 obr/min", 0), 0u) << extra;
        else if (i == 15)
            EXPECT_EQ(extra.rfind("\"Niskie ciśnienie: ", 0), 0u) << extra;
        else
            EXPECT_EQ(extra, "") << i;
    }
}
