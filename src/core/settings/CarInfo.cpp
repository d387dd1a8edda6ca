#include "settings/CarInfo.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <set>
#include <system_error>

#include "settings/CarFiles.h"
#include "settings/SettingsCopy.h"
#include "support/Preferences.h"

namespace zefirel {

namespace fs = std::filesystem;

namespace {

constexpr size_t DATE_LENGTH = 10; // "%d-%m-%Y" at the start of the label

/// The names of the sub-folders of the settings folder; none when it cannot be listed.
std::vector<std::string> carFolders(const std::string& settingsFolder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(settingsFolder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (it->is_directory(typeEc))
            names.push_back(it->path().filename().string());
    }
    return names;
}

/// The distinct, sorted values of one part over the folders that pass the filter.
template <class Filter, class Part>
std::vector<std::string> distinctParts(const std::string& settingsFolder, Filter keep, Part part) {
    std::set<std::string> values;
    for (const std::string& name : carFolders(settingsFolder)) {
        const CarFolderParts p = splitCarFolderName(name);
        if (keep(p))
            values.insert(part(p));
    }
    return {values.begin(), values.end()};
}

} // namespace

CarFolderParts splitCarFolderName(const std::string& folderName) {
    CarFolderParts p;
    const size_t first = folderName.find('-');
    if (first == std::string::npos) {
        p.make = folderName;
        return p;
    }
    p.make = folderName.substr(0, first);
    const size_t second = folderName.find('-', first + 1);
    if (second == std::string::npos) {
        p.model = folderName.substr(first + 1);
        return p;
    }
    p.model = folderName.substr(first + 1, second - first - 1);
    p.capacity = folderName.substr(folderName.rfind('-') + 1);
    return p;
}

std::vector<std::string> CCarInfo::listMakes(const std::string& settingsFolder) {
    return distinctParts(settingsFolder, [](const CarFolderParts&) { return true; },
                         [](const CarFolderParts& p) { return p.make; });
}

std::vector<std::string> CCarInfo::listModels(const std::string& settingsFolder, const std::string& make) {
    return distinctParts(settingsFolder, [&](const CarFolderParts& p) { return p.make == make; },
                         [](const CarFolderParts& p) { return p.model; });
}

std::vector<std::string> CCarInfo::listCapacities(const std::string& settingsFolder, const std::string& make,
                                                  const std::string& model) {
    return distinctParts(settingsFolder, [&](const CarFolderParts& p) { return p.make == make && p.model == model; },
                         [](const CarFolderParts& p) { return p.capacity; });
}

std::vector<std::string> CCarInfo::listSettingsFiles(const std::string& settingsFolder, const std::string& make,
                                                     const std::string& model, const std::string& capacity) {
    std::vector<std::string> files;
    for (const std::string& name : carFolders(settingsFolder)) {
        const CarFolderParts p = splitCarFolderName(name);
        if (p.make != make || p.model != model || p.capacity != capacity)
            continue;
        std::error_code ec;
        for (fs::directory_iterator it(fs::path(settingsFolder) / name, ec), end; !ec && it != end; it.increment(ec)) {
            // Only regular files (also through a link): opening a FIFO or a device
            // named *.settings would wait for a writer that never comes.
            std::error_code typeEc;
            if (it->path().extension() == CAR_SETTINGS_EXTENSION && it->is_regular_file(typeEc))
                files.push_back(it->path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<CarSettingsFile> CCarInfo::readSettingsFiles(const std::string& settingsFolder, const std::string& make,
                                                         const std::string& model, const std::string& capacity) {
    std::vector<CarSettingsFile> out;
    for (const std::string& path : listSettingsFiles(settingsFolder, make, model, capacity)) {
        CarSettingsFile file{path, {}};
        // A file of another version is listed; it is refused only when loaded.
        if (loadCarSettingsFile(path, file.record) != ESettingsFileResult::Unreadable)
            out.push_back(std::move(file));
    }
    return out;
}

std::string CCarInfo::lookUpPath(const std::string& settingsFolder, const CSettingsBlock& record) {
    return carSettingsFilePath(settingsFolder, record.carText(ECarText::make), record.carText(ECarText::model),
                               record.carText(ECarText::capacity), record.identity(),
                               record.timeStamp().substr(0, DATE_LENGTH));
}

std::string CCarInfo::chosenPath(const CarSettingsFile& file) { return file.path; }

CarTexts CCarInfo::restoreLastCar(IPreferences& prefs, const CSettingsBlock& docRecord) {
    const std::string path = prefs.value(PREF_APP_V52, PREF_LAST_CAR_FILE);
    if (path.empty())
        return {};
    // The car folder is the folder name between the last two separators.
    const std::string folder = fs::path(path).parent_path().filename().string();
    if (folder.empty() || splitCarFolderName(folder).make.empty())
        return {};
    CSettingsBlock file;
    if (loadCarSettingsFile(path, file) == ESettingsFileResult::Unreadable)
        return {};
    if (file.identity() != docRecord.identity())
        return {};
    return carTexts(file);
}

void CCarInfo::rememberLastCar(IPreferences& prefs, const std::string& path) {
    prefs.setValue(PREF_APP_V52, PREF_LAST_CAR_FILE, path);
}

CarTexts CCarInfo::carTexts(const CSettingsBlock& record) {
    CarTexts texts;
    for (size_t t = 0; t < texts.size(); ++t)
        texts[t] = record.carText(static_cast<ECarText>(t));
    return texts;
}

ECarText missingCarText(const CarTexts& texts) {
    for (ECarText t : {ECarText::make, ECarText::model, ECarText::capacity, ECarText::power, ECarText::injectors}) {
        if (blankCarText(texts[static_cast<size_t>(t)]))
            return t;
    }
    return ECarText::Count;
}

const char* carTextLabel(ECarText t) {
    static constexpr const char* LABELS[] = {"Marka pojazdu", "Model", "Pojemność silnika", "Moc [KM]",
                                             "Rok produkcji", "Zamontowane wtryskiwacze", "Skalibrowane na wydatek"};
    static_assert(std::size(LABELS) == static_cast<size_t>(ECarText::Count));
    const auto i = static_cast<size_t>(t);
    return i < std::size(LABELS) ? LABELS[i] : "";
}

std::string carDataMissingMessage(ECarText missing) {
    return std::string(MSG_CAR_DATA_REQUIRED) + "\nBrak danych: " + carTextLabel(missing);
}

void CCarInfo::setCarTexts(CSettingsBlock& record, const CarTexts& texts) {
    for (size_t t = 0; t < texts.size(); ++t)
        record.setCarText(static_cast<ECarText>(t), texts[t]);
}

} // namespace zefirel
