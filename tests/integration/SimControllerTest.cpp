// The virtual controller without a line: its answers frame by frame, its EEPROM,
// the diagnostic layouts, and the engine model that makes the automatic setup
// meaningful. (The byte order of its records is proved end to end by the
// command-line tests, which print them decoded.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "SimController.h"
#include "SimOptions.h"
#include "link/Cipher.h"
#include "link/Conversions.h"
#include "link/Protocol.h"
#include "link/SettingsBlock.h"

using namespace zefirel;
using namespace zefirel::sim;

namespace {

using Bytes = std::vector<uint8_t>;

struct Answer {
    uint8_t type = 0;
    Bytes payload; ///< host order
    Bytes raw;     ///< the frame as sent
};

/// Parses a frame the controller sent; fails the test when it is not well formed.
Answer parse(const Bytes& frame, bool extended) {
    Answer a;
    a.raw = frame;
    ParsedFrame f;
    size_t consumed = 0;
    EXPECT_EQ(checkFrame(frame.data(), frame.size(), f, consumed), EFrameCheck::Ok);
    EXPECT_EQ(consumed, frame.size());
    a.type = f.type;
    a.payload = f.payload;
    fromWireOrder(a.payload.data(), a.payload.size(), a.type, extended);
    return a;
}

/// A controller and a clock that moves on by the wire time of each exchange.
struct Bench {
    explicit Bench(SimConfig c = {}) : cfg(c), ctl(cfg) {}
    SimConfig cfg;
    CSimController ctl;
    double now = 1000.0;
    bool extended() const { return (cfg.featureMask & FEATURE_EXTENDED_DIAG) != 0; }

    SimReply send(uint8_t type, Bytes payloadHost, double step = 0.05) {
        now += step;
        const Bytes frame = buildFrame(type, payloadHost.data(), static_cast<uint8_t>(payloadHost.size()), extended());
        ParsedFrame f;
        size_t consumed = 0;
        checkFrame(frame.data(), frame.size(), f, consumed);
        return ctl.handle(type, f.payload, now);
    }
    Answer ask(uint8_t type, Bytes payloadHost, double step = 0.05) {
        return parse(send(type, std::move(payloadHost), step).frame, extended());
    }
    Answer command(uint8_t code, uint16_t argument = 0, size_t length = 6, double step = 0.05) {
        Bytes p(length, 0);
        p[0] = code;
        setU16(p.data() + 2, argument);
        return ask(MSG_TYPE_COMMAND, p, step);
    }
    /// One diagnostic request for injector n (1-based), as the PC sends it.
    Answer diag(int injector = 1, double step = 0.05) { return command(CMD_DIAG, static_cast<uint16_t>(injector - 1), 30, step); }
    /// Mean petrol computer time (auxTime) of n samples, in ms.
    double meanPetrolMs(int n) {
        double sum = 0;
        for (int i = 0; i < n; ++i)
            sum += getU16(diag().payload.data() + 12) * 1000.0 / cfg.timerFrequency;
        return sum / n;
    }
    void writeMainCorrectionTicks(uint8_t ticks) {
        std::array<uint8_t, 26> rec = ctl.setupRecord();
        rec[9] = ticks;
        const Answer a = ask(MSG_TYPE_SETUP, Bytes(rec.begin(), rec.end()));
        ASSERT_EQ(a.payload.at(0), CMD_DONE);
    }
};

uint16_t status(const Answer& a) { return getU16(a.payload.data() + 4); }

} // namespace

