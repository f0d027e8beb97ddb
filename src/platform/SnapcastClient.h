#pragma once

#include "campus/CampusControl.h"
#include "campus/SnapcastProtocol.h"

#include <QHash>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

// The campus server's control connection: Snapcast JSON-RPC over TCP, on the caller's thread,
// never waiting. Once connected it asks for the full status and keeps the rooms current from
// the server's notifications; a server that goes away, does not answer or sends what cannot be
// read is dropped and tried again after 0.5 s, doubling up to 30 s; the wait is back to 0.5 s
// only once a connection has stayed up for 30 s, so a server that answers and then misbehaves
// is not asked again and again.
//
// Every request's `done` runs exactly once, after the call returned: with the answer, or with
// the reason it failed (not connected, no answer in time, connection lost, refused by the
// server). It is not run when its context is gone, nor once the client itself is destroyed.
class SnapcastClient final : public CampusControl {
    Q_OBJECT
public:
    static constexpr int ConnectTimeoutMs = 3000;
    static constexpr int StatusTimeoutMs = 3000;

    explicit SnapcastClient(QObject *parent = nullptr);
    ~SnapcastClient() override;

    void setServer(const QString &address, int port) override;
    bool isConnected() const override { return m_connected; }
    QString connectionFailure() const override { return m_failure; }
    const CampusRooms &rooms() const override { return m_rooms.rooms(); }
    const CampusStreams &streams() const override { return m_rooms.streams(); }
    int uncontrolledRooms() const override { return m_rooms.uncontrolled(); }

    void applyRoute(const QStringList &unmute, const QStringList &mute, int timeoutMs,
                    QObject *context, Done done) override;
    void refresh(int timeoutMs, QObject *context, Done done) override;
    void renameRoom(const QString &id, const QString &name, int timeoutMs, QObject *context,
                    Done done) override;
    void setRoomVolume(const QString &id, int percent, bool muted, int timeoutMs, QObject *context,
                       Done done) override;

    // The back-off's bounds and how long a connection must last to start it afresh; tests
    // shorten them.
    void setRetryDelays(int firstMs, int lastMs, int healthyMs = 30000);
    // The wait before the next attempt after a failure.
    int retryDelayMs() const { return m_retryMs; }

private:
    // Reads one answer into the rooms; the failure's text, or empty when it went through.
    using ReplyHandler = std::function<QString(const Snapcast::Message &)>;
    struct Operation {
        QPointer<QObject> context;
        bool hasContext = false;
        Done done;
        int outstanding = 0;
        QTimer *timer = nullptr;
    };
    struct Request {
        quint64 operation = 0;
        ReplyHandler handler;
    };
    struct Call {
        QString method;
        QJsonObject params;
        ReplyHandler handler;
    };

    void connectNow();
    void onConnected();
    void onReadyRead();
    void onSocketGone();
    void handleLine(const QByteArray &line);
    // Sends the calls at once as one operation.
    // `beforeStatus`: the first status read, the one request sent before the rooms are known.
    void start(const QList<Call> &calls, int timeoutMs, QObject *context, Done done,
               bool beforeStatus = false);
    void finish(quint64 operation, bool ok, const QString &failure);
    // Closes the connection, fails what is pending with `reason` and tries again later.
    void drop(const QString &reason);
    void stop(const QString &reason);
    void failAll(const QString &reason);
    void setConnected(bool connected);
    void roomsMayHaveChanged(bool changed);

    QTcpSocket *m_socket;
    QTimer m_connectTimer;
    QTimer m_retryTimer;
    QTimer m_healthyTimer;
    QString m_address;
    int m_port = 0;
    bool m_connected = false; // the status was read on this connection
    bool m_dropping = false;
    int m_firstRetryMs = 500;
    int m_lastRetryMs = 30000;
    int m_retryMs = 500;
    QString m_failure;        // why the last connection failed or was lost; empty while connected
    quint64 m_generation = 0; // counts connections: a dropped one's lines are not read on
    Snapcast::LineFramer m_framer;
    Snapcast::RoomState m_rooms;
    qint64 m_nextId = 1;
    quint64 m_nextOperation = 1;
    QHash<qint64, Request> m_requests;
    QHash<quint64, Operation> m_operations;
};
