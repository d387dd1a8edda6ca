// Frame building, checksums, byte-order swaps and frame checking.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "link/Protocol.h"

using namespace zefirel;

namespace {

std::vector<uint8_t> counting(size_t n) {
    std::vector<uint8_t> v(n);
    std::iota(v.begin(), v.end(), uint8_t{0});
    return v;
}

/// Offsets of the bytes that a swap moved, for a payload of distinct bytes.
std::vector<size_t> movedOffsets(uint8_t type, bool extended, size_t length) {
    std::vector<uint8_t> p = counting(length);
    toWireOrder(p.data(), p.size(), type, extended);
    std::vector<size_t> moved;
    for (size_t i = 0; i < length; ++i)
        if (p[i] != i)
            moved.push_back(i);
    return moved;
}

std::vector<size_t> wordOffsets(std::initializer_list<size_t> starts, size_t width) {
    std::vector<size_t> out;
    for (size_t s : starts)
        for (size_t i = 0; i < width; ++i)
            out.push_back(s + i);
    return out;
}

} // namespace

TEST(FrameBytes, LinkTestRequestMatchesTheDocumentedWireBytes) {
    const uint8_t payload[6] = {9, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> expected = {0xAA, 0x55, 0x06, 0x04, 0x09, 0, 0, 0, 0, 0, 0x00, 0x13};
    EXPECT_EQ(buildFrame(MSG_TYPE_COMMAND, payload, 6, false), expected);
    EXPECT_EQ(frameSum(6, MSG_TYPE_COMMAND, payload), 0x0013);
}

TEST(FrameBytes, ZeroLengthPayloadIsSixBytesWithTheTypeAsChecksum) {
    const std::vector<uint8_t> f = buildFrame(MSG_TYPE_ERRORS, nullptr, 0, false);
    const std::vector<uint8_t> expected = {0xAA, 0x55, 0x00, 0x06, 0x00, 0x06};
    EXPECT_EQ(f, expected);

    ParsedFrame parsed;
    size_t consumed = 0;
    ASSERT_EQ(checkFrame(f.data(), f.size(), parsed, consumed), EFrameCheck::Ok);
    EXPECT_EQ(consumed, 6u);
    EXPECT_EQ(parsed.type, MSG_TYPE_ERRORS);
    EXPECT_TRUE(parsed.payload.empty());
}

TEST(FrameBytes, ChecksumWrapsAtSixteenBitsAndGoesHighByteFirst) {
    std::vector<uint8_t> p(255, 0xFF);
    // 255 + 7 + 255*255 = 65287 = 0xFF07
    const std::vector<uint8_t> f = buildFrame(MSG_TYPE_TABLE, p.data(), 255, false);
    ASSERT_EQ(f.size(), 4u + 255u + 2u);
    EXPECT_EQ(f[f.size() - 2], 0xFF);
    EXPECT_EQ(f[f.size() - 1], 0x07);
    std::vector<uint8_t> many(300, 0xFF); // 76500 mod 65536 = 10964
    EXPECT_EQ(frameChecksum(many.data(), many.size()), 10964);
    EXPECT_EQ(frameChecksum(nullptr, 0), 0);
}

TEST(FrameBytes, ChecksumCoversWireOrderBytes) {
    // A command with argument 0x0102 goes as 01 02 on the wire.
    uint8_t payload[6] = {CMD_EEPROM, 0, 0x02, 0x01, 0, 0};
    const std::vector<uint8_t> f = buildFrame(MSG_TYPE_COMMAND, payload, 6, false);
    EXPECT_EQ(f[6], 0x01);
    EXPECT_EQ(f[7], 0x02);
    EXPECT_EQ(payload[2], 0x02) << "the caller's payload must stay in host order";
    const uint16_t sum = static_cast<uint16_t>((f[10] << 8) | f[11]);
    EXPECT_EQ(sum, 6 + 4 + CMD_EEPROM + 1 + 2);
}

TEST(ByteOrder, EachTypeSwapsExactlyItsListedFields) {
    EXPECT_EQ(movedOffsets(MSG_TYPE_SEQUENCE, false, 40), wordOffsets({0, 2, 4, 6, 8, 10, 12, 14}, 2));
    EXPECT_EQ(movedOffsets(MSG_TYPE_SETUP, false, 40), wordOffsets({6}, 2));
    EXPECT_EQ(movedOffsets(MSG_TYPE_COMMAND, false, 40), wordOffsets({2, 4}, 2));
    EXPECT_EQ(movedOffsets(MSG_TYPE_EEPROM, false, 40), wordOffsets({0}, 2));
    EXPECT_EQ(movedOffsets(MSG_TYPE_VERSION, false, 40), wordOffsets({0, 2}, 2));
    EXPECT_EQ(movedOffsets(MSG_TYPE_FEATURES, false, 40), wordOffsets({0, 4, 8, 12, 16}, 4));
    for (uint8_t t : {MSG_TYPE_ERRORS, MSG_TYPE_TABLE, MSG_TYPE_LEVEL_SENSOR, uint8_t{0}, uint8_t{11}, uint8_t{255}})
        EXPECT_TRUE(movedOffsets(t, false, 40).empty()) << "type " << int(t);
}

TEST(ByteOrder, DiagnosticLayoutDependsOnTheExtendedFeature) {
    EXPECT_EQ(movedOffsets(MSG_TYPE_DIAG, false, 40), wordOffsets({10, 12, 14, 16, 18, 20, 22, 24, 26, 28}, 2));
    EXPECT_EQ(movedOffsets(MSG_TYPE_DIAG, true, 40), wordOffsets({10, 12, 14, 16, 18, 20, 22, 24}, 2));
}

TEST(ByteOrder, SwapsAreExactReversalsAndTheirOwnInverse) {
    std::vector<uint8_t> p = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    toWireOrder(p.data(), p.size(), MSG_TYPE_FEATURES, false);
    EXPECT_EQ(p[0], 0x44);
    EXPECT_EQ(p[1], 0x33);
    EXPECT_EQ(p[2], 0x22);
    EXPECT_EQ(p[3], 0x11);
    fromWireOrder(p.data(), p.size(), MSG_TYPE_FEATURES, false);
    EXPECT_EQ(getU32(p.data()), 0x44332211u);
    EXPECT_EQ(getU32(p.data() + 4), 0x88776655u);
}

TEST(ByteOrder, ShortPayloadIsNeverSwappedPastItsLength) {
    // A 7-byte diagnostic answer: the word at 10 lies past the end and must stay
    // untouched in the bytes beyond the payload.
    std::vector<uint8_t> buf = counting(32);
    fromWireOrder(buf.data(), 7, MSG_TYPE_DIAG, false);
    EXPECT_EQ(buf, counting(32));
    // A 5-byte command payload: the word at 2 is swapped, the word at 4 is cut off.
    buf = counting(32);
    fromWireOrder(buf.data(), 5, MSG_TYPE_COMMAND, false);
    EXPECT_EQ(buf[2], 3);
    EXPECT_EQ(buf[3], 2);
    EXPECT_EQ(buf[4], 4);
    EXPECT_EQ(buf[5], 5);
    // A 6-byte feature record holds only the first 32-bit word.
    buf = counting(32);
    fromWireOrder(buf.data(), 6, MSG_TYPE_FEATURES, false);
    EXPECT_EQ(buf[4], 4);
    EXPECT_EQ(buf[0], 3);
}

TEST(CheckFrame, AcceptsAFrameAndReturnsItsWireOrderPayload) {
    uint8_t payload[10] = {CMD_DONE, 0, 0x34, 0x12, 0x10, 0x00, 0, 0, 0, 0};
    std::vector<uint8_t> bytes = buildFrame(MSG_TYPE_COMMAND, payload, 6, false);
    bytes.push_back(0xAA); // start of the next frame stays unconsumed
    ParsedFrame parsed;
    size_t consumed = 0;
    ASSERT_EQ(checkFrame(bytes.data(), bytes.size(), parsed, consumed), EFrameCheck::Ok);
    EXPECT_EQ(consumed, 12u);
    EXPECT_EQ(parsed.type, MSG_TYPE_COMMAND);
    ASSERT_EQ(parsed.payload.size(), 6u);
    EXPECT_EQ(parsed.payload[2], 0x12);
    EXPECT_EQ(parsed.payload[3], 0x34);
}

TEST(CheckFrame, ReportsIncompleteBadSyncAndBadChecksum) {
    const uint8_t payload[3] = {1, 2, 3};
    const std::vector<uint8_t> f = buildFrame(MSG_TYPE_LEVEL_SENSOR, payload, 3, false);
    ParsedFrame parsed;
    size_t consumed = 99;
    for (size_t n = 0; n < f.size(); ++n) {
        EXPECT_EQ(checkFrame(f.data(), n, parsed, consumed), EFrameCheck::NeedMore) << n;
        EXPECT_EQ(consumed, 0u);
    }

    const uint8_t swapped[] = {0x55, 0xAA, 0, 4, 0, 4};
    EXPECT_EQ(checkFrame(swapped, sizeof swapped, parsed, consumed), EFrameCheck::BadSync);
    const uint8_t half[] = {0xAA, 0xAA, 0x55};
    EXPECT_EQ(checkFrame(half, sizeof half, parsed, consumed), EFrameCheck::BadSync);
    const uint8_t one[] = {0x13};
    EXPECT_EQ(checkFrame(one, 1, parsed, consumed), EFrameCheck::BadSync);

    std::vector<uint8_t> off = f;
    off.back() = static_cast<uint8_t>(off.back() + 1);
    EXPECT_EQ(checkFrame(off.data(), off.size(), parsed, consumed), EFrameCheck::BadChecksum);
    EXPECT_EQ(consumed, f.size());
}
