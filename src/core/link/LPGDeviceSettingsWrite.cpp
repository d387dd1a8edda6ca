// The one write path into the controller: a wanted record is checked, brought to
// wire values, compared with the controller's last record, confirmed, and written
// with its curve and map in a safe order; the car settings file keeps a copy.
#include <algorithm>
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
/// The byte of a map cell without correction.
constexpr uint8_t MAP_CELL_NEUTRAL = 100;


bool anyMapCorrection(const MapImage& bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b != MAP_CELL_NEUTRAL; });
}

bool sameCurve(const CSettingsBlock& a, const CSettingsBlock& b) {
    for (size_t i = 0; i < block::TIME_CORRECTION_COUNT; ++i)
        if (a.timeCorrection(i) != b.timeCorrection(i))
            return false;
    return true;
}

uint8_t withBit(uint8_t flags, uint8_t bit, bool on) {
    return on ? static_cast<uint8_t>(flags | bit) : static_cast<uint8_t>(flags & ~bit);
}

/// The check's messages (with the allowed ranges), or what the wire cannot carry.
std::string recordProblems(const CSettingsBlock& blk) {
    std::string problems = checkSettingsWithRanges(blk);
    return problems.empty() ? checkWireRanges(blk) : problems;
}

/// Copies every settings value of `from` into `to` (the other parts stay).
void copySettingValues(const CSettingsBlock& from, CSettingsBlock& to) {
    for (const SettingInfo& info : settingInfos())
        to.setValue(info.id, from.value(info.id));
}

SettingsWriteResult outcome(SettingsWriteResult r, EWriteOutcome o, std::string message) {
    r.outcome = o;
    r.message = std::move(message);
    return r;
}

} // namespace

const char* writeSourceName(EWriteSource source) {
    switch (source) {
    case EWriteSource::Panel: return "panel";
    case EWriteSource::Dialog: return "dialog";
    case EWriteSource::FileRestore: return "file";
    case EWriteSource::Factory: return "factory";
    case EWriteSource::AutoSetup: return "autosetup";
    case EWriteSource::Wizard: return "wizard";
    case EWriteSource::Map: return "map";
    case EWriteSource::Curve: return "curve";
    case EWriteSource::CommandLine: return "command line";
    case EWriteSource::Learning: return "learning";
    case EWriteSource::Test: return "test";
    }
    return "";
}

std::string CLPGDevice::settingsFolder() const { return zefirel::settingsFolder(); }

void CLPGDevice::stampTime(CSettingsBlock& blk) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[26];
    if (std::strftime(text, sizeof text, "%d-%m-%Y-%H:%M:%S", &local) == 0)
        text[0] = '\0';
    blk.setTimeStamp(text);
}

std::string CLPGDevice::carSettingsPath(const CSettingsBlock& blk, const std::string& date) const {
    return carSettingsFilePath(settingsFolder(), blk.carText(ECarText::make), blk.carText(ECarText::model),
                               blk.carText(ECarText::capacity), blk.identity(), date);
}

std::string CLPGDevice::prepareCarSettingsFile(const CSettingsBlock& blk, CAtomicFile& file) const {
    // The file's date is the date of the block's time stamp, so the name always
    // matches the label inside (the file list finds a file by its label's date).
    if (blk.timeStamp().size() < DATE_LENGTH)
        return {};
    const std::string path = carSettingsPath(blk, blk.timeStamp().substr(0, DATE_LENGTH));
    if (path.empty())
        return "-"; // the car is not described: no file is due
    if (!makeFolders(parentFolder(path)) || !file.open(path) || !file.write(blk.bytes().data(), block::SIZE))
        return {};
    return path;
}

bool CLPGDevice::saveCarSettingsFile(const CSettingsBlock& blk) {
    CSettingsBlock stamped = blk;
    if (stamped.timeStamp().size() < DATE_LENGTH)
        stampTime(stamped);
    CAtomicFile file;
    const std::string path = prepareCarSettingsFile(stamped, file);
    if (path == "-")
        return true;
    if (path.empty() || !file.commit())
        return false;
    if (IPreferences* prefs = preferences())
        CCarInfo::rememberLastCar(*prefs, path);
    return true;
}

