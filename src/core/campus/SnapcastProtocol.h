#pragma once

#include "CampusRoom.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

// Snapcast's JSON-RPC 2.0 control protocol: one JSON object per line. Everything read here
// comes from the network and is untrusted: lines are bounded, texts cut and cleaned, the
// number of rooms bounded, and a value of the wrong type is read as missing.
namespace Snapcast {

constexpr qsizetype MaxLineBytes = 1024 * 1024;
constexpr int MaxTextLength = 64; // room ids, names and error texts
constexpr int MaxRooms = 256;

// Splits the byte stream into lines ("\n" or "\r\n"). A line longer than MaxLineBytes is a
// fault: the framer then holds nothing more and stays failed until reset().
class LineFramer {
public:
    // Appends `bytes` and moves the complete lines into `lines`; false once a line is over
    // the bound (the lines complete before it are still given).
    bool feed(const QByteArray &bytes, QList<QByteArray> &lines);
    bool failed() const { return m_failed; }
    qsizetype pending() const { return m_partial.size(); }
    void reset();

private:
    QByteArray m_partial;
    bool m_failed = false;
};

// A request line, "\n"-terminated.
QByteArray request(qint64 id, const QString &method, const QJsonObject &params = {});

struct Message {
    enum class Kind {
        Invalid,      // not JSON, or not a JSON-RPC object: the connection is not to be trusted
        Reply,        // an answer to a request of ours (id, result or error)
        Notification, // method and params, no id
        Other,        // well-formed but nothing for us (a request from the server, an id of
                      // the wrong type)
    };
    Kind kind = Kind::Invalid;
    qint64 id = -1;
    bool ok = false;
    QJsonValue result;
    QString error; // cleaned, bounded: the server's message and data
    QString method;
    QJsonObject params;
};
Message parse(const QByteArray &line);

// `text` without control or format characters, cut to `max` characters (never inside a
// surrogate pair) with "…" where it was cut.
QString cleanText(const QString &text, int max = MaxTextLength);

// The rooms as the server reported them, kept current by its notifications and by the
// results of our own requests (the server does not notify the connection that asked).
class RoomState {
public:
    const CampusRooms &rooms() const { return m_rooms; }
    const CampusRoom *find(const QString &id) const;

    // Server.GetStatus's result, or Server.OnUpdate's params: {"server":{"groups":[{"clients":
    // [...]}]}}. Replaces all rooms; false when nothing changed.
    bool setStatus(const QJsonObject &status);
    // Client.OnConnect / OnDisconnect / OnVolumeChanged / OnNameChanged, Server.OnUpdate;
    // other methods are ignored. False when nothing changed.
    bool apply(const QString &method, const QJsonObject &params);
    // A Client.SetVolume's {"muted","percent"} or a Client.SetName's name, as answered.
    bool setVolume(const QString &id, const QJsonObject &volume);
    bool setName(const QString &id, const QJsonValue &name);
    // The server is gone: the rooms stay known but none is connected.
    bool setAllDisconnected();

private:
    bool upsertClient(const QJsonObject &client, const QString &id);
    CampusRoom *findMutable(const QString &id);

    CampusRooms m_rooms;
    QHash<QString, QString> m_hostNames; // shown while no name is set on the server
};

// A client id as it may be sent back to the server: not empty, within MaxTextLength and
// without control characters. Cutting an id would name another client, so an id that is not
// usable is not shown at all.
bool usableId(const QString &id);

} // namespace Snapcast
