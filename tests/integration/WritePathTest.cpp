// Every way a record reaches the controller, checked on the frames the virtual
// controller received: a value out of range sends nothing, a change of the petrol
// injection type is written between a reset and the clearing of the errors, any
// other change is written without either, a declined list sends nothing and leaves
// the document as it was, and a re-read or a reconnect racing the write never
// changes what is sent. The same cases through zefirelctl.
#include <gtest/gtest.h>

#ifdef ZEFIREL_HAVE_SIMLIB

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include "DiagTestKit.h"
#include "SimKit.h"
#include "link/Conversions.h"
#include "link/Protocol.h"
#include "map/MapWrite.h"
#include "map/TimeCorrections.h"
#include "settings/SettingsCopy.h"
#include "support/FileUtil.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::test;
using namespace zefirel::sim;

namespace {

/// What a request asks for, in the cell of the table.
enum class EAsk { OutOfRange, SequenceChange, PlainChange };

/// A writer: builds its request from the device's record for one kind of ask (or
/// says it cannot express it), and names the value it changes.
struct Writer {
    const char* name;
    std::function<bool(CLPGDevice&, EAsk, SettingsWriteRequest&)> build;
};

bool isCommand(const SimRequest& r, uint8_t cmd) {
    return r.type == MSG_TYPE_COMMAND && !r.payload.empty() && r.payload[0] == cmd;
}
bool writes(const SimRequest& r) {
    return r.type == MSG_TYPE_SETUP || r.type == MSG_TYPE_TABLE || r.type == MSG_TYPE_EEPROM ||
           r.type == MSG_TYPE_LEVEL_SENSOR || r.type == MSG_TYPE_VERSION || isCommand(r, CMD_CLEAR_ERRORS) ||
           isCommand(r, CMD_WORK_GAS) || isCommand(r, CMD_WORK_LPG) || isCommand(r, CMD_WORK_AUTO);
}
/// Index of the first request matching from `from`, or npos.
size_t find(const std::vector<SimRequest>& rs, size_t from, const std::function<bool(const SimRequest&)>& f) {
    for (size_t i = from; i < rs.size(); ++i)
        if (f(rs[i])) return i;
    return std::string::npos;
}
/// The settings values the last settings record of the list carries.
CSettingsBlock lastRecordSent(const std::vector<SimRequest>& rs) {
    CSettingsBlock b;
    for (const SimRequest& r : rs)
        if (r.type == MSG_TYPE_SETUP && r.payload.size() >= SETUP_RECORD_SIZE) decodeSettings(b, r.payload.data());
    return b;
}

void setSequence(CSettingsBlock& b) {
    const auto type = static_cast<uint8_t>(b.value(ESetting::petrolInjectionType));
    b.setValue(ESetting::petrolInjectionType, type ^ 0x02); // full ⇄ half sequence
}

/// A car settings file holding the device's record with one change.
std::string carFileWith(const std::string& folder, const CLPGDevice& dev, const std::function<void(CSettingsBlock&)>& f) {
    CSettingsBlock b = dev.settings();
    b.setVersionMark(5);
    f(b);
    const std::string path = folder + "/restore.settings";
    EXPECT_TRUE(saveSettingsFile(path, b));
    return path;
}

const std::vector<Writer>& writers(const std::string& folder) {
    static std::vector<Writer> all;
    all = {
        {"panel: the main correction",
         [](CLPGDevice& d, EAsk a, SettingsWriteRequest& q) {
             q.wanted = d.settings();
             q.source = EWriteSource::Panel;
             if (a == EAsk::SequenceChange) return false; // the panel changes only the corrections
             q.wanted.setMainCorrection(a == EAsk::OutOfRange ? 6.5 : 2.25);
             return true;
         }},
        {"settings dialog",
         [](CLPGDevice& d, EAsk a, SettingsWriteRequest& q) {
             q.wanted = d.settings();
             q.source = EWriteSource::Dialog;
             if (a == EAsk::OutOfRange) q.wanted.setValue(ESetting::referencePressure, 59);
             else if (a == EAsk::SequenceChange) setSequence(q.wanted);
             else q.wanted.setValue(ESetting::switchSpeed, 1500);
             return true;
         }},
        {"car settings file restored",
         [folder](CLPGDevice& d, EAsk a, SettingsWriteRequest& q) {
             const std::string path = carFileWith(folder, d, [a](CSettingsBlock& b) {
                 if (a == EAsk::OutOfRange) b.setValue(ESetting::voltageLimit, 120);
                 else if (a == EAsk::SequenceChange) setSequence(b);
                 else b.setTimeCorrection(3, 7); // the file's curve is written with it
             });
             q.wanted = d.settings();
             q.source = EWriteSource::FileRestore;
             q.scope = EWriteScope::Record;
             return applyCarSettingsFile(path, q.wanted, true) == ESettingsFileResult::Ok;
         }},
        {"factory record",
         [](CLPGDevice& d, EAsk a, SettingsWriteRequest& q) {
             if (a != EAsk::PlainChange) return false; // the factory record is always valid and full sequence
             q.wanted = d.settings();
             applyStoredRecord(factorySettings(), q.wanted, true);
             q.source = EWriteSource::Factory;
             q.scope = EWriteScope::Record;
             return true;
         }},
        {"curve pane",
         [](CLPGDevice& d, EAsk a, SettingsWriteRequest& q) {
             if (a == EAsk::SequenceChange) return false;
             TimeCorrectionCurve curve{};
             curve[5] = a == EAsk::OutOfRange ? 170 : 9;
             q = curveWriteRequest(d, curve, EWriteSource::Curve);
             return true;
         }},
        {"map pane",
         [](CLPGDevice& d, EAsk a, SettingsWriteRequest& q) {
             if (a != EAsk::PlainChange) return false; // every byte of a map is a valid cell
             MapBytes map = emptyMap();
             map[42] = 112;
             q = mapWriteRequest(d, map, EWriteSource::Map);
             return true;
         }},
    };
    return all;
}

/// A document on the virtual controller with the car data given.
struct Bench {
    Bench() : sim(config()) {
        // The controller holds a record other than the factory one.
        EepromImage e = sim.ctl.eeprom();
        e[eeprom::SETUP + 19] = 100; // the switch to LPG after 50 s
        sim.ctl.setEeprom(e);
        host.carDataAnswer = true;
        doc.folder = scratch.path() + "/";
        doc.setResetTimeout(5000);
        connected = doc.connectPath(sim.server.slavePath()) && doc.isVersionOk();
        doc.updateSettings([](CSettingsBlock& b) {
            b.setCarText(ECarText::make, "Opel");
            b.setCarText(ECarText::model, "Astra");
            b.setCarText(ECarText::capacity, "1600");
        });
    }
    static SimConfig config() {
        SimConfig c;
        c.ambientC = 60;
        return c;
    }
    std::vector<SimRequest> since(size_t n) const {
        const auto all = sim.ctl.received();
        return {all.begin() + static_cast<long>(std::min(n, all.size())), all.end()};
    }
    size_t count() const { return sim.ctl.received().size(); }

