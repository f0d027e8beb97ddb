#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// How a second start reaches the program already running on the same store directory: a
// local socket, private to the user, named from the directory. The running program listens;
// a second start asks it to come forward and exits once it has answered.
class InstanceBeacon : public QObject {
    Q_OBJECT
public:
    explicit InstanceBeacon(const QString &storeDirectory, QObject *parent = nullptr);

    // Takes the name over (a socket left by a crash is removed first). False when the
    // socket cannot be made; the program then runs on, only unreachable.
    bool listen();

    // The socket's path for that directory: in $XDG_RUNTIME_DIR, else the temporary folder.
    static QString serverName(const QString &storeDirectory);
    // Asks the program running on that directory to come forward; true once it has said it
    // will. Waits in an event loop of its own, at most waitMs.
    static bool callRunning(const QString &storeDirectory, int waitMs = 3000);

signals:
    void comeForward();

private:
    QString m_name;
    QLocalServer *m_server = nullptr;
};
