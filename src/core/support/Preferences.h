#pragma once
/// Persisted per-user values ("Last RS nr" under Zefirel/v5, "Last car file" under
/// Zefirel/v5.2). CIniPreferences stores them as QSettings-compatible ini files in
/// $XDG_CONFIG_HOME/Zefirel/<app>.conf, so the windowed program and the
/// command-line client share them.

#include <cstdint>
#include <map>
#include <string>

namespace zefirel {

inline constexpr const char* PREF_APP_V5 = "v5";
inline constexpr const char* PREF_APP_V52 = "v5.2";
inline constexpr const char* PREF_LAST_RS = "Last RS nr";
inline constexpr const char* PREF_LAST_CAR_FILE = "Last car file";

class IPreferences {
public:
    virtual ~IPreferences() = default;
    /// The value, or an empty text when missing.
    virtual std::string value(const std::string& app, const std::string& key) = 0;
    /// Stores a value; failures are ignored (the value simply stays absent).
    virtual void setValue(const std::string& app, const std::string& key, const std::string& value) = 0;

    /// "Last RS nr" as a number; 0 when missing, empty or not a number.
    uint32_t lastSerialPort();
    void setLastSerialPort(uint32_t port);
};

class CIniPreferences : public IPreferences {
public:
    /// dir: the folder of the ini files; empty = $XDG_CONFIG_HOME/Zefirel (or ~/.config/Zefirel).
    explicit CIniPreferences(std::string dir = {});
    std::string value(const std::string& app, const std::string& key) override;
    void setValue(const std::string& app, const std::string& key, const std::string& value) override;
    const std::string& folder() const { return m_dir; }

private:
    std::string m_dir;
};

/// Preferences kept in memory only (tests, or when no folder is writable).
class CMemoryPreferences : public IPreferences {
public:
    std::string value(const std::string& app, const std::string& key) override;
    void setValue(const std::string& app, const std::string& key, const std::string& value) override;

private:
    std::map<std::string, std::string> m_data; // "app/key" → value
};

} // namespace zefirel
