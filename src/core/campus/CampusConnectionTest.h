#pragma once

#include "CampusConfig.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class CampusControl;

// 连接测试: the whole path a task's sound takes, not the control connection alone. It
// connects, reads the server's status, checks that one of its pipe sources reads the
// configured pipe, writes a short test signal into that pipe and waits for the source to
// play. Each step that fails ends it with the reason in the interface's words.
class CampusConnectionTest final : public QObject {
    Q_OBJECT
public:
    // Checks the pipe (making it where it is missing) and, when `write`, writes the test
    // signal into it; called on a worker thread. Empty when done, else why not (a pipe that
    // is not safe to use, …).
    using SignalWriter =
        std::function<QString(const QString &pipe, const QString &group, bool write)>;
    // How long the source may take to play once the signal is written, and how often it is
    // asked meanwhile.
    static constexpr int PlayWaitMs = 3000;
    static constexpr int PollMs = 200;

    CampusConnectionTest(CampusControl &control, SignalWriter writer, QObject *parent = nullptr);

    // Points the control connection at `server` and runs the test; the connection and the
    // status read together may take `connectTimeoutMs`.
    void start(const CampusConfig::Server &server, int connectTimeoutMs);
    bool isRunning() const { return m_running; }

signals:
    void progress(const QString &text);
    void finished(const QString &result);

private:
    void askStatus();
    void statusRead();
    void signalWritten(const QString &error, bool written);
    void pollSource();
    void finish(const QString &result);
    QString success() const;

    CampusControl &m_control;
    SignalWriter m_writer;
    CampusConfig::Server m_server;
    bool m_running = false;
    quint64 m_serial = 0; // a later run's answers are not taken for this one's
    QString m_failure;
    QTimer m_connectDeadline;
    QTimer m_playDeadline;
    QMetaObject::Connection m_waitForConnection;
};
