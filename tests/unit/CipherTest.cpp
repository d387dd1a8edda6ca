// Identity cipher: each piece checked against its own definition, then the whole
// cipher against a reference built here from the published Serpent tables.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>

#include "link/Cipher.h"

using namespace zefirel;

namespace {

// The published Serpent S-boxes S0..S7, one hex digit per input 0..15.
const char* const SERPENT_SBOX[8] = {
    "38F1A65BED42709C", "FC27905A1BE86D34", "86793CAFD1E40B52", "0FB8C963D124A75E",
    "1F83C0B6254A9E7D", "F52B4A9C03E8D671", "72C5846BE91FD3A0", "1DF0E82B74CA9356",
};

int hexDigit(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }
int refSbox(int k, int x) { return hexDigit(SERPENT_SBOX[k][x]); }

uint32_t refSub(int k, uint32_t w) {
    uint32_t out = 0;
    for (int n = 0; n < 8; ++n)
        out |= static_cast<uint32_t>(refSbox(k, (w >> (4 * n)) & 0xF)) << (4 * n);
    return out;
}

const char KEY[] = "3A7E21D4-9B0C-4fd2-8E61-C5A93F0B7D28";

uint32_t keyWord(int i) {
    const auto* p = reinterpret_cast<const uint8_t*>(KEY) + 4 * i;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

/// Raw (unsubstituted) prekeys, optionally with Serpent's rotation by 11.
std::array<uint32_t, 140> rawSchedule(bool rotate) {
    std::array<uint32_t, 140> w{};
    for (int i = 0; i < 8; ++i)
        w[i] = keyWord(i);
    for (uint32_t i = 8; i < 140; ++i) {
        const uint32_t t = w[i - 8] ^ w[i - 5] ^ w[i - 3] ^ w[i - 1] ^ 0x9E3779B9u ^ (i - 8);
        w[i] = rotate ? std::rotl(t, 11) : t;
    }
    return w;
}

/// The S-box used for prekey i: 3, 2, 1, 0, 7, 6, 5, 4, 3, … from w8.
const int SCHEDULE_BOX[8] = {3, 2, 1, 0, 7, 6, 5, 4};

/// A straightforward encipher built from the test's own tables and schedule.
CCipher::Block referenceEncipher(const CCipher::Block& in, bool rotateSchedule) {
    std::array<uint32_t, 140> w = rawSchedule(rotateSchedule);
    for (int i = 8; i < 140; ++i)
        w[i] = refSub(SCHEDULE_BOX[(i - 8) % 8], w[i]);
    CCipher::Words x{};
    std::memcpy(x.data(), in.data(), 16); // little-endian host
    auto key = [&](int j) {
        for (int i = 0; i < 4; ++i)
            x[i] ^= w[8 + 4 * j + i];
    };
    for (int r = 0; r < 31; ++r) {
        key(r);
        for (auto& v : x)
            v = refSub(r % 8, v);
        CCipher::lt(x);
    }
    key(31);
    for (auto& v : x)
        v = refSub(7, v);
    key(32);
    CCipher::Block out{};
    std::memcpy(out.data(), x.data(), 16);
    return out;
}

} // namespace

TEST(CipherSbox, MatchesPublishedTablesAndInvertsExactly) {
    for (int k = 0; k < 8; ++k) {
        bool seen[16] = {};
        for (int x = 0; x < 16; ++x) {
            const uint8_t y = CCipher::sbox(k, static_cast<uint8_t>(x));
            EXPECT_EQ(y, refSbox(k, x)) << "S" << k << "[" << x << "]";
            ASSERT_LT(y, 16);
            EXPECT_FALSE(seen[y]) << "S" << k << " repeats " << int(y);
            seen[y] = true;
            EXPECT_EQ(CCipher::invSbox(k, y), x) << "S" << k;
        }
    }
}

TEST(CipherSub, SubstitutesEachNibbleInPlace) {
    EXPECT_EQ(CCipher::sub(0, 0x00000000u), 0x33333333u);
    // Nibble n holds n: the result holds S0[n] in nibble n.
    EXPECT_EQ(CCipher::sub(0, 0x76543210u), 0xB56A1F83u);
    EXPECT_EQ(CCipher::sub(7, 0xFFFFFFFFu), 0x66666666u);
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i) {
        const uint32_t w = rng();
        const int k = i % 8;
        EXPECT_EQ(CCipher::sub(k, w), refSub(k, w));
        EXPECT_EQ(CCipher::invSub(k, CCipher::sub(k, w)), w);
    }
}

