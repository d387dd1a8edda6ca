#pragma once
/// Manners every dialog of the program shares: Ctrl+W closes a dialog as Escape
/// does, list headers are wide enough for their titles, and a note line tells the
/// installer what a button did (and what it did not do yet).

class QLabel;
class QTableWidget;
class QString;
class QWidget;

namespace zefirel {

/// Makes Ctrl+W (the platform's "close" keys) act as Escape in every dialog of the
/// application, message boxes and file dialogs included: the key goes to the
/// dialog as an Escape press, so a dialog that asks before closing asks here too,
/// and one that ignores Escape (the wait window) ignores Ctrl+W. Call once, after
/// the application object exists.
void installDialogCloseKeys();

/// Widens each visible column of the table to at least what its header title and
/// its cells need (never narrower than it is).
void fitColumnsToHeaders(QTableWidget* table);

/// A note line for a dialog (word-wrapped, hidden while it is empty).
QLabel* makeNoteLine(QWidget* parent, const char* name);
/// Shows text in a note line (an empty text hides it).
void showNote(QLabel* note, const QString& text);

} // namespace zefirel
