#include "SnapcastClient.h"

#include <QJsonObject>

namespace {

QString notConnected() {
    return QStringLiteral("未连接广播服务器");
}
QString noAnswer() {
    return QStringLiteral("广播服务器无应答");
}
QString cannotConnect(const QString &address, int port, QAbstractSocket::SocketError error) {
    QString why;
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        why = QStringLiteral("连接被拒绝");
        break;
    case QAbstractSocket::HostNotFoundError:
        why = QStringLiteral("找不到该地址");
        break;
    case QAbstractSocket::NetworkError:
        why = QStringLiteral("网络不可用");
        break;
    default:
        why = QStringLiteral("连接失败");
        break;
    }
    return QStringLiteral("无法连接广播服务器 %1:%2：%3").arg(address).arg(port).arg(why);
}
QString connectionLost() {
    return QStringLiteral("与广播服务器的连接已断开");
}

QString refused(const QString &room, const QString &error) {
    const QString text = error.isEmpty() ? QStringLiteral("广播服务器拒绝了请求")
                                         : QStringLiteral("广播服务器拒绝了请求（%1）").arg(error);
    return room.isEmpty() ? text
                          : QStringLiteral("终端 %1：%2").arg(Snapcast::cleanText(room), text);
}

// Qt's own buffer in front of the framer: what the server sends is never held beyond it.
constexpr qint64 ReadChunk = 64 * 1024;

} // namespace

SnapcastClient::SnapcastClient(QObject *parent)
    : CampusControl(parent), m_socket(new QTcpSocket(this)) {
    m_socket->setReadBufferSize(ReadChunk);
    m_connectTimer.setSingleShot(true);
    m_retryTimer.setSingleShot(true);
    m_healthyTimer.setSingleShot(true);
    m_healthyTimer.setInterval(30000);
    connect(&m_healthyTimer, &QTimer::timeout, this, [this] { m_retryMs = m_firstRetryMs; });
    connect(&m_connectTimer, &QTimer::timeout, this, [this] { drop(noAnswer()); });
    connect(&m_retryTimer, &QTimer::timeout, this, &SnapcastClient::connectNow);
    connect(m_socket, &QTcpSocket::connected, this, &SnapcastClient::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &SnapcastClient::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &SnapcastClient::onSocketGone);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &SnapcastClient::onSocketGone);
    connect(m_socket, &QTcpSocket::stateChanged, this, &SnapcastClient::onSocketGone);
}

SnapcastClient::~SnapcastClient() {
    // The socket's own close must not call back into a client half gone.
    m_socket->disconnect(this);
    m_socket->abort();
}

void SnapcastClient::setRetryDelays(int firstMs, int lastMs, int healthyMs) {
    m_firstRetryMs = qMax(1, firstMs);
    m_lastRetryMs = qMax(m_firstRetryMs, lastMs);
    m_retryMs = m_firstRetryMs;
    m_healthyTimer.setInterval(qMax(1, healthyMs));
}

void SnapcastClient::setServer(const QString &address, int port) {
    if (address.isEmpty()) {
        stop(notConnected());
        if (m_rooms.setStatus({}))
            emit roomsChanged();
        return;
    }
    const bool same = address == m_address && port == m_port;
    if (same && m_socket->state() != QAbstractSocket::UnconnectedState)
        return; // connected or on the way
    if (!same) {
        stop(notConnected());
        if (m_rooms.setStatus({}))
            emit roomsChanged(); // another server's rooms
    }
    m_address = address;
    m_port = port;
    m_retryMs = m_firstRetryMs;
    connectNow();
}

void SnapcastClient::connectNow() {
    m_retryTimer.stop();
    if (m_address.isEmpty())
        return;
    ++m_generation;
    m_framer.reset();
    m_dropping = true; // closing what is left is no loss to report
    m_socket->abort();
    m_dropping = false;
    m_connectTimer.start(ConnectTimeoutMs);
    m_socket->connectToHost(m_address, static_cast<quint16>(m_port));
}

void SnapcastClient::onConnected() {
    m_connectTimer.stop();
    // A link that dies without a word (a cable pulled) is found by the system in time.
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    // The status read is what makes the connection usable; one that is not answered in time
    // is dropped like a server that went away.
    const quint64 generation = m_generation;
    start(
        {{QStringLiteral("Server.GetStatus"),
          {},
          [this](const Snapcast::Message &reply) {
              if (!reply.ok)
                  return refused({}, reply.error);
              roomsMayHaveChanged(m_rooms.setStatus(reply.result.toObject()));
              return QString();
          }}},
        StatusTimeoutMs, nullptr,
        [this, generation](bool ok, const QString &failure) {
            if (generation != m_generation)
                return;
            if (!ok) {
                drop(failure);
                return;
            }
            m_failure.clear();
            m_healthyTimer.start();
            setConnected(true);
        },
        true);
}

