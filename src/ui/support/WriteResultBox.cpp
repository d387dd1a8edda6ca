#include "ui/support/WriteResultBox.h"

#include "ui/support/MsgHelper.h"

namespace zefirel {

bool showWriteResult(QWidget* parent, const SettingsWriteResult& result, const WriteTexts& texts) {
    const QString caption(APP_CAPTION);
    switch (result.outcome) {
    case EWriteOutcome::Declined:
        return false;
    case EWriteOutcome::NoCarData:
        zefMessageBox(parent, texts.carData, caption, EMsgStyle::Plain);
        return false;
    case EWriteOutcome::Busy:
        zefMessageBox(parent, qstr(result.message), caption, EMsgStyle::Info);
        return false;
    case EWriteOutcome::WriteFailed:
        zefMessageBox(parent, texts.failed, caption, EMsgStyle::Error);
        return false;
    case EWriteOutcome::VersionFailed:
    case EWriteOutcome::CarFileFailed:
        // The step's own message, then the writer's: the record was not written.
        zefMessageBox(parent, qstr(result.message), caption, EMsgStyle::Error);
        zefMessageBox(parent, texts.failed, caption, EMsgStyle::Error);
        return false;
    case EWriteOutcome::Written:
        // Written, but its copy in the car settings file could not be saved.
        if (!result.message.empty()) zefMessageBox(parent, qstr(result.message), caption, EMsgStyle::Error);
        return true;
    case EWriteOutcome::AfterFailed:
        zefMessageBox(parent, qstr(result.message), caption, EMsgStyle::Error);
        return true;
    default:
        zefMessageBox(parent, result.message.empty() ? texts.failed : qstr(result.message), caption, EMsgStyle::Error);
        return false;
    }
}

} // namespace zefirel