bool CLPGDevice::sendSettingsRecord(const CSettingsBlock& blk) {
    uint8_t record[SETUP_RECORD_SIZE];
    encodeSettings(blk, record);
    return sendRecord(MSG_TYPE_SETUP, record, SETUP_RECORD_SIZE);
}

SettingsWriteResult CLPGDevice::commitSettings(const SettingsWriteRequest& request) {
    WriteJournalEntry entry = journalStart(EWriteKind::Settings);
    SettingsWriteResult r = commitChecked(request, entry);
    // A write the user declined asked nothing of the controller: not kept.
    if (m_journal && r.outcome != EWriteOutcome::Declined) {
        entry.source = request.source;
        entry.outcome = r.outcome;
        entry.ok = r.ok();
        entry.message = r.message;
        entry.changes = r.changes;
        if (r.ok())
            entry.after = r.written;
        if (std::string note = m_journal->recordWrite(entry); !note.empty())
            r.message = r.message.empty() ? note : r.message + "\n" + note;
    }
    return r;
}

SettingsWriteResult CLPGDevice::commitChecked(const SettingsWriteRequest& request, WriteJournalEntry& entry) {
    SettingsWriteResult r;
    // While a setup procedure measures, nobody else changes the car under it.
    const bool procedureSource =
        request.source == EWriteSource::AutoSetup || request.source == EWriteSource::Wizard;
    if (procedureRunning() && !procedureSource)
        return outcome(r, EWriteOutcome::Busy, MSG_WRITE_PROCEDURE);
    CSettingsBlock wanted = request.wanted;
    {
        // The controller's own parts (version, identity, injectors, features) are
        // never the caller's to choose.
        std::lock_guard<std::mutex> g(m_settingsLock);
        std::copy_n(m_settings.bytes().begin(), block::CAR_DATA, wanted.bytes().begin());
        std::copy_n(m_settings.bytes().begin() + block::FEATURES, FEATURE_RECORD_SIZE,
                    wanted.bytes().begin() + block::FEATURES);
    }
    // 1. A record of values is checked before anything else (no car-data question
    // for a record that cannot be written).
    if (request.scope == EWriteScope::Record || request.scope == EWriteScope::Values)
        if (std::string problems = recordProblems(wanted); !problems.empty())
            return outcome(r, EWriteOutcome::Refused, problems);
    // 2. The car data go into the car settings file with every write.
    if (!request.carDataChecked && !ensureCarData(wanted))
        return outcome(r, EWriteOutcome::NoCarData, MSG_WRITE_NO_CAR_DATA);
    if (!request.carDataChecked)
        updateSettings([&wanted](CSettingsBlock& own) {
            std::copy(wanted.bytes().begin() + block::CAR_DATA, wanted.bytes().begin() + block::FEATURES,
                      own.bytes().begin() + block::CAR_DATA);
        });
    const COwnerGuard owner(*this, true);
    if (!owner.held())
        return outcome(r, EWriteOutcome::Busy, MSG_WRITE_BUSY);
    return commitHeld(request, wanted, entry);
}