    CScratchFolder scratch;
    CThreadSafeHost host;
    CSimOnPty sim;
    CTestDevice doc{&host};
    bool connected = false;
};

/// Writer w's request for a plain change on a bench that has read the controller;
/// returns the writer's name, empty when anything failed.
std::string plainRequest(Bench& b, size_t w, SettingsWriteRequest& q) {
    if (!b.connected || !b.doc.readSettings()) return {};
    const Writer& writer = writers(b.scratch.path())[w];
    return writer.build(b.doc, EAsk::PlainChange, q) ? writer.name : "";
}

} // namespace

TEST(WritePath, EveryWriterGoesThroughTheCheckedPath) {
    for (const EAsk ask : {EAsk::OutOfRange, EAsk::SequenceChange, EAsk::PlainChange}) {
        for (size_t w = 0; w < writers("").size(); ++w) {
            Bench b;
            ASSERT_TRUE(b.connected);
            ASSERT_TRUE(b.doc.readSettings());
            const Writer& writer = writers(b.scratch.path())[w];
            SCOPED_TRACE(std::string(writer.name) + ", ask " + std::to_string(static_cast<int>(ask)));
            SettingsWriteRequest q;
            if (!writer.build(b.doc, ask, q)) continue;
            const CSettingsBlock docBefore = b.doc.settings();
            const size_t start = b.count();
            const SettingsWriteResult r = b.doc.commitSettings(q);
            const std::vector<SimRequest> rs = b.since(start);
            const size_t reset = find(rs, 0, [](const SimRequest& x) { return isCommand(x, CMD_WORK_GAS); });
            const size_t record = find(rs, 0, [](const SimRequest& x) { return x.type == MSG_TYPE_SETUP; });
            const size_t clear = find(rs, 0, [](const SimRequest& x) { return isCommand(x, CMD_CLEAR_ERRORS); });
            switch (ask) {
            case EAsk::OutOfRange:
                EXPECT_EQ(r.outcome, EWriteOutcome::Refused);
                EXPECT_NE(r.message.find("Błędna wartość"), std::string::npos) << r.message;
                EXPECT_TRUE(std::none_of(rs.begin(), rs.end(), writes)) << "a write frame reached the controller";
                EXPECT_TRUE(b.doc.settings() == docBefore);
                break;
            case EAsk::SequenceChange:
                ASSERT_EQ(r.outcome, EWriteOutcome::Written) << r.message;
                ASSERT_NE(reset, std::string::npos);
                ASSERT_NE(record, std::string::npos);
                ASSERT_NE(clear, std::string::npos);
                EXPECT_LT(reset, record) << "the reset comes before the record";
                EXPECT_LT(record, clear) << "the errors are cleared after it";
                EXPECT_EQ(lastRecordSent(rs).value(ESetting::petrolInjectionType),
                          q.wanted.value(ESetting::petrolInjectionType));
                EXPECT_TRUE(r.resetBefore && r.errorsCleared);
                break;
            case EAsk::PlainChange:
                ASSERT_EQ(r.outcome, EWriteOutcome::Written) << r.message;
                ASSERT_NE(record, std::string::npos);
                EXPECT_EQ(clear, std::string::npos) << "no sequence change, no clearing";
                if (!q.map) {
                    EXPECT_EQ(reset, std::string::npos) << "no sequence change, no reset";
                }
                EXPECT_FALSE(r.changes.empty());
                // The controller, the document and the car file hold the same record.
                EXPECT_EQ(lastRecordSent(rs).value(ESetting::switchSpeed), b.doc.settings().value(ESetting::switchSpeed));
                EXPECT_EQ(lastRecordSent(rs).mainCorrection(), b.doc.settings().mainCorrection());
                break;
            }
        }
    }
}

