#pragma once
/// CErrCodesDlg: shows the controller's decoded error report as read-only text.

#include <QDialog>

class QPlainTextEdit;
class QShowEvent;

namespace zefirel {

class CErrCodesDlg : public QDialog {
    Q_OBJECT
public:
    /// Builds the dialog holding the given text.
    explicit CErrCodesDlg(const QString& text, QWidget* parent = nullptr);
    /// The text shown.
    QString text() const;

protected:
    void showEvent(QShowEvent* e) override;

private:
    QPlainTextEdit* m_text;
};

} // namespace zefirel