SettingsWriteResult CLPGDevice::commitHeld(const SettingsWriteRequest& request, CSettingsBlock wanted,
                                           WriteJournalEntry& entry) {
    SettingsWriteResult r;
    // 3. What the controller holds: read when this connection has not seen it, so
    // the change list and the reset decision compare with the car, not a guess.
    if (!controllerSettingsKnown() && !readSettingsHeld())
        return outcome(r, EWriteOutcome::ReadFailed, MSG_WRITE_READ_FAILED);
    if (!controllerCurveKnown() && !readTimeCorrectionsHeld())
        return outcome(r, EWriteOutcome::ReadFailed, MSG_WRITE_READ_FAILED);
    const CSettingsBlock controller = lastControllerSettings();
    if (request.scope == EWriteScope::Values) {
        // A writer of values never writes a curve it did not mean to: a copy taken
        // before the curve was read would otherwise send zeros over it.
        for (size_t i = 0; i < block::TIME_CORRECTION_COUNT; ++i)
            wanted.setTimeCorrection(i, controller.timeCorrection(i));
    } else if (request.scope != EWriteScope::Record) {
        // Only the curve or the map is the caller's: every other value is the one
        // the controller holds, so no stale or default value rides along.
        CSettingsBlock base = controller;
        std::copy(wanted.bytes().begin(), wanted.bytes().begin() + block::TIME_CORRECTIONS, base.bytes().begin());
        copySettingValues(controller, base);
        if (request.scope == EWriteScope::Curve) {
            bool inUse = false;
            for (size_t i = 0; i < block::TIME_CORRECTION_COUNT; ++i) {
                base.setTimeCorrection(i, wanted.timeCorrection(i));
                inUse = inUse || wanted.timeCorrection(i) != 0;
            }
            base.setValue(ESetting::optionFlags, withBit(base.optionFlags(), OPTION_CURVE_IN_USE, inUse));
        }
        wanted = base;
    }
    // The values are checked (again) as they will be written; a value the wire
    // cannot carry is refused rather than cut to a byte that means another value.
    if (std::string problems = recordProblems(wanted); !problems.empty())
        return outcome(r, EWriteOutcome::Refused, problems);

    // 4. The values as the wire carries them: the list, the file and the
    // controller then hold the same numbers.
    CSettingsBlock next = wireValues(wanted);
    const bool mapKnown = controllerMapKnown();
    if (request.map) {
        std::copy(request.map->begin(), request.map->end(), next.map());
        next.setValue(ESetting::optionFlags, withBit(next.optionFlags(), OPTION_MAP_BIT, anyMapCorrection(*request.map)));
    } else {
        std::copy_n(settings().map(), block::MAP_SIZE, next.map()); // the map is not the caller's
    }
    // The car data live on the PC: they are listed only when they differ from
    // what the PC already holds for this car, not from the controller's (which
    // knows none).
    CSettingsBlock listedBefore = controller;
    {
        const CSettingsBlock own = settings();
        std::copy(own.bytes().begin() + block::CAR_DATA, own.bytes().begin() + block::FEATURES,
                  listedBefore.bytes().begin() + block::CAR_DATA);
    }
    r.changes = settingsChanges(listedBefore, next);
    entry.before = listedBefore;
    entry.after = next;
    const bool mapChanges =
        request.map && (!mapKnown || !std::equal(request.map->begin(), request.map->end(), controller.map()));
    if (mapChanges) {
        auto cells = [](const uint8_t* m) {
            return std::to_string(std::count_if(m, m + block::MAP_SIZE, [](uint8_t b) { return b != MAP_CELL_NEUTRAL; }));
        };
        r.changes.push_back({"map (cells with a correction)", mapKnown ? cells(controller.map()) : "?",
                             cells(request.map->data())});
    }
    // The map of the record after is the controller's when it was known and
    // stays, or when the new one is written (and read back) below.
    entry.mapKnown = request.map ? !mapChanges : mapKnown;
    if (request.confirm && !request.confirm(r.changes))
        return outcome(r, EWriteOutcome::Declined, "");

    // 5. The version is read again right before writing: a controller swapped on
    // the bench since the handshake is not written with another's record.
    uint8_t version[VERSION_RECORD_SIZE];
    if (!readVersion(version))
        return outcome(r, EWriteOutcome::VersionFailed, MSG_WRITE_NO_VERSION);
    if (const uint16_t word = getU16(&version[2]); word != SUPPORTED_VERSION)
        return outcome(r, EWriteOutcome::VersionFailed, versionMismatchText(word));

    // The car settings file is made ready (written whole beside its place) before
    // anything is written: a file that cannot be kept stops the write, and it
    // takes its place only once the controller accepted the record.
    stampTime(next);
    CAtomicFile carFile;
    const std::string carPath = prepareCarSettingsFile(next, carFile);
    if (carPath.empty())
        return outcome(r, EWriteOutcome::CarFileFailed, MSG_WRITE_CAR_FILE);

    // 6. A new petrol injection type takes effect only after a restart: reset first.
    r.resetBefore = next.value(ESetting::petrolInjectionType) != controller.value(ESetting::petrolInjectionType);
    if (r.resetBefore && !resetController())
        return outcome(r, EWriteOutcome::ResetFailed, MSG_WRITE_RESET_FAILED);

    // 7. Curve table and map before the record that switches them on: a failure
    // in the middle leaves the controller on its old flags, never using a table or
    // a map it was not given.
    if (!sameCurve(next, controller)) {
        if (!sendTimeCorrections(next))
            return outcome(r, EWriteOutcome::CurveFailed, MSG_WRITE_CURVE_FAILED);
        r.curveWritten = true;
        std::lock_guard<std::mutex> g(m_settingsLock);
        for (size_t i = 0; i < block::TIME_CORRECTION_COUNT; ++i)
            m_lastController.setTimeCorrection(i, next.timeCorrection(i));
    }
    if (mapChanges) {
        std::string message;
        const EWriteOutcome mo = writeMapHeld(*request.map, controller, message);
        if (mo != EWriteOutcome::Written)
            return outcome(r, mo, message);
        r.mapWritten = true;
        entry.mapKnown = true;
    }

    // 8. The record itself.
    if (!sendSettingsRecord(next))
        return outcome(r, EWriteOutcome::WriteFailed, MSG_WRITE_FAILED);

    // 9. Accepted: now it is the document's record and the controller's.
    {
        std::lock_guard<std::mutex> g(m_settingsLock);
        const CSettingsBlock own = m_settings;
        m_settings = next;
        // What arrived on the PC side meanwhile (a recording's context word) stays.
        m_settings.setRecordingContext(own.recordingContext());
        // The controller's map changes only when one was written (and read back).
        const CSettingsBlock before = m_lastController;
        m_lastController = next;
        if (!r.mapWritten)
            std::copy_n(before.map(), block::MAP_SIZE, m_lastController.map());
        m_lastControllerKnown = true;
        m_curveKnown = true;
    }
    r.written = next;
    if (carPath != "-") {
        r.carFileSaved = carFile.commit();
        if (!r.carFileSaved)
            r.message = MSG_WRITE_CAR_FILE;
        else if (IPreferences* prefs = preferences())
            CCarInfo::rememberLastCar(*prefs, carPath);
    }
    appendSettingsCompanion();
    host().settingsWritten();
    r.outcome = EWriteOutcome::Written;

    // 10. After a sequence change the controller is restarted with its errors
    // cleared; after a map it is restarted so it reads the map again.
    if (r.resetBefore) {
        if (!clearErrors())
            return outcome(r, EWriteOutcome::AfterFailed, MSG_WRITE_RESET_FAILED);
        r.errorsCleared = true;
    } else if (r.mapWritten && !resetController()) {
        return outcome(r, EWriteOutcome::AfterFailed, MSG_WRITE_RESET_FAILED);
    }
    return r;
}