TEST(SimController, AcknowledgesTheLinkTestAndFlagsUnknownCommandsTypesAndChecksums) {
    Bench b;
    const Answer test = b.command(CMD_TEST);
    EXPECT_EQ(test.type, MSG_TYPE_COMMAND);
    EXPECT_EQ(test.payload, (Bytes{CMD_DONE, 0, 0, 0, 0, 0}));

    const Answer unknownCmd = b.command(0x55);
    EXPECT_NE(unknownCmd.payload[0], CMD_DONE);
    EXPECT_EQ(status(unknownCmd), ERROR_UNKNOWN_CMD);
    EXPECT_EQ(status(b.command(CMD_DONE)), ERROR_UNKNOWN_CMD); // an answer code is no request

    EXPECT_EQ(status(b.ask(0x33, {1, 2, 3})), ERROR_UNKNOWN_FRAME);
    EXPECT_EQ(status(b.ask(MSG_TYPE_DIAG, Bytes(30, 0))), ERROR_UNKNOWN_FRAME); // controller-to-PC only
    EXPECT_EQ(status(b.ask(MSG_TYPE_SETUP, Bytes(25, 0))), ERROR_UNKNOWN_FRAME); // record too short

    const Answer crc = parse(b.ctl.checksumErrorReply(), false);
    EXPECT_EQ(crc.type, MSG_TYPE_COMMAND);
    EXPECT_EQ(status(crc), ERROR_CRC);
}

TEST(SimController, HeldErrorsShowInEveryAcknowledgementUntilCleared) {
    SimConfig cfg;
    cfg.errors[0] = 0x03;
    cfg.errors[4] = 0x02;
    Bench b(cfg);
    EXPECT_EQ(status(b.command(CMD_TEST)), ERROR_CODES_HELD);
    EXPECT_EQ(status(b.command(0x55)), ERROR_UNKNOWN_CMD | ERROR_CODES_HELD);
    const Answer report = b.command(CMD_ERROR);
    EXPECT_EQ(report.type, MSG_TYPE_ERRORS);
    EXPECT_EQ(report.payload, (Bytes{0x03, 0, 0, 0, 0x02, 0, 0, 0, 0, 0, 0}));

    const SimReply cleared = b.send(MSG_TYPE_COMMAND, {CMD_CLEAR_ERRORS, 0, 0, 0, 0, 0});
    EXPECT_EQ(status(parse(cleared.frame, false)), 0);
    EXPECT_EQ(b.command(CMD_ERROR).payload, Bytes(11, 0));
    EXPECT_EQ(status(b.command(CMD_TEST)), 0);
    // The default feature mask announces the initialisation notice: a link test command.
    ASSERT_FALSE(cleared.notice.empty());
    EXPECT_GT(cleared.noticeDelayMs, 0);
    EXPECT_LT(cleared.noticeDelayMs, 500); // it must be waiting when the PC reads, 500 ms later
    const Answer notice = parse(cleared.notice, false);
    EXPECT_EQ(notice.type, MSG_TYPE_COMMAND);
    EXPECT_EQ(notice.payload.at(0), CMD_TEST);

    SimConfig quiet;
    quiet.featureMask &= ~FEATURE_INIT_NOTICE;
    Bench q(quiet);
    EXPECT_TRUE(q.send(MSG_TYPE_COMMAND, {CMD_CLEAR_ERRORS, 0, 0, 0, 0, 0}).notice.empty());
}

TEST(SimController, FactoryEepromHoldsTheDefaultSettingsAndAMapWithItsChecksum) {
    Bench b;
    const EepromImage e = b.ctl.eeprom();
    const uint16_t stored = static_cast<uint16_t>((e[eeprom::MAP_CHECKSUM] << 8) | e[eeprom::MAP_CHECKSUM + 1]);
    EXPECT_EQ(stored, frameChecksum(e.data() + eeprom::MAP, 400));
    EXPECT_TRUE(std::all_of(e.begin() + eeprom::MAP, e.begin() + eeprom::MAP + 400, [](uint8_t x) { return x == 100; }));

    // Decoding the stored record gives the factory values back.
    CSettingsBlock decoded, factory;
    const std::array<uint8_t, 26> rec = b.ctl.setupRecord();
    decoded.setValue(ESetting::switchSpeed, 0);
    decodeSettings(decoded, rec.data());
    for (const SettingInfo& info : settingInfos())
        EXPECT_DOUBLE_EQ(decoded.value(info.id), factory.value(info.id)) << info.name;
    EXPECT_EQ(checkSettings(decoded), "");
}

