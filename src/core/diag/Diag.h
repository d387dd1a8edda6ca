#pragma once
/// CDiag: one diagnostic sample — the controller's raw answer (host order) plus the
/// sample number, chart colour and the injector the request was made for. Raw fields
/// are read through layout-aware accessors; the layout (standard or extended, feature
/// bit 0x0080) is chosen for all samples at once with setExtendedLayout().

#include <cstdint>
#include <cstring>

namespace zefirel {

inline constexpr size_t DIAG_PAYLOAD_SIZE = 100;

class CDiag {
public:
    CDiag() { clear(); }
    void clear() {
        std::memset(m_raw, 0, sizeof m_raw);
        m_sampleNo = 0;
        m_colour = 0;
        m_injector = 0;
    }

    /// Selects the payload layout of every sample (process-wide).
    static void setExtendedLayout(bool extended);
    static bool extendedLayout();

    uint8_t* raw() { return m_raw; }
    const uint8_t* raw() const { return m_raw; }

    uint32_t sampleNo() const { return m_sampleNo; }
    void setSampleNo(uint32_t n) { m_sampleNo = n; }
    uint32_t colour() const { return m_colour; }
    void setColour(uint32_t c) { m_colour = c; }
    uint8_t injector() const { return m_injector; }
    void setInjector(uint8_t n) { m_injector = n; }

    uint8_t workState() const { return m_raw[0]; }
    void setWorkState(uint8_t v) { m_raw[0] = v; }
    uint8_t injectorActivity() const { return m_raw[1]; }
    void setInjectorActivity(uint8_t v) { m_raw[1] = v; }
    uint8_t heaterTempCode() const { return m_raw[2]; }
    void setHeaterTempCode(uint8_t v) { m_raw[2] = v; }
    uint8_t lpgTempCode() const { return m_raw[3]; }
    void setLpgTempCode(uint8_t v) { m_raw[3] = v; }
    uint8_t internalTempCode() const { return m_raw[4]; }
    void setInternalTempCode(uint8_t v) { m_raw[4] = v; }
    uint8_t supplyVoltageCode() const { return m_raw[5]; }
    void setSupplyVoltageCode(uint8_t v) { m_raw[5] = v; }
    uint8_t lambdaCode() const { return m_raw[6]; }
    void setLambdaCode(uint8_t v) { m_raw[6] = v; }
    uint8_t pressureCode() const { return m_raw[7]; }
    void setPressureCode(uint8_t v) { m_raw[7] = v; }
    uint8_t pressure2Code() const { return m_raw[8]; }
    void setPressure2Code(uint8_t v) { m_raw[8] = v; }
    uint8_t pressure3Code() const { return m_raw[9]; }
    void setPressure3Code(uint8_t v) { m_raw[9] = v; }
    uint16_t rpmPeriod() const { return u16(10); }
    void setRpmPeriod(uint16_t v) { setU16(10, v); }
    uint16_t auxTime() const { return u16(12); }
    void setAuxTime(uint16_t v) { setU16(12, v); }

    // Sub-record k (0 or 1).
    uint16_t subRpmPeriod(int k) const { return u16(sub(k)); }
    void setSubRpmPeriod(int k, uint16_t v) { setU16(sub(k), v); }
    uint16_t petrolTime(int k) const { return u16(sub(k) + 2); }
    void setPetrolTime(int k, uint16_t v) { setU16(sub(k) + 2, v); }
    /// 0 in the extended layout; writing it is ignored there.
    uint16_t subAuxTime(int k) const { return extendedLayout() ? 0 : u16(sub(k) + 4); }
    void setSubAuxTime(int k, uint16_t v) { if (!extendedLayout()) setU16(sub(k) + 4, v); }
    uint16_t lpgExtraTime(int k) const { return u16(sub(k) + (extendedLayout() ? 4 : 6)); }
    void setLpgExtraTime(int k, uint16_t v) { setU16(sub(k) + (extendedLayout() ? 4 : 6), v); }
    /// Extended layout only (0 in the standard layout, not written there).
    uint8_t lpgActivityPairs() const { return extendedLayout() ? m_raw[26] : 0; }
    void setLpgActivityPairs(uint8_t v) { if (extendedLayout()) m_raw[26] = v; }

private:
    static size_t sub(int k) { return 14 + static_cast<size_t>(k) * (extendedLayout() ? 6 : 8); }
    uint16_t u16(size_t off) const { return static_cast<uint16_t>(m_raw[off] | (m_raw[off + 1] << 8)); }
    void setU16(size_t off, uint16_t v) {
        m_raw[off] = static_cast<uint8_t>(v);
        m_raw[off + 1] = static_cast<uint8_t>(v >> 8);
    }

    uint8_t m_raw[DIAG_PAYLOAD_SIZE];
    uint32_t m_sampleNo;
    uint32_t m_colour;
    uint8_t m_injector;
};

} // namespace zefirel
