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
// are checked in order, so a busy moment loses no bell. A longer gap is a stall when the
// monotonic clock ran as far as the wall clock (the program was held up): what fell in it is
// caught up, and a task whose time is still running starts late. Otherwise the wall clock was
// stepped, and what it jumped over does not start. When the zone's offset changes while
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
    // How far the wall clock may run from the monotonic one across a gap and the gap still be
    // a stall, not a step: reading jitter, plus what a time server's slewing adds (at most
    // 0.05 %, allowed 0.1 %).
    static constexpr qint64 StepToleranceMs = 2000;
    // A stall is caught up for its last day; what started before that is told as missed.
    static constexpr qint64 MaxStallCatchUpSeconds = 86400;

    struct Stats {
        qint64 passes = 0;        // seconds checked
        qint64 caughtUp = 0;      // of those, seconds checked after a later one was due
        qint64 skipped = 0;       // seconds left out by forward jumps
        qint64 backwardSteps = 0; // small steps back: nothing re-checked
        qint64 restarts = 0;      // large steps back: started afresh
        qint64 stalls = 0;        // gaps caught up because the program was held up
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
    // "25 秒", "3 分 20 秒", "2 小时 5 分": how long a stall or a delay lasted.
    static QString spanText(qint64 seconds);

    // The user changed a stored task from `before` to `after`. When that task is playing, the
    // run goes on under its new name and ends at its new end, counted from the run's start (an
    // end already passed stops it at the next second); a new start or date rule is for the
    // next run.
    void followEdit(const PlayTask &before, const PlayTask &after);

signals:
    // After each checked second; lateness is how long after that second began it ran.
    void passRan(const QDateTime &second, qint64 latenessMs);
    // A task due now that is not started, and what the status line says about it.
    void taskNotStarted(const PlayTask &task, const QString &text);
    // For the play log: what each checked second decided, stamped with that second. A task
    // started after a stall is `lateSeconds` behind its second.
    void taskStarting(const QDateTime &second, const PlayTask &task, qint64 lateSeconds);
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
    // The program was held up for `seconds` before `now`; what fell in that time was caught up.
    void stallCaughtUp(const QDateTime &now, qint64 seconds);
    // The task being played was changed by the user; `note` says what that means for this run.
    void playingTaskEdited(const QDateTime &second, const QString &oldName, const QString &newName,
                           const QString &note);

private:
    // `caughtUpAt`: the second a pass of a stall is run in (invalid when run in its time).
    void runPass(const QDateTime &second, const QDateTime &caughtUpAt = {});
    bool stalledSince(qint64 readingMs, qint64 monotonicMs) const;
    void catchUpStall(const QDateTime &now, qint64 held, qint64 utcNow, int offset, qint64 msInto);
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
    // The last wake-up's readings of both clocks, to tell a stall from a step.
    qint64 m_lastReadingMs = 0;
    qint64 m_lastMonotonicMs = 0;
    qint64 m_lastStall = 0; // seconds the last stall held the program up
    Stats m_stats;
    // The task started last, while it plays, with the end second it had when it started: a
    // later change or removal of the stored task cannot keep it playing past that.
    struct Playing {
        QString name;
        QDateTime start;   // the second it started at (the end is counted from it)
        QDateTime end;     // wall-clock second in UTC form; invalid: no end can match
        QString endReason; // why it ends there, when not at its stored end
    };
    std::optional<Playing> m_playing;
};
