#pragma once
/// The names under which the installer knows the settings values, as the
/// settings dialog "Ustawienia urządzenia" labels its fields, and the list of
/// changes shown before a record is written ("Zmiany względem ustawień
/// sterownika:" and one "name: old → new" line per value). The settings dialog
/// and the car history window show changes in these words.

#include <QString>

#include <string>
#include <vector>

#include "link/SettingsBlock.h"
#include "settings/SettingsDiff.h"

class QWidget;

namespace zefirel {

/// Group titles of the settings dialog that also name the values inside them.
inline constexpr const char* GROUP_LPG_INJECTORS = "Ustawienia wtryskiwaczy LPG";
inline constexpr const char* GROUP_PRESSURE = "Poprawki od ciśnienia różnicowego";
inline constexpr const char* GROUP_SUPPLY_VOLTAGE = "Poprawki od nap. zasilania";
inline constexpr const char* GROUP_WATER_VALVE = "Ustawienia zaworu wodnego";
inline constexpr const char* GROUP_AVERAGING = "Uśrednianie pomiarów";
/// The box of the AUTO option (auxOption).
inline constexpr const char* LABEL_AUTO_BELOW_3C = "Przełącz na AUTO gdy temperatura LPG spadnie poniżej 3 st.C";

/// The label of a value's edit in the settings dialog, as it is shown there (with
/// its spacing); null for the values without an edit of their own.
const char* settingFieldLabel(ESetting id);

/// The name of a changed value ("Uśrednianie pomiarów: Uśrednianie ciśnienia po",
/// "Poprawka czasu wtrysku przy 3 ms", "Marka"); the value's own name when the
/// program has no words for it.
QString changeLabel(const std::string& name);

/// The changes with their names in the installer's words, one line each.
QString namedChanges(const std::vector<SettingChange>& changes);

/// Asks whether to write, listing the changes first ("Zmiany względem ustawień
/// sterownika:", the lines, "Czy chcesz wpisać ustawienia do urządzenia?"); true
/// without a question when nothing changes.
bool confirmSettingChanges(QWidget* parent, const std::vector<SettingChange>& changes);

} // namespace zefirel