TEST(SimController, EepromBlocksAreTheSettingsMemoryAndStayInsideIt) {
    Bench b;
    // Writing the settings record is visible in the EEPROM and the other way round.
    std::array<uint8_t, 26> rec = b.ctl.setupRecord();
    rec[9] = 80; // main correction 2.0 ms
    EXPECT_EQ(b.ask(MSG_TYPE_SETUP, Bytes(rec.begin(), rec.end())).payload[0], CMD_DONE);
    const Answer block0 = b.command(CMD_EEPROM, 8);
    ASSERT_EQ(block0.type, MSG_TYPE_EEPROM);
    EXPECT_EQ(getU16(block0.payload.data()), 8);
    EXPECT_EQ(block0.payload[2 + 1], 80); // byte 9 of the record
    EXPECT_DOUBLE_EQ(b.ctl.mainCorrectionMs(), 2.0);

    Bytes write(10, 0);
    setU16(write.data(), 8);
    for (int i = 0; i < 8; ++i)
        write[2 + i] = static_cast<uint8_t>(0xA0 + i);
    EXPECT_EQ(b.ask(MSG_TYPE_EEPROM, write).payload[0], CMD_DONE);
    EXPECT_EQ(b.command(CMD_SETUP, 0, 26).payload[9], 0xA1);

    EXPECT_EQ(status(b.command(CMD_EEPROM, 505)), ERROR_UNKNOWN_CMD); // 505 + 8 > 512
    EXPECT_EQ(b.command(CMD_EEPROM, 504).type, MSG_TYPE_EEPROM);
    setU16(write.data(), 510);
    EXPECT_EQ(status(b.ask(MSG_TYPE_EEPROM, write)), ERROR_UNKNOWN_CMD);
    EXPECT_EQ(b.ctl.eeprom()[511], 0);
}

TEST(SimController, DiagnosticAnswersUseTheStandardOrExtendedLayout) {
    Bench std4;
    const Answer a = std4.diag(2);
    ASSERT_EQ(a.type, MSG_TYPE_DIAG);
    ASSERT_EQ(a.payload.size(), 30u);
    EXPECT_EQ(a.payload[0], WORK_STATE_PETROL);
    EXPECT_EQ(a.payload[1], 0x0F); // four injectors active
    const double rpm = 4800000.0 / getU16(a.payload.data() + 10);
    EXPECT_GT(rpm, 700);
    EXPECT_LT(rpm, 1400);
    const double petrolMs = getU16(a.payload.data() + 16) * 0.025;
    EXPECT_GT(petrolMs, 2.0);
    EXPECT_LT(petrolMs, 8.0);
    EXPECT_EQ(getU16(a.payload.data() + 20), 0); // no LPG time on petrol
    EXPECT_EQ(std4.diag(5).payload[16], 0);      // injector 5 is not fitted: no signal

    // Every fourth answer carries a second measurement in sub-record 1.
    int doubles = 0;
    for (int i = 0; i < 40; ++i) {
        const Answer d = std4.diag();
        doubles += getU16(d.payload.data() + 22) != 0 && getU16(d.payload.data() + 24) != 0;
    }
    EXPECT_EQ(doubles, 10);

    SimConfig ext;
    ext.featureMask |= FEATURE_EXTENDED_DIAG;
    ext.injectors = 6;
    Bench e(ext);
    e.command(CMD_WORK_LPG);
    const Answer x = e.diag(1);
    ASSERT_EQ(x.payload.size(), 27u);
    EXPECT_EQ(x.payload[0], WORK_STATE_LPG);
    EXPECT_EQ(x.payload[1], 0x3F);
    EXPECT_EQ(x.payload[26], 0x07); // injector pairs 1-2, 3-4, 5-6 on LPG
    // LPG extra time at sub-record offset +4: the factory main correction of 1 ms.
    EXPECT_NEAR(getU16(x.payload.data() + 18) * 0.025, 1.0, 0.026);
}

