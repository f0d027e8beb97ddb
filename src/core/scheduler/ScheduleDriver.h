#pragma once

#include "ClockTexts.h"
#include "SchedulePass.h"
#include "StoredSeconds.h"
#include "store/PlayTask.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

class Clock;
class PlaylistDriver;

// Runs the schedule pass for every local second exactly once, in order. The timer is
// re-armed for just after each second boundary; when it comes late the missed seconds
// are checked in order, so a busy moment loses no bell. When the zone's offset changes while
// time runs on (summer time), each second of real time is lived once: the skipped hour is a
// jump, the repeated one is not checked again.
class ScheduleDriver : public QObject {
    Q_OBJECT
public:
    using ShutdownHook = std::function<void(const ClockTexts &now)>;

    // Seconds a late timer may have missed and still catch up; a clock step beyond that
    // is a jump, not lateness.
    static constexpr int MaxCatchUpSeconds = 10;
    // Armed this long after the boundary so the clock reads the new second.
    static constexpr int ArmSlackMs = 4;

    struct Stats {
        qint64 passes = 0;        // seconds checked
        qint64 caughtUp = 0;      // of those, seconds checked after a later one was due
        qint64 skipped = 0;       // seconds left out by forward jumps
        qint64 backwardSteps = 0; // small steps back: nothing re-checked
        qint64 restarts = 0;      // large steps back: started afresh
    };

    ScheduleDriver(const Clock &clock, PlaylistDriver &playback, QObject *parent = nullptr);

    using ScheduleSource = std::function<const ScheduleTable &()>;
    using DayGateSource = std::function<DayGate()>;

    // A fresh copy after every reload of the stored tasks.
    void setSchedule(const ScheduleTable &table) { m_index = ScheduleIndex(table); }
    // Or read the owner's table at every pass, so no reload can be missed; a table that was
    // replaced or changed since the last pass is indexed anew.
    void setScheduleSource(ScheduleSource source) { m_scheduleSource = std::move(source); }
    const ScheduleTable &schedule() const { return m_index.table(); }

    void setWeekdayOff(int weekday, bool off);
    void setHolidays(const QStringList &dates) { m_gate.setHolidays(dates); }
    // Date text -> the weekday (0 = Sunday) whose timetable that make-up workday follows.
    void setMakeupDays(const QHash<QString, int> &days) { m_gate.makeupDays = days; }
    // Or read the boxes and the holiday list live at every pass.
    void setDayGateSource(DayGateSource source) { m_gateSource = std::move(source); }
    // The timed shutdown's check, run last in each second.
    void setShutdownHook(ShutdownHook hook) { m_shutdown = std::move(hook); }

    // Checks the current second and keeps checking every second from now on.
    void start();
    // Also within a wake-up: the seconds after the one being checked wait for resume().
    void stop();
    // Goes on after a stop() from the second after the last one checked, catching up as a
    // late timer would; nothing already checked is checked again.
    void resume();
    // The machine slept: read the clock at once; the seconds slept through are a jump,
    // not lateness. Does nothing while stopped.
    void resumeAfterSleep();
    bool isRunning() const { return !m_stopped && m_timer.isActive(); }

    // One wake-up of the timer: checks every second due since the last one checked.
    void tick();
    // Whether the day of the clock's current reading passes the day gate (for the
    // playlist step, which is gated like every pass).
    bool dayOpen();

    const QString &todayName() const { return m_todayName; }
    // The end second a task started at `start` has by its stored end text (wall-clock fields
    // in UTC form): the first moment after the start that the text names. A one-day end
    // stored with the start's date though it lies past midnight counts as the next day's.
    // Invalid when the text can never match a clock text.
    static QDateTime endAfter(const PlayTask &task, const QDateTime &start);
    const Stats &stats() const { return m_stats; }

signals:
    // After each checked second; lateness is how long after that second began it ran.
    void passRan(const QDateTime &second, qint64 latenessMs);
    // A task due now that is not started, and what the status line says about it.
    void taskNotStarted(const PlayTask &task, const QString &text);
    // For the play log: what each checked second decided, stamped with that second.
    void taskStarting(const QDateTime &second, const PlayTask &task);
    // Playback stopped by an end second; `reason` says why when the second was not lived
    // through (the clock was set past it, the machine slept).
    void endReached(const QDateTime &second, const QString &reason);
    // The task being played is no longer stored (deleted, renamed, replaced by an import):
    // it was stopped at once.
    void playingTaskRemoved(const QDateTime &second, const QString &taskName);
    // A task whose start second came (or was jumped over) but that was not started, and why.
    void taskHeldBack(const QDateTime &second, const PlayTask &task, const QString &reason);
    // A late timer: `count` seconds up to `upTo` were checked after their time.
    void secondsCaughtUp(const QDateTime &upTo, int count);

private:
    void runPass(const QDateTime &second);
    void liveAcrossOffsetChange(qint64 utcNow, bool slept, qint64 msInto);
    void stopIfEndJumpedOver(const QDateTime &after, const QDateTime &before,
                             const QString &reason);
    void followPlayback();
    void stopIfPlayingRemoved(const QDateTime &second);
    const StoredSeconds &storedSeconds();
    bool passGate(const QDate &date, const QString &dateText);
    void refreshIndex();
    void reportClosedDay(const QDateTime &second, const ClockTexts &texts);
    void leaveOutOfSeason(const QDateTime &second, QList<qsizetype> &due, bool tell);
    void reportJumpedOver(const QDateTime &from, const QDateTime &to, const QString &reason);
    void arm();

    const Clock &m_clock;
    PlaylistDriver &m_playback;
    ScheduleIndex m_index;
    StoredSeconds m_storedSeconds;
    ScheduleSource m_scheduleSource;
    DayGate m_gate;
    DayGateSource m_gateSource;
    ShutdownHook m_shutdown;
    QString m_todayName;
    QTimer m_timer;
    QDateTime m_lastChecked; // wall-clock second, kept in UTC form for plain arithmetic
    int m_lastOffset = 0;    // the zone's offset from UTC at that second
    qint64 m_lastUtc = 0;    // the last second of real time lived through (checked or not)
    bool m_behind = false;
    bool m_stopped = false;
    bool m_jumpNext = false;
    Stats m_stats;
    // The task started last, while it plays, with the end second it had when it started: a
    // later change or removal of the stored task cannot keep it playing past that.
    struct Playing {
        QString name;
        QDateTime end; // wall-clock second in UTC form; invalid: no end can match
    };
    std::optional<Playing> m_playing;
};
