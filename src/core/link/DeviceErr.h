#pragma once
/// Decoding of the controller's 11-byte error report into module and error texts
/// (the module table CLPGDeviceErr), and the plausibility check of one sample that
/// runs before the automatic setup.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zefirel {

class CDiag;

/// Base of the module classes: an ordered list of texts, bit 0 first.
class CDeviceErrorBase {
public:
    virtual ~CDeviceErrorBase() = default;
    /// The module's name; the base returns "Nieznany kod błędu".
    virtual const char* name() const;
    const std::vector<std::string>& texts() const { return m_texts; }

protected:
    std::vector<std::string> m_texts;
};

/// The module table: index = byte position in the report (0..11).
class CLPGDeviceErr {
public:
    CLPGDeviceErr();
    virtual ~CLPGDeviceErr();

    size_t moduleCount() const { return m_modules.size(); }
    const CDeviceErrorBase& module(size_t i) const { return *m_modules[i]; }

    /// "\r\n\t<text> " per set bit, or "\r\n\tNieznany kod błędu = 0x<hex> "; empty for 0.
    std::string describeCode(size_t module, uint8_t bits) const;
    /// " Moduł: <name>, kod błędu: <codes>", empty when no bit is set,
    /// "Nieznany kod modułu" for an index past the table.
    std::string describeModule(size_t index, uint8_t bits) const;
    /// Every non-empty module description followed by "\r\n"; empty = no errors.
    std::string describeReport(const uint8_t* report11) const;
    /// Checks the petrol time (0.2..50 ms), LPG temperature (−10..90 °C) and heater
    /// temperature (−10..120 °C) of a sample, appending a message per failure.
    static bool checkSample(const CDiag& sample, std::string& text);

private:
    std::vector<std::unique_ptr<CDeviceErrorBase>> m_modules;
};

} // namespace zefirel
