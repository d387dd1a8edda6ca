#pragma once
/// How a settings value is shown in an edit field and read back from it, for
/// every dialog that edits values of the settings record.

#include <QString>

class QLineEdit;
class QWidget;

#include "link/SettingsBlock.h"

namespace zefirel {

/// The shortest text that reads back as the same number, so showing and reading
/// a record changes nothing; whole numbers for the byte and integer values.
QString settingText(double v, ESettingKind kind);

/// Reads a field's text: a decimal comma is taken as a point; whole numbers in
/// range for the byte and integer values. False when the text is no such number.
bool parseSettingText(QString text, ESettingKind kind, double& out);

/// Reads an edit bound to a settings value into the block. When its text is no
/// number of the value's kind, shows "Nieprawidłowa wartość w polu ..." naming
/// the field's label and returns false.
bool readSettingEdit(QWidget* parent, const QString& label, const QLineEdit* edit, ESetting id,
                     CSettingsBlock& blk);

} // namespace zefirel
