#include "LogindSleepKeeper.h"

#include "Logind.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>

LogindSleepKeeper::LogindSleepKeeper(QObject *parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected())
        bus.connect(Logind::Service, Logind::Path, Logind::Manager,
                    QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool)));
}

LogindSleepKeeper::~LogindSleepKeeper() {
    release();
}

bool LogindSleepKeeper::hold(QString *error) {
    if (isHeld())
        return true;
    QDBusConnection bus = QDBusConnection::systemBus();
    QString problem = Logind::busProblem(bus);
    if (problem.isEmpty() &&
        !(bus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing))
        problem = QStringLiteral("系统总线的连接不能传递文件描述符");
    if (problem.isEmpty()) {
        QDBusMessage call = Logind::managerCall(QStringLiteral("Inhibit"));
        call << QStringLiteral("sleep:idle") << QStringLiteral("Horalet")
             << QStringLiteral("等待定时播放任务") << QStringLiteral("block");
        const QDBusMessage reply = bus.call(call, QDBus::Block, ReplyTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            const auto fd = reply.arguments().first().value<QDBusUnixFileDescriptor>();
            if (fd.isValid()) {
                m_fd = fd;
                return true;
            }
            problem = QStringLiteral("登录管理服务没有返回有效的句柄");
        } else {
            problem = Logind::reason(QDBusError(reply));
        }
    }
    if (error)
        *error = problem;
    return false;
}

void LogindSleepKeeper::release() {
    // The inhibitor lasts exactly as long as this descriptor is open.
    m_fd = QDBusUnixFileDescriptor();
}

void LogindSleepKeeper::onPrepareForSleep(bool start) {
    if (!start)
        emit resumed();
}
