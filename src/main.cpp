// zefirel: the windowed workshop program for LPG controllers.
#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "link/Threads.h"
#include "support/Preferences.h"
#include "support/Version.h"
#include "support/StartupTrace.h"
#include "ui/app/NumberFormat.h"
#include "ui/app/Zefirel.h"

namespace {

/// The program's icon: the installed one, or the same picture drawn here when the
/// program runs from its build folder.
QIcon programIcon() {
    const QString name = QStringLiteral("pl.zefirel.Zefirel");
    const QString installed =
        QApplication::applicationDirPath() + QStringLiteral("/../share/icons/hicolor/128x128/apps/") + name + ".png";
    if (QFile::exists(installed)) return QIcon(installed);
    if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x1b, 0x5e, 0x9e));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 13, 13);
    p.setBrush(QColor(0xff, 0xd2, 0x3f));
    const QPointF z[] = {{16, 11}, {48, 11}, {48, 17.5}, {27, 40}, {48, 40}, {48, 46}, {16, 46}, {16, 39.5}, {37, 17.5}, {16, 17.5}};
    p.drawPolygon(z, 10);
    p.setPen(Qt::white);
    QFont f;
    f.setBold(true);
    f.setPixelSize(10);
    p.setFont(f);
    p.drawText(QRectF(0, 47, 64, 14), Qt::AlignCenter, QStringLiteral("LPG"));
    return QIcon(pm);
}

} // namespace

/// What `zefirel --help` prints (also the source of its manual page).
const char* const HELP_TEXT =
    "Użycie: zefirel [OPCJA]\n"
    "\n"
    "Warsztatowy program do sekwencyjnych instalacji LPG: diagnostyka na żywo\n"
    "(odczyty i wykresy), nagrywanie i odtwarzanie, przełączanie benzyna/LPG/auto,\n"
    "ustawienia sterownika i pliki samochodów, automatyczne ustawienie głównej\n"
    "poprawki, mapa wtrysków, poprawki czasów, kody błędów, kopia EEPROM,\n"
    "kalibracja czujnika poziomu gazu i kolejność wtryskiwaczy.\n"
    "\n"
    "Program sam szuka sterownika: najpierw na ostatnio używanym porcie, potem na\n"
    "portach 1 do 7 (/dev/ttyUSB0.., /dev/ttyACM0.., /dev/ttyS0..).\n"
    "\n"
    "  --help      ten opis\n"
    "  --version   wersja programu\n"
    "\n"
    "Zmienne środowiska:\n"
    "  ZEFIREL_COM<n>   urządzenie portu n (1..7), np.\n"
    "                   ZEFIREL_COM1=/dev/serial/by-id/usb-FTDI_FT232R-if00-port0\n"
    "  XDG_DATA_HOME    nagrania, obrazy EEPROM i pliki samochodów trafiają do\n"
    "                   $XDG_DATA_HOME/Zefirel (domyślnie ~/.local/share/Zefirel)\n"
    "  XDG_CONFIG_HOME  ostatni port i ostatni plik samochodu: $XDG_CONFIG_HOME/Zefirel\n"
    "\n"
    "Użytkownik musi należeć do grupy dialout, aby otworzyć port szeregowy.\n";

int main(int argc, char** argv) {
    // Asked alone, these answer before any window or display is needed.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("zefirel %s\n", zefirel::ZEFIREL_VERSION);
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(HELP_TEXT, stdout);
        return 0;
    }
    zefirel::startupMark("main");
    // A controller cable that vanishes must not end the program through SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    // Made with the desktop's locale; numbers keep their decimal point regardless.
    zefirel::useProgramNumberFormat();
    QApplication::setOrganizationName(QStringLiteral("Zefirel"));
    QApplication::setApplicationName(QStringLiteral("Zefirel"));
    QApplication::setDesktopFileName(QStringLiteral("pl.zefirel.Zefirel"));
    QApplication::setWindowIcon(programIcon());

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
