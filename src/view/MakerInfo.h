#pragma once

#include <QString>
#include <QUrl>

// Who makes the program and how to reach them: the frame's last status pane, the about box
// and the home-page and mail commands all read it from here.
namespace MakerInfo {
inline QString productName() {
    return QStringLiteral("Quenlo多媒体定时播放系统");
}
inline QString version() {
    return QStringLiteral("13.0.6");
}
inline QString homePage() {
    return QStringLiteral("https://horalet.example.org/");
}
inline QString mailAddress() {
    return QStringLiteral("support@horalet.example.org");
}
inline QString contactLine() {
    return QStringLiteral("Horalet 定时播放  主页: %1  邮箱: %2").arg(homePage(), mailAddress());
}
inline QUrl homePageUrl() {
    return QUrl(homePage());
}
inline QUrl mailUrl() {
    return QUrl(QStringLiteral("mailto:") + mailAddress());
}
} // namespace MakerInfo
