#pragma once
/// CCarInfo: the folder and file operations of car settings files. The settings
/// folder holds one sub-folder per car, "<make>-<model>-<capacity>" (made safe by
/// carFolderName), with one "<identity>-<dd-mm-yyyy>.settings" file per controller
/// and day. The lists of makes, models and capacities are read back from the
/// sub-folders' names, split at the hyphens: make = before the first "-", model =
/// between the first and the second, capacity = after the last; a missing hyphen
/// gives an empty part. A model with a hyphen of its own therefore lists as its
/// first part, and its files are still found: every folder whose name splits into
/// the chosen make, model and capacity is searched.

#include <array>
#include <string>
#include <vector>

#include "link/SettingsBlock.h"

namespace zefirel {

class IPreferences;

/// The seven car texts, indexed by ECarText (UTF-8).
using CarTexts = std::array<std::string, static_cast<size_t>(ECarText::Count)>;

/// The refusal of car data that lack a required text.
inline constexpr const char* MSG_CAR_DATA_REQUIRED = "Musisz podać dane dotyczące samochodu i zamontowanej instalacji";

/// The one rule for car data, in the car data dialog and for --car alike: make,
/// model, capacity, power and injectors must each hold more than blanks; year and
/// calibrated flow may be empty. Any text is a valid injectors entry (a nozzle
/// size such as "2.0", a count such as "4"). Returns the first required text that
/// is missing, in the dialog's order, or ECarText::Count when none is.
ECarText missingCarText(const CarTexts& texts);
/// The label the car data dialog gives a text ("Pojemność silnika").
const char* carTextLabel(ECarText t);
/// The refusal naming the missing text: MSG_CAR_DATA_REQUIRED, then on a line of its
/// own "Brak danych: " and the text's label.
std::string carDataMissingMessage(ECarText missing);

/// The make, model and capacity a car folder name splits into.
struct CarFolderParts {
    std::string make, model, capacity;
};
CarFolderParts splitCarFolderName(const std::string& folderName);

/// One readable car settings file of a car.
struct CarSettingsFile {
    std::string path;      ///< where it was read from
    CSettingsBlock record; ///< its 1240 bytes
};

class CCarInfo {
public:
    virtual ~CCarInfo() = default;

    /// The distinct makes of all sub-folders of the settings folder, sorted.
    static std::vector<std::string> listMakes(const std::string& settingsFolder);
    /// The distinct models of the folders whose make is `make`, sorted.
    static std::vector<std::string> listModels(const std::string& settingsFolder, const std::string& make);
    /// The distinct capacities of the folders of that make and model, sorted.
    static std::vector<std::string> listCapacities(const std::string& settingsFolder, const std::string& make,
                                                   const std::string& model);
    /// The "*.settings" files of every folder that splits into make, model and
    /// capacity (full paths, sorted).
    static std::vector<std::string> listSettingsFiles(const std::string& settingsFolder, const std::string& make,
                                                      const std::string& model, const std::string& capacity);
    /// The files of listSettingsFiles that can be read (1240 bytes or more), with
    /// their records; the others are skipped.
    static std::vector<CarSettingsFile> readSettingsFiles(const std::string& settingsFolder, const std::string& make,
                                                          const std::string& model, const std::string& capacity);

    /// The path under which the settings write stored a record: the car folder and
    /// file name built from the record's own car texts, identity and the date of its
    /// label, by the same function that names the file when it is written.
    static std::string lookUpPath(const std::string& settingsFolder, const CSettingsBlock& record);
    /// The path to open for a listed file: the one it was read from, so the file
    /// opened is the row chosen, also when a copy under another name carries the
    /// same car texts, identity and date as the file its look-up path names.
    static std::string chosenPath(const CarSettingsFile& file);

    /// The car texts of the "Last car file" (application "v5.2"): seven empty texts
    /// when the value is missing, the file cannot be read or belongs to a controller
    /// whose identity differs from docRecord's. The texts come from the file itself
    /// (the folder name alone cannot restore a model with a hyphen).
    static CarTexts restoreLastCar(IPreferences& prefs, const CSettingsBlock& docRecord);
    /// Stores a path as "Last car file".
    static void rememberLastCar(IPreferences& prefs, const std::string& path);

    /// The seven car texts of a record.
    static CarTexts carTexts(const CSettingsBlock& record);
    /// Writes seven car texts into a record (each cut to its width).
    static void setCarTexts(CSettingsBlock& record, const CarTexts& texts);
};

} // namespace zefirel
