#include "ui/app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace zefirel {

bool installPolishTranslations() {
    static bool installed = [] {
        auto* app = QCoreApplication::instance();
        if (!app) return false;
        // The translator lives as long as the application: Qt asks it on every tr().
        auto* translator = new QTranslator(app);
        const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        // The program speaks Polish whatever the desktop's language, so its dialogs do too.
        if (!translator->load(QLocale(QLocale::Polish, QLocale::Poland), QStringLiteral("qtbase"),
                              QStringLiteral("_"), folder)) {
            delete translator;
            return false;
        }
        QCoreApplication::installTranslator(translator);
        return true;
    }();
    return installed;
}

} // namespace zefirel
