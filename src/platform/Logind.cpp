#include "Logind.h"

#include "BusProbe.h"

#include <QDBusError>

namespace Logind {

QDBusMessage managerCall(const QString &method) {
    return QDBusMessage::createMethodCall(Service, Path, Manager, method);
}

QString reason(const QDBusError &error) {
    QString what;
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::NoServer:
        what = QStringLiteral("系统中没有运行登录管理服务 (systemd-logind)");
        break;
    case QDBusError::AccessDenied:
        what = QStringLiteral("没有权限");
        break;
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        what = QStringLiteral("登录管理服务没有响应");
        break;
    case QDBusError::Disconnected:
        what = QStringLiteral("与系统总线的连接已断开");
        break;
    default:
        if (error.name() ==
            QLatin1String("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"))
            what = QStringLiteral("需要管理员授权");
        else if (error.name().startsWith(QLatin1String("org.freedesktop.login1.")))
            what = QStringLiteral("登录管理服务拒绝了请求");
        else
            what = QStringLiteral("请求失败");
        break;
    }
    const QString detail = error.message().isEmpty() ? error.name() : error.message();
    return detail.isEmpty() ? what : what + QStringLiteral("（") + detail + QStringLiteral("）");
}

QString busProblem(const QDBusConnection &bus) {
    // A bus that did not answer at start-up was put out of reach: say why, not how it failed.
    if (const QString probed = BusProbe::problem(BusProbe::Bus::System); !probed.isEmpty())
        return probed;
    if (bus.isConnected())
        return {};
    const QString detail = bus.lastError().message();
    return QStringLiteral("无法连接系统总线") +
           (detail.isEmpty() ? QString() : QStringLiteral("（") + detail + QStringLiteral("）"));
}

} // namespace Logind
