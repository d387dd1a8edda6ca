#pragma once
/// CCipher: the identity cipher. A 128-bit block cipher built from the parts of
/// Serpent (S-boxes, linear transformation, 33 round keys) but combined differently:
/// the S-box substitutes each 4-bit group inside a word, the key schedule has no
/// rotation, and the key-schedule S-box index runs 3, 2, 1, 0, 7, 6, … from w8.
/// Key: the first 32 characters of "3A7E21D4-9B0C-4fd2-8E61-C5A93F0B7D28".

#include <array>
#include <cstdint>
#include <string>

namespace zefirel {

class CCipher {
public:
    using Block = std::array<uint8_t, 16>;
    using Words = std::array<uint32_t, 4>;

    CCipher();
    /// Deciphers 16 bytes into text (up to the first zero byte); empty on failure.
    std::string decipher(const uint8_t* in, size_t size = 16) const;
    /// Copies text into a zero-filled 16-byte block (cut to 16) and enciphers it.
    Block encipher(const std::string& text) const;

    Block encipherBlock(const Block& in) const;
    Block decipherBlock(const Block& in) const;

    // Pieces, exposed so each can be tested against its definition.
    /// Serpent S-box k (0..7) applied to one 4-bit value, and its inverse.
    static uint8_t sbox(int k, uint8_t nibble);
    static uint8_t invSbox(int k, uint8_t nibble);
    /// Sub_k / InvSub_k of one word: each 4-bit group replaced in place.
    static uint32_t sub(int k, uint32_t word);
    static uint32_t invSub(int k, uint32_t word);
    /// Serpent's linear transformation and its inverse, on four words.
    static void lt(Words& x);
    static void invLt(Words& x);
    /// The 140 prekey words w0..w139 after substitution (w0..w7 = the key).
    const std::array<uint32_t, 140>& schedule() const { return m_w; }

private:
    std::array<uint32_t, 140> m_w{};
};

} // namespace zefirel