EWriteOutcome CLPGDevice::writeMapHeld(const MapImage& bytes, const CSettingsBlock& controller, std::string& message) {
    // A map in use is switched off while it is rewritten: a write that stops half
    // way must not leave the controller injecting by half of a new map.
    if (controller.optionFlags() & OPTION_MAP_BIT) {
        CSettingsBlock off = controller;
        off.setValue(ESetting::optionFlags, withBit(off.optionFlags(), OPTION_MAP_BIT, false));
        if (!sendSettingsRecord(off)) {
            message = MSG_MAP_SWITCH_OFF_FAILED;
            return EWriteOutcome::MapFailed;
        }
        std::lock_guard<std::mutex> g(m_settingsLock);
        m_lastController.setValue(ESetting::optionFlags, off.optionFlags());
        m_settings.setValue(ESetting::optionFlags, off.optionFlags());
    }
    if (!resetController()) {
        message = MSG_WRITE_RESET_FAILED;
        return EWriteOutcome::MapFailed;
    }
    if (!sendMap(bytes)) {
        message = MSG_MAP_WRITE_FAILED;
        return EWriteOutcome::MapFailed;
    }
    // The checksum alone would pass a map the controller kept consistently but
    // differently: every byte read back must be the one sent.
    MapImage back{};
    if (!readMapHeld(back) || back != bytes) {
        message = MSG_MAP_VERIFY_FAILED;
        return EWriteOutcome::MapFailed;
    }
    return EWriteOutcome::Written;
}

} // namespace zefirel
