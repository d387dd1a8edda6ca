#pragma once
/// One QApplication per GUI test program, made on first use. Tests that need Qt call
/// qtApp() before creating widgets, fonts or pixmaps. Without a platform chosen in
/// the environment the offscreen platform is used.

#include <QApplication>
#include <QByteArray>

#include "ui/app/NumberFormat.h"

namespace zefirel::test {

inline QApplication& qtApp() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    static int argc = 1;
    static char name[] = "zefirel_gui_tests";
    static char* argv[] = {name, nullptr};
    // Lives until the process ends: widgets of other tests may still refer to it.
    static QApplication* app = new QApplication(argc, argv);
    // As the program does right after making its application object.
    useProgramNumberFormat();
    return *app;
}

} // namespace zefirel::test
