#pragma once
/// What differs between two settings records, for people: shown before settings
/// are written to a controller ("name: old → new", one line per value), so the
/// installer sees what a write, a restored file or the factory record changes.

#include <string>
#include <vector>

#include "link/SettingsBlock.h"

namespace zefirel {

/// One value that differs.
struct SettingChange {
    std::string name;   ///< e.g. "mainCorrection", "timeCorrection[3]", "remarks", "make"
    std::string before; ///< formatted for people; texts in double quotes
    std::string after;
};

/// The values that differ, in display order: the settings values in the order of
/// the settings record, then the 25 time corrections ("timeCorrection[i]", i = the
/// petrol injection time in ms), the notes ("remarks") and the seven car texts
/// ("make", "model", "capacity", "power", "year", "injectors", "flow"). The map,
/// identity, feature record and time stamp are not compared.
std::vector<SettingChange> settingsChanges(const CSettingsBlock& before, const CSettingsBlock& after);

/// One "name: old → new" line per change, each ended by a line break.
std::string formatChanges(const std::vector<SettingChange>& changes);

/// A number as short as it can be written without losing its value ("1.5", "1200").
std::string formatSettingNumber(double v);

} // namespace zefirel
