#include "SimController.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "link/Cipher.h"
#include "link/Conversions.h"
#include "link/LPGDevice.h"
#include "link/Protocol.h"
#include "link/SettingsBlock.h"

namespace zefirel::sim {

namespace {

constexpr size_t DIAG_STANDARD_SIZE = 30;
constexpr size_t DIAG_EXTENDED_SIZE = 27;
/// Every fourth diagnostic answer carries a second measurement in sub-record 1.
constexpr uint64_t DOUBLE_MEASUREMENT_EVERY = 4;
/// The initialisation notice follows the acknowledgement of a clear this much later.
constexpr int INIT_NOTICE_DELAY_MS = 150;

uint8_t clampByte(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

uint16_t getBE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
void setBE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

/// Firing orders of common engines, by injector count.
std::vector<int> firingOrder(int n) {
    switch (n) {
    case 3: return {1, 2, 3};
    case 4: return {1, 3, 4, 2};
    case 5: return {1, 2, 4, 5, 3};
    case 6: return {1, 5, 3, 6, 2, 4};
    case 8: return {1, 8, 4, 3, 6, 5, 7, 2};
    default: {
        std::vector<int> order;
        for (int i = 1; i <= n; ++i)
            order.push_back(i);
        return order;
    }
    }
}

} // namespace

int daysSinceEpoch2004(int year, unsigned month, unsigned day) {
    using namespace std::chrono;
    const sys_days d{std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day}};
    const sys_days epoch{std::chrono::year{2004} / April / 1};
    return static_cast<int>((d - epoch).count());
}

CSimController::CSimController(const SimConfig& cfg)
    : m_cfg(cfg), m_engine(cfg), m_drive(cfg), m_eeprom(defaultEeprom(cfg)), m_errors(cfg.errors),
      m_date(cfg.programmingDate), m_versionWord(cfg.versionWord), m_injectors(cfg.injectors),
      m_identityBlock(CCipher().encipher(cfg.identity)) {}

EepromImage CSimController::defaultEeprom(const SimConfig& cfg) {
    EepromImage e;
    e.fill(0xFF); // erased cells
    CSettingsBlock blk;
    uint8_t features[20] = {};
    setU32(features, cfg.featureMask);
    setU32(features + 16, cfg.timerFrequency);
    blk.setFeatures(features);
    uint8_t setup[SETUP_RECORD_SIZE] = {};
    encodeSettings(blk, setup);
    toWireOrder(setup, SETUP_RECORD_SIZE, MSG_TYPE_SETUP, false);
    std::copy_n(setup, SETUP_RECORD_SIZE, e.begin() + eeprom::SETUP);
    std::fill_n(e.begin() + eeprom::TABLE, block::TIME_CORRECTION_COUNT, uint8_t{100});
    const uint8_t aeb1050[LEVEL_CALIBRATION_SIZE] = {42, 130, 170, 225};
    std::copy_n(aeb1050, LEVEL_CALIBRATION_SIZE, e.begin() + eeprom::LEVEL);
    std::fill_n(e.begin() + eeprom::MAP, block::MAP_SIZE, uint8_t{100});
    setBE16(e.data() + eeprom::MAP_CHECKSUM, frameChecksum(e.data() + eeprom::MAP, block::MAP_SIZE));
    std::fill(e.begin() + eeprom::MAP_CHECKSUM + 2, e.end(), uint8_t{0});
    return e;
}

// --- frames -----------------------------------------------------------------

std::vector<uint8_t> CSimController::frame(uint8_t type, const uint8_t* payloadHost, size_t length) const {
    return buildFrame(type, payloadHost, static_cast<uint8_t>(length),
                      (m_cfg.featureMask & FEATURE_EXTENDED_DIAG) != 0);
}

std::vector<uint8_t> CSimController::ack(uint8_t code, uint16_t argument, uint16_t status) const {
    uint8_t p[6] = {code, 0, 0, 0, 0, 0};
    setU16(p + 2, argument);
    setU16(p + 4, static_cast<uint16_t>(status | statusBits()));
    return frame(MSG_TYPE_COMMAND, p, sizeof p);
}

std::vector<uint8_t> CSimController::checksumErrorReply() const {
    std::lock_guard lock(m_mutex);
    return ack(0, 0, ERROR_CRC);
}

uint16_t CSimController::statusBits() const {
    const bool held = std::any_of(m_errors.begin(), m_errors.end(), [](uint8_t b) { return b != 0; });
    return held ? ERROR_CODES_HELD : 0;
}

// --- requests -----------------------------------------------------------------

void CSimController::setTrueCorrectionMs(double ms) {
    std::lock_guard lock(m_mutex);
    m_engine.setTrueCorrection(ms);
}

std::vector<SimRequest> CSimController::received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

SimReply CSimController::handle(uint8_t type, const std::vector<uint8_t>& payloadWire, double now) {
    std::lock_guard lock(m_mutex);
    const size_t frameBytes = FRAME_HEADER_SIZE + payloadWire.size() + FRAME_CHECKSUM_SIZE;
    advanceModel(now, frameBytes);

    std::vector<uint8_t> p = payloadWire;
    fromWireOrder(p.data(), p.size(), type, extendedLayout());
    const size_t n = p.size();
    if (m_received.size() < MAX_KEPT_REQUESTS)
        m_received.push_back({type, p});
    // Copies a received record into the EEPROM when it has the expected size.
    auto store = [this, n](const std::vector<uint8_t>& from, size_t size, size_t at) {
        if (n != size)
            return false;
        std::copy_n(from.begin(), size, m_eeprom.begin() + static_cast<std::ptrdiff_t>(at));
        return true;
    };
    SimReply r;
    bool accepted = false;
    switch (type) {
    case MSG_TYPE_COMMAND:
        return command(p);
    case MSG_TYPE_SETUP:
        // Kept as it travels, so an EEPROM image carries it byte for byte.
        accepted = store(payloadWire, SETUP_RECORD_SIZE, eeprom::SETUP);
        break;
    case MSG_TYPE_TABLE:
        accepted = store(p, TIME_CORRECTION_RECORD_SIZE, eeprom::TABLE); // byte 25 is always 0 and lands in a spare cell
        break;
    case MSG_TYPE_LEVEL_SENSOR:
        accepted = store(p, LEVEL_CALIBRATION_SIZE, eeprom::LEVEL);
        break;
    case MSG_TYPE_EEPROM: {
        if (n != EEPROM_BLOCK_SIZE)
            break;
        const uint16_t address = getU16(p.data());
        if (size_t{address} + EEPROM_BLOCK_DATA > eeprom::SIZE) {
            r.frame = ack(0, address, ERROR_UNKNOWN_CMD);
            return r;
        }
        std::copy_n(p.begin() + 2, EEPROM_BLOCK_DATA, m_eeprom.begin() + address);
        accepted = true;
        break;
    }
    case MSG_TYPE_VERSION:
        if (n != VERSION_RECORD_SIZE)
            break;
        m_date = getU16(p.data());
        m_versionWord = getU16(p.data() + 2);
        m_injectors = p[4];
        std::copy_n(p.begin() + 5, m_identityBlock.size(), m_identityBlock.begin());
        accepted = true;
        break;
    case MSG_TYPE_SEQUENCE:
        // The controller measures the sequence itself; a record sent to it is
        // acknowledged and has no effect.
        accepted = true;
        break;
    default:
        break;
    }
    // Otherwise an unknown type, a type the controller only sends, or a wrong size.
    r.frame = accepted ? ack(CMD_DONE, 0, 0) : ack(0, 0, ERROR_UNKNOWN_FRAME);
    return r;
}

SimReply CSimController::command(const std::vector<uint8_t>& p) {
    SimReply r;
    if (p.empty()) {
        r.frame = ack(0, 0, ERROR_UNKNOWN_CMD);
        return r;
    }
    const uint8_t cmd = p[0];
    const uint16_t argument = p.size() >= 4 ? getU16(p.data() + 2) : 0;
    r.command = cmd;
    switch (cmd) {
    case CMD_WORK_LPG:
    case CMD_WORK_GAS:
    case CMD_WORK_AUTO:
        m_mode = cmd == CMD_WORK_LPG ? EWorkMode::Lpg : cmd == CMD_WORK_GAS ? EWorkMode::Petrol : EWorkMode::Auto;
        m_autoOnLpg = false;
        m_autoHeldS = 0;
        r.frame = ack(CMD_DONE, 0, 0);
        break;
    case CMD_TEST:
        r.frame = ack(CMD_DONE, 0, 0);
        break;
    case CMD_ERROR:
        r.frame = frame(MSG_TYPE_ERRORS, m_errors.data(), ERROR_REPORT_SIZE);
        break;
    case CMD_CLEAR_ERRORS:
        m_errors.fill(0);
        r.frame = ack(CMD_DONE, 0, 0);
        if (m_cfg.featureMask & FEATURE_INIT_NOTICE) {
            const uint8_t notice[6] = {CMD_TEST, 0, 0, 0, 0, 0};
            r.notice = frame(MSG_TYPE_COMMAND, notice, sizeof notice);
            r.noticeDelayMs = INIT_NOTICE_DELAY_MS;
        }
        break;
    case CMD_DIAG:
        r.frame = diagAnswer(argument + 1);
        break;
    case CMD_SEQUENCE:
        r.frame = sequenceAnswer();
        break;
    case CMD_SETUP: {
        uint8_t setup[SETUP_RECORD_SIZE];
        std::copy_n(m_eeprom.begin() + eeprom::SETUP, SETUP_RECORD_SIZE, setup);
        fromWireOrder(setup, SETUP_RECORD_SIZE, MSG_TYPE_SETUP, false);
        r.frame = frame(MSG_TYPE_SETUP, setup, SETUP_RECORD_SIZE);
        break;
    }
    case CMD_EEPROM: {
        if (size_t{argument} + EEPROM_BLOCK_DATA > eeprom::SIZE) {
            r.frame = ack(cmd, argument, ERROR_UNKNOWN_CMD);
            break;
        }
        uint8_t block[EEPROM_BLOCK_SIZE];
        setU16(block, argument);
        std::copy_n(m_eeprom.begin() + argument, EEPROM_BLOCK_DATA, block + 2);
        r.frame = frame(MSG_TYPE_EEPROM, block, EEPROM_BLOCK_SIZE);
        break;
    }
    case CMD_SETUP_TABLE: {
        uint8_t table[TIME_CORRECTION_RECORD_SIZE] = {};
        std::copy_n(m_eeprom.begin() + eeprom::TABLE, block::TIME_CORRECTION_COUNT, table);
        r.frame = frame(MSG_TYPE_TABLE, table, TIME_CORRECTION_RECORD_SIZE);
        break;
    }
    case CMD_VERSION: {
        uint8_t v[VERSION_RECORD_SIZE];
        setU16(v, m_date);
        setU16(v + 2, m_versionWord);
        v[4] = m_injectors;
        std::copy(m_identityBlock.begin(), m_identityBlock.end(), v + 5);
        r.frame = frame(MSG_TYPE_VERSION, v, VERSION_RECORD_SIZE);
        break;
    }
    case CMD_LEVEL_SENSOR:
        r.frame = frame(MSG_TYPE_LEVEL_SENSOR, m_eeprom.data() + eeprom::LEVEL, LEVEL_CALIBRATION_SIZE);
        break;
    case CMD_LEVEL_VALUE:
        r.frame = ack(CMD_DONE, levelReadingLocked(), 0);
        break;
    case CMD_FEATURES: {
        uint8_t f[FEATURE_RECORD_SIZE] = {};
        setU32(f, m_cfg.featureMask);
        setU32(f + 16, m_cfg.timerFrequency);
        r.frame = frame(MSG_TYPE_FEATURES, f, FEATURE_RECORD_SIZE);
        break;
    }
    default:
        r.frame = ack(cmd, argument, ERROR_UNKNOWN_CMD);
        break;
    }
    return r;
}

// --- the engine and what the controller measures ------------------------------

double CSimController::ticksToMs(double ticks) const { return ticks * 1000.0 / m_cfg.timerFrequency; }

uint16_t CSimController::msToTicks(double ms) const {
    return static_cast<uint16_t>(std::clamp(std::lround(ms * m_cfg.timerFrequency / 1000.0), 0L, 65535L));
}

double CSimController::lpgExtraMs(int injector, double petrolMs, double rpm) const {
    const bool second = (setupByte(24) >> (injector - 1)) & 1;
    double extra = ticksToMs(second ? setupByte(23) : setupByte(9));
    const uint8_t options = setupByte(10);
    if (options & 0x01) {
        // Correction curve: entry i is the percentage at i ms of petrol time.
        const double x = std::clamp(petrolMs, 0.0, 24.0);
        const size_t i = static_cast<size_t>(x);
        const double a = m_eeprom[eeprom::TABLE + i] - 100.0;
        const double b = m_eeprom[eeprom::TABLE + std::min<size_t>(i + 1, 24)] - 100.0;
        extra += petrolMs * (a + (b - a) * (x - static_cast<double>(i))) / 100.0;
    }
    if (options & 0x02) {
        const size_t row = std::min<size_t>(49, static_cast<size_t>(std::max(0.0, petrolMs) / 0.5));
        const size_t col = std::min<size_t>(7, static_cast<size_t>(std::max(0.0, rpm) / 1000.0));
        extra += petrolMs * (m_eeprom[eeprom::MAP + row * 8 + col] - 100.0) / 100.0;
    }
    return extra;
}

double CSimController::meanLpgExtraMs(double petrolMs, double rpm) const {
    const int n = std::max(1, static_cast<int>(m_cfg.injectors));
    double sum = 0;
    for (int i = 1; i <= n; ++i)
        sum += lpgExtraMs(i, petrolMs, rpm);
    return sum / n;
}

void CSimController::advanceModel(double now, size_t requestBytes) {
    const double real = m_lastNow < 0 ? 0.0 : std::max(0.0, now - m_lastNow);
    m_lastNow = now;
    // Model time never runs slower than a real line could carry the exchange, so
    // a client that polls an unpaced simulator back to back still sees an engine
    // that settles after a realistic number of samples.
    const double dt = std::max(real, 2.0 * static_cast<double>(requestBytes) * LINE_BYTE_SECONDS);

    // Automatic work goes to LPG once the reducer is warm, the engine has reached
    // the switch speed since power-on (a cold engine idles fast) and both have
    // held for the switch delay.
    const uint16_t period = getBE16(m_eeprom.data() + eeprom::SETUP + 6);
    const double switchRpm = period ? 120.0 * m_cfg.timerFrequency / period : 1e9;
    if (m_engine.rpm() >= switchRpm)
        m_switchSpeedSeen = true;
    if (m_mode == EWorkMode::Auto && !m_autoOnLpg) {
        const bool warm = m_engine.heaterC() >= temperature(setupByte(8));
        if (warm && m_switchSpeedSeen) {
            m_autoHeldS += dt;
            if (m_autoHeldS >= setupByte(19) / 2.0)
                m_autoOnLpg = true;
        } else {
            m_autoHeldS = 0;
        }
    }
    const bool lpg = m_mode == EWorkMode::Lpg || (m_mode == EWorkMode::Auto && m_autoOnLpg);
    if (m_cfg.drive) {
        // On LPG the car needs what the main correction gives plus the hidden
        // map's share of the petrol time.
        const DrivePoint p = m_drive.at(m_engine.time() + dt);
        const double need = ticksToMs(setupByte(9)) + p.petrolMs * m_drive.hiddenPercent(p.petrolMs, p.rpm) / 100.0;
        m_engine.setDrivePoint(p, need);
    }
    m_engine.advance(dt, lpg, meanLpgExtraMs(m_engine.petrolMs(), m_engine.rpm()));
}

uint8_t CSimController::workStateLocked() const {
    const bool ext = extendedLayout();
    switch (m_mode) {
    case EWorkMode::Petrol: return WORK_STATE_PETROL;
    case EWorkMode::Lpg: return WORK_STATE_LPG;
    case EWorkMode::Auto:
        if (m_autoOnLpg)
            return ext ? WORK_STATE_LPG : WORK_STATE_AUTO_LPG;
        return ext ? WORK_STATE_PETROL : WORK_STATE_AUTO_PETROL;
    }
    return WORK_STATE_PETROL;
}

std::vector<uint8_t> CSimController::diagAnswer(int injector) {
    const bool ext = extendedLayout();
    const size_t length = ext ? DIAG_EXTENDED_SIZE : DIAG_STANDARD_SIZE;
    const size_t subSize = ext ? 6 : 8;
    const int n = std::clamp<int>(m_cfg.injectors, 0, 8);
    const bool lpg = m_mode == EWorkMode::Lpg || (m_mode == EWorkMode::Auto && m_autoOnLpg);
    const uint8_t injectorMask = static_cast<uint8_t>((1u << n) - 1u);
    std::vector<uint8_t> p(length, 0);

    EngineSnapshot s = m_engine.measure();
    p[0] = workStateLocked();
    p[1] = injectorMask;
    p[2] = temperatureCode(s.heaterC);
    p[3] = temperatureCode(s.lpgC);
    p[4] = temperatureCode(s.internalC);
    p[5] = clampByte(supplyVoltageCode(s.supplyV, m_cfg.featureMask));
    p[6] = clampByte(s.lambdaV * 255.0 / 5.0);
    p[7] = clampByte(pressureCode(s.pressureKPa));
    p[8] = clampByte(pressureCode(s.pressure2KPa));
    p[9] = clampByte(pressureCode(s.manifoldKPa));
    const double rpmConstant = 120.0 * m_cfg.timerFrequency;
    setU16(p.data() + 10, static_cast<uint16_t>(std::min(65535.0, std::round(rpmConstant / s.rpm))));
    setU16(p.data() + 12, msToTicks(s.meanPetrolMs));

    const bool twoMeasurements = ++m_diagCount % DOUBLE_MEASUREMENT_EVERY == 0;
    for (int k = 0; k < (twoMeasurements ? 2 : 1); ++k) {
        if (k == 1)
            s = m_engine.measure();
        uint8_t* sub = p.data() + 14 + k * subSize;
        const bool fitted = injector >= 1 && injector <= n;
        const double fixed = fitted ? m_cfg.injectorPetrolMs[static_cast<size_t>(injector - 1)] : -1.0;
        const double petrol = !fitted ? 0.0 : fixed >= 0 ? fixed : s.petrolMs[injector - 1];
        setU16(sub, static_cast<uint16_t>(std::min(65535.0, std::round(rpmConstant / s.rpm))));
        setU16(sub + 2, msToTicks(petrol));
        const uint16_t extra = lpg && fitted ? msToTicks(lpgExtraMs(injector, petrol, s.rpm)) : 0;
        if (ext) {
            setU16(sub + 4, extra);
        } else {
            setU16(sub + 4, msToTicks(s.meanPetrolMs)); // the cycle's mean time, only recorded
            setU16(sub + 6, extra);
        }
    }
    if (ext && lpg)
        p[26] = static_cast<uint8_t>((1u << ((n + 1) / 2)) - 1u);
    return frame(MSG_TYPE_DIAG, p.data(), length);
}

std::vector<uint8_t> CSimController::sequenceAnswer() {
    const int n = std::clamp<int>(m_cfg.injectors, 0, 8);
    const EngineSnapshot s = m_engine.measure();
    // The engine-speed period spans one engine cycle (two revolutions).
    const double cycleTicks = 120.0 * m_cfg.timerFrequency / std::max(s.rpm, 100.0);
    const uint8_t type = setupByte(20);
    const std::vector<int> order = firingOrder(n);
    uint8_t p[16] = {};
    for (size_t pos = 0; pos < order.size(); ++pos) {
        double offset;
        if (type & 0x04)
            offset = 0; // non-sequential: all injectors open together
        else if (type & 0x02)
            offset = static_cast<double>(pos % 2) * cycleTicks / 2.0; // two groups
        else
            offset = static_cast<double>(pos) * cycleTicks / std::max(1, n);
        const double ticks = std::min(65535.0, 100.0 + offset + static_cast<double>(pos % 3));
        setU16(p + 2 * (order[pos] - 1), static_cast<uint16_t>(ticks));
    }
    return frame(MSG_TYPE_SEQUENCE, p, sizeof p);
}

uint16_t CSimController::levelReadingLocked() const {
    // The reading moves from the full side of the thresholds to the reserve side
    // as the tank empties, whichever direction the sensor counts.
    const double t0 = m_eeprom[eeprom::LEVEL], t3 = m_eeprom[eeprom::LEVEL + 3];
    const double full = t0 - (t3 - t0) * 0.1, empty = t3 + (t3 - t0) * 0.1;
    const double r = full + (empty - full) * (1.0 - m_engine.tankLevel());
    return static_cast<uint16_t>(std::clamp(std::lround(r), 0L, 255L));
}

// --- state access --------------------------------------------------------------

bool CSimController::extendedLayout() const { return (m_cfg.featureMask & FEATURE_EXTENDED_DIAG) != 0; }

EepromImage CSimController::eeprom() const {
    std::lock_guard lock(m_mutex);
    return m_eeprom;
}

void CSimController::setEeprom(const EepromImage& image) {
    std::lock_guard lock(m_mutex);
    m_eeprom = image;
}

std::array<uint8_t, 11> CSimController::errors() const {
    std::lock_guard lock(m_mutex);
    return m_errors;
}

void CSimController::setErrors(const std::array<uint8_t, 11>& report) {
    std::lock_guard lock(m_mutex);
    m_errors = report;
}

EWorkMode CSimController::mode() const {
    std::lock_guard lock(m_mutex);
    return m_mode;
}

uint8_t CSimController::workState() const {
    std::lock_guard lock(m_mutex);
    return workStateLocked();
}

bool CSimController::onLpg() const {
    std::lock_guard lock(m_mutex);
    return m_mode == EWorkMode::Lpg || (m_mode == EWorkMode::Auto && m_autoOnLpg);
}

std::string CSimController::identity() const {
    std::lock_guard lock(m_mutex);
    return CCipher().decipher(m_identityBlock.data(), m_identityBlock.size());
}

std::array<uint8_t, 26> CSimController::setupRecord() const {
    std::lock_guard lock(m_mutex);
    std::array<uint8_t, 26> r;
    std::copy_n(m_eeprom.begin() + eeprom::SETUP, SETUP_RECORD_SIZE, r.begin());
    fromWireOrder(r.data(), r.size(), MSG_TYPE_SETUP, false);
    return r;
}

void CSimController::setInjectorPetrolMs(int injector, double ms) {
    std::lock_guard lock(m_mutex);
    if (injector >= 1 && injector <= static_cast<int>(m_cfg.injectorPetrolMs.size()))
        m_cfg.injectorPetrolMs[static_cast<size_t>(injector - 1)] = ms;
}

double CSimController::mainCorrectionMs() const {
    std::lock_guard lock(m_mutex);
    return ticksToMs(setupByte(9));
}

double CSimController::petrolTrimMs() const {
    std::lock_guard lock(m_mutex);
    return m_engine.trimMs();
}

double CSimController::modelTime() const {
    std::lock_guard lock(m_mutex);
    return m_engine.time();
}

uint16_t CSimController::levelReading() const {
    std::lock_guard lock(m_mutex);
    return levelReadingLocked();
}

} // namespace zefirel::sim
