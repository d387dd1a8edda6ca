#pragma once
/// Naming of car settings files: the car folder "<make>-<model>-<capacity>" inside
/// the settings folder and the file "<identity>-<dd-mm-yyyy>.settings" inside it.
///
/// The car texts come from the user and the identity from the controller, so each
/// name is passed through safePathSegment() before it touches the file system:
///  - "/" and "\" (path separators here or on Windows), control characters
///    (U+0000..U+001F, U+007F..U+009F) and bytes that are not valid UTF-8 become "_";
///  - a leading "." becomes "_" (no hidden names, and never "." or "..");
///  - an empty result becomes "_";
///  - a name longer than PATH_SEGMENT_MAX bytes (a file system's limit) is cut on a
///    character boundary (Polish quotes, dashes and "€" take 3 bytes each, so two
///    car texts of 49 characters can pass it).
/// Everything else is kept as it is, so ordinary names (letters including Polish
/// ones, digits, spaces, "-", ".") stay readable. A mapped name therefore always is
/// exactly one path segment below the settings folder.

#include <cstddef>
#include <string>

namespace zefirel {

/// The longest file or folder name, in bytes, that Linux file systems take.
inline constexpr size_t PATH_SEGMENT_MAX = 255;

/// Maps a UTF-8 text to one safe file or folder name (rules above).
std::string safePathSegment(const std::string& text);

/// The car folder name: make + "-" + model + "-" + capacity, mapped.
std::string carFolderName(const std::string& make, const std::string& model, const std::string& capacity);

/// The car settings file name: identity + "-" + date + ".settings", mapped.
std::string carFileName(const std::string& identity, const std::string& date);

/// True when a car text holds nothing but white space: such a text is not given.
/// The car data dialog and the command line's --car take a text by this one rule.
bool blankCarText(const std::string& text);

/// settingsFolder (ending with "/") + car folder + "/" + file name; empty when make,
/// model or capacity is blank (no file is due then).
std::string carSettingsFilePath(const std::string& settingsFolder, const std::string& make,
                                const std::string& model, const std::string& capacity,
                                const std::string& identity, const std::string& date);

/// The extension of car settings files.
inline constexpr const char* CAR_SETTINGS_EXTENSION = ".settings";

} // namespace zefirel
