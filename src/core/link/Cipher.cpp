#include "link/Cipher.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "link/Protocol.h"

namespace zefirel {

namespace {

/// The eight Serpent S-boxes S0..S7.
constexpr uint8_t SBOX[8][16] = {
    {3, 8, 15, 1, 10, 6, 5, 11, 14, 13, 4, 2, 7, 0, 9, 12},
    {15, 12, 2, 7, 9, 0, 5, 10, 1, 11, 14, 8, 6, 13, 3, 4},
    {8, 6, 7, 9, 3, 12, 10, 15, 13, 1, 14, 4, 0, 11, 5, 2},
    {0, 15, 11, 8, 12, 9, 6, 3, 13, 1, 2, 4, 10, 7, 5, 14},
    {1, 15, 8, 3, 12, 0, 11, 6, 2, 5, 4, 10, 9, 14, 7, 13},
    {15, 5, 2, 11, 4, 10, 9, 12, 0, 3, 14, 8, 13, 6, 7, 1},
    {7, 2, 12, 5, 8, 4, 6, 11, 14, 9, 1, 15, 13, 3, 10, 0},
    {1, 13, 15, 0, 14, 8, 2, 11, 7, 4, 12, 10, 9, 3, 5, 6},
};

struct InverseTables {
    uint8_t t[8][16];
    constexpr InverseTables() : t{} {
        for (int k = 0; k < 8; ++k)
            for (int x = 0; x < 16; ++x)
                t[k][SBOX[k][x]] = static_cast<uint8_t>(x);
    }
};
constexpr InverseTables INV_SBOX{};

/// The key: the first 32 characters of the key string.
constexpr char KEY_TEXT[] = "3A7E21D4-9B0C-4fd2-8E61-C5A93F0B7D28";
constexpr size_t KEY_LENGTH = 32;
constexpr uint32_t PHI = 0x9E3779B9u;
constexpr int ROUNDS = 32;

CCipher::Words toWords(const CCipher::Block& b) {
    return {getU32(&b[0]), getU32(&b[4]), getU32(&b[8]), getU32(&b[12])};
}

CCipher::Block toBytes(const CCipher::Words& w) {
    CCipher::Block b{};
    for (size_t i = 0; i < 4; ++i)
        setU32(&b[4 * i], w[i]);
    return b;
}

/// Applies the nibble table of S-box k to every 4-bit group of a word.
uint32_t substitute(const uint8_t (&table)[16], uint32_t word) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 4)
        out |= static_cast<uint32_t>(table[(word >> shift) & 0xF]) << shift;
    return out;
}

} // namespace

uint8_t CCipher::sbox(int k, uint8_t nibble) { return SBOX[k & 7][nibble & 0xF]; }
uint8_t CCipher::invSbox(int k, uint8_t nibble) { return INV_SBOX.t[k & 7][nibble & 0xF]; }
uint32_t CCipher::sub(int k, uint32_t word) { return substitute(SBOX[k & 7], word); }
uint32_t CCipher::invSub(int k, uint32_t word) { return substitute(INV_SBOX.t[k & 7], word); }

void CCipher::lt(Words& x) {
    x[0] = std::rotl(x[0], 13);
    x[2] = std::rotl(x[2], 3);
    x[1] = x[1] ^ x[0] ^ x[2];
    x[3] = x[3] ^ x[2] ^ (x[0] << 3);
    x[1] = std::rotl(x[1], 1);
    x[3] = std::rotl(x[3], 7);
    x[0] = x[0] ^ x[1] ^ x[3];
    x[2] = x[2] ^ x[3] ^ (x[1] << 7);
    x[0] = std::rotl(x[0], 5);
    x[2] = std::rotl(x[2], 22);
}

void CCipher::invLt(Words& x) {
    x[2] = std::rotr(x[2], 22);
    x[0] = std::rotr(x[0], 5);
    x[2] = x[2] ^ x[3] ^ (x[1] << 7);
    x[0] = x[0] ^ x[1] ^ x[3];
    x[3] = std::rotr(x[3], 7);
    x[1] = std::rotr(x[1], 1);
    x[3] = x[3] ^ x[2] ^ (x[0] << 3);
    x[1] = x[1] ^ x[0] ^ x[2];
    x[2] = std::rotr(x[2], 3);
    x[0] = std::rotr(x[0], 13);
}

CCipher::CCipher() {
    static_assert(sizeof KEY_TEXT - 1 >= KEY_LENGTH);
    for (size_t i = 0; i < KEY_LENGTH / 4; ++i)
        m_w[i] = getU32(reinterpret_cast<const uint8_t*>(KEY_TEXT) + 4 * i);
    // The whole recurrence runs on the unsubstituted words ...
    for (uint32_t i = 8; i < m_w.size(); ++i)
        m_w[i] = m_w[i - 8] ^ m_w[i - 5] ^ m_w[i - 3] ^ m_w[i - 1] ^ PHI ^ (i - 8);
    // ... and only then is each word substituted, the S-box index falling 3, 2, 1, 0, 7, …
    for (size_t i = 8; i < m_w.size(); ++i)
        m_w[i] = sub(static_cast<int>((3 + 8 * 32 - (i - 8)) % 8), m_w[i]);
}

namespace {
void addKey(CCipher::Words& x, const std::array<uint32_t, 140>& w, int round) {
    for (size_t i = 0; i < 4; ++i)
        x[i] ^= w[8 + 4 * static_cast<size_t>(round) + i];
}
} // namespace

CCipher::Block CCipher::encipherBlock(const Block& in) const {
    Words x = toWords(in);
    for (int r = 0; r < ROUNDS - 1; ++r) {
        addKey(x, m_w, r);
        for (uint32_t& v : x)
            v = sub(r % 8, v);
        lt(x);
    }
    addKey(x, m_w, ROUNDS - 1);
    for (uint32_t& v : x)
        v = sub(7, v);
    addKey(x, m_w, ROUNDS);
    return toBytes(x);
}

CCipher::Block CCipher::decipherBlock(const Block& in) const {
    Words x = toWords(in);
    addKey(x, m_w, ROUNDS);
    for (uint32_t& v : x)
        v = invSub(7, v);
    addKey(x, m_w, ROUNDS - 1);
    for (int r = ROUNDS - 2; r >= 0; --r) {
        invLt(x);
        for (uint32_t& v : x)
            v = invSub(r % 8, v);
        addKey(x, m_w, r);
    }
    return toBytes(x);
}

std::string CCipher::decipher(const uint8_t* in, size_t size) const {
    if (in == nullptr || size != 16)
        return {};
    Block b;
    std::memcpy(b.data(), in, b.size());
    const Block plain = decipherBlock(b);
    size_t n = 0;
    while (n < plain.size() && plain[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(plain.data()), n);
}

CCipher::Block CCipher::encipher(const std::string& text) const {
    Block b{};
    std::memcpy(b.data(), text.data(), std::min(text.size(), b.size()));
    return encipherBlock(b);
}

} // namespace zefirel
