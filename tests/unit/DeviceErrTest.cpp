// Error report texts and the plausibility check of a sample.
#include <gtest/gtest.h>

#include "diag/Diag.h"
#include "link/Conversions.h"
#include "link/DeviceErr.h"

using namespace zefirel;

namespace {
uint8_t codeFor(int celsius) {
    for (int c = 0; c < 256; ++c)
        if (TEMPERATURE_TABLE[c] == celsius)
            return static_cast<uint8_t>(c);
    ADD_FAILURE() << "no code gives " << celsius;
    return 0;
}
} // namespace

TEST(DeviceErrReport, DescribesExampleReportPieceByPiece) {
    const CLPGDeviceErr t;
    ASSERT_EQ(t.moduleCount(), 12u);
    uint8_t report[11] = {};
    EXPECT_EQ(t.describeReport(report), "");
    report[0] = 0x03;
    report[4] = 0x02;
    EXPECT_EQ(t.describeReport(report),
              " Moduł: Pamięć, kod błędu: \r\n\tBłąd zwolnienia pamięci \r\n\tBłąd - za mało pamięci \r\n"
              " Moduł: Wtryskiwacze, kod błędu: \r\n\tERROR_INJECTOR2 \r\n");
}

TEST(DeviceErrReport, BitsWithoutTextAndOddModules) {
    const CLPGDeviceErr t;
    uint8_t report[11] = {};
    report[1] = 0x04;
    EXPECT_EQ(t.describeReport(report), " Moduł: Timer, kod błędu: \r\n\tNieznany kod błędu = 0x4 \r\n");

    report[1] = 0;
    report[10] = 0x02;
    EXPECT_EQ(t.describeReport(report),
              " Moduł: Przerwania 32, kod błędu: \r\n\tNieznany kod błędu = 0x2 \r\n");

    report[10] = 0;
    report[9] = 0x80;
    EXPECT_EQ(t.describeReport(report), " Moduł: Przerwania 24-32, kod błędu: \r\n\tPrzerwanie 31 \r\n");

    // Unknown high bits in lower-case hex; known bits keep their order.
    EXPECT_EQ(t.describeCode(0, 0xA1), "\r\n\tBłąd zwolnienia pamięci \r\n\tNieznany kod błędu = 0x20 "
                                       "\r\n\tNieznany kod błędu = 0x80 ");
    EXPECT_EQ(t.describeCode(2, 0x0C), "\r\n\tNieznany kod błędu = 0x4 \r\n\tNieznany kod błędu = 0x8 ");
    EXPECT_EQ(t.describeCode(3, 0), "");
    EXPECT_EQ(t.describeModule(12, 1), "Nieznany kod modułu");
    EXPECT_EQ(t.describeModule(3, 0), "");
    EXPECT_EQ(t.describeModule(6, 0x81), " Moduł: Przerwania 0-7, kod błędu: \r\n\tPrzerwanie 0 "
                                         "\r\n\tPrzekroczenie prądu wtryskiwacza(y) LPG ");
    EXPECT_EQ(t.describeCode(5, 0x60), "\r\n\tBłąd czujnika temperatury wewnetrznej sterownika "
                                       "\r\n\tNieznany kod błędu = 0x40 ");
    // The link module is reached only by asking for it.
    EXPECT_EQ(t.describeModule(11, 0x08), " Moduł: Transmisja, kod błędu: \r\n\tBłąd CRC ramki ");
}

TEST(DeviceErrSample, PetrolTimeLimitsAreInclusiveAtEveryTimerFrequency) {
    CDiag s;
    s.setInjector(3);
    s.setLpgTempCode(codeFor(20));
    s.setHeaterTempCode(codeFor(40));
    std::string text = "earlier\n";
    setTimerFrequency(40000);
    s.setPetrolTime(0, 0);
    EXPECT_FALSE(CLPGDeviceErr::checkSample(s, text));
    EXPECT_EQ(text, "earlier\nBrak lub błędny sygnał wtryskiwacza benzynowego: 3\n");

    // 0.2 ms and 50 ms pass, one tick less or more fails. At 35 kHz 7 ticks are
    // 0.2 ms, though 7 × (1000 / 35000) computes a hair below.
    struct Case {
        double hz;
        uint16_t ticks;
        bool ok;
    };
    for (const Case c : {Case{40000, 8, true}, Case{40000, 2000, true}, Case{40000, 40, true}, Case{40000, 7, false},
                         Case{40000, 2001, false}, Case{20000, 4, true}, Case{20000, 1001, false},
                         Case{35000, 7, true}, Case{35000, 6, false}}) {
        setTimerFrequency(c.hz);
        text.clear();
        s.setPetrolTime(0, c.ticks);
        EXPECT_EQ(CLPGDeviceErr::checkSample(s, text), c.ok) << c.hz << " Hz, " << c.ticks << " ticks";
        EXPECT_EQ(text.empty(), c.ok);
    }
    setTimerFrequency(40000);
}

TEST(DeviceErrSample, TemperatureLimits) {
    setTimerFrequency(40000);
    CDiag s;
    s.setInjector(1);
    s.setPetrolTime(0, 100);
    auto check = [&s](int lpg, int heater) {
        s.setLpgTempCode(codeFor(lpg));
        s.setHeaterTempCode(codeFor(heater));
        std::string text;
        const bool ok = CLPGDeviceErr::checkSample(s, text);
        EXPECT_EQ(ok, text.empty()) << lpg << " " << heater;
        return text;
    };
    // LPG −10..90 (90 has no code: 89 and 91 are its neighbours), heater −10..120.
    EXPECT_EQ(check(-10, 118), "");
    EXPECT_EQ(check(89, -10), "");
    EXPECT_EQ(check(-11, 40), "Źle podłączony czujnik temperatury LPG\n");
    EXPECT_EQ(check(91, 40), "Źle podłączony czujnik temperatury LPG\n");
    EXPECT_EQ(check(20, 121), "Źle podłączony czujnik temperatury ogrzewacza LPG\n");
    EXPECT_EQ(check(20, -11), "Źle podłączony czujnik temperatury ogrzewacza LPG\n");
    // All three failing: messages in check order.
    s.setPetrolTime(0, 0);
    EXPECT_EQ(check(-36, 209), "Brak lub błędny sygnał wtryskiwacza benzynowego: 1\n"
                               "Źle podłączony czujnik temperatury LPG\n"
                               "Źle podłączony czujnik temperatury ogrzewacza LPG\n");
}
