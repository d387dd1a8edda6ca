#include "support/Paths.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

#include "support/FileUtil.h"

namespace zefirel {

namespace {

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/tmp";
}

/// Creates the folder (errors ignored) and returns it with a trailing "/".
std::string ensured(const std::string& folder) {
    makeFolders(folder);
    return folder + "/";
}

} // namespace

std::string appFolderPath() {
    // XDG: a relative XDG_DATA_HOME is invalid and must be ignored.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const std::string base = (xdg && xdg[0] == '/') ? std::string(xdg) : homeFolder() + "/.local/share";
    return base + "/Zefirel/";
}

std::string appFolder() {
    std::string path = appFolderPath();
    path.pop_back();
    return ensured(path);
}

std::string defaultDataFolder() { return ensured(appFolder() + "Dane"); }

std::string settingsFolder() { return ensured(appFolder() + "Ustawienia/v5.2"); }

} // namespace zefirel
