// The write journal's entries for the writes that bypass the settings record:
// the level thresholds, the version record and EEPROM ranges.
#include "link/LPGDevice.h"

namespace zefirel {

WriteJournalEntry CLPGDevice::journalStart(EWriteKind kind) const {
    WriteJournalEntry entry;
    entry.kind = kind;
    entry.before = lastControllerSettings();
    const CSettingsBlock own = settings();
    std::copy(own.bytes().begin() + block::CAR_DATA, own.bytes().begin() + block::FEATURES,
              entry.before.bytes().begin() + block::CAR_DATA);
    entry.mapKnown = controllerMapKnown();
    entry.after = entry.before;
    return entry;
}

void CLPGDevice::journalWrite(WriteJournalEntry entry, bool held, bool ok, const uint8_t* data, size_t size,
                              uint16_t address) {
    if (!m_journal)
        return;
    entry.outcome = ok ? EWriteOutcome::Written : held ? EWriteOutcome::WriteFailed : EWriteOutcome::Busy;
    entry.ok = ok;
    entry.data.assign(data, data + size);
    entry.address = address;
    if (ok) {
        // What the document holds now (an EEPROM write leaves the controller's
        // record unknown: the car texts and the identity still name the car).
        const WriteJournalEntry now = journalStart(entry.kind);
        entry.after = now.before;
        entry.mapKnown = now.mapKnown;
    }
    m_journal->recordWrite(entry);
}

} // namespace zefirel
