#pragma once

#include "CampusRoom.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// The control connection to the campus server (Snapcast JSON-RPC). Nothing here waits: every
// request answers through a callback on the caller's thread, or not at all when `context` is
// gone. A server that goes away is reconnected with a back-off.
class CampusControl : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(bool ok, const QString &failure)>;

    using QObject::QObject;
    ~CampusControl() override = default;

    // Connects to the server (again); an empty address disconnects and stops retrying.
    virtual void setServer(const QString &address, int port) = 0;
    virtual bool isConnected() const = 0;
    // Why the server cannot be reached now (the last attempt's or the lost connection's
    // reason); empty while connected or before the first attempt has ended.
    virtual QString connectionFailure() const { return {}; }
    // The rooms as last reported, kept current by the server's notifications.
    virtual const CampusRooms &rooms() const = 0;
    // The server's audio sources as last reported (roomsChanged() tells of changes too).
    virtual const CampusStreams &streams() const = 0;
    // Rooms the server lists that cannot be controlled (see Snapcast::MaxRooms).
    virtual int uncontrolledRooms() const { return 0; }

    // Unmutes and mutes the rooms; `done` runs once every room has answered, or with
    // ok == false and the reason once `timeoutMs` passed or the connection failed.
    virtual void applyRoute(const QStringList &unmute, const QStringList &mute, int timeoutMs,
                            QObject *context, Done done) = 0;
    // Asks for the full status again (the rooms table's refresh, the connection test).
    virtual void refresh(int timeoutMs, QObject *context, Done done) = 0;
    virtual void renameRoom(const QString &id, const QString &name, int timeoutMs, QObject *context,
                            Done done) = 0;
    virtual void setRoomVolume(const QString &id, int percent, bool muted, int timeoutMs,
                               QObject *context, Done done) = 0;

signals:
    void connectionChanged(bool connected);
    // The rooms or the streams changed.
    void roomsChanged();
    // connectionFailure() says something else (an attempt failed while not connected).
    void connectionFailureChanged();
    // A protocol fault that dropped the connection (malformed or oversized reply), for the log.
    void protocolFault(const QString &reason);
};
