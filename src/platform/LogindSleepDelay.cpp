#include "LogindSleepDelay.h"

#include "Logind.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

LogindSleepDelay::LogindSleepDelay(QObject *parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected())
        bus.connect(Logind::Service, Logind::Path, Logind::Manager,
                    QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool)));
}

LogindSleepDelay::~LogindSleepDelay() {
    release();
}

void LogindSleepDelay::setWanted(bool wanted) {
    m_wanted = wanted;
    if (wanted)
        take();
    else
        release();
}

void LogindSleepDelay::release() {
    // The inhibitor lasts exactly as long as this descriptor is open.
    m_fd = QDBusUnixFileDescriptor();
}

void LogindSleepDelay::take() {
    if (isHeld() || m_asking)
        return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!Logind::busProblem(bus).isEmpty() ||
        !(bus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing))
        return; // without it the alarm is still set; the sleep may just come first
    QDBusMessage call = Logind::managerCall(QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Horalet")
         << QStringLiteral("设置定时开机时间") << QStringLiteral("delay");
    m_asking = true;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        m_asking = false;
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        if (reply.isValid() && m_wanted)
            m_fd = reply.value();
    });
}

void LogindSleepDelay::onPrepareForSleep(bool start) {
    if (start) {
        emit suspending();
        return;
    }
    if (m_wanted)
        take();
    emit resumed();
}