TEST(WritePath, ADeclinedListSendsNothingAndLeavesTheDocument) {
    for (size_t w = 0; w < writers("").size(); ++w) {
        Bench b;
        SettingsWriteRequest q;
        const std::string name = plainRequest(b, w, q);
        SCOPED_TRACE(name);
        ASSERT_FALSE(name.empty());
        std::vector<SettingChange> listed;
        q.confirm = [&](const std::vector<SettingChange>& changes) {
            listed = changes;
            return false; // "Nie"
        };
        const CSettingsBlock docBefore = b.doc.settings();
        const size_t start = b.count();
        EXPECT_EQ(b.doc.commitSettings(q).outcome, EWriteOutcome::Declined);
        EXPECT_FALSE(listed.empty()) << "the question shows what would change";
        const auto rs = b.since(start);
        EXPECT_TRUE(std::none_of(rs.begin(), rs.end(), writes));
        EXPECT_TRUE(b.doc.settings() == docBefore);
    }
}

// Whole-number values typed with decimals: the list, the controller, the document
// and the car file hold the wire's whole number, and writing the same record again
// lists nothing.
TEST(WritePath, ValuesAreBroughtToWhatTheWireCarriesBeforeTheyAreListed) {
    Bench b;
    ASSERT_TRUE(b.connected);
    ASSERT_TRUE(b.doc.readSettings());
    SettingsWriteRequest q;
    q.wanted = b.doc.settings();
    q.wanted.setValue(ESetting::petrolSwitchPressure, 12.5);
    q.wanted.setMainCorrection(2.013);
    const SettingsWriteResult r = b.doc.commitSettings(q);
    ASSERT_EQ(r.outcome, EWriteOutcome::Written);
    const double held = b.doc.settings().value(ESetting::petrolSwitchPressure);
    EXPECT_EQ(held, std::round(held));
    // 2.013 ms is 80.5 ticks, which the record carries as 80: 2.0 ms.
    EXPECT_DOUBLE_EQ(b.doc.settings().mainCorrection(), 2.0);
    EXPECT_DOUBLE_EQ(lastRecordSent(b.since(0)).mainCorrection(), 2.0);
    for (const SettingChange& c : r.changes)
        if (c.name == "petrolSwitchPressure") {
            EXPECT_EQ(c.after, formatSettingNumber(held));
        }
    // The car file keeps the same numbers.
    CSettingsBlock file;
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(b.scratch.path()))
        if (e.is_regular_file()) files.push_back(e.path().string());
    ASSERT_EQ(files.size(), 1u);
    ASSERT_EQ(loadCarSettingsFile(files[0], file), ESettingsFileResult::Ok);
    EXPECT_EQ(file.value(ESetting::petrolSwitchPressure), held);
    // The same typed values again: nothing to list.
    EXPECT_TRUE(b.doc.commitSettings(q).changes.empty());
}

