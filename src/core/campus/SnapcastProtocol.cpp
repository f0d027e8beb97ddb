#include "SnapcastProtocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace Snapcast {

bool LineFramer::feed(const QByteArray &bytes, QList<QByteArray> &lines) {
    if (m_failed)
        return false;
    qsizetype from = 0;
    while (from < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', from);
        const qsizetype end = newline < 0 ? bytes.size() : newline;
        // Checked before appending: a long line never grows the buffer beyond the bound.
        if (m_partial.size() + (end - from) > MaxLineBytes) {
            m_failed = true;
            m_partial.clear();
            m_partial.squeeze();
            return false;
        }
        m_partial.append(bytes.constData() + from, end - from);
        if (newline < 0)
            break;
        if (m_partial.endsWith('\r'))
            m_partial.chop(1);
        if (!m_partial.isEmpty())
            lines.append(m_partial);
        m_partial.clear();
        from = newline + 1;
    }
    return true;
}

void LineFramer::reset() {
    m_partial.clear();
    m_partial.squeeze();
    m_failed = false;
}

QByteArray request(qint64 id, const QString &method, const QJsonObject &params) {
    QJsonObject object{{QStringLiteral("id"), id},
                       {QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                       {QStringLiteral("method"), method}};
    if (!params.isEmpty())
        object.insert(QStringLiteral("params"), params);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

namespace {

bool isDropped(QChar c) {
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

// A JSON number that is a whole number within the id range; -1 otherwise.
qint64 idOf(const QJsonValue &value) {
    if (!value.isDouble())
        return -1;
    const double d = value.toDouble();
    if (d < 0 || d > 9.0e15 || d != static_cast<double>(static_cast<qint64>(d)))
        return -1;
    return static_cast<qint64>(d);
}

QString errorText(const QJsonValue &error) {
    if (!error.isObject())
        return cleanText(error.toString());
    const QJsonObject object = error.toObject();
    QString text = object.value(QStringLiteral("message")).toString();
    const QJsonValue data = object.value(QStringLiteral("data"));
    if (data.isString() && !data.toString().isEmpty())
        text = text.isEmpty() ? data.toString() : text + QStringLiteral(": ") + data.toString();
    if (text.isEmpty()) {
        const QJsonValue code = object.value(QStringLiteral("code"));
        if (code.isDouble())
            text = QString::number(static_cast<qint64>(code.toDouble()));
    }
    return cleanText(text);
}

} // namespace

Message parse(const QByteArray &line) {
    Message message;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return message;
    const QJsonObject object = document.object();
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue method = object.value(QStringLiteral("method"));
    const bool hasResult = object.contains(QStringLiteral("result"));
    const bool hasError = object.contains(QStringLiteral("error"));

    if (method.isString() && (id.isUndefined() || id.isNull())) {
        message.kind = Message::Kind::Notification;
        message.method = method.toString();
        message.params = object.value(QStringLiteral("params")).toObject();
        return message;
    }
    if (!method.isUndefined() || (!hasResult && !hasError)) {
        message.kind = Message::Kind::Other;
        return message;
    }
    message.id = idOf(id);
    if (message.id < 0) {
        message.kind = Message::Kind::Other;
        return message;
    }
    message.kind = Message::Kind::Reply;
    message.ok = !hasError;
    if (hasError)
        message.error = errorText(object.value(QStringLiteral("error")));
    else
        message.result = object.value(QStringLiteral("result"));
    return message;
}

QString cleanText(const QString &text, int max) {
    QString clean;
    clean.reserve(qMin<qsizetype>(text.size(), max + 1));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            const char32_t ucs4 = QChar::surrogateToUcs4(c, text.at(i + 1));
            const auto category = QChar::category(ucs4);
            if (clean.size() + 2 > max)
                return clean + QChar(0x2026);
            if (category != QChar::Other_Format)
                clean.append(c).append(text.at(i + 1));
            ++i;
            continue;
        }
        if (isDropped(c) || c.isSurrogate())
            continue;
        if (clean.size() + 1 > max)
            return clean + QChar(0x2026);
        clean.append(c);
    }
    return clean;
}

bool showableId(const QString &id) {
    if (id.isEmpty() || id.size() > MaxTextLength)
        return false;
    for (const QChar c : id) {
        if (isDropped(c) || c.isSurrogate() || c.isSpace())
            return false;
    }
    return true;
}

const CampusRoom *RoomState::find(const QString &id) const {
    for (const CampusRoom &room : m_rooms) {
        if (room.id == id)
            return &room;
    }
    return nullptr;
}

CampusRoom *RoomState::findMutable(const QString &id) {
    for (CampusRoom &room : m_rooms) {
        if (room.id == id)
            return &room;
    }
    return nullptr;
}

namespace {

int percentOf(const QJsonValue &value, int fallback) {
    if (!value.isDouble())
        return fallback;
    const double percent = value.toDouble();
    if (!(percent >= 0))
        return 0; // NaN too
    return percent > 100 ? 100 : static_cast<int>(percent);
}

// The client object's fields into `room`, keeping what is missing or of the wrong type.
void readClient(const QJsonObject &client, CampusRoom &room, QString &hostName) {
    const QJsonObject host = client.value(QStringLiteral("host")).toObject();
    const QJsonValue hostValue = host.value(QStringLiteral("name"));
    if (hostValue.isString())
        hostName = cleanText(hostValue.toString());
    const QJsonObject config = client.value(QStringLiteral("config")).toObject();
    const QString name = cleanText(config.value(QStringLiteral("name")).toString());
    room.name = !name.isEmpty() ? name : !hostName.isEmpty() ? hostName : cleanText(room.id);
    const QJsonValue connected = client.value(QStringLiteral("connected"));
    if (connected.isBool())
        room.connected = connected.toBool();
    const QJsonObject volume = config.value(QStringLiteral("volume")).toObject();
    room.volume = percentOf(volume.value(QStringLiteral("percent")), room.volume);
    const QJsonValue muted = volume.value(QStringLiteral("muted"));
    if (muted.isBool())
        room.muted = muted.toBool();
}

// The lists show the first MaxShownRooms rooms whose id can be shown as it is.
void markShown(CampusRooms &rooms) {
    int shown = 0;
    for (CampusRoom &room : rooms) {
        room.shown = shown < MaxShownRooms && showableId(room.id);
        shown += room.shown ? 1 : 0;
    }
}

// A stream object's fields; false when it has no id to be known by.
bool readStream(const QJsonObject &object, CampusStream &stream) {
    const QJsonValue id = object.value(QStringLiteral("id"));
    if (!id.isString())
        return false;
    stream.id = cleanText(id.toString());
    stream.status = cleanText(object.value(QStringLiteral("status")).toString());
    const QJsonObject uri = object.value(QStringLiteral("uri")).toObject();
    stream.scheme = cleanText(uri.value(QStringLiteral("scheme")).toString());
    // Compared with the configured pipe, never cut: a path too long for that is no match.
    const QString path = uri.value(QStringLiteral("path")).toString();
    stream.path = path.size() <= MaxPathLength ? path : QString();
    return true;
}

} // namespace

bool RoomState::setStatus(const QJsonObject &status) {
    const QJsonObject server = status.value(QStringLiteral("server")).toObject();
    const QJsonArray groups = server.value(QStringLiteral("groups")).toArray();
    CampusRooms rooms;
    QHash<QString, QString> hostNames;
    int uncontrolled = 0;
    for (const QJsonValue &group : groups) {
        const QJsonArray clients = group.toObject().value(QStringLiteral("clients")).toArray();
        const QString stream =
            cleanText(group.toObject().value(QStringLiteral("stream_id")).toString());
        for (const QJsonValue &value : clients) {
            if (!value.isObject())
                continue;
            const QJsonObject client = value.toObject();
            const QJsonValue idValue = client.value(QStringLiteral("id"));
            const QString id = idValue.toString();
            if (idValue.isString() && hostNames.contains(id))
                continue;
            if (!idValue.isString() || id.size() > MaxIdLength || rooms.size() >= MaxRooms) {
                ++uncontrolled;
                continue;
            }
            CampusRoom room;
            room.id = id;
            room.stream = stream;
            QString hostName;
            readClient(client, room, hostName);
            hostNames.insert(id, hostName);
            rooms.append(room);
        }
    }
    markShown(rooms);
    CampusStreams streams;
    for (const QJsonValue &value : server.value(QStringLiteral("streams")).toArray()) {
        CampusStream stream;
        if (streams.size() < MaxStreams && readStream(value.toObject(), stream))
            streams.append(stream);
    }
    m_hostNames = hostNames;
    if (rooms == m_rooms && streams == m_streams && uncontrolled == m_uncontrolled)
        return false;
    m_rooms = rooms;
    m_streams = streams;
    m_uncontrolled = uncontrolled;
    return true;
}

bool RoomState::setStream(const QJsonObject &object) {
    CampusStream stream;
    if (!readStream(object, stream))
        return false;
    for (CampusStream &known : m_streams) {
        if (known.id != stream.id)
            continue;
        if (known == stream)
            return false;
        known = stream;
        return true;
    }
    if (m_streams.size() >= MaxStreams)
        return false;
    m_streams.append(stream);
    return true;
}

bool RoomState::upsertClient(const QJsonObject &client, const QString &id) {
    CampusRoom *room = findMutable(id);
    const bool added = !room;
    if (added) {
        // Counted with the next status read: a notification may repeat.
        if (m_rooms.size() >= MaxRooms || id.size() > MaxIdLength)
            return false;
        CampusRoom fresh;
        fresh.id = id;
        m_rooms.append(fresh);
        markShown(m_rooms);
        room = &m_rooms.last();
    }
    const CampusRoom before = *room;
    readClient(client, *room, m_hostNames[id]);
    return added || !(before == *room);
}

bool RoomState::apply(const QString &method, const QJsonObject &params) {
    if (method == QLatin1String("Server.OnUpdate"))
        return setStatus(params);
    if (method == QLatin1String("Stream.OnUpdate")) {
        QJsonObject stream = params.value(QStringLiteral("stream")).toObject();
        if (!stream.contains(QStringLiteral("id")))
            stream.insert(QStringLiteral("id"), params.value(QStringLiteral("id")));
        return setStream(stream);
    }
    const QJsonValue idValue = params.value(QStringLiteral("id"));
    if (!idValue.isString())
        return false;
    const QString id = idValue.toString();
    if (method == QLatin1String("Client.OnConnect") ||
        method == QLatin1String("Client.OnDisconnect")) {
        QJsonObject client = params.value(QStringLiteral("client")).toObject();
        // The event itself says which it is, whatever the client object holds.
        client.insert(QStringLiteral("connected"), method == QLatin1String("Client.OnConnect"));
        return upsertClient(client, id);
    }
    if (method == QLatin1String("Client.OnVolumeChanged"))
        return setVolume(id, params.value(QStringLiteral("volume")).toObject());
    if (method == QLatin1String("Client.OnNameChanged"))
        return setName(id, params.value(QStringLiteral("name")));
    return false;
}

bool RoomState::setVolume(const QString &id, const QJsonObject &volume) {
    CampusRoom *room = findMutable(id);
    if (!room)
        return false;
    const CampusRoom before = *room;
    room->volume = percentOf(volume.value(QStringLiteral("percent")), room->volume);
    const QJsonValue muted = volume.value(QStringLiteral("muted"));
    if (muted.isBool())
        room->muted = muted.toBool();
    return !(before == *room);
}

bool RoomState::setName(const QString &id, const QJsonValue &name) {
    CampusRoom *room = findMutable(id);
    if (!room || !name.isString())
        return false;
    QString clean = cleanText(name.toString());
    if (clean.isEmpty())
        clean = m_hostNames.value(id);
    if (clean.isEmpty())
        clean = cleanText(id);
    if (room->name == clean)
        return false;
    room->name = clean;
    return true;
}

bool RoomState::setAllDisconnected() {
    bool changed = false;
    for (CampusRoom &room : m_rooms) {
        changed = changed || room.connected;
        room.connected = false;
    }
    return changed;
}

} // namespace Snapcast
