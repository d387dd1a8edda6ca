#include "ui/support/BackgroundWork.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QThread>

#include <exception>

#include "support/Error.h"
#include "ui/support/MsgHelper.h"

namespace zefirel {

namespace {

bool isUserInput(QEvent::Type t) {
    switch (t) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}

/// Swallows every user input event delivered while it is installed.
class CInputSink : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override { return isUserInput(e->type()); }
};

} // namespace

void discardQueuedInput() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return;
    CInputSink sink;
    app->installEventFilter(&sink);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    app->removeEventFilter(&sink);
}

void runInBackground(const std::function<void()>& work) {
    QEventLoop loop;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        // Queued: delivered by the loop below even when the work ends before it runs.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    // What was typed or clicked while the work ran was held back by the loop; it
    // is dropped, not delivered to whatever the caller shows next.
    discardQueuedInput();
    if (failure) std::rethrow_exception(failure);
}

CBackgroundPoll::~CBackgroundPoll() {
    if (m_thread.joinable()) m_thread.join();
}

bool CBackgroundPoll::start(std::function<Finish()> work) {
    bool idle = false;
    if (!m_owner || !m_busy.compare_exchange_strong(idle, true)) return false;
    if (m_thread.joinable()) m_thread.join(); // the previous read has ended
    QPointer<QObject> owner = m_owner;
    m_thread = std::thread([this, owner, work = std::move(work)] {
        Finish finish;
        try {
            finish = work();
        } catch (IError* e) {
            adoptError(e);
        } catch (...) {
        }
        if (owner) {
            QMetaObject::invokeMethod(
                owner.data(),
                [this, finish] {
                    // Cleared before the outcome is shown: a box it opens may let the
                    // next period run, which may start the next read.
                    m_busy.store(false);
                    if (finish) finish();
                },
                Qt::QueuedConnection);
        } else {
            m_busy.store(false);
        }
    });
    return true;
}

void CBackgroundPoll::wait() {
    // Only the outcome's call is delivered here, not the owner's timers: a tick
    // meanwhile would start the next read.
    while (m_busy.load() && m_owner) {
        QCoreApplication::sendPostedEvents(m_owner.data(), QEvent::MetaCall);
        QThread::msleep(2);
    }
}

} // namespace zefirel
