#pragma once
/// What the windows show after a write through the controller's one write path:
/// nothing for a clean write or a declined one, otherwise the reason in a message
/// box captioned "Zefirel" (the check's text, the failed step, a busy controller,
/// a car file that could not be saved).

#include <QString>

#include "link/SettingsWrite.h"

class QWidget;

namespace zefirel {

/// The caller's own words for two outcomes.
struct WriteTexts {
    QString failed;  ///< the record was not accepted
    /// The car data were not given (the installer cancelled their dialog): said
    /// plainly, without a failure after it, since nothing went wrong.
    QString carData;
};

/// Shows the result's message as above; true when the record reached the controller.
bool showWriteResult(QWidget* parent, const SettingsWriteResult& result, const WriteTexts& texts);

} // namespace zefirel
