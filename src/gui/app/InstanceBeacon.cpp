#include "InstanceBeacon.h"

#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <unistd.h>

namespace {
const QByteArray Request = QByteArrayLiteral("forward\n");
const QByteArray Answer = QByteArrayLiteral("ok\n");
} // namespace

InstanceBeacon::InstanceBeacon(const QString &storeDirectory, QObject *parent)
    : QObject(parent), m_name(serverName(storeDirectory)) {}

QString InstanceBeacon::serverName(const QString &storeDirectory) {
    const QFileInfo info(storeDirectory);
    const QString canonical =
        info.canonicalFilePath().isEmpty() ? info.absoluteFilePath() : info.canonicalFilePath();
    const QByteArray hash =
        QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty() || !QFileInfo(base).isDir())
        base = QDir::tempPath();
    return QStringLiteral("%1/horalet-%2-%3").arg(base).arg(::getuid()).arg(QLatin1String(hash));
}

bool InstanceBeacon::listen() {
    delete m_server;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(m_name);
    if (!m_server->listen(m_name))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine()) {
                    if (socket->bytesAvailable() > Request.size())
                        socket->abort(); // not one of ours
                    return;
                }
                if (socket->readLine(64) == Request) {
                    emit comeForward();
                    socket->write(Answer);
                    socket->flush();
                }
                socket->disconnectFromServer();
            });
        }
    });
    return true;
}

bool InstanceBeacon::callRunning(const QString &storeDirectory, int waitMs) {
    QLocalSocket socket;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    bool answered = false;
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QLocalSocket::connected, &loop,
                     [&socket] { socket.write(Request); });
    QObject::connect(&socket, &QLocalSocket::readyRead, &loop, [&] {
        if (!socket.canReadLine())
            return;
        answered = socket.readLine(64) == Answer;
        loop.quit();
    });
    QObject::connect(&socket, &QLocalSocket::errorOccurred, &loop, &QEventLoop::quit);
    socket.connectToServer(serverName(storeDirectory));
    limit.start(waitMs);
    if (socket.state() != QLocalSocket::UnconnectedState)
        loop.exec();
    return answered;
}
