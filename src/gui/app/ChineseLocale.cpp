#include "ChineseLocale.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

// Texts Qt's Chinese catalogue lacks, which the file dialog shows in its type column
// ("Folder", "mp3 File"): asked first, so Qt's catalogue answers everything else.
class MissingQtTexts : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *,
                      int) const override {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0 &&
            qstrcmp(context, "QFileIconProvider") != 0)
            return {};
        static const std::pair<const char *, const char *> texts[] = {
            {"Folder", "文件夹"},     {"File Folder", "文件夹"}, {"%1 File", "%1 文件"},
            {"File", "文件"},         {"Drive", "驱动器"},       {"Unknown", "未知"},
            {"Shortcut", "快捷方式"}, {"Alias", "别名"},
        };
        for (const auto &[english, chinese] : texts)
            if (qstrcmp(sourceText, english) == 0)
                return QString::fromUtf8(chinese);
        return {};
    }
};

} // namespace

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
    QCoreApplication::installTranslator(new MissingQtTexts(QCoreApplication::instance()));
}

} // namespace ChineseLocale