TEST(CipherSchedule, NoRotationAndBoxFallsFromThree) {
    const CCipher cipher;
    const auto& w = cipher.schedule();
    EXPECT_EQ(w[0], 0x45374133u); // "3A7E", first character lowest
    EXPECT_EQ(w[2], 0x3042392Du); // "-9B0"
    // w8 by hand from the key words.
    const uint32_t raw8 = keyWord(0) ^ keyWord(3) ^ keyWord(5) ^ keyWord(7) ^ 0x9E3779B9u;
    EXPECT_EQ(w[8], refSub(3, raw8));
    EXPECT_NE(w[8], refSub(3, std::rotl(raw8, 11)));
    EXPECT_NE(w[8], raw8);

    // The recurrence feeds on the unsubstituted words.
    const auto raw = rawSchedule(false);
    EXPECT_EQ(raw[8], raw8);
    EXPECT_EQ(w[9], refSub(2, raw[9]));
    EXPECT_EQ(w[11], refSub(0, raw[11]));
    EXPECT_EQ(w[12], refSub(7, raw[12]));
    for (int i = 8; i < 140; ++i)
        ASSERT_EQ(w[i], refSub(SCHEDULE_BOX[(i - 8) % 8], raw[i])) << "w" << i;
}

TEST(CipherLt, HandComputedAndInverse) {
    CCipher::Words a{1, 0, 0, 0};
    CCipher::lt(a);
    EXPECT_EQ(a, (CCipher::Words{0x100C0000u, 0x4000u, 0x2800u, 0x800000u}));
    CCipher::Words b{0, 0, 0, 1};
    CCipher::lt(b);
    EXPECT_EQ(b, (CCipher::Words{0x1000u, 0u, 0x20000000u, 0x80u}));

    std::mt19937 rng(11);
    for (int i = 0; i < 200; ++i) {
        const CCipher::Words x{static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng()),
                               static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng())};
        CCipher::Words y = x;
        CCipher::lt(y);
        EXPECT_NE(y, x);
        CCipher::invLt(y);
        EXPECT_EQ(y, x);
        CCipher::invLt(y);
        CCipher::lt(y);
        EXPECT_EQ(y, x);
    }
}

TEST(CipherBlock, MatchesReferenceWithoutScheduleRotation) {
    const CCipher c;
    std::mt19937 rng(3);
    for (int i = 0; i < 20; ++i) {
        CCipher::Block in{};
        for (auto& b : in)
            b = static_cast<uint8_t>(rng());
        const CCipher::Block out = c.encipherBlock(in);
        EXPECT_EQ(out, referenceEncipher(in, false));
        // The test would notice a schedule with Serpent's rotation.
        EXPECT_NE(out, referenceEncipher(in, true));
        EXPECT_EQ(c.decipherBlock(out), in);
    }
}

TEST(CipherText, PaddingCuttingAndFailures) {
    const CCipher c;
    // A short identity is padded with zero bytes before enciphering.
    CCipher::Block padded{};
    std::memcpy(padded.data(), "AB12", 4);
    EXPECT_EQ(c.encipher("AB12"), c.encipherBlock(padded));
    const CCipher::Block e = c.encipher("AB12");
    EXPECT_EQ(c.decipher(e.data()), "AB12");

    // Sixteen characters fill the block; longer text is cut to sixteen.
    EXPECT_EQ(c.decipher(c.encipher("0123456789ABCDEF").data()), "0123456789ABCDEF");
    EXPECT_EQ(c.decipher(c.encipher("0123456789ABCDEFXYZ").data()), "0123456789ABCDEF");

    EXPECT_EQ(c.decipher(e.data(), 15), "");
    EXPECT_EQ(c.decipher(e.data(), 17), "");
    EXPECT_EQ(c.decipher(nullptr), "");
}