TEST(SimController, SameSeedGivesTheSameSamplesAndAnotherSeedOthers) {
    SimConfig s1, s2;
    s2.seed = 99;
    Bench a(s1), b(s1), c(s2);
    for (int i = 0; i < 5; ++i) {
        const Bytes da = a.diag().payload;
        EXPECT_EQ(da, b.diag().payload);
        c.diag();
    }
    EXPECT_NE(a.diag().payload, c.diag().payload);
}

TEST(SimController, PetrolTimeOnLpgDriftsByWhatTheMainCorrectionLacks) {
    SimConfig cfg;
    cfg.trueCorrectionMs = 1.8;
    Bench b(cfg);
    b.command(CMD_TEST);
    b.command(CMD_TEST, 0, 6, 1800.0); // let the engine warm up (the clock starts at the first request)
    // One step of the automatic setup: settle, measure on petrol, then on LPG.
    auto step = [&b] {
        b.command(CMD_WORK_GAS);
        b.meanPetrolMs(60);
        const double petrol = b.meanPetrolMs(40);
        b.command(CMD_WORK_LPG);
        b.meanPetrolMs(60);
        return b.meanPetrolMs(40) - petrol;
    };
    EXPECT_NEAR(step(), 0.8, 0.04); // factory correction 1.0 ms, the car needs 1.8 ms
    b.writeMainCorrectionTicks(72); // 1.8 ms
    EXPECT_NEAR(step(), 0.0, 0.04);
    b.writeMainCorrectionTicks(100); // 2.5 ms: too rich, the petrol computer takes time off
    EXPECT_NEAR(step(), -0.7, 0.04);
    // Back on petrol the computer's own time returns.
    b.command(CMD_WORK_GAS);
    b.meanPetrolMs(100);
    EXPECT_NEAR(b.ctl.petrolTrimMs(), 0.0, 0.01);
}

TEST(SimController, AutomaticWorkSwitchesToLpgWhenWarmAfterTheSwitchDelay) {
    for (const bool extended : {false, true}) {
        SimConfig cfg;
        if (extended)
            cfg.featureMask |= FEATURE_EXTENDED_DIAG;
        Bench b(cfg);
        b.command(CMD_WORK_AUTO);
        const uint8_t onPetrol = extended ? WORK_STATE_PETROL : WORK_STATE_AUTO_PETROL;
        const uint8_t onLpg = extended ? WORK_STATE_LPG : WORK_STATE_AUTO_LPG;
        double switchedAt = -1;
        // Reducer warms from 15 °C to the 25 °C switch temperature in about 25 s,
        // then the 60 s switch delay runs.
        for (int s = 1; s <= 150 && switchedAt < 0; ++s) {
            const uint8_t state = b.diag(1, 1.0).payload[0];
            if (state == onLpg)
                switchedAt = b.ctl.modelTime();
            else
                ASSERT_EQ(state, onPetrol);
        }
        EXPECT_GT(switchedAt, 75.0) << "extended " << extended;
        EXPECT_LT(switchedAt, 100.0) << "extended " << extended;
        EXPECT_TRUE(b.ctl.onLpg());
        b.command(CMD_WORK_GAS);
        EXPECT_EQ(b.diag().payload[0], WORK_STATE_PETROL);
    }
}

TEST(SimController, SequenceFollowsTheFiringOrderOrOpensTogether) {
    Bench b;
    const Answer seq = b.command(CMD_SEQUENCE);
    ASSERT_EQ(seq.type, MSG_TYPE_SEQUENCE);
    const auto at = [&seq](int injector) { return getU16(seq.payload.data() + 2 * (injector - 1)); };
    // Firing order 1-3-4-2, a quarter of the engine cycle apart; 5..8 have no signal.
    EXPECT_LT(at(1), at(3));
    EXPECT_LT(at(3), at(4));
    EXPECT_LT(at(4), at(2));
    const double cycle = 4.0 * (at(3) - at(1));
    EXPECT_NEAR(at(2) - at(1), 0.75 * cycle, 5);
    for (int i = 5; i <= 8; ++i)
        EXPECT_EQ(at(i), 0);

    std::array<uint8_t, 26> rec = b.ctl.setupRecord();
    rec[20] = 0x04; // non-sequential injection
    b.ask(MSG_TYPE_SETUP, Bytes(rec.begin(), rec.end()));
    const Answer together = b.command(CMD_SEQUENCE);
    for (int i = 1; i <= 4; ++i)
        EXPECT_LE(std::abs(getU16(together.payload.data() + 2 * (i - 1)) - getU16(together.payload.data())), 40)
            << "injector " << i; // within 1 ms
}

