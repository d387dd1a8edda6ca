#pragma once
/// The shared message helper: every message box of the program is shown through
/// it, captioned "Zefirel". While diagnostics draw, it slows the display refresh
/// around the modal box so the charts do not redraw under it. Error objects caught
/// at a user-interface handler are shown with showCaughtError / showCatchAll.

#include <QColor>
#include <QString>
#include <functional>
#include <vector>

#include "diag/Recording.h"
#include "link/Host.h"
#include "support/Error.h"

class QLabel;
class QPushButton;
class QObject;
class QWidget;

namespace zefirel {

/// Converts a Windows colour value 0x00BBGGRR into a QColor.
QColor winColour(uint32_t bgr);
/// Paints a field's background (0x00BBGGRR) with black text.
void paintField(QLabel* field, uint32_t bgr);
/// The background a field is painted with, as 0x00BBGGRR.
uint32_t fieldBackground(const QLabel* field);

/// A push button with an object name that never becomes the default by focus.
QPushButton* namedButton(QWidget* parent, const QString& text, const char* name);

/// Shows the wait cursor until end() or the end of its lifetime. Handlers end it
/// before they show the outcome, so no message box appears under the wait cursor.
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
    /// Restores the cursor now (once; later calls and the destructor do nothing).
    void end();

private:
    bool m_active = true;
};

/// Runs a controller operation under the wait cursor and returns its result.
template <class F>
bool underWaitCursor(F&& f) {
    CWaitCursor cursor;
    return f();
}

/// Takes every override cursor (a wait cursor) off for its lifetime and puts them
/// back after: for a box or dialog that an operation opens while it waits.
class CCursorLift {
public:
    CCursorLift();
    ~CCursorLift();
    CCursorLift(const CCursorLift&) = delete;
    CCursorLift& operator=(const CCursorLift&) = delete;

private:
    std::vector<Qt::CursorShape> m_shapes;
};

/// Shows a modal message box and returns the button pressed. A wait cursor still
/// set by an operation that shows a message deep inside (a handshake during the
/// reconnect) is lifted for the box and put back after it.
EMsgResult zefMessageBox(QWidget* parent, const QString& text, const QString& caption = QString(APP_CAPTION),
                         EMsgStyle style = EMsgStyle::Plain);

/// Shows a modal box with OK and Cancel ("Anuluj"), captioned "Zefirel"; returns Ok
/// or Cancel (an interceptor answers for the user as for any box).
EMsgResult zefOkCancelBox(QWidget* parent, const QString& text, EMsgStyle style = EMsgStyle::Info);

/// Registers what the helper runs around a modal box: slow(true) before, slow(false)
/// after. The device document installs it while diagnostics may run.
void setModalRefreshHook(std::function<void(bool slow)> hook);
/// Runs the registered hook (nothing when none): the slow or normal refresh.
void modalRefresh(bool slow);

/// A message that the helper would have shown (text, caption and style).
struct ShownMessage {
    QString text;
    QString caption;
    EMsgStyle style = EMsgStyle::Plain;
};
/// Replaces the message box by a function (tests, scripted runs): the function gets
/// the message and answers for the user. Pass an empty function to restore boxes.
void setMessageInterceptor(std::function<EMsgResult(const ShownMessage&)> interceptor);

/// Tells the installer about the damaged lines of a recording just read: a box
/// naming the skipped lines (the first one's number) when there were any, nothing
/// for a whole file.
void showRecordingDamage(QWidget* parent, const std::string& path, const RecordingReadStats& stats);

/// Shows a caught error and deletes e: the headline (when given), "Szczegóły: " +
/// where (the catching operation, "Class::method()") and the error's text.
void showCaughtError(QWidget* parent, const QString& headline, const char* where, IError* e);
/// Shows where + "catch(...)" for an exception that is not an error object.
void showCatchAll(QWidget* parent, const char* where);

/// Runs a handler and shows an error object or any other exception escaping it,
/// naming the handler (where, "Class::method()").
template <class F>
void guarded(QWidget* parent, const char* where, F&& f) {
    try {
        f();
    } catch (IError* e) {
        showCaughtError(parent, QString(), where, e);
    } catch (...) {
        showCatchAll(parent, where);
    }
}

/// Runs f on the GUI thread of ctx: at once when called there, otherwise queued (f
/// is dropped when ctx is gone by then).
void runOnGuiThread(QObject* ctx, std::function<void()> f);

/// Converts a UTF-8 std::string to QString (the core's texts are UTF-8).
inline QString qstr(const std::string& s) { return QString::fromStdString(s); }

} // namespace zefirel
