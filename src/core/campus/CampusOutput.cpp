#include "CampusOutput.h"

#include "CampusControl.h"
#include "playback/MediaPlayer.h"

#include <algorithm>
#include <utility>

namespace {

const QString kUnreachable = QStringLiteral("广播服务器不可用，已在本机播放");
const QString kNoSink = QStringLiteral("校园广播的声音输出不可用，已在本机播放");
const QString kNoRoom = QStringLiteral("分区内没有在线的终端，已在本机播放");

QString withDetail(const QString &text, const QString &detail) {
    return detail.isEmpty() ? text : text + QStringLiteral("（") + detail + QStringLiteral("）");
}

} // namespace

CampusOutput::CampusOutput(MediaPlayer &player, MasterVolume &local, MasterVolume &campus,
                           CampusControl &control, QObject *parent)
    : QObject(parent), m_player(player), m_local(local), m_campus(campus), m_control(control) {
    // The control connection gives up by itself after RouteTimeoutMs; this only catches one
    // that never calls back at all.
    m_guard.setSingleShot(true);
    m_guard.setInterval(RouteTimeoutMs + 1000);
    connect(&m_guard, &QTimer::timeout, this, [this] {
        if (m_pending)
            playLocally(m_task, withDetail(kUnreachable, QStringLiteral("服务器未应答")),
                        kUnreachable);
    });
}

void CampusOutput::setConfig(const CampusConfig &config) {
    m_config = config;
    if (m_config.enabled())
        return;
    if (m_pending || m_onCampus)
        playLocally(m_task, QString(), QString());
    setStatus(QString());
}

void CampusOutput::setSinkState(bool loaded, const QString &failure) {
    m_sinkLoaded = loaded;
    m_sinkFailure = loaded ? QString() : failure;
    // The rest of the task goes where it can still be heard; a task still waiting for its
    // rooms has its reason told, one already heard in them has had its row.
    if (!loaded && (m_pending || m_onCampus))
        playLocally(m_task, m_pending ? withDetail(kNoSink, m_sinkFailure) : QString(), kNoSink);
}

void CampusOutput::setCampusDevice(const QString &device) {
    m_campusDevice = device;
    if (m_onCampus)
        m_player.setAudioDevice(device);
}

void CampusOutput::routeTask(const QString &taskName) {
    // Whatever was asked before is answered for a task that is over.
    const quint64 serial = ++m_serial;
    m_pending.reset();
    m_guard.stop();
    m_task = taskName;

    if (!m_config.enabled()) {
        playLocally(taskName, QString(), QString());
        return;
    }
    // The server first: the sink is loaded only once the server is seen reading its pipe.
    if (!m_control.isConnected()) {
        playLocally(taskName, kUnreachable, kUnreachable);
        return;
    }
    if (!m_sinkLoaded) {
        playLocally(taskName, withDetail(kNoSink, m_sinkFailure), kNoSink);
        return;
    }

    const CampusRoute route =
        routeFor(m_config, taskName, m_control.rooms(), m_control.uncontrolledRooms());
    // Every room that would hear it is switched off or cut off: the bell is heard here.
    const bool anyOnline = std::any_of(
        m_control.rooms().cbegin(), m_control.rooms().cend(),
        [&](const CampusRoom &room) { return room.connected && route.unmute.contains(room.id); });
    if (!anyOnline) {
        playLocally(taskName, withDetail(kNoRoom, route.logText), kNoRoom);
        return;
    }
    m_pending = serial;
    m_guard.start();
    m_control.applyRoute(route.unmute, route.mute, RouteTimeoutMs, this,
                         [this, serial, taskName, route](bool ok, const QString &failure) {
                             if (m_pending != serial)
                                 return;
                             if (ok)
                                 playOnCampus(taskName, route);
                             else
                                 playLocally(taskName, withDetail(kUnreachable, failure),
                                             kUnreachable);
                         });
}

bool CampusOutput::playsOnCampus() const {
    return m_onCampus;
}

void CampusOutput::playOnCampus(const QString &taskName, const CampusRoute &route) {
    m_pending.reset();
    m_guard.stop();
    m_onCampus = true;
    m_player.setAudioDevice(m_campusDevice);
    emit routed(taskName, route);
    setStatus(QStringLiteral("校园广播：") +
              (route.zones.isEmpty() ? QStringLiteral("全部") : route.zones.join(u'、')));
    releaseWaiters();
}

void CampusOutput::playLocally(const QString &taskName, const QString &reason,
                               const QString &status) {
    m_pending.reset();
    m_guard.stop();
    m_onCampus = false;
    m_player.setAudioDevice(QString());
    if (!reason.isEmpty())
        emit playsLocally(taskName, reason);
    setStatus(status);
    releaseWaiters();
}

void CampusOutput::releaseWaiters() {
    if (m_waiters.isEmpty())
        return;
    // The latest level is the one that counts; it serves every waiter, as one set would. A
    // waiter may start the next item, which may wait again: the list is taken first.
    const QList<Waiter> waiters = std::exchange(m_waiters, {});
    target().SetMasterVolumeThen(waiters.constLast().value, this, [waiters] {
        for (const Waiter &waiter : waiters) {
            if (waiter.done && waiter.context)
                waiter.done();
        }
    });
}

void CampusOutput::setStatus(const QString &text) {
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged(text);
}

MasterVolume::Reading CampusOutput::GetMasterVolume() {
    return target().GetMasterVolume();
}

void CampusOutput::SetMasterVolume(int value) {
    if (m_pending)
        m_waiters.append({value, nullptr, {}});
    else
        target().SetMasterVolume(value);
}

void CampusOutput::SetMasterVolumeThen(int value, QObject *context, std::function<void()> done) {
    // The item is tried again because its sound could not be played on the campus sink (gone
    // with a restarted sound server): the rest of the task is heard here rather than nowhere.
    if (!m_pending && m_onCampus && m_player.soundOutputLost()) {
        m_sinkLoaded = false;
        playLocally(m_task, withDetail(kNoSink, QStringLiteral("播放时无法打开")), kNoSink);
    }
    if (m_pending)
        m_waiters.append({value, context, std::move(done)});
    else
        target().SetMasterVolumeThen(value, context, std::move(done));
}

void CampusOutput::GetMasterVolumeThen(QObject *context, std::function<void(Reading)> done) {
    target().GetMasterVolumeThen(context, std::move(done));
}
