#pragma once
/// Helpers for tests of the command set: CTestDevice (a CLPGDevice whose pauses
/// are recorded instead of slept and whose settings folder can be redirected) and
/// CScratchFolder (a temporary folder removed with everything in it).

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "link/LPGDevice.h"

namespace zefirel::test {

class CTestDevice : public CLPGDevice {
public:
    explicit CTestDevice(ILPGHost* host = nullptr, IPreferences* prefs = nullptr) : CLPGDevice(host, prefs) {}
    ~CTestDevice() override = default;

    std::string folder;      ///< settings folder override ("" = the real one)
    std::vector<int> pauses; ///< every pause asked for, in ms

    std::string settingsFolder() const override { return folder.empty() ? CLPGDevice::settingsFolder() : folder; }

protected:
    void pauseMs(int ms) override { pauses.push_back(ms); }
};

/// Writes a record through the device's one write path, as a window does, with no
/// question before it.
inline SettingsWriteResult commitRecord(CLPGDevice& dev, const CSettingsBlock& record,
                                        EWriteSource source = EWriteSource::Test) {
    SettingsWriteRequest request;
    request.wanted = record;
    request.source = source;
    return dev.commitSettings(request);
}

/// The device's record with one change made to a copy.
template <class F>
CSettingsBlock changed(const CLPGDevice& dev, F&& change) {
    CSettingsBlock blk = dev.settings();
    change(blk);
    return blk;
}

class CScratchFolder {
public:
    CScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zefirel-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~CScratchFolder() {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    /// The folder, without a trailing "/".
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace zefirel::test
