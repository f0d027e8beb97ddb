#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>

class QDBusError;

// systemd-logind's manager on the system bus (DBUS_SYSTEM_BUS_ADDRESS is honoured).
namespace Logind {
inline const QString Service = QStringLiteral("org.freedesktop.login1");
inline const QString Path = QStringLiteral("/org/freedesktop/login1");
inline const QString Manager = QStringLiteral("org.freedesktop.login1.Manager");

QDBusMessage managerCall(const QString &method);
// Why a call failed, for the user: in Chinese, with the system's own words after it.
QString reason(const QDBusError &error);
// Why the system bus is not there, or an empty text when it is.
QString busProblem(const QDBusConnection &bus);
} // namespace Logind
