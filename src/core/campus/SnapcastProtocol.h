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
constexpr int MaxTextLength = 64; // names and error texts; room ids as shown
// Rooms listed in the dialog; those after them are controlled all the same.
constexpr int MaxShownRooms = 256;
// Rooms and streams kept at all, and the longest id kept: far beyond any school, they bound
// what a hostile server can make this program hold. What is over them is counted.
constexpr int MaxRooms = 4096;
constexpr int MaxIdLength = 1024;
constexpr int MaxStreams = 64;
constexpr int MaxPathLength = 4096;

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

    // The server's audio sources, with their state as last reported.
    const CampusStreams &streams() const { return m_streams; }
    // Rooms the server listed that are not kept (beyond MaxRooms, or an id over MaxIdLength
    // or not a string): they cannot be controlled.
    int uncontrolled() const { return m_uncontrolled; }

    // Server.GetStatus's result, or Server.OnUpdate's params: {"server":{"groups":[{"clients":
    // [...]}],"streams":[...]}}. Replaces all rooms and streams; false when nothing changed.
    bool setStatus(const QJsonObject &status);
    // Client.OnConnect / OnDisconnect / OnVolumeChanged / OnNameChanged, Stream.OnUpdate,
    // Server.OnUpdate; other methods are ignored. False when nothing changed.
    bool apply(const QString &method, const QJsonObject &params);
    // A Client.SetVolume's {"muted","percent"} or a Client.SetName's name, as answered.
    bool setVolume(const QString &id, const QJsonObject &volume);
    bool setName(const QString &id, const QJsonValue &name);
    // The server is gone: the rooms stay known but none is connected.
    bool setAllDisconnected();

private:
    bool upsertClient(const QJsonObject &client, const QString &id);
    bool setStream(const QJsonObject &stream);
    CampusRoom *findMutable(const QString &id);

    CampusRooms m_rooms;
    CampusStreams m_streams;
    int m_uncontrolled = 0;
    QHash<QString, QString> m_hostNames; // shown while no name is set on the server
};

// Whether a room id can be shown as it is: not empty, within MaxTextLength, without blanks,
// control or format characters. Showing a cut or cleaned id would name another room, so a
// room whose id is not showable is left out of the lists (and said to be).
bool showableId(const QString &id);

} // namespace Snapcast
