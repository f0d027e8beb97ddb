#include "LogindPowerControl.h"

#include "Logind.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

void LogindPowerControl::powerOff(Answer answer) {
    QDBusConnection bus = QDBusConnection::systemBus();
    const QString problem = Logind::busProblem(bus);
    if (!problem.isEmpty()) {
        // Answered from the event loop all the same, so callers see one order of events.
        QTimer::singleShot(0, [answer = std::move(answer), problem] { answer(false, problem); });
        return;
    }
    QDBusMessage call = Logind::managerCall(QStringLiteral("PowerOff"));
    call << false; // not interactive
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, m_replyTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [answer = std::move(answer)](QDBusPendingCallWatcher *done) {
                         done->deleteLater();
                         const QDBusPendingReply<> reply = *done;
                         if (reply.isError())
                             answer(false, Logind::reason(reply.error()));
                         else
                             answer(true, QString());
                     });
}
