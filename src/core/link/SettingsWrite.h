#pragma once
/// The one way a record reaches the controller: a settings write request and what
/// became of it. Every writer (the live panel, the settings dialog, a restored car
/// file, the factory record, the automatic setup, the wizard, the map and curve
/// panes, the command line) builds a request from its own copy of the record and
/// hands it to CLPGDevice::commitSettings, which checks it, brings it to what the
/// wire carries, lists the changes against the controller's last record, resets
/// around a sequence change, writes curve, map and record in a safe order and only
/// then replaces the document's record.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/SettingsBlock.h"
#include "settings/SettingsDiff.h"

namespace zefirel {

/// Who asked for a write (kept with the result; shown in traces and histories).
enum class EWriteSource { Panel, Dialog, FileRestore, Factory, AutoSetup, Wizard, Map, Curve, CommandLine, Learning, Test };

/// A short English name of the source ("panel", "dialog", ...).
const char* writeSourceName(EWriteSource source);

/// Bit of optionFlags that switches the curve on, and the one of the map.
inline constexpr uint8_t OPTION_CURVE_IN_USE = 0x01;
inline constexpr uint8_t OPTION_MAP_BIT = 0x02;

using MapImage = std::array<uint8_t, block::MAP_SIZE>;

/// What of the wanted record the caller means.
enum class EWriteScope {
    Values, ///< the settings values, the remarks and the car texts; the curve is the controller's
    Record, ///< all of Values and the curve (a car file, the factory record, a snapshot)
    Curve,  ///< only the curve (its in-use bit follows it); the rest is the controller's
    Map,    ///< only the map; the rest is the controller's
};

struct SettingsWriteRequest {
    /// The record the caller wants the controller to hold (see scope). The
    /// identity, version, injector count and feature record are the controller's
    /// and are taken from the device; the map bytes are ignored (see `map`).
    CSettingsBlock wanted;
    EWriteSource source = EWriteSource::Test;
    EWriteScope scope = EWriteScope::Values;
    /// A new injection map to write (verified byte for byte) with the record; the
    /// map-in-use bit of optionFlags follows it (set when a cell holds a correction).
    std::optional<MapImage> map;
    /// Asked with the list of changes before anything is sent; false = nothing is
    /// sent (EWriteOutcome::Declined). Null: no question.
    std::function<bool(const std::vector<SettingChange>&)> confirm;
    /// Skip the car-data step (callers that have just asked for the car data).
    bool carDataChecked = false;
};

enum class EWriteOutcome {
    Written,       ///< the controller accepted everything asked for
    Refused,       ///< the record failed the check: nothing was sent
    NoCarData,     ///< the car data were not given: nothing was sent
    Declined,      ///< the confirmation said no: nothing was sent
    Busy,          ///< another write holds the controller: nothing was sent
    ReadFailed,    ///< the controller's record could not be read first: nothing was written
    VersionFailed, ///< the version could not be read or is not 5: nothing was written
    CarFileFailed, ///< the car settings file cannot be written: nothing was written
    ResetFailed,   ///< the reset before a sequence change failed: nothing was written
    CurveFailed,   ///< the curve table was not accepted: the record was not written
    MapFailed,     ///< the map could not be written or verified: the record was not written
    WriteFailed,   ///< the settings record was not accepted
    AfterFailed,   ///< written, but the reset/clearing of errors after it failed
};

struct SettingsWriteResult {
    EWriteOutcome outcome = EWriteOutcome::WriteFailed;
    /// The message for people: the check's text (Refused), the failed step's text,
    /// or a note on a written record (its car file could not take its place);
    /// empty when there is nothing to say.
    std::string message;
    /// What changes against the controller's last record (as listed before writing).
    std::vector<SettingChange> changes;
    bool resetBefore = false;  ///< a sequence change: the controller was reset first
    bool errorsCleared = false; ///< ... and its errors were cleared after the write
    bool curveWritten = false;
    bool mapWritten = false;
    bool carFileSaved = false;
    /// The record as written (wire values, time stamp); valid when written().
    CSettingsBlock written;

    /// The settings record reached the controller (also when a step after it failed).
    bool ok() const { return outcome == EWriteOutcome::Written || outcome == EWriteOutcome::AfterFailed; }
    /// Nothing was sent to the controller.
    bool nothingSent() const {
        return outcome == EWriteOutcome::Refused || outcome == EWriteOutcome::NoCarData ||
               outcome == EWriteOutcome::Declined || outcome == EWriteOutcome::Busy ||
               outcome == EWriteOutcome::ReadFailed || outcome == EWriteOutcome::VersionFailed ||
               outcome == EWriteOutcome::CarFileFailed;
    }
};

inline constexpr const char* MSG_WRITE_NO_CAR_DATA =
    "Aby wpisać ustawienia musisz podać dane dotyczące samochodu i zamontowanej instalacji";
inline constexpr const char* MSG_WRITE_NO_VERSION = "Nie można wczytać wersji urządzenia";
inline constexpr const char* MSG_WRITE_CAR_FILE = "Nie można wpisać ustawień do pliku z danymi samochodu";
inline constexpr const char* MSG_WRITE_READ_FAILED = "Nie powiodło się odczytanie ustawień urządzenia!";
inline constexpr const char* MSG_WRITE_RESET_FAILED = "Nie powiodło się zresetowanie urządzenia!";
inline constexpr const char* MSG_WRITE_FAILED = "Nie powiodło się ustawienie urządzenia!";
inline constexpr const char* MSG_WRITE_CURVE_FAILED = "Nie powiodło się wpisanie krzywej poprawek do urządzenia!";
inline constexpr const char* MSG_MAP_WRITE_FAILED = "Nie powiodło się wpisanie mapy wtrysków do urządzenia!";
inline constexpr const char* MSG_MAP_VERIFY_FAILED = "Nie powiodło się zweryfikowanie mapy wtrysków z urządzenia!";
inline constexpr const char* MSG_MAP_SWITCH_OFF_FAILED =
    "Nie powiodło się wyłączenie mapy wtrysków przed jej wpisaniem!";
inline constexpr const char* MSG_WRITE_BUSY =
    "Sterownik jest zajęty innym zapisem. Spróbuj ponownie, gdy się zakończy.";
inline constexpr const char* MSG_WRITE_PROCEDURE =
    "Trwa procedura ustawiania sterownika. Zapis będzie możliwy po jej zakończeniu.";
inline constexpr const char* MSG_CURVE_RANGE =
    "Błędna wartość krzywej poprawek czasu wtrysku\n  (dozwolone wartości: od -100 do 155)\n";

/// Whether the wire can carry every value of the record: one message per value
/// whose raw field would not fit its byte (or 16 bits) and would wrap, and one for
/// a curve point outside −100..155. Empty when all fit.
std::string checkWireRanges(const CSettingsBlock& blk);

/// The record as the controller will hold it: each settings value encoded for the
/// wire and decoded back (whole numbers, ticks, codes), each curve point cut to a
/// whole percent. The caller has checked the record first.
CSettingsBlock wireValues(const CSettingsBlock& blk);

} // namespace zefirel
