#include "link/Protocol.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace zefirel {

namespace {

/// Where the multi-byte fields of one payload type sit.
struct SwapTable {
    const uint8_t* offsets = nullptr;
    size_t count = 0;
    size_t width = 2; ///< 2 or 4 bytes per field
};

constexpr uint8_t kDiagWords[] = {10, 12, 14, 16, 18, 20, 22, 24, 26, 28};
constexpr uint8_t kSequenceWords[] = {0, 2, 4, 6, 8, 10, 12, 14};
constexpr uint8_t kSetupWords[] = {6};
constexpr uint8_t kCommandWords[] = {2, 4};
constexpr uint8_t kEepromWords[] = {0};
constexpr uint8_t kVersionWords[] = {0, 2};
constexpr uint8_t kFeatureWords[] = {0, 4, 8, 12, 16};

SwapTable swapTable(uint8_t type, bool extendedDiag) {
    switch (type) {
    case MSG_TYPE_DIAG:
        // The extended layout stops the 16-bit words at offset 24; bytes 26..29
        // carry single-byte fields there.
        return {kDiagWords, extendedDiag ? size_t{8} : size_t{10}, 2};
    case MSG_TYPE_SEQUENCE:
        return {kSequenceWords, std::size(kSequenceWords), 2};
    case MSG_TYPE_SETUP:
        return {kSetupWords, std::size(kSetupWords), 2};
    case MSG_TYPE_COMMAND:
        return {kCommandWords, std::size(kCommandWords), 2};
    case MSG_TYPE_EEPROM:
        return {kEepromWords, std::size(kEepromWords), 2};
    case MSG_TYPE_VERSION:
        return {kVersionWords, std::size(kVersionWords), 2};
    case MSG_TYPE_FEATURES:
        return {kFeatureWords, std::size(kFeatureWords), 4};
    default: // errors, table, level sensor and unknown types carry no multi-byte field
        return {};
    }
}

/// Reverses every listed field that lies wholly inside the payload. A short
/// payload leaves the fields past its end untouched instead of overrunning.
void swapFields(uint8_t* payload, size_t length, uint8_t type, bool extendedDiag) {
    if (!payload)
        return;
    const SwapTable t = swapTable(type, extendedDiag);
    for (size_t i = 0; i < t.count; ++i) {
        const size_t at = t.offsets[i];
        if (at + t.width > length)
            continue;
        std::reverse(payload + at, payload + at + t.width);
    }
}

} // namespace

uint16_t frameChecksum(const uint8_t* bytes, size_t count) {
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<uint16_t>(sum);
}

uint16_t frameSum(uint8_t length, uint8_t type, const uint8_t* payload) {
    const uint32_t sum = uint32_t{length} + type + (length ? frameChecksum(payload, length) : 0u);
    return static_cast<uint16_t>(sum);
}

void toWireOrder(uint8_t* payload, size_t length, uint8_t type, bool extendedDiag) {
    swapFields(payload, length, type, extendedDiag);
}

void fromWireOrder(uint8_t* payload, size_t length, uint8_t type, bool extendedDiag) {
    swapFields(payload, length, type, extendedDiag);
}

std::vector<uint8_t> buildFrame(uint8_t type, const uint8_t* payload, uint8_t length, bool extendedDiag) {
    std::vector<uint8_t> frame;
    frame.reserve(FRAME_HEADER_SIZE + length + FRAME_CHECKSUM_SIZE);
    frame.push_back(FRAME_SYNC1);
    frame.push_back(FRAME_SYNC2);
    frame.push_back(length);
    frame.push_back(type);
    if (length)
        frame.insert(frame.end(), payload, payload + length);
    toWireOrder(frame.data() + FRAME_HEADER_SIZE, length, type, extendedDiag);
    const uint16_t sum = frameSum(length, type, frame.data() + FRAME_HEADER_SIZE);
    frame.push_back(static_cast<uint8_t>(sum >> 8));
    frame.push_back(static_cast<uint8_t>(sum));
    return frame;
}

EFrameCheck checkFrame(const uint8_t* bytes, size_t size, ParsedFrame& out, size_t& consumed) {
    consumed = 0;
    if (size >= 1 && bytes[0] != FRAME_SYNC1)
        return EFrameCheck::BadSync;
    if (size >= 2 && bytes[1] != FRAME_SYNC2)
        return EFrameCheck::BadSync;
    if (size < FRAME_HEADER_SIZE)
        return EFrameCheck::NeedMore;
    const uint8_t length = bytes[2];
    const uint8_t type = bytes[3];
    const size_t total = FRAME_HEADER_SIZE + length + FRAME_CHECKSUM_SIZE;
    if (size < total)
        return EFrameCheck::NeedMore;
    const uint8_t* payload = bytes + FRAME_HEADER_SIZE;
    const uint16_t got = static_cast<uint16_t>((bytes[total - 2] << 8) | bytes[total - 1]);
    consumed = total;
    if (got != frameSum(length, type, payload))
        return EFrameCheck::BadChecksum;
    out.type = type;
    out.payload.assign(payload, payload + length);
    return EFrameCheck::Ok;
}

} // namespace zefirel
