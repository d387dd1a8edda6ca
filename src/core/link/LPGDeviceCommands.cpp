// The controller's command set: request loops, version and features, work modes,
// the settings record, the time correction table, the level sensor, the error
// report, reset, diagnostic requests and the injector sequence.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "diag/Diag.h"
#include "events/DiagEvents.h"
#include "link/Cipher.h"
#include "link/Conversions.h"
#include "link/LPGDevice.h"
#include "settings/VersionRecord.h"

namespace zefirel {

namespace {

constexpr int ATTEMPTS = 10;
constexpr int WORK_MODE_PAUSE_MS = 500;
constexpr int NOTICE_PAUSE_MS = 500;
constexpr int RESET_POLL_MS = 50;
constexpr uint8_t WORK_STATE_PETROL_READY = 2;
constexpr uint8_t LONG_REQUEST_SIZE = 26;
constexpr size_t SEQUENCE_INJECTORS = 8;
constexpr uint16_t NO_SIGNAL = 0xFFFF;
constexpr const char* MSG_RESETTING = "Resetowanie sterownika LPG...";

/// The shortest answer that holds the whole record of a frame type. A shorter
/// answer would leave the rest of the record to be read from the checksum bytes
/// and the zero fill, so it counts as a failed attempt.
size_t minimumLength(uint8_t type) {
    switch (type) {
    case MSG_TYPE_COMMAND: return 4; // code, 0, argument
    case MSG_TYPE_SEQUENCE: return 2 * SEQUENCE_INJECTORS;
    case MSG_TYPE_SETUP: return SETUP_RECORD_SIZE;
    case MSG_TYPE_EEPROM: return EEPROM_BLOCK_SIZE;
    case MSG_TYPE_ERRORS: return ERROR_REPORT_SIZE;
    case MSG_TYPE_TABLE: return block::TIME_CORRECTION_COUNT;
    case MSG_TYPE_VERSION: return VERSION_RECORD_SIZE;
    case MSG_TYPE_LEVEL_SENSOR: return LEVEL_CALIBRATION_SIZE;
    case MSG_TYPE_FEATURES: return FEATURE_RECORD_SIZE;
    default: return 0;
    }
}

const CCipher& identityCipher() {
    static const CCipher cipher;
    return cipher;
}

/// Table byte of a correction in per cent: entry + 100 truncated toward zero,
/// held to the byte's range (a value outside -100..155 or not a number must not
/// wrap around into an unrelated correction).
uint8_t tableByte(double percent) {
    const double v = std::trunc(percent + 100.0);
    if (!(v >= 0))
        return 0;
    return v > 255 ? 255 : static_cast<uint8_t>(v);
}

} // namespace

// --- request loops ----------------------------------------------------------

bool CLPGDevice::requestAttempts(const uint8_t* request, uint8_t reqLength, uint8_t reqType, int attempts,
                                 uint8_t expectType, PayloadBuffer& buf, uint8_t& length, EOtherType other) {
    for (int i = 0; i < attempts; ++i) {
        buf.fill(0);
        std::memcpy(buf.data(), request, reqLength);
        length = reqLength;
        uint8_t type = reqType;
        if (!transact(buf, length, type, expectType))
            continue;
        if (type != expectType) {
            if (other == EOtherType::Stop)
                return false;
            continue;
        }
        if (length < minimumLength(type))
            continue;
        if (type == MSG_TYPE_COMMAND && buf[0] != CMD_DONE)
            continue;
        return true;
    }
    return false;
}

bool CLPGDevice::commandAttempts(uint8_t cmd, int attempts, uint8_t expectType, PayloadBuffer& buf,
                                 uint8_t& length, uint16_t argument, uint8_t requestLength, EOtherType other) {
    uint8_t request[MAX_PAYLOAD] = {};
    request[0] = cmd;
    setU16(&request[2], argument);
    return requestAttempts(request, requestLength, MSG_TYPE_COMMAND, attempts, expectType, buf, length, other);
}

bool CLPGDevice::acknowledged(PayloadBuffer& buf, uint8_t length, uint8_t type, int attempts) {
    uint8_t request[MAX_PAYLOAD];
    std::memcpy(request, buf.data(), length);
    uint8_t answerLength = 0;
    return requestAttempts(request, length, type, attempts, MSG_TYPE_COMMAND, buf, answerLength);
}

bool CLPGDevice::readRecord(uint8_t cmd, uint8_t type, uint8_t* out, size_t size, uint16_t argument) {
    PayloadBuffer buf;
    uint8_t length = 0;
    if (!commandAttempts(cmd, ATTEMPTS, type, buf, length, argument))
        return false;
    std::memcpy(out, buf.data(), size);
    return true;
}

bool CLPGDevice::sendRecord(uint8_t type, const uint8_t* data, size_t size) {
    PayloadBuffer buf{};
    std::memcpy(buf.data(), data, size);
    return acknowledged(buf, static_cast<uint8_t>(size), type, ATTEMPTS);
}

// --- version and features ---------------------------------------------------

void CLPGDevice::storeVersionRecord(const uint8_t* record) {
    // Under the block's lock: a reconnect stores it on a worker.
    std::lock_guard<std::mutex> guard(m_settingsLock);
    m_settings.setVersionMark(getU16(record + 2));
    m_settings.setInjectorCount(record[4]);
    m_settings.setIdentity(identityText(identityCipher().decipher(record + 5, block::IDENTITY_SIZE)));
}

bool CLPGDevice::readVersion(uint8_t* out21) {
    PayloadBuffer buf;
    uint8_t length = 0;
    if (!commandAttempts(CMD_VERSION, ATTEMPTS, MSG_TYPE_VERSION, buf, length))
        return false;
    const uint16_t version = getU16(&buf[2]);
    if (version > 40000)
        setU16(&buf[2], static_cast<uint16_t>(version - 40000));
    std::memcpy(out21, buf.data(), VERSION_RECORD_SIZE);
    storeVersionRecord(buf.data());
    return true;
}

bool CLPGDevice::readFeatures(uint8_t* out20) {
    if (!readRecord(CMD_FEATURES, MSG_TYPE_FEATURES, out20, FEATURE_RECORD_SIZE))
        return false;
    if (m_publishesConstants)
        setTimerFrequency(getU32(out20 + 16));
    return true;
}

void CLPGDevice::storeFeatures(const uint8_t* record20) {
    {
        std::lock_guard<std::mutex> guard(m_settingsLock);
        m_settings.setFeatures(record20);
        m_featureMask.store(m_settings.featureMask(), std::memory_order_relaxed);
    }
    if (m_publishesConstants)
        CDiag::setExtendedLayout(extendedDiag());
}

bool CLPGDevice::readVersionRecord(uint8_t* out21) {
    PayloadBuffer buf;
    uint8_t length = 0;
    if (!commandAttempts(CMD_VERSION, ATTEMPTS, MSG_TYPE_VERSION, buf, length, 0, LONG_REQUEST_SIZE))
        return false;
    std::memcpy(out21, buf.data(), VERSION_RECORD_SIZE);
    return true;
}

bool CLPGDevice::writeVersion(uint16_t programmingDate, uint16_t version, uint8_t injectors,
                              const std::string& identity) {
    // One write at a time, and none while a setup procedure holds the car.
    WriteJournalEntry entry = journalStart(EWriteKind::Version);
    const COwnerGuard owner(*this, true);
    uint8_t record[VERSION_RECORD_SIZE] = {};
    setU16(&record[0], programmingDate);
    setU16(&record[2], version);
    record[4] = injectors;
    const CCipher::Block id = identityCipher().encipher(identityBytes(identity));
    std::copy(id.begin(), id.end(), record + 5);
    const bool held = owner.held() && !procedureRunning();
    const bool ok = held && sendRecord(MSG_TYPE_VERSION, record, VERSION_RECORD_SIZE);
    journalWrite(std::move(entry), held, ok, record, VERSION_RECORD_SIZE);
    return ok;
}

// --- work mode --------------------------------------------------------------

bool CLPGDevice::setWorkMode(uint8_t cmd) {
    uint8_t request[6] = {cmd};
    PayloadBuffer buf;
    uint8_t length = 0;
    for (int i = 0; i < ATTEMPTS; ++i) {
        pauseMs(WORK_MODE_PAUSE_MS);
        if (requestAttempts(request, sizeof request, MSG_TYPE_COMMAND, 1, MSG_TYPE_COMMAND, buf, length))
            return true;
    }
    return false;
}

bool CLPGDevice::setWorkLpg() { return noteWorkCommand(setWorkMode(CMD_WORK_LPG), EWorkCommand::Lpg); }

bool CLPGDevice::setWorkPetrol() { return noteWorkCommand(setWorkMode(CMD_WORK_GAS), EWorkCommand::Petrol); }

bool CLPGDevice::setWorkAuto() {
    return setWorkPetrol() && noteWorkCommand(setWorkMode(CMD_WORK_AUTO), EWorkCommand::Auto);
}

bool CLPGDevice::noteWorkCommand(bool ok, EWorkCommand mode) {
    if (ok) {
        m_workCommand.store(mode);
        if (const auto journal = runJournal())
            journal->noteCommand(mode == EWorkCommand::Lpg    ? EModeCommand::Lpg
                                 : mode == EWorkCommand::Auto ? EModeCommand::Auto
                                                              : EModeCommand::Petrol);
    }
    return ok;
}

void CLPGDevice::setRunJournal(std::shared_ptr<CRunJournal> journal) {
    std::lock_guard<std::mutex> g(m_pathLock);
    m_runJournal = std::move(journal);
}

std::shared_ptr<CRunJournal> CLPGDevice::runJournal() const {
    std::lock_guard<std::mutex> g(m_pathLock);
    return m_runJournal;
}

// --- settings record and time correction table ------------------------------

bool CLPGDevice::readSettings(bool wait) {
    const COwnerGuard owner(*this, wait);
    return owner.held() && readSettingsHeld();
}

bool CLPGDevice::readSettingsHeld() {
    PayloadBuffer buf;
    uint8_t length = 0;
    if (!commandAttempts(CMD_SETUP, ATTEMPTS, MSG_TYPE_SETUP, buf, length, 0, LONG_REQUEST_SIZE))
        return false;
    std::lock_guard<std::mutex> guard(m_settingsLock);
    decodeSettings(m_settings, buf.data());
    // The controller's record takes the values; its curve and map stay as known.
    const CSettingsBlock curveAndMap = m_lastController;
    m_lastController = m_settings;
    std::copy(curveAndMap.bytes().begin() + block::TIME_CORRECTIONS, curveAndMap.bytes().end(),
              m_lastController.bytes().begin() + block::TIME_CORRECTIONS);
    m_lastControllerKnown = true;
    return true;
}

bool CLPGDevice::readTimeCorrections(bool wait) {
    const COwnerGuard owner(*this, wait);
    return owner.held() && readTimeCorrectionsHeld();
}

bool CLPGDevice::readTimeCorrectionsHeld() {
    PayloadBuffer buf;
    uint8_t length = 0;
    if (!commandAttempts(CMD_SETUP_TABLE, ATTEMPTS, MSG_TYPE_TABLE, buf, length, 0, 6, EOtherType::Stop))
        return false;
    std::lock_guard<std::mutex> guard(m_settingsLock);
    for (size_t i = 0; i < block::TIME_CORRECTION_COUNT; ++i) {
        const double v = static_cast<double>(buf[i]) - 100.0;
        m_settings.setTimeCorrection(i, v);
        m_lastController.setTimeCorrection(i, v);
    }
    m_curveKnown = true;
    return true;
}

bool CLPGDevice::sendTimeCorrections(const CSettingsBlock& blk) {
    uint8_t table[TIME_CORRECTION_RECORD_SIZE] = {};
    for (size_t i = 0; i < block::TIME_CORRECTION_COUNT; ++i)
        table[i] = tableByte(blk.timeCorrection(i));
    return sendRecord(MSG_TYPE_TABLE, table, TIME_CORRECTION_RECORD_SIZE);
}

// --- level sensor -----------------------------------------------------------

bool CLPGDevice::readLevelCalibration(uint8_t* out4) {
    return readRecord(CMD_LEVEL_SENSOR, MSG_TYPE_LEVEL_SENSOR, out4, LEVEL_CALIBRATION_SIZE);
}

bool CLPGDevice::writeLevelCalibration(const uint8_t* in4) {
    WriteJournalEntry entry = journalStart(EWriteKind::Level);
    const COwnerGuard owner(*this, true);
    const bool held = owner.held() && !procedureRunning();
    const bool ok = held && sendRecord(MSG_TYPE_LEVEL_SENSOR, in4, LEVEL_CALIBRATION_SIZE);
    journalWrite(std::move(entry), held, ok, in4, LEVEL_CALIBRATION_SIZE);
    return ok;
}

bool CLPGDevice::readLevelValue(uint32_t& value) {
    PayloadBuffer buf;
    uint8_t length = 0;
    if (!commandAttempts(CMD_LEVEL_VALUE, ATTEMPTS, MSG_TYPE_COMMAND, buf, length))
        return false;
    value = getU16(&buf[2]);
    return true;
}

// --- errors and reset -------------------------------------------------------

bool CLPGDevice::readErrors(uint8_t* out11) {
    if (!readRecord(CMD_ERROR, MSG_TYPE_ERRORS, out11, ERROR_REPORT_SIZE))
        return false;
    if (const auto journal = runJournal())
        journal->noteErrors(out11);
    return true;
}

bool CLPGDevice::clearErrors() {
    if (!resetController())
        return false;
    PayloadBuffer buf;
    uint8_t length = 0;
    forgetUnasked(); // only a frame that comes after this request can be its notice
    if (!commandAttempts(CMD_CLEAR_ERRORS, ATTEMPTS, MSG_TYPE_COMMAND, buf, length))
        return false;
    if (featureMask() & FEATURE_INIT_NOTICE) {
        // The controller announces its restart with one frame sent unasked.
        pauseMs(NOTICE_PAUSE_MS);
        uint8_t type = 0;
        buf.fill(0);
        if (!readUnasked(buf, length, type))
            return false;
        if (type == MSG_TYPE_COMMAND && buf[0] != CMD_TEST)
            return false;
    }
    host().showError(false);
    return true;
}

bool CLPGDevice::resetController() {
    struct WaitWindow {
        ILPGHost& host;
        explicit WaitWindow(ILPGHost& h) : host(h) { host.showCancellableWait(MSG_RESETTING); }
        ~WaitWindow() { host.closeWait(); }
    } wait(host());

    if (!setWorkPetrol())
        return false;
    // Wait for the controller to report petrol work. A controller that never gets
    // there, or a user who cancels the wait window, ends the wait with false.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_resetTimeoutMs);
    CDiag sample;
    for (;;) {
        if (requestDiag(1, sample) && sample.workState() == WORK_STATE_PETROL_READY)
            return true;
        if (!host().pumpEvents() || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(RESET_POLL_MS));
    }
}

// --- diagnostics and sequence -----------------------------------------------

bool CLPGDevice::requestDiag(int injector, CDiag& out) {
    PayloadBuffer buf{};
    buf[0] = CMD_DIAG;
    setU16(&buf[2], static_cast<uint16_t>(injector - 1));
    uint8_t length = DIAG_REQUEST_SIZE;
    uint8_t type = MSG_TYPE_COMMAND;
    out.setInjector(static_cast<uint8_t>(injector));
    if (!transactUnchecked(buf, length, type, MSG_TYPE_DIAG) || type != MSG_TYPE_DIAG)
        return false;
    // Only the bytes received belong to this sample; the rest must not keep
    // values of an earlier answer.
    std::memset(out.raw(), 0, DIAG_PAYLOAD_SIZE);
    std::memcpy(out.raw(), buf.data(), std::min<size_t>(length, DIAG_PAYLOAD_SIZE));
    return true;
}

bool CLPGDevice::readSequence(std::vector<SequenceItem>& items, bool& spread) {
    items.clear();
    spread = false;
    PayloadBuffer buf;
    uint8_t length = 0;
    if (!commandAttempts(CMD_SEQUENCE, ATTEMPTS, MSG_TYPE_SEQUENCE, buf, length, 0, 6, EOtherType::Stop))
        return false;

    uint16_t ticks[SEQUENCE_INJECTORS];
    for (size_t i = 0; i < SEQUENCE_INJECTORS; ++i) {
        ticks[i] = getU16(&buf[2 * i]);
        if (ticks[i] == 0)
            ticks[i] = NO_SIGNAL;
    }
    const uint16_t earliest = *std::min_element(ticks, ticks + SEQUENCE_INJECTORS);
    for (size_t i = 0; i < SEQUENCE_INJECTORS; ++i) {
        SequenceItem item;
        item.injector = static_cast<uint8_t>(i + 1);
        item.present = ticks[i] != NO_SIGNAL;
        const uint16_t t = item.present ? static_cast<uint16_t>(ticks[i] - earliest) : NO_SIGNAL;
        item.time = t * tickLength();
        items.push_back(item);
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const SequenceItem& a, const SequenceItem& b) { return a.time < b.time; });
    for (size_t i = 0; i < items.size(); ++i)
        items[i].position = static_cast<uint8_t>(i + 1);
    // Injectors open at different times when a present one opens more than 1 ms
    // after the first. Absent injectors do not open at all: counting their
    // placeholder time would call every engine with unused channels sequential.
    for (size_t i = 1; i < items.size(); ++i)
        if (items[i].present && static_cast<long>(items[i].time - items[0].time) > 1)
            spread = true;
    return true;
}

} // namespace zefirel
