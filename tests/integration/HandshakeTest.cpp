// Connecting to a scripted controller over a pseudo-terminal: the handshake's
// outcomes and messages, the order in which ports are tried, the version word.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>

#include "link/Conversions.h"
#include "support/Preferences.h"
#include "support/RecordingHost.h"
#include "support/ScriptedController.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::test;

namespace {

struct Connection {
    CRecordingHost host;
    CScriptedController ctl;
    CPtyPeer peer{ctl.handler()};
    CTestDevice dev{&host};

    bool connect() { return dev.connectPath(peer.slavePath()); }
    std::vector<uint8_t> commandsSent() const {
        std::vector<uint8_t> out;
        for (const PeerRequest& r : peer.requests())
            out.push_back(r.type == MSG_TYPE_COMMAND ? r.payload.at(0) : 0);
        return out;
    }
};

/// The handshake sets the process-wide timer frequency from the feature record;
/// every test ends with the default again, whether it passed or not.
class Handshake : public ::testing::Test {
protected:
    void TearDown() override { setTimerFrequency(DEFAULT_TIMER_FREQUENCY); }
};

} // namespace

TEST_F(Handshake, VersionFiveWithKnownFeaturesConnectsQuietly) {
    Connection c;
    c.ctl.update([](auto& s) {
        s.features = FEATURE_EXTENDED_DIAG | FEATURE_INIT_NOTICE;
        s.frequency = 20000;
        s.injectors = 6;
    });
    ASSERT_TRUE(c.connect());
    EXPECT_TRUE(c.dev.isVersionOk());
    EXPECT_TRUE(c.host.messages.empty());
    EXPECT_EQ(c.host.menusRemoved, 0);
    EXPECT_EQ(c.commandsSent(), (std::vector<uint8_t>{CMD_TEST, CMD_VERSION, CMD_FEATURES}));
    // The version record and the feature record are kept in the settings block.
    EXPECT_EQ(c.dev.settings().versionMark(), 5);
    EXPECT_EQ(c.dev.settings().injectorCount(), 6);
    EXPECT_EQ(c.dev.settings().identity(), "ZF-000123");
    EXPECT_EQ(c.dev.settings().featureMask(), FEATURE_EXTENDED_DIAG | FEATURE_INIT_NOTICE);
    EXPECT_TRUE(c.dev.extendedDiag());
    EXPECT_DOUBLE_EQ(tickLength(), 0.05);
    EXPECT_DOUBLE_EQ(rpmConstant(), 2400000.0);
}

TEST_F(Handshake, NoAnswerToTheLinkTestFailsAfterThreeAttempts) {
    CRecordingHost host;
    CPtyPeer peer([](uint8_t, const std::vector<uint8_t>&) { return CScriptedController::refusal(); });
    CTestDevice dev(&host);
    EXPECT_FALSE(dev.connectPath(peer.slavePath()));
    EXPECT_EQ(peer.requestCount(), 3u);
    EXPECT_FALSE(dev.isVersionOk());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(dev.port().isOpen()); // a failed connection leaves the port free
}

TEST_F(Handshake, NoVersionRecordKeepsTheLinkButNotTheConnectedFlag) {
    Connection c;
    c.ctl.update([](auto& s) { s.answerVersion = false; });
    EXPECT_TRUE(c.connect());
    EXPECT_FALSE(c.dev.isVersionOk());
    ASSERT_EQ(c.host.messages.size(), 1u);
    EXPECT_EQ(c.host.messages[0].text, "Nie powiodło się odczytanie wersji urządzenia!");
    EXPECT_EQ(c.host.messages[0].caption, "Zefirel");
    EXPECT_EQ(c.host.messages[0].style, EMsgStyle::Error);
    EXPECT_EQ(c.host.menusRemoved, 1);
    // One link test, ten version requests, nothing after them.
    std::vector<uint8_t> expected(11, CMD_VERSION);
    expected[0] = CMD_TEST;
    EXPECT_EQ(c.commandsSent(), expected);
}

TEST_F(Handshake, OtherFirmwareVersionsGetTheMismatchMessage) {
    for (uint16_t version : {4, 6}) {
        SCOPED_TRACE(version);
        Connection c;
        c.ctl.update([version](auto& s) { s.version = version; });
        EXPECT_TRUE(c.connect());
        EXPECT_FALSE(c.dev.isVersionOk());
        EXPECT_EQ(c.host.menusRemoved, 1);
        ASSERT_EQ(c.host.messages.size(), 1u);
        EXPECT_EQ(c.host.messages[0].style, EMsgStyle::Error);
        EXPECT_EQ(c.host.messages[0].caption, "Zefirel");
        EXPECT_EQ(c.host.messages[0].text,
                  "Wersja sterownika LPG nie zgadza się z wersją oprogramowania PC!\n"
                  "Szczegóły:\n"
                  "   --wersja sterownika LPG - " + std::to_string(version) + "\n"
                  "   --wersja oprogramowania PC - 5\n"
                  "Uruchom odpowiednią wersję oprogramowania PC.\n");
    }
}

TEST_F(Handshake, UnknownFeatureBitGivesTheInformationAndStillConnects) {
    Connection c;
    c.ctl.update([](auto& s) { s.features = 0x2000 | 0x0001; });
    EXPECT_TRUE(c.connect());
    EXPECT_TRUE(c.dev.isVersionOk());
    EXPECT_EQ(c.host.menusRemoved, 0);
    ASSERT_EQ(c.host.messages.size(), 1u);
    EXPECT_EQ(c.host.messages[0].text,
              "Wersja oprogramowania PC może nie obsługiwać wszystkich\n możliwości sterownika LPG\n");
    EXPECT_EQ(c.host.messages[0].style, EMsgStyle::Info);
    EXPECT_EQ(c.dev.settings().featureMask(), 0x2001u);
}

