// Names of write kinds and outcomes as the write journal keeps them.
#include "link/WriteJournal.h"

namespace zefirel {

const char* writeKindName(EWriteKind kind) {
    switch (kind) {
    case EWriteKind::Settings: return "settings";
    case EWriteKind::Level: return "level";
    case EWriteKind::Version: return "version";
    case EWriteKind::Eeprom: return "eeprom";
    }
    return "";
}

const char* writeOutcomeName(EWriteOutcome outcome) {
    switch (outcome) {
    case EWriteOutcome::Written: return "written";
    case EWriteOutcome::Refused: return "refused";
    case EWriteOutcome::NoCarData: return "no car data";
    case EWriteOutcome::Declined: return "declined";
    case EWriteOutcome::Busy: return "busy";
    case EWriteOutcome::ReadFailed: return "read failed";
    case EWriteOutcome::VersionFailed: return "version failed";
    case EWriteOutcome::CarFileFailed: return "car file failed";
    case EWriteOutcome::ResetFailed: return "reset failed";
    case EWriteOutcome::CurveFailed: return "curve failed";
    case EWriteOutcome::MapFailed: return "map failed";
    case EWriteOutcome::WriteFailed: return "write failed";
    case EWriteOutcome::AfterFailed: return "after failed";
    }
    return "";
}

} // namespace zefirel
