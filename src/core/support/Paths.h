#pragma once
/// The program's per-user folders: the application folder ($XDG_DATA_HOME/Zefirel,
/// by default ~/.local/share/Zefirel) with its data folder "Dane" (diagnostic
/// recordings, EEPROM images) and its settings folder "Ustawienia/v5.2" (car
/// settings files). Each level is created when missing; creation errors are
/// ignored, as a later file operation reports the failure in its own words.

#include <string>

namespace zefirel {

/// The application folder, ending with "/".
std::string appFolder();
/// The same path, without creating anything (for files made only on first use).
std::string appFolderPath();
/// <application folder>/Dane/
std::string defaultDataFolder();
/// <application folder>/Ustawienia/v5.2/
std::string settingsFolder();

} // namespace zefirel