TEST_F(Handshake, VersionAbove40000IsAdjustedOnlyByReadVersion) {
    Connection c;
    c.ctl.update([](auto& s) { s.version = 40005; });
    EXPECT_TRUE(c.connect());
    EXPECT_FALSE(c.dev.isVersionOk()); // the handshake compares the word as it came
    ASSERT_EQ(c.host.messages.size(), 1u);
    EXPECT_NE(c.host.messages[0].text.find("   --wersja sterownika LPG - 40005\n"), std::string::npos);

    uint8_t record[VERSION_RECORD_SIZE] = {};
    ASSERT_TRUE(c.dev.readVersion(record));
    EXPECT_EQ(getU16(&record[2]), 5);
    EXPECT_EQ(getU16(&record[0]), 100);
    EXPECT_EQ(record[4], 4);
    EXPECT_EQ(c.dev.settings().versionMark(), 5);
    EXPECT_EQ(c.dev.settings().identity(), "ZF-000123");
}

// --- trying the ports in turn -------------------------------------------------

namespace {

/// Points ZEFIREL_COM1..9 at peers or at nothing for one test, then clears them.
class PortTable {
public:
    ~PortTable() {
        for (int n = 1; n <= 9; ++n)
            ::unsetenv(("ZEFIREL_COM" + std::to_string(n)).c_str());
    }
    void point(int n, const std::string& path) { ::setenv(("ZEFIREL_COM" + std::to_string(n)).c_str(), path.c_str(), 1); }
    void pointNowhere(int n) { point(n, "/nonexistent/zefirel-port-" + std::to_string(n)); }
};

/// A controller on port n that logs which port got each link test; it answers
/// fully only when good is set.
struct PortPeer {
    PortPeer(int n, std::vector<int>& log, std::mutex& m, bool good)
        : peer([this, n, &log, &m, good](uint8_t type, const std::vector<uint8_t>& p) {
              if (type == MSG_TYPE_COMMAND && p.at(0) == CMD_TEST) {
                  std::lock_guard<std::mutex> g(m);
                  if (log.empty() || log.back() != n)
                      log.push_back(n);
              }
              return good ? ctl.handle(type, p) : CScriptedController::refusal();
          }) {}
    CScriptedController ctl;
    CPtyPeer peer;
};

/// A device with its own preferences, and the ports it may find.
class ConnectAnyPort : public ::testing::Test {
protected:
    std::unique_ptr<PortPeer> peerOn(int n, bool good) {
        auto p = std::make_unique<PortPeer>(n, log, m, good);
        ports.point(n, p->peer.slavePath());
        return p;
    }

    PortTable ports;
    std::vector<int> log; ///< ports that got a link test, in order
    std::mutex m;
    CRecordingHost host;
    CMemoryPreferences prefs;
    CTestDevice dev{&host, &prefs};
};

} // namespace

TEST_F(ConnectAnyPort, StoredPortFirstThenOneToSeven) {
    std::vector<std::unique_ptr<PortPeer>> peers;
    for (int n = 1; n <= 7; ++n)
        peers.push_back(peerOn(n, false));
    prefs.setLastSerialPort(3);

    EXPECT_FALSE(dev.connectAnyPort());
    EXPECT_EQ(log, (std::vector<int>{3, 1, 2, 3, 4, 5, 6, 7}));
    ASSERT_EQ(host.messages.size(), 1u);
    // The message, then on its own lines what to check.
    EXPECT_EQ(host.messages[0].text.rfind("Nie można nawiązać komunikacji z urządzeniem LPG\n\nSprawdź: ", 0), 0u);
    EXPECT_NE(host.messages[0].text.find("dialout"), std::string::npos);
    EXPECT_EQ(host.messages[0].style, EMsgStyle::Plain);
    EXPECT_EQ(host.messages[0].caption, "Zefirel");
    EXPECT_TRUE(host.connections.empty());
    EXPECT_EQ(prefs.lastSerialPort(), 3u);
}

TEST_F(ConnectAnyPort, FirstAnsweringPortWinsAndIsRemembered) {
    ports.pointNowhere(1);
    ports.pointNowhere(2);
    ports.point(3, "/dev/null"); // opens, but is no terminal
    const auto silent4 = peerOn(4, false), good5 = peerOn(5, true), good6 = peerOn(6, true);

    EXPECT_TRUE(dev.connectAnyPort());
    EXPECT_EQ(log, (std::vector<int>{4, 5}));
    EXPECT_EQ(host.connections, std::vector<bool>{true});
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(prefs.lastSerialPort(), 5u);
    EXPECT_EQ(dev.port().devicePath(), good5->peer.slavePath());
}

TEST_F(ConnectAnyPort, PortAboveSevenIsTriedOnlyAsTheStoredOne) {
    const auto nine = peerOn(9, true);
    for (int n = 1; n <= 7; ++n)
        ports.pointNowhere(n);

    EXPECT_FALSE(dev.connectAnyPort()); // nothing stored: port 9 is never tried
    EXPECT_TRUE(log.empty());
    prefs.setLastSerialPort(9);
    EXPECT_TRUE(dev.connectAnyPort());
    EXPECT_EQ(log, std::vector<int>{9});
}

TEST_F(ConnectAnyPort, VersionMismatchStillCountsAsAConnectionShownAsNotConnected) {
    const auto old = peerOn(1, true);
    old->ctl.update([](auto& s) { s.version = 4; });

    EXPECT_TRUE(dev.connectAnyPort());
    EXPECT_EQ(host.connections, std::vector<bool>{false});
    EXPECT_EQ(prefs.lastSerialPort(), 1u);
}
