#pragma once

#include "campus/CampusControl.h"

#include <QList>
#include <QPointer>

// A control connection that records each route it is asked for and answers only when the
// test says so, as a server that takes its time. The test changes `connected` and `roomList`
// and emits the signals as the server's comings and goings would.
class FakeCampusControl final : public CampusControl {
public:
    struct Request {
        QStringList unmute;
        QStringList mute;
        int timeoutMs = 0;
        QPointer<QObject> context;
        Done done;
    };

    void setServer(const QString &, int) override {}
    bool isConnected() const override { return connected; }
    QString connectionFailure() const override { return connected ? QString() : failure; }
    const CampusRooms &rooms() const override { return roomList; }
    const CampusStreams &streams() const override { return streamList; }

    void applyRoute(const QStringList &unmute, const QStringList &mute, int timeoutMs,
                    QObject *context, Done done) override {
        requests.append({unmute, mute, timeoutMs, context, std::move(done)});
    }
    void refresh(int timeoutMs, QObject *, Done done) override {
        refreshes.append(timeoutMs);
        if (done)
            done(true, QString());
    }
    void renameRoom(const QString &, const QString &, int, QObject *, Done) override {}
    void setRoomVolume(const QString &, int, bool, int, QObject *, Done) override {}

    // Answers request `index` as the control connection would: not at all once its context
    // is gone.
    void answer(int index, bool ok, const QString &failure = {}) {
        const Request &request = requests.at(index);
        if (request.context && request.done)
            request.done(ok, failure);
    }

    bool connected = true;
    QString failure;
    CampusRooms roomList;
    CampusStreams streamList;
    QList<Request> requests;
    QList<int> refreshes; // each status asked for, by its time limit
};
