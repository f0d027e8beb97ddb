#include "CampusOutput.h"

#include "CampusControl.h"
#include "CampusPipe.h"
#include "playback/MediaPlayer.h"

#include <algorithm>
#include <utility>

namespace {

const QString kUnreachable = QStringLiteral("广播服务器不可用，已在本机播放");
const QString kNoSink = QStringLiteral("校园广播的声音输出不可用，已在本机播放");
const QString kNoRoom = QStringLiteral("分区内没有在线的终端，已在本机播放");
const QString kLost = QStringLiteral("与广播服务器的连接已断开，余下部分在本机播放");

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
                        kUnreachable, true);
    });
    m_heartbeat.setInterval(HeartbeatMs);
    connect(&m_heartbeat, &QTimer::timeout, this, [this] {
        if (std::exchange(m_probing, true))
            return;
        // The connection drops itself on no answer; the loss is handled where it is told.
        m_control.refresh(HeartbeatTimeoutMs, this,
                          [this](bool, const QString &) { m_probing = false; });
    });
    connect(&m_control, &CampusControl::connectionChanged, this,
            &CampusOutput::onConnectionChanged);
    connect(&m_control, &CampusControl::connectionFailureChanged, this, &CampusOutput::updateState);
    connect(&m_control, &CampusControl::roomsChanged, this, [this] {
        updateState();
        updateDelivery();
        // The rooms come back some moments after the server does.
        retakeRooms();
    });
}

void CampusOutput::setConfig(const CampusConfig &config) {
    m_config = config;
    updateState();
    if (m_config.enabled())
        return;
    if (m_pending || m_onCampus) {
        const bool moving = m_onCampus && m_taskActive;
        playLocally(m_task, QString(), QString());
        if (moving)
            moveAudio();
    }
    m_retake = false;
    setStatus(QString());
}

void CampusOutput::setSinkState(bool loaded, const QString &failure) {
    m_sinkLoaded = loaded;
    m_sinkFailure = loaded ? QString() : failure;
    updateState();
    // The rest of the task goes where it can still be heard; a task still waiting for its
    // rooms has its reason told, one already heard in them has had its row.
    if (!loaded && (m_pending || m_onCampus)) {
        const bool moving = m_onCampus && m_taskActive;
        playLocally(m_task, m_pending ? withDetail(kNoSink, m_sinkFailure) : QString(), kNoSink);
        if (moving)
            moveAudio();
    }
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
    m_taskActive = true;
    m_level.reset();
    m_retake = false;
    m_retaking = false;

    if (!m_config.enabled()) {
        playLocally(taskName, QString(), QString());
        return;
    }
    // The server first: the sink is loaded only once the server is seen reading its pipe.
    if (!m_control.isConnected()) {
        playLocally(taskName, withDetail(kUnreachable, m_control.connectionFailure()), kUnreachable,
                    true);
        return;
    }
    if (!m_sinkLoaded) {
        playLocally(taskName, withDetail(kNoSink, m_sinkFailure), kNoSink);
        return;
    }

    const CampusRoute route =
        routeFor(m_config, taskName, m_control.rooms(), m_control.uncontrolledRooms());
    // Every room that would hear it is switched off or cut off: the bell is heard here.
    if (!anyOnline(route)) {
        playLocally(taskName, withDetail(kNoRoom, route.logText), kNoRoom);
        return;
    }
    m_pending = serial;
    m_guard.start();
    routeRooms(route.unmute, route.mute, RouteTimeoutMs, this,
               [this, serial, taskName, route](bool ok, const QString &failure) {
                   if (m_pending != serial)
                       return;
                   if (ok)
                       playOnCampus(taskName, route);
                   else
                       playLocally(taskName, withDetail(kUnreachable, failure), kUnreachable, true);
               });
}

void CampusOutput::taskEnded() {
    ++m_serial; // answers still to come are for a task that is over
    m_taskActive = false;
    m_retake = false;
    m_retaking = false;
    if (m_pending || m_onCampus)
        playLocally(m_task, QString(), QString());
}

void CampusOutput::setStoreDirectory(const QString &directory) {
    m_memory = RoomMemory(directory);
    m_memory.load();
}

void CampusOutput::routeRooms(const QStringList &unmute, const QStringList &mute, int timeoutMs,
                              QObject *context, CampusControl::Done done) {
    // Should the memory not be written, the bell goes on all the same.
    m_memory.remember(m_control.rooms(), unmute + mute);
    m_control.applyRoute(unmute, mute, timeoutMs, context, std::move(done));
}

void CampusOutput::restoreRooms(int timeoutMs, QObject *context, CampusControl::Done done) {
    QStringList unmute, mute;
    for (const CampusRoom &room : m_control.rooms()) {
        const std::optional<bool> before = m_memory.mutedBefore(room.id);
        if (!before || *before == room.muted)
            continue;
        (*before ? mute : unmute).append(room.id);
    }
    if (unmute.isEmpty() && mute.isEmpty()) {
        // Rooms the server does not list now are not ours to remember.
        m_memory.clear();
        QMetaObject::invokeMethod(
            context ? context : this, [done] { done(true, QString()); }, Qt::QueuedConnection);
        return;
    }
    m_control.applyRoute(
        unmute, mute, timeoutMs, context,
        [this, done, guard = QPointer<CampusOutput>(this)](bool ok, const QString &failure) {
            if (guard && ok)
                m_memory.clear();
            done(ok, failure);
        });
}

