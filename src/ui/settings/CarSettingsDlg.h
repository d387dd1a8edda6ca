#pragma once
/// CCarSettingsDlg: "Wybierz ustawienia samochodu...", the list of car settings
/// files of one make, model and capacity. "Znajdź" lists the readable files with
/// their car data; rows of the connected controller are coloured RGB(210,100,30),
/// the others alternate white and RGB(210,210,210). "Wybierz" ends with the path of
/// the selected file, which the settings dialog loads. "Wybierz i wpisz do
/// urządzenia" ends the same way and asks the caller to write the loaded file to the
/// controller as well (restoring a car's earlier settings).

#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/CarInfo.h"

class QComboBox;
class QTableWidget;

namespace zefirel {

/// The message of "Wybierz" without a selected row.
inline constexpr const char* MSG_SELECT_SETTINGS = "Musisz zaznaczyć ustawienia na liście";

/// Row colours (0x00BBGGRR) and the grid colour of the file list.
inline constexpr uint32_t ROW_EVEN = 0xFFFFFF;
inline constexpr uint32_t ROW_ODD = 0xD2D2D2;        // RGB(210,210,210)
inline constexpr uint32_t ROW_OWN_CONTROLLER = 0x1E64D2; // RGB(210,100,30)
inline constexpr uint32_t FILE_LIST_GRID = 0x007FFF;  // RGB(255,127,0)
/// The selected row: dark blue with white text, unlike any row colour above.
inline constexpr uint32_t ROW_SELECTED = 0x8C3214; // RGB(20,50,140)

class CCarSettingsDlg : public QDialog {
    Q_OBJECT
public:
    /// settingsFolder: where the car folders are; controllerIdentity: the identity
    /// of the document's controller (its rows are marked).
    CCarSettingsDlg(const std::string& settingsFolder, const std::string& controllerIdentity,
                    QWidget* parent = nullptr);

    /// The file chosen with "Wybierz" (empty until then).
    const std::string& chosenPath() const { return m_chosen; }
    /// True when the dialog ended with "Wybierz i wpisz do urządzenia".
    bool writeRequested() const { return m_write; }
    /// The background colour (0x00BBGGRR) of a row of the list.
    uint32_t rowColour(int row) const;

public slots:
    void onMakeChosen();
    void onModelChosen();
    /// "Znajdź": lists the files of the chosen make, model and capacity.
    void onFind();
    /// "Wybierz": ends with the selected row's file, or says a row must be selected.
    void onChoose();
    /// "Wybierz i wpisz do urządzenia".
    void onChooseAndWrite();

private:
    bool choose();

    std::string m_folder;
    std::string m_identity;
    QComboBox* m_make;
    QComboBox* m_model;
    QComboBox* m_capacity;
    QTableWidget* m_list;
    std::vector<CarSettingsFile> m_files; ///< behind the rows, in row order
    std::string m_chosen;
    bool m_write = false;
};

} // namespace zefirel
