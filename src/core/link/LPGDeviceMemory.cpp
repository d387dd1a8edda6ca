// EEPROM blocks and ranges, and the injection map kept in EEPROM.
#include <algorithm>
#include <cstring>

#include "link/CommunicationState.h"
#include "link/LPGDevice.h"

namespace zefirel {

namespace {

constexpr size_t MAP_CHECKSUM_AT = block::MAP_SIZE;

int percent(uint32_t offset, uint32_t count) { return static_cast<int>(uint64_t{offset} * 100 / count); }

} // namespace

bool CLPGDevice::readEepromBlock(uint16_t address, uint8_t* out10) {
    return readRecord(CMD_EEPROM, MSG_TYPE_EEPROM, out10, EEPROM_BLOCK_SIZE, address);
}

bool CLPGDevice::writeEepromBlock(const uint8_t* block10) {
    return sendRecord(MSG_TYPE_EEPROM, block10, EEPROM_BLOCK_SIZE);
}

bool CLPGDevice::readEeprom(uint16_t address, uint32_t count, uint8_t* out) {
    CCommunicationState progress(host());
    for (uint32_t offset = 0; offset < count; offset += EEPROM_BLOCK_DATA) {
        uint8_t blk[EEPROM_BLOCK_SIZE];
        if (!readEepromBlock(static_cast<uint16_t>(address + offset), blk))
            return false;
        std::memcpy(out + offset, blk + 2, std::min(EEPROM_BLOCK_DATA, count - offset));
        progress.report(percent(offset, count));
    }
    progress.report(0);
    return true;
}

bool CLPGDevice::writeEeprom(const uint8_t* data, uint16_t address, uint32_t count) {
    WriteJournalEntry entry = journalStart(EWriteKind::Eeprom);
    const COwnerGuard owner(*this, true);
    const bool held = owner.held() && !procedureRunning();
    // Whatever the range held, the settings, curve or map read so far may no
    // longer be the controller's: the next write reads them again.
    if (held)
        forgetControllerRecord();
    const bool ok = held && writeEepromHeld(data, address, count);
    journalWrite(std::move(entry), held, ok, data, count, address);
    return ok;
}

bool CLPGDevice::writeEepromHeld(const uint8_t* data, uint16_t address, uint32_t count) {
    // Blocks are whole 8-byte units: a partial last block would have to invent the
    // bytes after the range and overwrite them in the controller.
    if (count % EEPROM_BLOCK_DATA != 0)
        return false;
    CCommunicationState progress(host());
    for (uint32_t offset = 0; offset < count; offset += EEPROM_BLOCK_DATA) {
        uint8_t blk[EEPROM_BLOCK_SIZE];
        setU16(blk, static_cast<uint16_t>(address + offset));
        std::memcpy(blk + 2, data + offset, EEPROM_BLOCK_DATA);
        if (!writeEepromBlock(blk))
            return false;
        progress.report(percent(offset, count));
    }
    progress.report(0);
    return true;
}

bool CLPGDevice::readMap(bool wait) {
    const COwnerGuard owner(*this, wait);
    if (!owner.held())
        return false;
    MapImage bytes{};
    return readMapHeld(bytes);
}

bool CLPGDevice::readMapHeld(MapImage& bytes) {
    uint8_t range[MAP_EEPROM_RANGE];
    if (!readEeprom(MAP_EEPROM_ADDRESS, MAP_EEPROM_RANGE, range))
        return false;
    std::memcpy(bytes.data(), range, block::MAP_SIZE);
    const uint16_t stored = static_cast<uint16_t>((range[MAP_CHECKSUM_AT] << 8) | range[MAP_CHECKSUM_AT + 1]);
    const bool whole = stored == frameChecksum(range, block::MAP_SIZE);
    std::lock_guard<std::mutex> guard(m_settingsLock);
    std::memcpy(m_settings.map(), range, block::MAP_SIZE);
    // Only a map whose checksum holds is taken as the controller's.
    if (whole) {
        std::memcpy(m_lastController.map(), range, block::MAP_SIZE);
        m_mapKnown = true;
    }
    return whole;
}

bool CLPGDevice::sendMap(const MapImage& bytes) {
    uint8_t range[MAP_EEPROM_RANGE] = {}; // bytes after the checksum are written as zeros
    std::memcpy(range, bytes.data(), block::MAP_SIZE);
    const uint16_t sum = frameChecksum(range, block::MAP_SIZE);
    range[MAP_CHECKSUM_AT] = static_cast<uint8_t>(sum >> 8);
    range[MAP_CHECKSUM_AT + 1] = static_cast<uint8_t>(sum);
    return writeEepromHeld(range, MAP_EEPROM_ADDRESS, MAP_EEPROM_RANGE);
}

} // namespace zefirel