void SnapcastClient::onReadyRead() {
    const quint64 generation = m_generation;
    while (generation == m_generation && m_socket->bytesAvailable() > 0) {
        const QByteArray chunk = m_socket->read(ReadChunk);
        if (chunk.isEmpty())
            break;
        QList<QByteArray> lines;
        const bool fits = m_framer.feed(chunk, lines);
        for (const QByteArray &line : lines) {
            handleLine(line);
            if (generation != m_generation)
                return;
        }
        if (!fits) {
            const QString reason = QStringLiteral("广播服务器的应答超过 %1 MiB，已断开连接")
                                       .arg(Snapcast::MaxLineBytes / (1024 * 1024));
            drop(reason);
            emit protocolFault(reason);
            return;
        }
    }
}

void SnapcastClient::handleLine(const QByteArray &line) {
    const Snapcast::Message message = Snapcast::parse(line);
    switch (message.kind) {
    case Snapcast::Message::Kind::Invalid: {
        const QString reason = QStringLiteral("广播服务器的应答无法识别，已断开连接");
        drop(reason);
        emit protocolFault(reason);
        return;
    }
    case Snapcast::Message::Kind::Other:
        return;
    case Snapcast::Message::Kind::Notification:
        roomsMayHaveChanged(m_rooms.apply(message.method, message.params));
        return;
    case Snapcast::Message::Kind::Reply:
        break;
    }
    const auto found = m_requests.constFind(message.id);
    if (found == m_requests.constEnd())
        return; // answered after its operation ended: timed out or failed by another room
    const Request request = *found;
    m_requests.erase(found);
    const QString failure = request.handler(message);
    auto operation = m_operations.find(request.operation);
    if (operation == m_operations.end())
        return;
    if (!failure.isEmpty())
        finish(request.operation, false, failure);
    else if (--operation->outstanding == 0)
        finish(request.operation, true, {});
}

void SnapcastClient::onSocketGone() {
    // errorOccurred, stateChanged and disconnected all arrive for one loss, in an order that
    // differs between a refused connection and a closed one, and abort() in drop() sends them
    // too: the loss is handled once, when the socket is going down.
    const auto state = m_socket->state();
    if (m_dropping || m_address.isEmpty() || m_retryTimer.isActive() ||
        (state != QAbstractSocket::UnconnectedState && state != QAbstractSocket::ClosingState))
        return;
    drop(m_connected ? connectionLost() : cannotConnect(m_address, m_port, m_socket->error()));
}

void SnapcastClient::start(const QList<Call> &calls, int timeoutMs, QObject *context, Done done,
                           bool beforeStatus) {
    const quint64 id = m_nextOperation++;
    Operation &operation = m_operations[id];
    operation.context = context;
    operation.hasContext = context != nullptr;
    operation.done = std::move(done);
    operation.outstanding = static_cast<int>(calls.size());
    if (calls.isEmpty()) {
        finish(id, true, {});
        return;
    }
    if (!(m_connected || beforeStatus) || m_socket->state() != QAbstractSocket::ConnectedState) {
        finish(id, false, notConnected());
        return;
    }
    operation.timer = new QTimer(this);
    operation.timer->setSingleShot(true);
    connect(operation.timer, &QTimer::timeout, this, [this, id] {
        // A server that leaves a request unanswered is not to be trusted with the next bell:
        // the connection is made again.
        finish(id, false, noAnswer());
        drop(noAnswer());
    });
    operation.timer->start(qMax(0, timeoutMs));
    QByteArray bytes;
    for (const Call &call : calls) {
        const qint64 requestId = m_nextId++;
        m_requests.insert(requestId, {id, call.handler});
        bytes += Snapcast::request(requestId, call.method, call.params);
    }
    m_socket->write(bytes);
}

void SnapcastClient::finish(quint64 id, bool ok, const QString &failure) {
    auto found = m_operations.find(id);
    if (found == m_operations.end())
        return;
    Operation operation = std::move(*found);
    m_operations.erase(found);
    // Its requests stay until answered: a room that did answer is still read into the rooms.
    if (operation.timer) {
        operation.timer->stop();
        operation.timer->deleteLater();
    }
    // Never inside the caller's own call, and never for a context that is gone.
    QMetaObject::invokeMethod(
        this,
        [context = operation.context, hasContext = operation.hasContext,
         done = std::move(operation.done), ok, failure] {
            if (hasContext && !context)
                return;
            if (done)
                done(ok, failure);
        },
        Qt::QueuedConnection);
}

