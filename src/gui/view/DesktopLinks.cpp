#include "DesktopLinks.h"

#include "program/HelpTargets.h"
#include "program/MakerInfo.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>

DesktopLinks::DesktopLinks(QWidget *parent)
    : m_parent(parent), m_open([](const QUrl &url) { return QDesktopServices::openUrl(url); }),
      m_tell([](QWidget *parent, const QString &text) {
          QApplication::beep();
          QMessageBox::warning(parent, QStringLiteral("Horalet"), text);
      }) {}

QString DesktopLinks::failureText(int code) {
    QString reason;
    switch (code) {
    case FileNotFound:
        reason = QStringLiteral("The specified file was not found.");
        break;
    case NoAssociation:
        reason = QStringLiteral(
            "There is no application associated\nwith the given filename extension.");
        break;
    default:
        reason = QStringLiteral("Unknown Error (%1) occurred.").arg(code);
        break;
    }
    return QStringLiteral("Unable to open hyperlink:\n\n") + reason;
}

void DesktopLinks::fail(int code) {
    m_tell(m_parent, failureText(code));
}

bool DesktopLinks::open(const QUrl &url) {
    if (url.isEmpty()) {
        fail(FileNotFound);
        return false;
    }
    if (!m_open(url)) {
        fail(NoAssociation);
        return false;
    }
    return true;
}

void DesktopLinks::openHelp() {
    const QString file = HelpTargets::helpFile(QCoreApplication::applicationDirPath());
    open(file.isEmpty() ? QUrl() : QUrl::fromLocalFile(file));
}

void DesktopLinks::openHomePage() {
    open(MakerInfo::homePageUrl());
}

void DesktopLinks::sendMail() {
    if (MakerInfo::hasMailAddress())
        open(MakerInfo::mailUrl());
}
