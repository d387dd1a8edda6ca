#pragma once
/// CWaitDlg: the modeless "Zefirel" window with one line of text, shown without a
/// parent while a long controller or file operation runs.

#include <QDialog>

class QCloseEvent;
class QKeyEvent;
class QLabel;

namespace zefirel {

class CWaitDlg : public QDialog {
    Q_OBJECT
public:
    /// Builds the window with its text (default "Wczytywanie pliku diagnostycznego...").
    explicit CWaitDlg(const QString& text = QStringLiteral("Wczytywanie pliku diagnostycznego..."));
    /// Centres the window on the screen, shows it and lets it paint.
    void showCentred();
    /// The text shown.
    QString text() const;

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    QLabel* m_text;
};

} // namespace zefirel