// The periodic re-read (which gives up while a write holds the controller) and a
// reconnect (which waits for it) race every writer: the record sent and the one
// the document keeps are the writer's.
TEST(WritePath, AReReadAndAReconnectDuringTheWriteNeverChangeWhatIsSent) {
    for (size_t w = 0; w < writers("").size(); ++w) {
        Bench b;
        SettingsWriteRequest q;
        const std::string name = plainRequest(b, w, q);
        SCOPED_TRACE(name);
        ASSERT_FALSE(name.empty());
        std::atomic<bool> done{false};
        std::atomic<int> reReads{0}, reconnects{0};
        std::thread reader([&] {
            while (!done.load()) {
                if (b.doc.readSettings(false)) ++reReads;
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            }
        });
        std::thread reconnecter([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (b.doc.connectPath(b.sim.server.slavePath())) ++reconnects;
        });
        const size_t start = b.count();
        const SettingsWriteResult r = b.doc.commitSettings(q);
        done.store(true);
        reader.join();
        reconnecter.join();
        ASSERT_EQ(r.outcome, EWriteOutcome::Written) << r.message;
        EXPECT_EQ(reconnects.load(), 1);
        const CSettingsBlock sent = lastRecordSent(b.since(start));
        for (const SettingInfo& info : settingInfos())
            EXPECT_EQ(sent.value(info.id), r.written.value(info.id)) << info.name;
        EXPECT_EQ(b.doc.lastControllerSettings().value(ESetting::switchSpeed), r.written.value(ESetting::switchSpeed));
        EXPECT_EQ(b.doc.settings().mainCorrection(), r.written.mainCorrection());
        if (q.map) {
            EXPECT_TRUE(std::equal(q.map->begin(), q.map->end(), b.doc.settings().map()));
        }
    }
}

// A command-line write of each kind, on the frames the controller received.
TEST(WritePath, TheCommandLineWritesThroughTheSamePath) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int rc;
        bool resetAndClear;
        bool anyWrite;
    } cases[] = {
        {"a value out of range", {"settings", "set", "mainCorrection=6.5"}, 2, false, false},
        {"a sequence change", {"settings", "set", "petrolInjectionType=2"}, 0, true, true},
        {"a plain change", {"settings", "set", "switchSpeed=1500"}, 0, false, true},
        {"the factory record, not confirmed", {"settings", "factory"}, 0, false, false},
        {"a car settings file holding a value out of range", {"settings", "import", "@bad"}, 2, false, false},
        {"a car settings file changing the sequence", {"settings", "import", "@sequence"}, 0, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        ASSERT_TRUE(b.connected);
        b.doc.disconnect(); // the port is exclusive
        std::vector<std::string> args = {"--device", b.sim.server.slavePath(), "--car", "Opel;Astra;1600;75;2004;4;180"};
        for (std::string a : c.args) {
            if (a[0] == '@') { // a car settings file made for the case
                CSettingsBlock f = factorySettings();
                f.setVersionMark(5);
                if (a == "@bad") f.setValue(ESetting::voltageLimit, 120);
                else setSequence(f);
                a = b.scratch.path() + "/" + a.substr(1) + ".settings";
                ASSERT_TRUE(saveSettingsFile(a, f));
            }
            args.push_back(a);
        }
        const size_t start = b.count();
        const RunResult run = zefirel::test::run(
            CTL, args, {"XDG_CONFIG_HOME=" + b.scratch.path() + "/config", "XDG_DATA_HOME=" + b.scratch.path() + "/data"});
        EXPECT_EQ(run.rc, c.rc) << run.err;
        const auto rs = b.since(start);
        EXPECT_EQ(std::any_of(rs.begin(), rs.end(), writes), c.anyWrite);
        const size_t record = find(rs, 0, [](const SimRequest& x) { return x.type == MSG_TYPE_SETUP; });
        const size_t reset = find(rs, 0, [](const SimRequest& x) { return isCommand(x, CMD_WORK_GAS); });
        const size_t clear = find(rs, 0, [](const SimRequest& x) { return isCommand(x, CMD_CLEAR_ERRORS); });
        if (c.resetAndClear) {
            ASSERT_NE(record, std::string::npos);
            EXPECT_LT(reset, record);
            ASSERT_NE(clear, std::string::npos);
            EXPECT_GT(clear, record);
        } else {
            EXPECT_EQ(clear, std::string::npos);
            EXPECT_EQ(reset, std::string::npos);
        }
    }
}

#endif
