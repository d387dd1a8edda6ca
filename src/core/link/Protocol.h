#pragma once
/// The controller's frame protocol as pure functions on byte buffers:
/// frame type and command codes, the checksum, frame building and checking,
/// and the byte-order swaps between host order and wire order.
///
/// Frame: AA 55 N T <N payload bytes> <checksum high> <checksum low>,
/// checksum = (N + T + sum of payload bytes) mod 65536.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zefirel {

// Frame types.
inline constexpr uint8_t MSG_TYPE_DIAG = 1;
inline constexpr uint8_t MSG_TYPE_SEQUENCE = 2;
inline constexpr uint8_t MSG_TYPE_SETUP = 3;
inline constexpr uint8_t MSG_TYPE_COMMAND = 4;
inline constexpr uint8_t MSG_TYPE_EEPROM = 5;
inline constexpr uint8_t MSG_TYPE_ERRORS = 6;
inline constexpr uint8_t MSG_TYPE_TABLE = 7;
inline constexpr uint8_t MSG_TYPE_VERSION = 8;
inline constexpr uint8_t MSG_TYPE_LEVEL_SENSOR = 9;
inline constexpr uint8_t MSG_TYPE_FEATURES = 10;

// Command codes (byte 0 of a MSG_TYPE_COMMAND payload).
inline constexpr uint8_t CMD_WORK_LPG = 1;
inline constexpr uint8_t CMD_WORK_GAS = 2;
inline constexpr uint8_t CMD_WORK_AUTO = 3;
inline constexpr uint8_t CMD_DONE = 4;
inline constexpr uint8_t CMD_ERROR = 5;
inline constexpr uint8_t CMD_DIAG = 6;
inline constexpr uint8_t CMD_SEQUENCE = 7;
inline constexpr uint8_t CMD_SETUP = 8;
inline constexpr uint8_t CMD_TEST = 9;
inline constexpr uint8_t CMD_CLEAR_ERRORS = 10;
inline constexpr uint8_t CMD_EEPROM = 11;
inline constexpr uint8_t CMD_SETUP_TABLE = 12;
inline constexpr uint8_t CMD_VERSION = 13;
inline constexpr uint8_t CMD_LEVEL_SENSOR = 14;
inline constexpr uint8_t CMD_LEVEL_VALUE = 15;
inline constexpr uint8_t CMD_FEATURES = 16;

// Status word bits of an acknowledgement (offset 4 of a command payload).
inline constexpr uint16_t ERROR_UNKNOWN_CMD = 0x0001;
inline constexpr uint16_t ERROR_UNKNOWN_FRAME = 0x0002;
inline constexpr uint16_t ERROR_NO_HEADER = 0x0004;
inline constexpr uint16_t ERROR_CRC = 0x0008;
inline constexpr uint16_t ERROR_CODES_HELD = 0x0010;

inline constexpr uint8_t FRAME_SYNC1 = 0xAA;
inline constexpr uint8_t FRAME_SYNC2 = 0x55;
inline constexpr size_t FRAME_HEADER_SIZE = 4;
inline constexpr size_t FRAME_CHECKSUM_SIZE = 2;
inline constexpr size_t MAX_PAYLOAD = 255;
/// Every transaction uses one caller-owned payload buffer of this size.
inline constexpr size_t PAYLOAD_BUFFER_SIZE = 410;
using PayloadBuffer = std::array<uint8_t, PAYLOAD_BUFFER_SIZE>;

/// Sum of count bytes, modulo 65536.
uint16_t frameChecksum(const uint8_t* bytes, size_t count);
/// Checksum of a frame: N + T + sum of the N payload bytes, modulo 65536.
uint16_t frameSum(uint8_t length, uint8_t type, const uint8_t* payload);

/// Swaps in place the multi-byte fields of a payload of the given type, host → wire.
/// extendedDiag selects the type-1 table (feature bit 0x0080).
void toWireOrder(uint8_t* payload, size_t length, uint8_t type, bool extendedDiag);
/// Swaps in place, wire → host (the same fields; swapping is its own inverse).
void fromWireOrder(uint8_t* payload, size_t length, uint8_t type, bool extendedDiag);

/// Builds a whole frame (header, payload converted to wire order, checksum) from a
/// payload in host order. The checksum covers the wire-order bytes.
std::vector<uint8_t> buildFrame(uint8_t type, const uint8_t* payload, uint8_t length, bool extendedDiag);

/// A frame parsed from bytes: type, payload in wire order (as received).
struct ParsedFrame {
    uint8_t type = 0;
    std::vector<uint8_t> payload;
};
/// Result of looking for a frame at the start of a byte sequence.
enum class EFrameCheck { Ok, NeedMore, BadSync, BadChecksum };
/// Checks the frame at the start of bytes; on Ok fills out and consumed.
EFrameCheck checkFrame(const uint8_t* bytes, size_t size, ParsedFrame& out, size_t& consumed);

/// Reads/writes a 16-bit or 32-bit host-order (little-endian) field of a payload.
inline uint16_t getU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline void setU16(uint8_t* p, uint16_t v) { p[0] = static_cast<uint8_t>(v); p[1] = static_cast<uint8_t>(v >> 8); }
inline uint32_t getU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void setU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace zefirel