void SnapcastClient::failAll(const QString &reason) {
    const QList<quint64> ids = m_operations.keys();
    for (const quint64 id : ids)
        finish(id, false, reason);
}

void SnapcastClient::drop(const QString &reason) {
    ++m_generation;
    m_connectTimer.stop();
    m_healthyTimer.stop();
    const bool failureChanged = !m_address.isEmpty() && m_failure != reason;
    if (failureChanged)
        m_failure = reason;
    m_framer.reset();
    m_dropping = true;
    m_socket->abort();
    m_dropping = false;
    m_requests.clear();
    failAll(reason);
    roomsMayHaveChanged(m_rooms.setAllDisconnected());
    setConnected(false);
    if (failureChanged)
        emit connectionFailureChanged();
    if (!m_address.isEmpty() && !m_retryTimer.isActive()) {
        m_retryTimer.start(m_retryMs);
        m_retryMs = qMin(m_retryMs * 2, m_lastRetryMs);
    }
}

void SnapcastClient::stop(const QString &reason) {
    m_failure.clear();
    m_address.clear();
    m_port = 0;
    m_retryTimer.stop();
    drop(reason);
}

void SnapcastClient::setConnected(bool connected) {
    if (m_connected == connected)
        return;
    m_connected = connected;
    emit connectionChanged(connected);
}

void SnapcastClient::roomsMayHaveChanged(bool changed) {
    if (changed)
        emit roomsChanged();
}

void SnapcastClient::applyRoute(const QStringList &unmute, const QStringList &mute, int timeoutMs,
                                QObject *context, Done done) {
    QList<Call> calls;
    auto add = [&](const QString &id, bool muted) {
        const CampusRoom *room = m_rooms.find(id);
        // The room keeps its own level: only the mute changes.
        const int percent = room ? room->volume : 100;
        calls.append(
            {QStringLiteral("Client.SetVolume"),
             {{QStringLiteral("id"), id},
              {QStringLiteral("volume"), QJsonObject{{QStringLiteral("muted"), muted},
                                                     {QStringLiteral("percent"), percent}}}},
             [this, id](const Snapcast::Message &reply) {
                 if (!reply.ok)
                     return refused(id, reply.error);
                 roomsMayHaveChanged(m_rooms.setVolume(
                     id, reply.result.toObject().value(QStringLiteral("volume")).toObject()));
                 return QString();
             }});
    };
    for (const QString &id : unmute)
        add(id, false);
    for (const QString &id : mute)
        add(id, true);
    start(calls, timeoutMs, context, std::move(done));
}

void SnapcastClient::refresh(int timeoutMs, QObject *context, Done done) {
    start({{QStringLiteral("Server.GetStatus"),
            {},
            [this](const Snapcast::Message &reply) {
                if (!reply.ok)
                    return refused({}, reply.error);
                roomsMayHaveChanged(m_rooms.setStatus(reply.result.toObject()));
                return QString();
            }}},
          timeoutMs, context, std::move(done));
}

void SnapcastClient::renameRoom(const QString &id, const QString &name, int timeoutMs,
                                QObject *context, Done done) {
    start({{QStringLiteral("Client.SetName"),
            {{QStringLiteral("id"), id}, {QStringLiteral("name"), name}},
            [this, id](const Snapcast::Message &reply) {
                if (!reply.ok)
                    return refused(id, reply.error);
                roomsMayHaveChanged(
                    m_rooms.setName(id, reply.result.toObject().value(QStringLiteral("name"))));
                return QString();
            }}},
          timeoutMs, context, std::move(done));
}

void SnapcastClient::setRoomVolume(const QString &id, int percent, bool muted, int timeoutMs,
                                   QObject *context, Done done) {
    const QJsonObject volume{{QStringLiteral("muted"), muted},
                             {QStringLiteral("percent"), qBound(0, percent, 100)}};
    start({{QStringLiteral("Client.SetVolume"),
            {{QStringLiteral("id"), id}, {QStringLiteral("volume"), volume}},
            [this, id](const Snapcast::Message &reply) {
                if (!reply.ok)
                    return refused(id, reply.error);
                roomsMayHaveChanged(m_rooms.setVolume(
                    id, reply.result.toObject().value(QStringLiteral("volume")).toObject()));
                return QString();
            }}},
          timeoutMs, context, std::move(done));
}
