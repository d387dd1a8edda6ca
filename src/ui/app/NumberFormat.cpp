#include "ui/app/NumberFormat.h"

#include <QLocale>

#include "support/NumberLocale.h"

namespace zefirel {

namespace {

QString withDecimalPoint(QString text) { return text.replace(QLatin1Char(','), QLatin1Char('.')); }

} // namespace

void useProgramNumberFormat() {
    keepNumbersInCLocale();
    QLocale::setDefault(QLocale::c());
}

CDecimalSpinBox::CDecimalSpinBox(QWidget* parent) : QDoubleSpinBox(parent) { setLocale(QLocale::c()); }

QValidator::State CDecimalSpinBox::validate(QString& text, int& pos) const {
    // The comma becomes the point it stands for in the field itself.
    text = withDecimalPoint(text);
    return QDoubleSpinBox::validate(text, pos);
}

double CDecimalSpinBox::valueFromText(const QString& text) const {
    return QDoubleSpinBox::valueFromText(withDecimalPoint(text));
}

} // namespace zefirel
