#include "ui/bench/BenchWork.h"

#include <QEventLoop>
#include <QProgressDialog>

#include <exception>
#include <thread>

namespace zefirel {

bool runWithProgress(QWidget* parent, const QString& label, const BenchJob& job) {
    QProgressDialog dlg(label, QStringLiteral("Anuluj"), 0, 100, parent);
    dlg.setObjectName(QStringLiteral("benchProgress"));
    dlg.setWindowTitle(QStringLiteral("Zefirel"));
    dlg.setWindowModality(Qt::WindowModal);
    dlg.setMinimumDuration(300);
    dlg.setAutoClose(false);
    dlg.setAutoReset(false);
    std::atomic<bool> stop{false};
    QObject::connect(&dlg, &QProgressDialog::canceled, &dlg, [&stop] { stop = true; });
    QEventLoop loop;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            job([&dlg](int percent) {
                QMetaObject::invokeMethod(&dlg, [&dlg, percent] { dlg.setValue(percent); }, Qt::QueuedConnection);
            }, stop);
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
    return !stop.load();
}

} // namespace zefirel