bool CampusOutput::anyOnline(const CampusRoute &route) const {
    return std::any_of(
        m_control.rooms().cbegin(), m_control.rooms().cend(),
        [&](const CampusRoom &room) { return room.connected && route.unmute.contains(room.id); });
}

void CampusOutput::onConnectionChanged(bool connected) {
    updateState();
    if (!connected) {
        m_lost = m_config.enabled();
        if (m_onCampus && m_taskActive)
            leaveRooms();
        return;
    }
    // Said where the loss was said, so the status line does not keep an old failure.
    if (std::exchange(m_lost, false))
        emit serverBack(QStringLiteral("广播服务器已恢复连接"));
    retakeRooms();
}

void CampusOutput::leaveRooms() {
    m_retake = true;
    setOnCampus(false);
    m_player.setAudioDevice(QString());
    moveAudio();
    emit playsLocally(m_task, kLost);
    setStatus(kLost);
}

void CampusOutput::retakeRooms() {
    if (!m_retake || m_retaking || !m_taskActive || m_pending || m_onCampus ||
        !m_config.enabled() || !m_sinkLoaded || !m_control.isConnected())
        return;
    const CampusRoute route = routeFor(m_config, m_task, m_control.rooms());
    if (!anyOnline(route))
        return;
    // Heard here meanwhile: the sound moves only once the rooms have answered.
    m_retaking = true;
    const quint64 serial = m_serial;
    routeRooms(route.unmute, route.mute, RouteTimeoutMs, this,
               [this, serial, route](bool ok, const QString &) {
                   if (serial != m_serial)
                       return;
                   // A refusal is tried again when the connection or the rooms change.
                   if (!ok) {
                       m_retaking = false;
                       return;
                   }
                   // Heard here until the rooms can hear it.
                   QTimer::singleShot(m_settleMs, this, [this, serial, route] {
                       if (serial != m_serial)
                           return;
                       m_retaking = false;
                       if (!m_retake || m_pending || m_onCampus || !m_config.enabled() ||
                           !m_sinkLoaded || !m_control.isConnected())
                           return;
                       m_retake = false;
                       setOnCampus(true);
                       m_player.setAudioDevice(m_campusDevice);
                       moveAudio();
                       emit retaken(m_task, route);
                       setStatus(QStringLiteral("校园广播：") + (route.zones.isEmpty()
                                                                     ? QStringLiteral("全部")
                                                                     : route.zones.join(u'、')));
                   });
               });
}

void CampusOutput::moveAudio() {
    const QString device = m_onCampus ? m_campusDevice : QString();
    const bool onCampus = m_onCampus;
    auto move = [this, device, onCampus] {
        if (m_onCampus == onCampus)
            m_player.moveAudio(device);
    };
    if (m_level)
        target().SetMasterVolumeThen(*m_level, this, move);
    else
        move();
}

void CampusOutput::setOnCampus(bool onCampus) {
    if (m_onCampus == onCampus)
        return;
    m_onCampus = onCampus;
    if (m_onCampus)
        m_heartbeat.start();
    else
        m_heartbeat.stop();
    updateDelivery();
    emit outputChanged();
}

void CampusOutput::updateDelivery() {
    const QString text = m_onCampus
                             ? CampusPipe::notPlaying(m_control.streams(), m_config.server().pipe)
                             : QString();
    if (text == m_notDelivered)
        return;
    m_notDelivered = text;
    emit deliveryChanged(text);
}

QString CampusOutput::outputName() const {
    return m_onCampus ? QStringLiteral("校园广播") : QStringLiteral("本机");
}

QString CampusOutput::stateText() const {
    if (!m_config.enabled())
        return QString();
    QString text = QStringLiteral("校园广播：");
    if (m_control.isConnected()) {
        const CampusRooms &rooms = m_control.rooms();
        const auto online = std::count_if(rooms.cbegin(), rooms.cend(),
                                          [](const CampusRoom &room) { return room.connected; });
        text += QStringLiteral("已连接，%1/%2 终端在线").arg(online).arg(rooms.size());
    } else if (const QString failure = m_control.connectionFailure(); failure.isEmpty()) {
        text += QStringLiteral("正在连接服务器…");
    } else {
        text += withDetail(QStringLiteral("未连接"), failure);
    }
    // Whatever the server, the bells cannot reach it without the sink.
    if (!m_sinkLoaded && !m_sinkFailure.isEmpty())
        text += QStringLiteral("；") + withDetail(QStringLiteral("声音输出不可用"), m_sinkFailure);
    return text;
}

void CampusOutput::updateState() {
    const QString text = stateText();
    if (text == m_state)
        return;
    m_state = text;
    emit stateChanged(text);
}

bool CampusOutput::playsOnCampus() const {
    return m_onCampus;
}

void CampusOutput::playOnCampus(const QString &taskName, const CampusRoute &route) {
    m_pending.reset();
    m_guard.stop();
    setOnCampus(true);
    m_player.setAudioDevice(m_campusDevice);
    emit routed(taskName, route);
    setStatus(QStringLiteral("校园广播：") +
              (route.zones.isEmpty() ? QStringLiteral("全部") : route.zones.join(u'、')));
    releaseWaiters();
}

void CampusOutput::playLocally(const QString &taskName, const QString &reason,
                               const QString &status, bool retake) {
    m_pending.reset();
    m_guard.stop();
    m_retake = retake && m_taskActive;
    setOnCampus(false);
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
    m_level = value;
    if (m_pending)
        m_waiters.append({value, nullptr, {}});
    else
        target().SetMasterVolume(value);
}

void CampusOutput::SetMasterVolumeThen(int value, QObject *context, std::function<void()> done) {
    m_level = value;
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
