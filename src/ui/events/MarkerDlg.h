#pragma once
/// CMarkerDlg: the small window of a new marker: where it goes (sample and time)
/// and a note the installer may type ("szarpnięcie przy 3000", ...). OK with an
/// empty note still adds the marker; "Anuluj" adds nothing.

#include <QDialog>
#include <QString>

#include <cstdint>

class QLineEdit;

namespace zefirel {

/// The key that drops a marker, and its name as the menu and README write it.
inline constexpr int MARKER_KEY = Qt::Key_F9;
inline constexpr const char* MARKER_KEY_TEXT = "F9";
/// Longest note kept (characters).
inline constexpr int MARKER_NOTE_MAX = 200;

class CMarkerDlg : public QDialog {
    Q_OBJECT
public:
    /// live: the marker goes to the newest sample of a recording being made (else
    /// to the cursor of a replayed or loaded recording).
    CMarkerDlg(uint32_t sampleNo, bool live, QWidget* parent = nullptr);
    /// The note typed, trimmed; tabs and line breaks become spaces.
    QString note() const;
    QLineEdit* noteEdit() const { return m_note; }

private:
    QLineEdit* m_note;
};

} // namespace zefirel
