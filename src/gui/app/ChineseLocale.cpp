#include "ChineseLocale.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace ChineseLocale {

void install() {
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    // A desktop's native file chooser speaks the system's language; Qt's own follows ours.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    // Qt's own texts (message box buttons, file dialog, edit menus) from Debian's
    // qt6-translations-l10n; without them those stay English, nothing else changes.
    auto *qtTexts = new QTranslator(QCoreApplication::instance());
    if (qtTexts->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTexts);
    else
        delete qtTexts;
}

} // namespace ChineseLocale
