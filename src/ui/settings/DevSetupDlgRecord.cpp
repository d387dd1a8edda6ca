// CDevSetupDlg: the record's way into the controls and back — the bound fields,
// the sequence and option boxes, the injector mask and the injector type.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "diag/DeviceDoc.h"
#include "ui/settings/DevSetupDlg.h"
#include "ui/settings/MsgHelper.h"

namespace zefirel {

namespace {
/// A value as the dialog shows it: the shortest text that reads back as the same
/// number, so showing and reading a record changes nothing.
QString valueText(double v, ESettingKind kind) {
    if (kind != ESettingKind::Double)
        return QString::number(static_cast<long long>(v));
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return QString::fromLatin1(buf, static_cast<int>(r.ptr - buf));
}

/// Reads a field's text: a decimal comma is taken as a point; whole numbers in
/// range for the byte and integer values. False when the text is no such number.
bool parseValue(QString text, ESettingKind kind, double& out) {
    text = text.trimmed();
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    if (kind == ESettingKind::Double) {
        out = text.toDouble(&ok);
        return ok && std::isfinite(out);
    }
    const long long v = text.toLongLong(&ok);
    if (!ok)
        return false;
    if (kind == ESettingKind::U8 ? (v < 0 || v > 255) : (v < INT32_MIN || v > INT32_MAX))
        return false;
    out = static_cast<double>(v);
    return true;
}
} // namespace

void CDevSetupDlg::showRecord() {
    const CSettingsBlock& blk = m_doc.settings();
    for (Field& f : m_fields)
        f.edit->setText(valueText(blk.value(f.id), settingInfo(f.id).kind));
    m_remarks->setText(qstr(blk.remarks()));

    const auto petrol = static_cast<uint8_t>(blk.value(ESetting::petrolInjectionType));
    m_signal12V->setChecked(petrol & 0x01);
    m_sequence[static_cast<size_t>(sequenceTypeOf(petrol))]->setChecked(true);
    m_autoBelow3C->setChecked(static_cast<uint8_t>(blk.value(ESetting::auxOption)) & 0x01);
    const auto mask = unpackInjectorMask(static_cast<uint8_t>(blk.value(ESetting::correction2Injectors)));
    for (size_t i = 0; i < mask.size(); ++i)
        m_injectorBoxes[i]->setChecked(mask[i]);

    // The injector type: from its code when the controller knows types, otherwise
    // from the voltage-limit values.
    Field* limit = field(ESetting::voltageLimit);
    Field* delay = field(ESetting::voltageLimitDelay);
    bool editable = false;
    if (hasFeature(FEATURE_LPG_INJECTOR_TYPES)) {
        const auto code = static_cast<unsigned>(blk.value(ESetting::lpgInjectorType));
        if (const LpgInjectorType* t = lpgInjectorTypeOfCode(code)) {
            selectInjectorType(QString::fromUtf8(t->name));
            limit->edit->setText(QString::number(t->voltageLimit));
            delay->edit->setText(QString::number(t->limitDelay));
        } else {
            ensureOtherType();
            selectInjectorType(QString::fromUtf8(LPG_INJECTOR_OTHER));
        }
        editable = code == 0;
    } else {
        const QString name = QString::fromStdString(
            lpgInjectorTypeFromValues(blk.value(ESetting::voltageLimit), blk.value(ESetting::voltageLimitDelay)));
        if (name == QString::fromUtf8(LPG_INJECTOR_OTHER))
            ensureOtherType();
        selectInjectorType(name);
        editable = name == QString::fromUtf8(LPG_INJECTOR_OTHER);
    }
    limit->edit->setEnabled(editable);
    delay->edit->setEnabled(editable);
}

bool CDevSetupDlg::readFields() {
    CSettingsBlock& blk = m_doc.settings();
    for (const Field& f : m_fields) {
        double v = 0;
        if (!parseValue(f.edit->text(), settingInfo(f.id).kind, v)) {
            zefMessageBox(this,
                          QStringLiteral("Nieprawidłowa wartość w polu \"%1\": %2")
                              .arg(f.label->text().trimmed(), f.edit->text()),
                          QString(APP_CAPTION), EMsgStyle::Error);
            return false;
        }
        blk.setValue(f.id, v);
    }
    blk.setRemarks(m_remarks->text().toStdString());
    return true;
}

void CDevSetupDlg::packBytes(CSettingsBlock& blk) const {
    blk.setValue(ESetting::optionFlags, packOptionFlags(blk));
    const auto previousPetrol = static_cast<uint8_t>(blk.value(ESetting::petrolInjectionType));
    const auto sequence = static_cast<ESequenceType>(std::max(0, m_sequenceGroup->checkedId()));
    blk.setValue(ESetting::petrolInjectionType,
                 packPetrolInjectionType(previousPetrol, m_signal12V->isChecked(), sequence));
    blk.setValue(ESetting::auxOption,
                 packAuxOption(static_cast<uint8_t>(blk.value(ESetting::auxOption)), m_autoBelow3C->isChecked()));
    std::array<bool, 8> checked{};
    for (size_t i = 0; i < checked.size(); ++i)
        checked[i] = m_injectorBoxes[i]->isChecked();
    blk.setValue(ESetting::correction2Injectors, packInjectorMask(checked));
    blk.setValue(ESetting::lpgInjectorType, m_injectorType->currentData().toUInt());
}

} // namespace zefirel
