#include "ui/settings/SettingText.h"

#include <QLineEdit>

#include <charconv>
#include <cmath>
#include <cstdint>

#include "ui/support/MsgHelper.h"

namespace zefirel {

QString settingText(double v, ESettingKind kind) {
    if (kind != ESettingKind::Double)
        return QString::number(static_cast<long long>(v));
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return QString::fromLatin1(buf, static_cast<int>(r.ptr - buf));
}

bool parseSettingText(QString text, ESettingKind kind, double& out) {
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

bool readSettingEdit(QWidget* parent, const QString& label, const QLineEdit* edit, ESetting id,
                     CSettingsBlock& blk) {
    double v = 0;
    if (!parseSettingText(edit->text(), settingInfo(id).kind, v)) {
        zefMessageBox(parent, QStringLiteral("Nieprawidłowa wartość w polu \"%1\": %2").arg(label.trimmed(), edit->text()),
                      QString(APP_CAPTION), EMsgStyle::Error);
        return false;
    }
    blk.setValue(id, v);
    return true;
}

} // namespace zefirel
