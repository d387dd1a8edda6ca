#include "diag/DeviceDoc.h"

#include "diag/Companion.h"
#include "support/FileUtil.h"
#include "support/Paths.h"

namespace zefirel {

// --- EEPROM image files -------------------------------------------------------

std::string CDeviceDoc::readEepromImage(const std::string& path) {
    uint8_t image[EEPROM_SIZE];
    // Nothing is written after a failed read: such a file would hold no real image.
    if (!readEeprom(0, EEPROM_SIZE, image))
        return MSG_EEPROM_READ_FAILED;
    if (!writeFileAtomic(path, image, sizeof image))
        return MSG_EEPROM_FILE_OPEN;
    return std::string();
}

std::string CDeviceDoc::writeEepromImage(const std::string& path) {
    std::vector<uint8_t> image;
    if (!readFile(path, image, EEPROM_SIZE))
        return MSG_EEPROM_FILE_OPEN;
    if (image.size() < EEPROM_SIZE)
        return MSG_EEPROM_FILE_FORMAT;
    if (!writeEeprom(image.data(), 0, EEPROM_SIZE))
        return MSG_EEPROM_WRITE_FAILED;
    return std::string();
}

namespace {
bool reportEeprom(ILPGHost& host, const std::string& failure) {
    if (!failure.empty())
        host.showMessage(failure, APP_CAPTION, EMsgStyle::Error);
    return failure.empty();
}
} // namespace

bool CDeviceDoc::readEepromToFile(const std::string& path) { return reportEeprom(host(), readEepromImage(path)); }

bool CDeviceDoc::writeEepromFromFile(const std::string& path) { return reportEeprom(host(), writeEepromImage(path)); }

// --- folders ------------------------------------------------------------------

std::string CDeviceDoc::defaultDataFolder() { return zefirel::defaultDataFolder(); }

std::string CDeviceDoc::dataFolder() const {
    {
        std::lock_guard<std::mutex> g(m_stateLock);
        if (!m_dataFolder.empty())
            return m_dataFolder;
    }
    return defaultDataFolder();
}

void CDeviceDoc::resetDataFolder() {
    const std::string folder = defaultDataFolder();
    std::lock_guard<std::mutex> g(m_stateLock);
    m_dataFolder = folder;
}

void CDeviceDoc::setDataFolderFromFile(const std::string& path) {
    std::string folder = parentFolder(path);
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    std::lock_guard<std::mutex> g(m_stateLock);
    m_dataFolder = folder;
}

// --- title and recording path -------------------------------------------------

std::string CDeviceDoc::title() const {
    std::lock_guard<std::mutex> g(m_stateLock);
    return m_title;
}

void CDeviceDoc::setTitleFromPath(const std::string& path) { setTitle(path, currentRun()); }

void CDeviceDoc::setTitle(const std::string& path, RunId run) {
    const std::string text = documentTitle(path);
    std::function<void(const std::string&, RunId)> listener;
    {
        std::lock_guard<std::mutex> g(m_stateLock);
        m_title = text;
        listener = m_titleListener;
    }
    if (listener)
        listener(text, run);
}

void CDeviceDoc::setTitleListener(std::function<void(const std::string&, RunId)> listener) {
    std::lock_guard<std::mutex> g(m_stateLock);
    m_titleListener = std::move(listener);
}

// --- settings companion -------------------------------------------------------

bool CDeviceDoc::appendSettingsCompanion() {
    const std::string path = recordingPath();
    if (path.empty())
        return false;
    CDiag newest;
    if (!m_diagData.getLast(newest))
        return false;
    CSettingsBlock record = settings();
    stampCompanionRecord(record, newest.sampleNo(), std::time(nullptr));
    if (const auto journal = runJournal())
        journal->noteSettings(EventSettings::fromBlock(record));
    return appendCompanionRecord(companionPath(path), record);
}

bool CDeviceDoc::readSettingsHistory(std::vector<CSettingsBlock>& out) const {
    const std::string path = recordingPath();
    return !path.empty() && readCompanion(companionPath(path), out);
}

} // namespace zefirel
