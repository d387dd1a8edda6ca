// zefirel: the windowed workshop program for LPG controllers.
#include <QApplication>
#include <QIcon>
#include <csignal>

#include "link/Threads.h"
#include "support/Preferences.h"
#include "ui/app/Zefirel.h"

int main(int argc, char** argv) {
    // A controller cable that vanishes must not end the program through SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Zefirel"));
    QApplication::setApplicationName(QStringLiteral("Zefirel"));
    QApplication::setDesktopFileName(QStringLiteral("pl.zefirel.Zefirel"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("pl.zefirel.Zefirel"),
                                                 QIcon(QStringLiteral(":/zefirel.png"))));

    zefirel::CIniPreferences prefs;
    int rc = 0;
    {
        zefirel::CZefirel zefirel(&prefs);
        if (!zefirel.initInstance()) return 1;
        rc = app.exec();
        zefirel.exitInstance();
    }
    // Worker threads are never waited for at the end: the process ends here.
    (void)rc;
    zefirel::CLPGThreadManager::quickExit();
}
