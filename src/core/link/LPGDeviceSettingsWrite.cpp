// Writing the settings record to the controller, with the car settings file that
// keeps a copy of every write.
#include <ctime>

#include "link/LPGDevice.h"
#include "settings/CarFiles.h"
#include "settings/CarInfo.h"
#include "support/FileUtil.h"
#include "support/Paths.h"
#include "support/Preferences.h"

namespace zefirel {

namespace {

constexpr size_t DATE_LENGTH = 10; // "%d-%m-%Y"

constexpr const char* MSG_NO_CAR_DATA =
    "Aby wpisać ustawienia musisz podać dane dotyczące samochodu i zamontowanej instalacji";
constexpr const char* MSG_NO_VERSION = "Nie można wczytać wersji urządzenia";
constexpr const char* MSG_CAR_FILE_FAILED = "Nie można wpisać ustawień do pliku z danymi samochodu";

} // namespace

std::string CLPGDevice::settingsFolder() const { return zefirel::settingsFolder(); }

void CLPGDevice::stampTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[26];
    if (std::strftime(text, sizeof text, "%d-%m-%Y-%H:%M:%S", &local) == 0)
        text[0] = '\0';
    m_settings.setTimeStamp(text);
}

std::string CLPGDevice::carSettingsPath(const std::string& date) const {
    return carSettingsFilePath(settingsFolder(), m_settings.carText(ECarText::make),
                               m_settings.carText(ECarText::model), m_settings.carText(ECarText::capacity),
                               m_settings.identity(), date);
}

bool CLPGDevice::saveCarSettingsFile() {
    // The file's date is the date of the block's time stamp, so the name always
    // matches the label inside (the file list finds a file by its label's date).
    if (m_settings.timeStamp().size() < DATE_LENGTH)
        stampTime();
    const std::string path = carSettingsPath(m_settings.timeStamp().substr(0, DATE_LENGTH));
    if (path.empty())
        return true; // the car is not described: no file is due
    if (!makeFolders(parentFolder(path)))
        return false;
    if (!writeFileAtomic(path, m_settings.bytes().data(), block::SIZE))
        return false;
    if (IPreferences* prefs = preferences())
        CCarInfo::rememberLastCar(*prefs, path);
    return true;
}

CSettingsBlock CLPGDevice::lastControllerSettings() const {
    std::lock_guard<std::mutex> g(m_lastControllerLock);
    return m_lastController;
}

bool CLPGDevice::controllerSettingsKnown() const {
    std::lock_guard<std::mutex> g(m_lastControllerLock);
    return m_lastControllerKnown;
}

void CLPGDevice::rememberControllerSettings() {
    std::lock_guard<std::mutex> g(m_lastControllerLock);
    m_lastController = m_settings;
    m_lastControllerKnown = true;
}

bool CLPGDevice::writeSettings() {
    if (!ensureCarData()) {
        host().showMessage(MSG_NO_CAR_DATA, APP_CAPTION, EMsgStyle::Plain);
        return false;
    }
    uint8_t version[VERSION_RECORD_SIZE];
    if (!readVersion(version)) {
        host().showMessage(MSG_NO_VERSION, APP_CAPTION, EMsgStyle::Error);
        return false;
    }
    const uint16_t word = getU16(&version[2]);
    if (word != SUPPORTED_VERSION) {
        host().showMessage(versionMismatchText(word), APP_CAPTION, EMsgStyle::Error);
        return false;
    }
    stampTime();
    if (!saveCarSettingsFile()) {
        host().showMessage(MSG_CAR_FILE_FAILED, APP_CAPTION, EMsgStyle::Error);
        return false;
    }
    uint8_t record[SETUP_RECORD_SIZE];
    encodeSettings(m_settings, record);
    if (!sendRecord(MSG_TYPE_SETUP, record, SETUP_RECORD_SIZE))
        return false;
    rememberControllerSettings();
    appendSettingsCompanion();
    host().settingsWritten();
    return true;
}

} // namespace zefirel
