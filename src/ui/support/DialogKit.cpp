#include "ui/support/DialogKit.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QTableWidget>

namespace zefirel {

namespace {

/// Turns Ctrl+W inside a dialog into the Escape press that dialog would get.
class CDialogCloseKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->matches(QKeySequence::Close)) return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || !qobject_cast<QDialog*>(widget->window())) return false;
        // Claims the key before any shortcut; the press itself becomes Escape.
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        // A key press reaches the focus widget and then each parent in turn: only
        // the first delivery is turned into Escape.
        if (widget != QApplication::focusWidget() && widget != widget->window()) return false;
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(widget, &escape);
        return true;
    }
};

} // namespace

void installDialogCloseKeys() {
    static CDialogCloseKeys* filter = nullptr;
    if (filter || !qApp) return;
    filter = new CDialogCloseKeys(qApp);
    qApp->installEventFilter(filter);
}

void fitColumnsToHeaders(QTableWidget* table) {
    for (int i = 0; i < table->columnCount(); ++i) {
        if (table->isColumnHidden(i)) continue;
        const int given = table->columnWidth(i);
        table->resizeColumnToContents(i); // the title's and the cells' width
        if (table->columnWidth(i) < given) table->setColumnWidth(i, given);
    }
}

QLabel* makeNoteLine(QWidget* parent, const char* name) {
    auto* note = new QLabel(parent);
    note->setObjectName(QLatin1String(name));
    note->setWordWrap(true);
    note->setTextFormat(Qt::PlainText);
    note->hide();
    return note;
}

void showNote(QLabel* note, const QString& text) {
    note->setText(text);
    note->setVisible(!text.isEmpty());
}

} // namespace zefirel
