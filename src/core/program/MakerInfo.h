#pragma once

#include <QString>
#include <QUrl>

// Who makes the program and how to reach them: the frame's last status pane, the about box
// and the home-page and mail commands all read it from here. The page and the address are
// set when the program is built; without a page the home page is the installed manual, and
// without an address there is no mail command.
namespace MakerInfo {
QString productName();
QString version();
// The ownership line of the about box.
QString copyright();
bool hasHomePage();
// The configured home page, else the manual's address; empty when neither exists.
QString homePage();
QString mailAddress();
bool hasMailAddress();
QUrl homePageUrl();
// What a configured page opens (one without a scheme is a web address, never a file), else
// the manual; an empty address when neither is there.
QUrl homePageUrlFor(const QString &configured, const QString &manualFile);
// mailto: the address; empty without one.
QUrl mailUrl();
// The status line's contact text, plain and with links.
QString contactLine();
QString contactHtml();
// The same for a given page and address (either may be empty).
QString contactLineFor(const QString &homePage, const QString &mailAddress);
QString contactHtmlFor(const QString &homePage, const QString &mailAddress);
} // namespace MakerInfo
