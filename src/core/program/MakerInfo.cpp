#include "MakerInfo.h"

#include "BuildInfo.h"
#include "HelpTargets.h"

#include <QCoreApplication>

namespace MakerInfo {

namespace {
QString configuredHomePage() {
    return QStringLiteral(HORALET_HOMEPAGE);
}
} // namespace

QString productName() {
    return QStringLiteral("Quenlo多媒体定时播放系统");
}

QString version() {
    return QStringLiteral(HORALET_VERSION);
}

QString copyright() {
    return QStringLiteral(HORALET_COPYRIGHT);
}

bool hasHomePage() {
    return !configuredHomePage().isEmpty();
}

QUrl homePageUrlFor(const QString &configured, const QString &manualFile) {
    const QString page = configured.trimmed();
    if (!page.isEmpty()) {
        if (page.contains(QLatin1String("://")))
            return QUrl(page);
        return QUrl(QStringLiteral("http://") + page);
    }
    return manualFile.isEmpty() ? QUrl() : QUrl::fromLocalFile(manualFile);
}

QUrl homePageUrl() {
    return homePageUrlFor(configuredHomePage(),
                          hasHomePage()
                              ? QString()
                              : HelpTargets::manualFile(QCoreApplication::applicationDirPath()));
}

QString homePage() {
    return homePageUrl().toString();
}

QString mailAddress() {
    return QStringLiteral(HORALET_SUPPORT_MAIL);
}

bool hasMailAddress() {
    return !mailAddress().isEmpty();
}

QUrl mailUrl() {
    return hasMailAddress() ? QUrl(QStringLiteral("mailto:") + mailAddress()) : QUrl();
}

QString contactLineFor(const QString &homePage, const QString &mailAddress) {
    QString line = QStringLiteral("Horalet 定时播放");
    if (!homePage.isEmpty())
        line += QStringLiteral("  主页: %1").arg(homePage);
    if (!mailAddress.isEmpty())
        line += QStringLiteral("  邮箱: %1").arg(mailAddress);
    return line;
}

QString contactHtmlFor(const QString &homePage, const QString &mailAddress) {
    QString html = QStringLiteral("Horalet 定时播放");
    const QString link = QStringLiteral("<a href=\"%1\">%2</a>");
    if (!homePage.isEmpty()) {
        const QString target = homePageUrlFor(homePage, {}).toString();
        html += QStringLiteral("&nbsp;&nbsp;主页: ") +
                link.arg(target.toHtmlEscaped(), homePage.toHtmlEscaped());
    } else {
        // Without a page of the maker's, the link leads to the manual (the home-page command).
        html += QStringLiteral("&nbsp;&nbsp;") +
                link.arg(QStringLiteral("horalet:manual"), QStringLiteral("软件使用说明"));
    }
    if (!mailAddress.isEmpty()) {
        const QString mailto = QStringLiteral("mailto:") + mailAddress;
        html += QStringLiteral("&nbsp;&nbsp;邮箱: ") +
                link.arg(mailto.toHtmlEscaped(), mailAddress.toHtmlEscaped());
    }
    return html;
}

QString contactLine() {
    return contactLineFor(configuredHomePage(), mailAddress());
}

QString contactHtml() {
    return contactHtmlFor(configuredHomePage(), mailAddress());
}

} // namespace MakerInfo
