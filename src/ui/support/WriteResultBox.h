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
    QString carData; ///< the car data were not given
    /// After the car-data message, also the failure (a writer whose own step
    /// reports any refused write as failed).
    bool carDataThenFailed = false;
};

/// Shows the result's message as above; true when the record reached the controller.
bool showWriteResult(QWidget* parent, const SettingsWriteResult& result, const WriteTexts& texts);

} // namespace zefirel
