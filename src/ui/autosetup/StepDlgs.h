#pragma once
/// The dialogs of the step-by-step setup: each has a button that continues and a
/// button that ends the setup, and texts that tell the installer what happens next.
/// Object names: the dialogs "stepStartDlg", "step1Dlg", "step2Dlg", "step3Dlg",
/// "step4Dlg", "stepEndDlg"; their buttons "stepOk" and "stepCancel".

#include <QDialog>
#include <QStringList>
#include <vector>

#include "link/SettingsBlock.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace zefirel {

/// What the step dialogs share: title, the two buttons and a column of texts.
class CStepDlg : public QDialog {
    Q_OBJECT
public:
    CStepDlg(const char* name, const char* title, const char* okText, const char* cancelText, QWidget* parent);
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }
    /// Puts a line of its own ("stepNote") above the dialog's texts: what the
    /// wizard did before this question.
    void addNote(const QString& line);

protected:
    /// Adds a wrapped text line above the buttons.
    QLabel* addText(const char* text);
    /// The column the texts and fields go into.
    QVBoxLayout* body() const { return m_body; }

private:
    QVBoxLayout* m_body;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

/// "Ustawienia krok po kroku": the number of cylinders.
class CStepStartDlg : public CStepDlg {
    Q_OBJECT
public:
    explicit CStepStartDlg(QWidget* parent = nullptr);
    /// The chosen or typed text.
    QString cylinders() const;

private:
    QComboBox* m_cylinders;
};

/// "Krok 1": seven basic settings, bound to the values of a settings block. It
/// opens on the block's values; OK stores the edited values (a text that is no
/// number of its kind is named in a message and the dialog stays open).
class CStep1Dlg : public CStepDlg {
    Q_OBJECT
public:
    explicit CStep1Dlg(CSettingsBlock& block, QWidget* parent = nullptr);
    void accept() override;

private:
    struct Field {
        ESetting id;
        QLabel* label;
        QLineEdit* edit;
    };
    CSettingsBlock& m_block;
    std::vector<Field> m_fields;
};

/// "Krok 2": the first switch to LPG.
class CStep2Dlg : public CStepDlg {
    Q_OBJECT
public:
    explicit CStep2Dlg(QWidget* parent = nullptr);
};

/// "Krok 3": does the engine idle steadily on LPG?
class CStep3Dlg : public CStepDlg {
    Q_OBJECT
public:
    explicit CStep3Dlg(QWidget* parent = nullptr);
};

/// "Krok 4": the automatic setup is about to start.
class CStep4Dlg : public CStepDlg {
    Q_OBJECT
public:
    explicit CStep4Dlg(QWidget* parent = nullptr);
};

/// The last dialog: the setup succeeded, the controller goes to AUTO.
class CStepEndDlg : public CStepDlg {
    Q_OBJECT
public:
    explicit CStepEndDlg(QWidget* parent = nullptr);
};

} // namespace zefirel
