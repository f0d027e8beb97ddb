#include "ScreenSaverInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>

bool ScreenSaverInhibitor::keepAwake() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.ScreenSaver"),
        QStringLiteral("/org/freedesktop/ScreenSaver"),
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("Inhibit"));
    call << QStringLiteral("horalet") << QStringLiteral("定时播放");
    QDBusReply<quint32> reply = bus.call(call, QDBus::Block, 3000);
    if (!reply.isValid())
        return false;
    m_cookie = reply.value();
    return true;
}
