#pragma once
/// CSimController: the virtual firmware-5 LPG controller. It holds what a real one
/// holds (a 512-byte EEPROM with the settings record, the time correction table,
/// the level sensor calibration and the injection map; the version record, the
/// feature record, the error report, the work mode) and drives an engine model.
/// handle() takes one request frame and returns the answer bytes, so the
/// controller can be tested without any line; CSimServer puts it on a pty.
/// Every public operation is thread-safe.

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "DriveScenario.h"
#include "EngineModel.h"
#include "SimConfig.h"

namespace zefirel::sim {

/// Where the controller keeps its data in its EEPROM.
namespace eeprom {
inline constexpr size_t SIZE = 512;
inline constexpr size_t SETUP = 0;           ///< 26-byte settings record, as on the wire
inline constexpr size_t TABLE = 32;          ///< 25 time corrections, percent + 100
inline constexpr size_t LEVEL = 64;          ///< 4 level sensor thresholds
inline constexpr size_t MAP = 104;           ///< 400 map bytes, percent + 100
inline constexpr size_t MAP_CHECKSUM = 504;  ///< sum of the map bytes, high byte first
} // namespace eeprom
using EepromImage = std::array<uint8_t, eeprom::SIZE>;

enum class EWorkMode { Petrol, Lpg, Auto };

/// Work-state byte of a diagnostic answer.
inline constexpr uint8_t WORK_STATE_PETROL = 2;
inline constexpr uint8_t WORK_STATE_LPG = 3;
inline constexpr uint8_t WORK_STATE_AUTO_PETROL = 4; ///< standard layout only
inline constexpr uint8_t WORK_STATE_AUTO_LPG = 5;    ///< standard layout only

/// One request as the controller received it (payload in host order).
struct SimRequest {
    uint8_t type = 0;
    std::vector<uint8_t> payload;
};

/// What the controller sends for one request.
struct SimReply {
    std::vector<uint8_t> frame;   ///< the answer (empty: no answer)
    uint8_t command = 0;          ///< command code of a type-4 request, else 0
    std::vector<uint8_t> notice;  ///< a frame sent unasked noticeDelayMs later
    int noticeDelayMs = 0;
};

class CSimController {
public:
    explicit CSimController(const SimConfig& cfg);

    /// Answers one well-formed request. payloadWire is as received (wire order);
    /// now is a monotonic time in seconds that drives the engine model.
    SimReply handle(uint8_t type, const std::vector<uint8_t>& payloadWire, double now);
    /// The answer to a request that arrived with a wrong checksum.
    std::vector<uint8_t> checksumErrorReply() const;

    /// The default EEPROM: factory settings, a zero correction table, AEB1050
    /// level thresholds and an empty map with its checksum.
    static EepromImage defaultEeprom(const SimConfig& cfg);

    // --- state, for the server, its options and tests ----------------------
    EepromImage eeprom() const;
    void setEeprom(const EepromImage& image);
    /// Every request handled so far, in order (the first MAX_KEPT_REQUESTS): what
    /// reached the controller, for tests that check the frames a program sent.
    std::vector<SimRequest> received() const;
    static constexpr size_t MAX_KEPT_REQUESTS = 200000;
    std::array<uint8_t, 11> errors() const;
    void setErrors(const std::array<uint8_t, 11>& report);
    EWorkMode mode() const;
    /// The work-state byte the next diagnostic answer carries.
    uint8_t workState() const;
    bool onLpg() const;
    /// The identity as the version record currently carries it, deciphered: the
    /// controller's bytes (CP1250).
    std::string identity() const;
    /// The settings record in host order (as the PC decodes it).
    std::array<uint8_t, 26> setupRecord() const;
    /// Makes the controller read a fixed petrol time on injector 1..8 (ms); a
    /// negative time gives the engine's reading back.
    void setInjectorPetrolMs(int injector, double ms);
    /// Changes the car's LPG need at idle from now on (ms above the petrol time).
    void setTrueCorrectionMs(double ms);
    /// Main correction the controller applies, ms.
    double mainCorrectionMs() const;
    /// The petrol computer's trim caused by the LPG mixture, ms (0 when right).
    double petrolTrimMs() const;
    /// Model time, seconds since power-on.
    double modelTime() const;
    /// Current level sensor reading 0..255.
    uint16_t levelReading() const;
    const SimConfig& config() const { return m_cfg; }
    bool extendedLayout() const;
    /// The test drive (its points and hidden map; used only with cfg.drive).
    const CDriveScenario& drive() const { return m_drive; }

private:
    std::vector<uint8_t> ack(uint8_t code, uint16_t argument, uint16_t status) const;
    std::vector<uint8_t> frame(uint8_t type, const uint8_t* payloadHost, size_t length) const;
    SimReply command(const std::vector<uint8_t>& payloadHost);
    std::vector<uint8_t> diagAnswer(int injector);
    std::vector<uint8_t> sequenceAnswer();
    uint16_t statusBits() const;
    void advanceModel(double now, size_t requestBytes);
    double lpgExtraMs(int injector, double petrolMs, double rpm) const;
    double meanLpgExtraMs(double petrolMs, double rpm) const;
    double ticksToMs(double ticks) const;
    uint16_t msToTicks(double ms) const;
    uint16_t levelReadingLocked() const;
    uint8_t workStateLocked() const;
    uint8_t setupByte(size_t i) const { return m_eeprom[eeprom::SETUP + i]; }

    mutable std::mutex m_mutex;
    std::vector<SimRequest> m_received; ///< guarded by m_mutex
    SimConfig m_cfg;
    CEngineModel m_engine;
    CDriveScenario m_drive;
    EepromImage m_eeprom{};
    std::array<uint8_t, 11> m_errors{};
    // Version record: programming date, version word, injectors, enciphered identity.
    uint16_t m_date;
    uint16_t m_versionWord;
    uint8_t m_injectors;
    std::array<uint8_t, 16> m_identityBlock{};

    EWorkMode m_mode = EWorkMode::Petrol;
    bool m_autoOnLpg = false;
    bool m_switchSpeedSeen = false;
    double m_autoHeldS = 0;
    double m_lastNow = -1;
    uint64_t m_diagCount = 0;
};

} // namespace zefirel::sim
