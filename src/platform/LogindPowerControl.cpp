#include "LogindPowerControl.h"

#include "Logind.h"

#include <QDBusConnection>
#include <QDBusMessage>

bool LogindPowerControl::powerOff(QString *error) {
    QDBusConnection bus = QDBusConnection::systemBus();
    QString problem = Logind::busProblem(bus);
    if (problem.isEmpty()) {
        QDBusMessage call = Logind::managerCall(QStringLiteral("PowerOff"));
        call << false; // not interactive
        const QDBusMessage reply = bus.call(call, QDBus::Block, ReplyTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
        problem = Logind::reason(QDBusError(reply));
    }
    if (error)
        *error = problem;
    return false;
}
