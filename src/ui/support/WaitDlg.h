#pragma once
/// CWaitDlg: the "Zefirel" window with one line of text, shown without a parent
/// while a long controller or file operation runs. Where the operation can be
/// cancelled it has an "Anuluj" button (Escape presses it too) and keeps input from
/// the other windows while it is shown, so the events pumped during the wait cannot
/// start another command; otherwise it is modeless and has no button.

#include <QDialog>

class QCloseEvent;
class QKeyEvent;
class QLabel;
class QPushButton;

namespace zefirel {

class CWaitDlg : public QDialog {
    Q_OBJECT
public:
    /// Builds the window with its text (default "Wczytywanie pliku diagnostycznego...")
    /// and, when cancellable, the "Anuluj" button.
    explicit CWaitDlg(const QString& text = QStringLiteral("Wczytywanie pliku diagnostycznego..."),
                      bool cancellable = false);
    /// Centres the window on the screen, shows it and lets it paint.
    void showCentred();
    /// The text shown.
    QString text() const;
    /// Whether "Anuluj" was pressed.
    bool cancelled() const { return m_cancelled; }

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    QLabel* m_text;
    QPushButton* m_cancel = nullptr;
    bool m_cancelled = false;
};

} // namespace zefirel
