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

#include "diag/DeviceDoc.h"
#include "ui/settings/DevSetupDlg.h"
#include "ui/support/MsgHelper.h"
#include "ui/settings/SettingText.h"

namespace zefirel {

void CDevSetupDlg::showRecord() {
    const CSettingsBlock& blk = m_record;
    for (Field& f : m_fields)
        f.edit->setText(settingText(blk.value(f.id), settingInfo(f.id).kind));
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
    for (const Field& f : m_fields)
        if (!readSettingEdit(this, f.label->text(), f.edit, f.id, m_record))
            return false;
    m_record.setRemarks(m_remarks->text().toStdString());
    return true;
}

bool CDevSetupDlg::editedRecord(CSettingsBlock& out) const {
    out = m_record;
    for (const Field& f : m_fields) {
        double v = 0;
        if (!parseSettingText(f.edit->text(), settingInfo(f.id).kind, v))
            return false;
        out.setValue(f.id, v);
    }
    out.setRemarks(m_remarks->text().toStdString());
    packBytes(out);
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
