#pragma once
/// CDevSetupDlg: the modal dialog "Ustawienia urządzenia". It shows and edits a
/// copy of the document's settings record, reads it from and writes it to the controller,
/// loads a car settings file, restores the factory values and lists the settings
/// snapshots of the current recording. Most fields are bound to values of the
/// record; the petrol injection type, the AUTO option, the injectors of the second
/// main correction, the time-correction flag and the LPG injector type are packed
/// bytes assembled from boxes, radio buttons and the type list when it writes.
///
/// Before a write the dialog lists what changes against the settings last read
/// from (or written to) the controller and lets the installer cancel.

#include <QDialog>

#include <array>
#include <functional>
#include <vector>

#include "link/SettingsBlock.h"
#include "link/SettingsWrite.h"
#include "settings/DevSetupRules.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace zefirel {

class CDeviceDoc;

class CDevSetupDlg : public QDialog {
    Q_OBJECT
public:
    /// Builds the dialog on the document's record; reads the controller's settings
    /// at once when diagnostics run or a recording is open.
    explicit CDevSetupDlg(CDeviceDoc& doc, QWidget* parent = nullptr);
    ~CDevSetupDlg() override;

    /// Runs after a snapshot of the settings list was applied: moves the charts'
    /// window to the snapshot's sample number (unless live diagnostics run) and
    /// redraws the views that show the record.
    using SnapshotHook = std::function<void(uint32_t sampleNo, bool moveWindow)>;
    void setSnapshotHook(SnapshotHook hook) { m_snapshotHook = std::move(hook); }

    // --- actions (the buttons' handlers) -------------------------------------
    /// "Wczytaj z urządzenia"; false after its message when the read failed.
    bool onRead();
    /// "Wpisz do urządzenia"; false when refused, cancelled or failed (after the
    /// message that says why).
    bool onWrite();
    /// "Wczytaj z pliku....": the car settings list; the chosen file is loaded,
    /// and written to the controller too when the list was left with "Wybierz i
    /// wpisz do urządzenia".
    void onFile();
    /// Loads a car settings file into the record (no question); false after the
    /// file's message when it was refused.
    bool loadFile(const QString& path);
    /// "Przywróć ustawienia fabryczne" (asks first).
    void onFactory();
    /// "Opis...": the sequence type description.
    void onDescription();
    /// Double-click on a row of the settings list.
    void applySnapshot(int row);

    /// Writes the record into the controls (bound fields, boxes, type list).
    void showRecord();
    /// Reads the bound fields into the record; false (after a message naming the
    /// field) when a field does not hold a number of its kind.
    bool readFields();

    /// The record as the dialog holds it (its copy).
    const CSettingsBlock& record() const { return m_record; }
    /// Makes a record the dialog's copy and shows it (nothing is written).
    void setRecord(const CSettingsBlock& record) {
        m_record = record;
        showRecord();
    }
    /// Whether the last write reset the controller around it.
    bool lastWriteReset() const { return m_lastWriteReset; }
    /// Rows of the settings list.
    int snapshotCount() const { return static_cast<int>(m_snapshots.size()); }

    void accept() override { closeAsking(QDialog::Accepted); }
    void reject() override { closeAsking(QDialog::Rejected); }

private:
    /// One edit bound to a settings value, with its label.
    struct Field {
        ESetting id;
        QLabel* label;
        QLineEdit* edit;
    };

    QWidget* buildGeneral();
    QWidget* buildCorrections();
    QWidget* buildListAndButtons();
    /// Adds an edit bound to a value, labelled as settingFieldLabel() names it, on
    /// the next row of grid.
    Field& addField(QWidget* parent, QGridLayout* grid, ESetting id);
    QGroupBox* group(const char* title, const char* name, QGridLayout*& grid);
    Field* field(ESetting id);
    void applyFeatures();
    void fillInjectorTypes();
    void ensureOtherType();
    void selectInjectorType(const QString& name);
    void onInjectorTypeSelected();
    /// Main correction edited or an injector box clicked: without injectors of
    /// their own the second correction follows the main one.
    void onMainCorrectionEdited();
    void fillSnapshots();
    void packBytes(CSettingsBlock& blk) const;
    /// The record as the controls hold it now, without messages; false when a
    /// field holds no number of its kind.
    bool editedRecord(CSettingsBlock& out) const;
    /// Whether the controls hold a record other than the controller's.
    bool differsFromController() const;
    void closeAsking(int result);
    bool hasFeature(uint32_t bit) const;
    bool anyInjectorChecked() const;

    CDeviceDoc& m_doc;
    /// The dialog's copy of the record: what it shows and edits. The document's
    /// record changes only when the one write path has written it.
    CSettingsBlock m_record;
    /// Where the copy came from (the dialog, a car file, the factory record).
    EWriteSource m_source = EWriteSource::Dialog;
    /// Whether the copy's curve is meant too (a file, the factory record, a snapshot).
    EWriteScope m_scope = EWriteScope::Values;
    std::vector<Field> m_fields;
    QLineEdit* m_remarks = nullptr;
    QComboBox* m_injectorType = nullptr;
    QCheckBox* m_signal12V = nullptr;
    std::array<QRadioButton*, 3> m_sequence{};
    QButtonGroup* m_sequenceGroup = nullptr;
    QPushButton* m_description = nullptr;
    QCheckBox* m_autoBelow3C = nullptr;
    std::array<QCheckBox*, 8> m_injectorBoxes{};
    QGroupBox* m_injectorGroup = nullptr;
    QLabel* m_arrow = nullptr;
    QCheckBox* m_allowAveraging = nullptr;
    QGroupBox* m_waterValveGroup = nullptr;
    QGroupBox* m_supplyGroup = nullptr;
    QTableWidget* m_list = nullptr;
    QPushButton* m_readButton = nullptr;
    QPushButton* m_writeButton = nullptr;
    QLabel* m_note = nullptr; ///< what the last button did, and what it did not do yet
    std::vector<CSettingsBlock> m_snapshots;
    SnapshotHook m_snapshotHook;
    bool m_lastWriteReset = false;
    bool m_closing = false;
};

} // namespace zefirel
