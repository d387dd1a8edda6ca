#pragma once
/// The 1240-byte settings block: the controller's settings in engineering units,
/// its identity, version, feature record, the car data, time stamp, remarks, the
/// injection time correction table and the injection map. It is also the content
/// of a car settings file and of each record of a recording's "-config" companion.
/// Little-endian, doubles in IEEE 754 binary64; texts are CP1250 bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zefirel {

/// Byte offsets inside the block.
namespace block {
inline constexpr size_t SIZE = 1240;
inline constexpr size_t VERSION = 0;          // u16
inline constexpr size_t IDENTITY = 2;         // 16 bytes
inline constexpr size_t IDENTITY_SIZE = 16;
inline constexpr size_t INJECTORS = 18;       // u8
inline constexpr size_t CAR_DATA = 19;        // 149 bytes
inline constexpr size_t REDUCER_PRESSURE = 160; // double, inside the car data
inline constexpr size_t FEATURES = 168;       // 5 × u32
inline constexpr size_t TIME_STAMP = 188;     // 40 bytes text
inline constexpr size_t TIME_STAMP_SIZE = 40;
inline constexpr size_t REMARKS = 228;        // 256 bytes text
inline constexpr size_t REMARKS_SIZE = 256;
inline constexpr size_t RECORDING_CONTEXT = 484; // i32 (u32 sampleNo in a companion)
inline constexpr size_t TIME_CORRECTIONS = 640;  // 25 doubles
inline constexpr size_t TIME_CORRECTION_COUNT = 25;
inline constexpr size_t MAP = 840;            // 400 bytes
inline constexpr size_t MAP_SIZE = 400;
} // namespace block

/// The settings values, in the order of the validity check.
enum class ESetting {
    switchSpeed,
    switchTemperature,
    ignitionsPerCycle,
    minSupplyVoltage,
    maxInternalTemperature,
    mainCorrection,
    mainCorrection2,
    pressureSlope,
    referencePressure,
    emulatorStepDelay,
    petrolSwitchPressure,
    voltageLimitDelay,
    voltageLimit,
    lpgSwitchDelay,
    pressureAveraging,
    waterValveOnTemperature,
    waterValveOffTemperature,
    referenceVoltage,
    voltageCorrection,
    // Not range-checked:
    correction2Injectors,
    optionFlags,
    lpgInjectorType,
    petrolInjectionType,
    auxOption,
    Count
};

enum class ESettingKind { Double, U8, I32 };

/// Static description of one settings value.
struct SettingInfo {
    ESetting id;
    const char* name;     ///< the value's name, e.g. "switchSpeed"
    size_t offset;        ///< byte offset in the block
    ESettingKind kind;
    double defaultValue;
};
/// All settings values, indexed by ESetting.
const std::array<SettingInfo, static_cast<size_t>(ESetting::Count)>& settingInfos();
const SettingInfo& settingInfo(ESetting id);
/// Finds a value by name; returns false when there is none.
bool findSetting(const std::string& name, ESetting& out);

/// The seven car texts with their widths (terminating zero included).
enum class ECarText { make, model, capacity, power, year, injectors, flow, Count };
struct CarTextInfo {
    size_t offset;
    size_t width;
};
CarTextInfo carTextInfo(ECarText t);

class CSettingsBlock {
public:
    CSettingsBlock() { initDefaults(); }

    /// Zero-fills bytes 0..483 and 640..1239 and sets every value to its default;
    /// the recording-context word and the padding keep what they held.
    void initDefaults();

    std::array<uint8_t, block::SIZE>& bytes() { return m_bytes; }
    const std::array<uint8_t, block::SIZE>& bytes() const { return m_bytes; }

    // Generic access to the settings values in engineering units.
    double value(ESetting id) const;
    void setValue(ESetting id, double v);

    uint16_t versionMark() const;
    void setVersionMark(uint16_t v);
    /// Identity as UTF-8 text: the CP1250 bytes up to the first zero byte (at most
    /// 16 characters), as every text of the controller.
    std::string identity() const;
    /// Stores a UTF-8 identity as CP1250 bytes (cut to 16).
    void setIdentity(const std::string& utf8);
    uint8_t injectorCount() const { return m_bytes[block::INJECTORS]; }
    void setInjectorCount(uint8_t n) { m_bytes[block::INJECTORS] = n; }

    uint32_t feature(int index) const;          ///< word 0..4 of the feature record
    void setFeatures(const uint8_t* record20);  ///< copies a 20-byte host-order record
    uint32_t featureMask() const { return feature(0); }
    uint32_t timerFrequency() const { return feature(4); }

    /// Car texts in UTF-8 (stored as CP1250, cut to width − 1 bytes).
    std::string carText(ECarText t) const;
    void setCarText(ECarText t, const std::string& utf8);
    double reducerPressure() const;
    void setReducerPressure(double kpa);

    /// Time stamp "%d-%m-%Y-%H:%M:%S" (text up to the first zero).
    std::string timeStamp() const;
    void setTimeStamp(const std::string& text);
    /// Remarks ("Uwagi") in UTF-8.
    std::string remarks() const;
    void setRemarks(const std::string& utf8);
    int32_t recordingContext() const;
    void setRecordingContext(int32_t v);

    double timeCorrection(size_t i) const;
    void setTimeCorrection(size_t i, double percent);
    uint8_t* map() { return m_bytes.data() + block::MAP; }
    const uint8_t* map() const { return m_bytes.data() + block::MAP; }

    // Convenience accessors for the values used most.
    double mainCorrection() const { return value(ESetting::mainCorrection); }
    void setMainCorrection(double ms) { setValue(ESetting::mainCorrection, ms); }
    uint8_t optionFlags() const { return static_cast<uint8_t>(value(ESetting::optionFlags)); }

    bool operator==(const CSettingsBlock& o) const { return m_bytes == o.m_bytes; }

private:
    std::array<uint8_t, block::SIZE> m_bytes{};
};

inline constexpr size_t SETUP_RECORD_SIZE = 26;

/// Writes the settings values of the block from a received 26-byte MSG_TYPE_SETUP
/// payload (host order). A period of 0 keeps the previous switchSpeed.
void decodeSettings(CSettingsBlock& blk, const uint8_t* payload);
/// Builds the 26-byte payload (host order) from the block's values.
void encodeSettings(const CSettingsBlock& blk, uint8_t* payload);
/// One message per invalid value, in check order; empty when all are valid.
std::string checkSettings(const CSettingsBlock& blk);
/// The same text with the allowed range on a line under each message, for people
/// who must correct the value.
std::string checkSettingsWithRanges(const CSettingsBlock& blk);

} // namespace zefirel
