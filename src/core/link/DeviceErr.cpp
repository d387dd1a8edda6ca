#include "link/DeviceErr.h"

#include <cstdio>

#include "diag/Diag.h"
#include "link/Conversions.h"

namespace zefirel {

const char* CDeviceErrorBase::name() const { return "Nieznany kod błędu"; }

namespace {

/// A module whose texts are given in full at construction.
class CListedError : public CDeviceErrorBase {
public:
    CListedError(const char* name, std::initializer_list<const char*> texts) : m_name(name) {
        for (const char* t : texts)
            m_texts.emplace_back(t);
    }
    const char* name() const override { return m_name; }

private:
    const char* m_name;
};

/// Interrupt vector modules: "Przerwanie <first>" .. "Przerwanie <last>".
class CVectorError : public CDeviceErrorBase {
public:
    CVectorError(const char* name, int first, int last) : m_name(name) {
        for (int v = first; v <= last; ++v)
            m_texts.push_back("Przerwanie " + std::to_string(v));
    }
    const char* name() const override { return m_name; }

private:
    const char* m_name;
};

// The module classes, one per byte of the error report.
class CMemError : public CListedError {
public:
    CMemError()
        : CListedError("Pamięć", {"Błąd zwolnienia pamięci", "Błąd - za mało pamięci",
                                  "Błąd utworzenia nowego elementu", "Brak elementu w puli",
                                  "Za mały element"}) {}
};

class CTmrError : public CListedError {
public:
    CTmrError() : CListedError("Timer", {"Błąd krytyczny", "Błąd krytyczny"}) {}
};

class CI2CErr : public CListedError {
public:
    CI2CErr() : CListedError("I2C", {"ERR_I2C_NO_ACK", "ERR_I2C_TIMEOUT"}) {}
};

class CEEPROMError : public CListedError {
public:
    CEEPROMError()
        : CListedError("EEPROM", {"ERROR_EEPROM_RAW_WRITE", "ERROR_EEPROM_RAW_READ",
                                  "ERROR_EEPROM_RAW_SET_READ_ADDR", "ERROR_EEPROM_FORMAT",
                                  "ERROR_EEPROM_WRITE", "ERROR_EEPROM_READ",
                                  "ERROR_EEPROM_UNKNOWN_STRUCT", "ERROR_EEPROM_CRC"}) {}
};

class CInjError : public CListedError {
public:
    CInjError()
        : CListedError("Wtryskiwacze", {"ERROR_INJECTOR1", "ERROR_INJECTOR2", "ERROR_INJECTOR3",
                                        "ERROR_INJECTOR4", "ERROR_INJECTOR5", "ERROR_INJECTOR6",
                                        "ERROR_INJECTOR7", "ERROR_INJECTOR8"}) {}
};

class CSensorErr : public CListedError {
public:
    CSensorErr()
        : CListedError("Czujniki", {"Brak sygnału zapłonu", "Błąd czujnika cisnienia",
                                    "Błąd czujnika temperatury LPG",
                                    "Błąd czujnika temperatury ogrzewacza LPG",
                                    "Błąd - za niskie napięcie zasilania sterownika",
                                    "Błąd czujnika temperatury wewnetrznej sterownika"}) {}
};

class CVect7Error : public CVectorError {
public:
    // Vector 7 reports the LPG injectors' over-current.
    CVect7Error() : CVectorError("Przerwania 0-7", 0, 6) {
        m_texts.emplace_back("Przekroczenie prądu wtryskiwacza(y) LPG");
    }
};

class CVect15Error : public CVectorError {
public:
    CVect15Error() : CVectorError("Przerwania 8-15", 8, 15) {}
};

class CVect23Error : public CVectorError {
public:
    CVect23Error() : CVectorError("Przerwania 16-23", 16, 23) {}
};

class CVect31Error : public CVectorError {
public:
    CVect31Error() : CVectorError("Przerwania 24-32", 24, 31) {}
};

class CVect32Error : public CVectorError {
public:
    CVect32Error() : CVectorError("Przerwania 32", 32, 32) {}
};

class CTransmError : public CListedError {
public:
    CTransmError()
        : CListedError("Transmisja", {"Nieznana komenda", "Nieznana ramka",
                                      "Błędny nagłówek ramki", "Błąd CRC ramki",
                                      "Błąd inny niż transmisji"}) {}
};

} // namespace

CLPGDeviceErr::CLPGDeviceErr() {
    m_modules.push_back(std::make_unique<CMemError>());
    m_modules.push_back(std::make_unique<CTmrError>());
    m_modules.push_back(std::make_unique<CI2CErr>());
    m_modules.push_back(std::make_unique<CEEPROMError>());
    m_modules.push_back(std::make_unique<CInjError>());
    m_modules.push_back(std::make_unique<CSensorErr>());
    m_modules.push_back(std::make_unique<CVect7Error>());
    m_modules.push_back(std::make_unique<CVect15Error>());
    m_modules.push_back(std::make_unique<CVect23Error>());
    m_modules.push_back(std::make_unique<CVect31Error>());
    m_modules.push_back(std::make_unique<CVect32Error>());
    m_modules.push_back(std::make_unique<CTransmError>());
}

CLPGDeviceErr::~CLPGDeviceErr() = default;

std::string CLPGDeviceErr::describeCode(size_t module, uint8_t bits) const {
    std::string out;
    if (bits == 0)
        return out;
    // An index past the table has no texts: every bit reads as an unknown code.
    static const std::vector<std::string> none;
    const std::vector<std::string>& texts = module < m_modules.size() ? m_modules[module]->texts() : none;
    for (unsigned b = 0; b < 8; ++b) {
        if (!(bits & (1u << b)))
            continue;
        if (b < texts.size()) {
            out += "\r\n\t" + texts[b] + " ";
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%x", 1u << b);
            out += "\r\n\tNieznany kod błędu = 0x";
            out += hex;
            out += " ";
        }
    }
    return out;
}

std::string CLPGDeviceErr::describeModule(size_t index, uint8_t bits) const {
    if (index >= m_modules.size())
        return "Nieznany kod modułu";
    const std::string codes = describeCode(index, bits);
    if (codes.empty())
        return codes;
    return std::string(" Moduł: ") + m_modules[index]->name() + ", kod błędu: " + codes;
}

std::string CLPGDeviceErr::describeReport(const uint8_t* report11) const {
    std::string out;
    for (size_t i = 0; i < 11; ++i) {
        const std::string m = describeModule(i, report11[i]);
        if (!m.empty())
            out += m + "\r\n";
    }
    return out;
}

bool CLPGDeviceErr::checkSample(const CDiag& sample, std::string& text) {
    // Tick products such as 8 × 0.025 may land a hair off the decimal limit;
    // the tolerance keeps the inclusive limits inclusive.
    constexpr double eps = 1e-9;
    bool ok = true;
    const double petrolMs = sample.petrolTime(0) * tickLength();
    if (petrolMs < 0.2 - eps || petrolMs > 50.0 + eps) {
        text += "Brak lub błędny sygnał wtryskiwacza benzynowego: " +
                std::to_string(static_cast<unsigned>(sample.injector())) + "\n";
        ok = false;
    }
    const double lpg = temperature(sample.lpgTempCode());
    if (lpg < -10.0 || lpg > 90.0) {
        text += "Źle podłączony czujnik temperatury LPG\n";
        ok = false;
    }
    const double heater = temperature(sample.heaterTempCode());
    if (heater < -10.0 || heater > 120.0) {
        text += "Źle podłączony czujnik temperatury ogrzewacza LPG\n";
        ok = false;
    }
    return ok;
}

} // namespace zefirel