TEST(SimController, LevelReadingMovesTowardReserveWhileTheEngineBurnsLpg) {
    Bench b;
    const Answer cal = b.command(CMD_LEVEL_SENSOR);
    ASSERT_EQ(cal.type, MSG_TYPE_LEVEL_SENSOR);
    EXPECT_EQ(cal.payload, (Bytes{42, 130, 170, 225}));
    const uint16_t start = getU16(b.command(CMD_LEVEL_VALUE).payload.data() + 2);
    EXPECT_GT(start, 42); // below the first threshold would read as a full tank
    b.command(CMD_WORK_LPG);
    b.command(CMD_TEST, 0, 6, 1800.0); // half an hour on LPG
    const uint16_t later = getU16(b.command(CMD_LEVEL_VALUE).payload.data() + 2);
    EXPECT_GT(later, start + 20);

    // A sensor counting the other way keeps the same meaning.
    EXPECT_EQ(b.ask(MSG_TYPE_LEVEL_SENSOR, {225, 170, 130, 42}).payload[0], CMD_DONE);
    const uint16_t reversed = getU16(b.command(CMD_LEVEL_VALUE).payload.data() + 2);
    EXPECT_NEAR(reversed, 267 - later, 1); // mirrored between the two scales' ends
}

TEST(SimOptions, ReadsValuesAndRefusesBadOnes) {
    SimConfig cfg;
    std::string error;
    ASSERT_EQ(parseSimOptions({"--identity", "X-1", "--version-word=40005", "--injectors", "6", "--features",
                               "0x2000", "--extended", "--errors", "1,0,0,0,0x80", "--baud-timing",
                               "--date", "2004-04-11", "--mute-after", "3", "--bad-checksum", "8",
                               "--injector-ms", "3:60", "--injector-ms=1:0"},
                              cfg, error),
              EOptions::Run)
        << error;
    EXPECT_EQ(cfg.identity, "X-1");
    EXPECT_EQ(cfg.versionWord, 40005);
    EXPECT_EQ(cfg.injectors, 6);
    EXPECT_EQ(cfg.featureMask, 0x2080u);
    EXPECT_EQ(cfg.errors[0], 1);
    EXPECT_EQ(cfg.errors[4], 0x80);
    EXPECT_TRUE(cfg.baudTiming);
    EXPECT_EQ(cfg.programmingDate, 10);
    EXPECT_EQ(cfg.faults.muteAfter, 3u);
    EXPECT_EQ(cfg.faults.badChecksumCommand, 8);
    EXPECT_EQ(cfg.injectorPetrolMs[0], 0.0);
    EXPECT_EQ(cfg.injectorPetrolMs[1], -1.0);
    EXPECT_EQ(cfg.injectorPetrolMs[2], 60.0);

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--injectors", "9"}, {"--injectors"}, {"--identity", "12345678901234567"},
          {"--errors", "1,2,3,4,5,6,7,8,9,10,11,12"}, {"--errors", "256"}, {"--features", "-1"},
          {"--date", "2003-12-31"}, {"--seed", "x"}, {"--frobnicate"}, {"--baud-timing=1"},
          {"--injector-ms", "9:1"}, {"--injector-ms", "2"}, {"--injector-ms", "2:101"}}) {
        SimConfig c;
        EXPECT_EQ(parseSimOptions(bad, c, error), EOptions::Invalid) << bad[0];
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(parseSimOptions({"--help"}, cfg, error), EOptions::Help);
}
