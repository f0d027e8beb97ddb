#pragma once

#include "playback/SleepKeeper.h"

#include <QDBusUnixFileDescriptor>
#include <QObject>

// A logind "sleep:idle" block inhibitor, held as long as its file descriptor is open. Also
// tells when the machine woke up from a sleep (logind's PrepareForSleep(false)).
class LogindSleepKeeper final : public QObject, public SleepKeeper {
    Q_OBJECT
public:
    static constexpr int ReplyTimeoutMs = 5000;

    explicit LogindSleepKeeper(QObject *parent = nullptr);
    ~LogindSleepKeeper() override;

    bool hold(QString *error) override;
    void release() override;
    bool isHeld() const override { return m_fd.isValid(); }

signals:
    void resumed();

private slots:
    void onPrepareForSleep(bool start);

private:
    QDBusUnixFileDescriptor m_fd;
};
