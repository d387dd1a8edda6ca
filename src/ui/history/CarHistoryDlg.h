#pragma once
/// CCarHistoryDlg: the window "Historia samochodu". On the left the cars the
/// history knows, with a search over make, model, registration number, VIN and
/// identity, and the chosen car's registration number, VIN and note to edit; on
/// the right the car's timeline, newest first (writes with their source and
/// result, automatic setups, recordings, service reports) and, below it, what the
/// chosen line changed, or what differs between two chosen writes, as the
/// settings dialog lists changes before a write. "Przywróć" writes the chosen
/// write's record back into the controller through the one write path, showing
/// the list of changes first.
///
/// A database that cannot be opened leaves the window with its message and
/// nothing to choose; the rest of the program goes on.

#include <QDialog>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "history/HistoryDb.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace zefirel {

class CDeviceDoc;
class CHistoryJournal;

class CCarHistoryDlg : public QDialog {
    Q_OBJECT
public:
    /// doc: the open document whose controller "Przywróć" writes to (null: none,
    /// the button stays off).
    CCarHistoryDlg(CHistoryJournal& journal, CDeviceDoc* doc, QWidget* parent = nullptr);
    ~CCarHistoryDlg() override;

    /// Reads the car list again (with the search's text) and keeps the chosen car.
    void refreshCars();
    /// Chooses the car of this id in the list (false when it is not listed).
    bool chooseCar(int64_t carId);
    /// Chooses the most recently seen car of the controller with this identity
    /// (false when none is listed).
    bool chooseIdentity(const std::string& identity);
    /// The chosen car's id (0: none).
    int64_t chosenCar() const;
    /// "Przywróć" on the chosen write; true when its record reached the controller.
    bool onRestore();
    /// "Zapisz dane": the chosen car's registration number, VIN and note.
    bool onSaveDetails();
    /// Whether the database could be read (else the window shows why).
    bool available() const { return m_available; }

private:
    QWidget* buildCars();
    QWidget* buildTimeline();
    /// Runs work on the database; false after showing why it cannot be used.
    bool withDb(const std::function<void(CHistoryDb&)>& work);
    void showProblem(const QString& text);
    void onCarChosen();
    void showTimeline();
    void onEntriesChosen();
    /// The writes chosen in the timeline, oldest first (only kept writes count).
    std::vector<HistoryWrite> chosenWrites();
    /// The one chosen write that can be put back, if exactly one write is chosen.
    bool restorable() const;

    CHistoryJournal& m_journal;
    CDeviceDoc* m_doc;
    bool m_available = true;
    std::vector<HistoryCar> m_cars;
    std::vector<HistoryEntry> m_entries;
    QLabel* m_problem = nullptr;
    QLineEdit* m_search = nullptr;
    QTableWidget* m_carList = nullptr;
    QLineEdit* m_registration = nullptr;
    QLineEdit* m_vin = nullptr;
    QLineEdit* m_note = nullptr;
    QPushButton* m_saveDetails = nullptr;
    QTableWidget* m_timeline = nullptr;
    QPlainTextEdit* m_changes = nullptr;
    QPushButton* m_restore = nullptr;
    QLabel* m_status = nullptr;
    /// The write "Przywróć" would put back (one settings write chosen).
    std::optional<HistoryWrite> m_restoreWrite;
};

} // namespace zefirel
