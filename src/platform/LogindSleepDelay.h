#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>

// A logind "sleep" delay inhibitor: logind announces a sleep (PrepareForSleep(true)) and then
// waits, up to its InhibitDelayMaxSec, until the holder lets go. Held only while wanted (the
// wake alarm is switched on); taken without waiting for the bus.
class LogindSleepDelay final : public QObject {
    Q_OBJECT
public:
    explicit LogindSleepDelay(QObject *parent = nullptr);
    ~LogindSleepDelay() override;

    void setWanted(bool wanted);
    bool isHeld() const { return m_fd.isValid(); }
    // The work before the sleep is over: the sleep may go ahead.
    void release();

signals:
    // The machine is about to sleep; call release() when ready.
    void suspending();
    // It woke up again.
    void resumed();

private slots:
    void onPrepareForSleep(bool start);

private:
    void take();

    QDBusUnixFileDescriptor m_fd;
    bool m_wanted = false;
    bool m_asking = false;
};
