#pragma once

#include "scheduler/WakeAlarmControl.h"

#include <QObject>
#include <QStringList>

// Sets the wake alarm through horalet-wakealarm, the root helper that does nothing else.
// As root it runs the helper directly: the one beside this program when there is one (the
// build tree), else the installed one. As another user it asks pkexec for the installed path
// only, the one the polkit action names. The program never waits for it.
class WakeAlarmHelper final : public QObject, public WakeAlarmControl {
    Q_OBJECT
public:
    // The helper's exit codes.
    enum Exit { Succeeded = 0, BadArgument = 2, NoClock = 3, Refused = 4 };
    // pkexec's own: the user cancelled or was not allowed; no authorisation agent.
    enum PkexecExit { NotAuthorised = 126, AuthorisationFailed = 127 };
    // An authorisation dialog may wait for somebody; the shutdown does not wait longer.
    static constexpr int TimeoutMs = 60000;

    static QString installedPath();
    // The command run for one argument ("clear" or epoch seconds): the program first.
    static QStringList command(const QString &argument, bool asRoot, const QString &programDir);
    // What an exit code means, for the user.
    static QString meaning(int exitCode, bool throughPkexec);
    // Whether rtcClassDir holds a clock with a wake alarm.
    static bool hasWakeAlarm(const QString &rtcClassDir = QStringLiteral("/sys/class/rtc"));

    explicit WakeAlarmHelper(QObject *parent = nullptr);

    bool available() const override { return hasWakeAlarm(); }
    void set(qint64 epochSeconds, Done done) override;
    void clear(Done done) override;

private:
    void run(const QString &argument, Done done);
};
