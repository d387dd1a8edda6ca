#pragma once
/// CCarInfoDlg: "Informacje o samochodzie", the car and installation data asked for
/// once per connection before settings are written. It offers the makes and models
/// of the car settings folder, starts from the last car written for the same
/// controller (or the document's own car data), and accepts only when make, model,
/// capacity, power and injectors are given (the rule of missingCarText); a refusal
/// names the missing field.

#include <QDialog>
#include <string>

#include "settings/CarInfo.h"

class QComboBox;
class QLineEdit;

namespace zefirel {

class IPreferences;

class CCarInfoDlg : public QDialog {
    Q_OBJECT
public:
    /// settingsFolder: where the car folders are; prefs: where "Last car file" is
    /// (may be null: nothing is restored); docRecord: the document's settings record.
    CCarInfoDlg(const std::string& settingsFolder, IPreferences* prefs, const CSettingsBlock& docRecord,
                QWidget* parent = nullptr);

    /// The seven texts as entered (UTF-8), indexed by ECarText.
    CarTexts texts() const;
    /// Shows seven texts (an empty injectors text keeps the list's selection).
    void setTexts(const CarTexts& texts);

public slots:
    /// OK: closes only when the required texts are given.
    void onOk();
    /// A make was chosen: its models, the first selected; flow, capacity, power and
    /// year emptied. The make the fields already belong to (a restored one, chosen
    /// again, or matched when its field loses the focus) only offers its models:
    /// what is shown stays.
    void onMakeChosen(int index);

private:
    QWidget* field(ECarText t) const;

    std::string m_folder;
    /// The make the shown model, capacity, power and year belong to.
    QString m_fieldsMake;
    QComboBox* m_make;
    QComboBox* m_model;
    QLineEdit* m_capacity;
    QLineEdit* m_power;
    QLineEdit* m_year;
    QComboBox* m_injectors;
    QLineEdit* m_flow;
};

/// Asks for the car data with the dialog and writes the seven texts into the
/// record (each cut to its width). False when the user cancelled.
bool askCarDataWithDialog(const std::string& settingsFolder, IPreferences* prefs, CSettingsBlock& record,
                          QWidget* parent);

} // namespace zefirel
