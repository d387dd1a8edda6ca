#pragma once
/// CPasswdDlg: the unlock dialog. The administrator password raises the service and
/// administrator levels, the service password the service level; anything else
/// leaves the dialog open with no message.

#include <QDialog>

class QLabel;
class QLineEdit;

namespace zefirel {

/// Access levels granted by a password.
struct AccessLevels {
    bool service = false;
    bool administrator = false;
};

/// The levels a password grants (compared exactly, letter case included); none for
/// a wrong password.
AccessLevels passwordLevels(const QString& password);

class CPasswdDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPasswdDlg(QWidget* parent = nullptr);
    /// The levels granted when the dialog was accepted.
    AccessLevels levels() const { return m_levels; }

public slots:
    /// "OK": closes the dialog only for a known password.
    void onOk();

private:
    QLineEdit* m_edit;
    QLabel* m_hint;
    AccessLevels m_levels;
};

} // namespace zefirel
