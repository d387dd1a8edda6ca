#include "ui/support/MsgHelper.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "support/Error.h"
#include "ui/support/BackgroundWork.h"

namespace zefirel {

namespace {
std::function<void(bool)>& refreshHook() {
    static std::function<void(bool)> hook;
    return hook;
}
std::function<EMsgResult(const ShownMessage&)>& interceptor() {
    static std::function<EMsgResult(const ShownMessage&)> f;
    return f;
}
} // namespace

QColor winColour(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

void paintField(QLabel* field, uint32_t bgr) {
    QPalette p = field->palette();
    p.setColor(QPalette::Window, winColour(bgr));
    p.setColor(QPalette::WindowText, Qt::black);
    field->setPalette(p);
}

uint32_t fieldBackground(const QLabel* field) {
    const QColor c = field->palette().color(QPalette::Window);
    return static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
           (static_cast<uint32_t>(c.blue()) << 16);
}

QPushButton* namedButton(QWidget* parent, const QString& text, const char* name) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

CWaitCursor::CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
CWaitCursor::~CWaitCursor() { end(); }

void CWaitCursor::end() {
    if (!m_active) return;
    m_active = false;
    QApplication::restoreOverrideCursor();
}

CCursorLift::CCursorLift() {
    while (const QCursor* c = QApplication::overrideCursor()) {
        m_shapes.push_back(c->shape());
        QApplication::restoreOverrideCursor();
    }
}

CCursorLift::~CCursorLift() {
    for (auto it = m_shapes.rbegin(); it != m_shapes.rend(); ++it) QApplication::setOverrideCursor(QCursor(*it));
}

void setModalRefreshHook(std::function<void(bool slow)> hook) { refreshHook() = std::move(hook); }

void modalRefresh(bool slow) {
    if (refreshHook()) refreshHook()(slow);
}

void setMessageInterceptor(std::function<EMsgResult(const ShownMessage&)> f) { interceptor() = std::move(f); }

namespace {
/// The one modal box: OK (or OK and Cancel, or Yes and No for a question).
EMsgResult showBox(QWidget* parent, const QString& text, const QString& caption, EMsgStyle style, bool okCancel) {
    const CCursorLift lift;
    modalRefresh(true);
    EMsgResult result = EMsgResult::Ok;
    if (interceptor()) {
        result = interceptor()(ShownMessage{text, caption, style});
    } else {
        // A question may lead to a write: keys typed before it appeared (while an
        // operation held the window) must not answer it.
        if (style == EMsgStyle::Question) discardQueuedInput();
        QMessageBox box(parent);
        box.setWindowTitle(caption);
        box.setText(text);
        switch (style) {
        case EMsgStyle::Error: box.setIcon(QMessageBox::Critical); break;
        case EMsgStyle::Info: box.setIcon(QMessageBox::Information); break;
        case EMsgStyle::Question: box.setIcon(QMessageBox::Question); break;
        // A plain message informs: it gets the information icon, so no box stands
        // without one.
        case EMsgStyle::Plain: box.setIcon(QMessageBox::Information); break;
        }
        if (style == EMsgStyle::Question) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.button(QMessageBox::Yes)->setText(QStringLiteral("Tak"));
            box.button(QMessageBox::No)->setText(QStringLiteral("Nie"));
        } else if (okCancel) {
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.button(QMessageBox::Cancel)->setText(QStringLiteral("Anuluj"));
        } else {
            box.setStandardButtons(QMessageBox::Ok);
        }
        const int pressed = box.exec();
        if (style == EMsgStyle::Question) result = pressed == QMessageBox::Yes ? EMsgResult::Yes : EMsgResult::No;
        else if (okCancel) result = pressed == QMessageBox::Ok ? EMsgResult::Ok : EMsgResult::Cancel;
    }
    modalRefresh(false);
    return result;
}
} // namespace

EMsgResult zefMessageBox(QWidget* parent, const QString& text, const QString& caption, EMsgStyle style) {
    return showBox(parent, text, caption, style, false);
}

EMsgResult zefOkCancelBox(QWidget* parent, const QString& text, EMsgStyle style) {
    return showBox(parent, text, QString(APP_CAPTION), style, true);
}

void showRecordingDamage(QWidget* parent, const std::string& path, const RecordingReadStats& stats) {
    if (stats.linesSkipped != 0)
        zefMessageBox(parent, QString::fromStdString(recordingDamageText(path, stats)), QString(APP_CAPTION),
                      EMsgStyle::Info);
}

void showCaughtError(QWidget* parent, const QString& headline, const char* where, IError* e) {
    const auto owned = adoptError(e);
    if (!owned) {
        showCatchAll(parent, where);
        return;
    }
    const QString name = QString::fromUtf8(where);
    QString text;
    if (!headline.isEmpty()) text = qstr(errorReportText(headline.toStdString(), where, *owned));
    else text = QStringLiteral("Szczegóły: ") + name + QLatin1Char('\n') + qstr(owned->format());
    zefMessageBox(parent, text, QString(APP_CAPTION), EMsgStyle::Error);
}

void runOnGuiThread(QObject* ctx, std::function<void()> f) {
    if (QThread::currentThread() == ctx->thread()) f();
    else QMetaObject::invokeMethod(ctx, std::move(f), Qt::QueuedConnection);
}

void showCatchAll(QWidget* parent, const char* where) {
    zefMessageBox(parent, QString::fromUtf8(where) + QStringLiteral("\ncatch(...)"), QString(APP_CAPTION),
                  EMsgStyle::Error);
}

} // namespace zefirel
