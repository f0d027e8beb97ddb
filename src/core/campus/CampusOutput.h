#pragma once

#include "CampusConfig.h"
#include "CampusRouting.h"
#include "RoomMemory.h"
#include "campus/CampusControl.h"
#include "playback/MasterVolume.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

class MediaPlayer;

// Where a task is heard: in the rooms of its zones through the campus sink, or on this
// machine's own output. It stands as the master volume of the playlist driver, so an item
// waits for it: no item is heard before its task is routed, and the task's volume is set on
// the sink the task plays to (the machine's own sink is left alone in campus mode).
//
// A server that is off, unreachable or does not answer in time never silences a bell: the
// task plays on the machine's own output and the reason is told; the next task is routed
// again. A server lost while a task plays in the rooms moves the rest of the task here at
// once; one that is back before the task ends has the rooms taken back.
//
// Every room it mutes or unmutes is remembered as it was before the first change, so that
// switching the campus off can leave the rooms as they were found.
class CampusOutput final : public QObject, public MasterVolume {
    Q_OBJECT
public:
    // How long a task's start waits for the rooms to answer before it plays locally. The
    // first item of a task is handed over a few seconds after its start second.
    static constexpr int RouteTimeoutMs = 1500;
    // A room that was muted plays again only this long after it is unmuted: its player
    // reconnects to its sound output and finds its place in the stream (snapclient 0.26),
    // and what is sent meanwhile is lost to it.
    static constexpr int RoomsSettleMs = 2000;
    // While a task is heard in the rooms the server is asked for its status this often, and
    // one that does not answer in time is taken for lost: a server gone without closing the
    // connection (switched off, a cable pulled) is found as soon as one that closes it.
    static constexpr int HeartbeatMs = 500;
    static constexpr int HeartbeatTimeoutMs = 1000;

    CampusOutput(MediaPlayer &player, MasterVolume &local, MasterVolume &campus,
                 CampusControl &control, QObject *parent = nullptr);

    // The settings as stored (reloaded after every change) and whether the campus sink is
    // loaded (with the reason when it is not).
    void setConfig(const CampusConfig &config);
    void setSinkState(bool loaded, const QString &failure = {});
    // The player's device for the campus sink ("pulse/horalet_campus").
    void setCampusDevice(const QString &device); // How long the rooms taken back are given before
                                                 // the sound moves to them; tests shorten it.
    void setRoomsSettleMs(int ms) { m_settleMs = ms; }

    // A task starts: decide its rooms. Items started meanwhile wait for the decision.
    void routeTask(const QString &taskName); // The task is over: nothing is moved for it any more;
                                             // the volume is this machine's again.
    void taskEnded();
    // Mutes and unmutes rooms (a task's route, the 试听 tone's), remembering how they were.
    void routeRooms(const QStringList &unmute, const QStringList &mute, int timeoutMs,
                    QObject *context, CampusControl::Done done);
    // The rooms changed by routeRooms() set back as they were before the first change; done
    // at once when there is nothing to set back. Forgotten once set back.
    void restoreRooms(int timeoutMs, QObject *context, CampusControl::Done done);
    bool hasChangedRooms() const { return !m_memory.isEmpty(); }
    // Where the rooms' first state is kept across restarts (the store directory).
    void setStoreDirectory(const QString &directory);
    // Where the current task plays.
    bool playsOnCampus() const;
    // Why what the campus sink carries reaches no room while the task plays there: the
    // server's source for the pipe is missing or idle. Empty while it plays, or off campus.
    const QString &notDelivered() const { return m_notDelivered; }
    // False also once the sink stopped taking sound (a restarted sound server drops it).
    bool sinkLoaded() const { return m_sinkLoaded; }
    // The campus connection as the status bar shows it ("校园广播：已连接，3/3 终端在线"); empty
    // while the campus is off.
    QString stateText() const;
    // Which output the volume acts on now: "本机" or "校园广播".
    QString outputName() const;

    Reading GetMasterVolume() override;
    void SetMasterVolume(int value) override;
    void SetMasterVolumeThen(int value, QObject *context, std::function<void()> done) override;
    void GetMasterVolumeThen(QObject *context, std::function<void(Reading)> done) override;

signals:
    // A task was routed to its rooms: the play log's row ("教学楼 2/2，操场 0/1 在线…").
    void routed(const QString &taskName, const CampusRoute &route);
    // A task plays on this machine although the campus is on, with the reason
    // ("广播服务器不可用，已在本机播放" and what failed).
    void playsLocally(const QString &taskName, const QString &reason);
    // For the status line; empty when there is nothing to tell.
    void statusChanged(const QString &text); // The rooms were taken back for the rest of a task,
                                             // the server being back.
    void retaken(const QString &taskName, const CampusRoute &route);
    void stateChanged(const QString &text);
    // The connection is back after it was lost ("广播服务器已恢复连接"), for the status line.
    void serverBack(const QString &text);
    // The volume acts on the other output now (outputName()).
    void outputChanged();
    // notDelivered() says something else.
    void deliveryChanged(const QString &notDelivered);

private:
    struct Waiter {
        int value;
        QPointer<QObject> context;
        std::function<void()> done; // empty for a plain set
    };

    MasterVolume &target() { return m_onCampus ? m_campus : m_local; }
    void playOnCampus(const QString &taskName, const CampusRoute &route);
    // `retake`: the server could not be reached, the rooms are taken back when it can.
    void playLocally(const QString &taskName, const QString &reason, const QString &status,
                     bool retake = false);
    void onConnectionChanged(bool connected);
    // The connection is gone under a task heard in the rooms: the rest is heard here.
    void leaveRooms();
    void retakeRooms();
    void setOnCampus(bool onCampus);
    // Moves what plays now to the output in use, at the task's level there.
    void moveAudio();
    void updateState();
    void updateDelivery();
    bool anyOnline(const CampusRoute &route) const;
    void releaseWaiters();
    void setStatus(const QString &text);

    MediaPlayer &m_player;
    MasterVolume &m_local;
    MasterVolume &m_campus;
    CampusControl &m_control;
    CampusConfig m_config{QString()};
    bool m_sinkLoaded = false;
    QString m_sinkFailure;
    QString m_campusDevice;

    bool m_onCampus = false;
    // The decision in hand: its number tells a late answer from the one awaited.
    std::optional<quint64> m_pending;
    quint64 m_serial = 0;
    QString m_task; // the task routed last
    bool m_taskActive = false;
    std::optional<int> m_level; // the volume last asked for since the task started
    bool m_retake = false;      // the task plays here for want of the server
    bool m_retaking = false;
    bool m_lost = false; // the connection was lost and has not come back yet
    int m_settleMs = RoomsSettleMs;
    RoomMemory m_memory;
    QList<Waiter> m_waiters;
    // A control connection that never calls back must not hold a bell.
    QTimer m_guard;
    QTimer m_heartbeat;
    bool m_probing = false;
    QString m_status;
    QString m_state;
    QString m_notDelivered;
};
