#pragma once
/// The program's one rule for numbers in its windows: written with a decimal point
/// as the controller's texts and files have them, whatever the desktop's locale;
/// typed with either decimal mark ("1,8" as "1.8").

#include <QDoubleSpinBox>

namespace zefirel {

/// keepNumbersInCLocale() for the C library's formatting and scanning, and Qt's
/// default locale "C" for what Qt formats and its number widgets show. Call right
/// after the QApplication is made.
void useProgramNumberFormat();

/// A spin box of decimals that shows a decimal point and takes a comma for one.
class CDecimalSpinBox : public QDoubleSpinBox {
    Q_OBJECT
public:
    explicit CDecimalSpinBox(QWidget* parent = nullptr);
    QValidator::State validate(QString& text, int& pos) const override;
    double valueFromText(const QString& text) const override;
};

} // namespace zefirel
