#include "ScheduleDriver.h"

#include "Clock.h"
#include "StoredSeconds.h"
#include "playback/PlaylistDriver.h"
#include "store/TaskTimes.h"

#include <QStringList>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

// The local wall-clock second of a reading. Tasks are matched on wall-clock texts, so the
// driver counts wall-clock seconds: a daylight-saving change is a step of the clock.
QDateTime wallSecond(const QDateTime &reading) {
    const QDateTime local = reading.toLocalTime();
    const QTime t = local.time();
    return QDateTime(local.date(), QTime(t.hour(), t.minute(), t.second()), Qt::UTC);
}

// Why a start jumped over was not played, or an end was passed, for the play log.
const QString kMissedAsleep = QStringLiteral("计算机睡眠中，错过了它的开始时间");
const QString kEndAsleep = QStringLiteral("计算机睡眠中，过了结束时间");
const QString kMissedStalled = QStringLiteral("程序停顿了 %1，错过了它的开始时间");
const QString kEndStalled = QStringLiteral("程序停顿了 %1，过了结束时间");

// The zone's offset from UTC at a reading, in seconds.
int offsetOf(const QDateTime &reading, const QDateTime &wall) {
    return static_cast<int>(wall.toSecsSinceEpoch() - reading.toSecsSinceEpoch());
}

} // namespace

ScheduleDriver::ScheduleDriver(const Clock &clock, PlaylistDriver &playback, QObject *parent)
    : QObject(parent), m_clock(clock), m_playback(playback) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ScheduleDriver::tick);
    m_playback.setStepGate([this] { return dayOpen(); });
}

void ScheduleDriver::setWeekdayOff(int weekday, bool off) {
    m_gate.weekdayOff.at(static_cast<size_t>(weekday)) = off;
}

void ScheduleDriver::start() {
    m_lastChecked = QDateTime();
    m_stopped = false;
    tick();
}

void ScheduleDriver::stop() {
    m_stopped = true;
    m_timer.stop();
}

void ScheduleDriver::resume() {
    m_stopped = false;
    tick();
}

void ScheduleDriver::resumeAfterSleep() {
    if (m_stopped)
        return;
    m_jumpNext = true;
    tick();
}

void ScheduleDriver::tick() {
    if (m_stopped)
        return;
    const QDateTime reading = m_clock.now();
    const QDateTime now = wallSecond(reading);
    const qint64 msInto = reading.toLocalTime().time().msec();
    const qint64 gap = m_lastChecked.isValid() ? m_lastChecked.secsTo(now) : 1;
    const bool slept = std::exchange(m_jumpNext, false);
    const qint64 utcNow = reading.toSecsSinceEpoch();
    const int offset = offsetOf(reading, now);
    const qint64 readingMs = reading.toMSecsSinceEpoch();
    const qint64 monotonicMs = m_clock.monotonicMs();
    const bool stalled = m_lastChecked.isValid() && !slept && gap > MaxCatchUpSeconds + 1 &&
                         offset == m_lastOffset && stalledSince(readingMs, monotonicMs);
    const qint64 heldMs = monotonicMs - m_lastMonotonicMs;
    m_lastReadingMs = readingMs;
    m_lastMonotonicMs = monotonicMs;

    if (stalled) {
        catchUpStall(now, (heldMs + 500) / 1000, utcNow, offset, msInto);
        arm();
        return;
    }

    if (m_lastChecked.isValid() && offset != m_lastOffset && utcNow > m_lastUtc) {
        // Summer time began or ended while the clock ran on (UTC moved forward): not a step.
        liveAcrossOffsetChange(utcNow, slept, msInto);
        if (!m_stopped)
            arm();
        return;
    }

    if (gap >= 1 && gap <= MaxCatchUpSeconds + 1 && !slept) {
        // Late by up to MaxCatchUpSeconds: every second missed is checked, in order.
        for (qint64 back = gap - 1; back >= 0; --back) {
            if (back > 0)
                ++m_stats.caughtUp;
            runPass(now.addSecs(-back));
            m_lastChecked = now.addSecs(-back);
            m_lastUtc = utcNow - back;
            m_lastOffset = offset;
            emit passRan(now.addSecs(-back), back * 1000 + msInto);
            // Stopped by this second's checks (the shutdown): the rest waits for resume().
            if (m_stopped)
                break;
        }
        if (gap > 1)
            emit secondsCaughtUp(now.addSecs(-1), static_cast<int>(gap - 1));
        if (m_stopped)
            return;
        m_behind = false;
    } else if (gap > MaxCatchUpSeconds + 1 || gap < -MaxCatchUpSeconds || (slept && gap >= 1)) {
        // The clock was set: the seconds jumped over were never lived through, and after
        // a large step back the day is lived anew.
        if (gap > 0) {
            m_stats.skipped += gap - 1;
            reportJumpedOver(m_lastChecked.addSecs(1), now.addSecs(-1),
                             slept ? kMissedAsleep
                                   : QStringLiteral("时钟被向前调过了它的开始时间"));
            stopIfEndJumpedOver(m_lastChecked, now,
                                slept ? kEndAsleep : QStringLiteral("时钟被向前调过了结束时间"));
        } else
            ++m_stats.restarts;
        runPass(now);
        m_lastChecked = now;
        m_lastUtc = utcNow;
        m_lastOffset = offset;
        emit passRan(now, msInto);
        m_behind = false;
        if (m_stopped)
            return;
    } else if (gap < 0 && !m_behind) {
        // Set back a little: the seconds up to the last one checked are done already and
        // wait until the clock passes them again.
        ++m_stats.backwardSteps;
        m_behind = true;
    }
    m_lastUtc = utcNow;
    arm();
}

bool ScheduleDriver::stalledSince(qint64 readingMs, qint64 monotonicMs) const {
    const qint64 ran = monotonicMs - m_lastMonotonicMs;
    const qint64 stepped = (readingMs - m_lastReadingMs) - ran;
    return std::abs(stepped) <= StepToleranceMs + ran / 1000;
}

QString ScheduleDriver::spanText(qint64 seconds) {
    if (seconds < 60)
        return QStringLiteral("%1 秒").arg(seconds);
    if (seconds < 3600) {
        const qint64 s = seconds % 60;
        return s == 0 ? QStringLiteral("%1 分").arg(seconds / 60)
                      : QStringLiteral("%1 分 %2 秒").arg(seconds / 60).arg(s);
    }
    const qint64 m = seconds / 60 % 60;
    return m == 0 ? QStringLiteral("%1 小时").arg(seconds / 3600)
                  : QStringLiteral("%1 小时 %2 分").arg(seconds / 3600).arg(m);
}

// The program was held up (a busy moment far longer than a late timer, the process stopped)
// while the wall clock ran on as ever. Nothing was jumped over: the seconds at which something
// starts or ends are checked in order, now, so a task whose time is still running starts,
// late, and ends passed meanwhile stop what played.
void ScheduleDriver::catchUpStall(const QDateTime &now, qint64 held, qint64 utcNow, int offset,
                                  qint64 msInto) {
    ++m_stats.stalls;
    m_lastStall = held;
    QDateTime first = m_lastChecked.addSecs(1);
    const QDateTime last = now.addSecs(-1);
    const QDateTime oldest = now.addSecs(-MaxStallCatchUpSeconds);
    if (first < oldest) {
        // Days of it: what began before its last day is over by any measure.
        m_stats.skipped += first.secsTo(oldest);
        reportJumpedOver(first, oldest.addSecs(-1), kMissedStalled.arg(spanText(held)));
        stopIfEndJumpedOver(m_lastChecked, oldest, kEndStalled.arg(spanText(held)));
        first = oldest;
    }
    refreshIndex();
    followPlayback();
    QList<QDateTime> seconds = storedSeconds().startsWithin(first, last);
    seconds += storedSeconds().endsWithin(first, last);
    if (m_playing && m_playing->end.isValid() && m_playing->end >= first && m_playing->end <= last)
        seconds.append(m_playing->end);
    std::sort(seconds.begin(), seconds.end());
    seconds.erase(std::unique(seconds.begin(), seconds.end()), seconds.end());
    for (const QDateTime &second : std::as_const(seconds)) {
        runPass(second, now);
        ++m_stats.caughtUp;
        emit passRan(second, second.secsTo(now) * 1000 + msInto);
    }
    emit stallCaughtUp(now, held);
    runPass(now);
    m_lastChecked = now;
    m_lastUtc = utcNow;
    m_lastOffset = offset;
    m_behind = false;
    emit passRan(now, msInto);
}

void ScheduleDriver::liveAcrossOffsetChange(qint64 utcNow, bool slept, qint64 msInto) {
    const auto wallAt = [](qint64 utc) { return wallSecond(QDateTime::fromSecsSinceEpoch(utc)); };
    const auto check = [&](const QDateTime &wall, qint64 utc) {
        const qint64 ahead = m_lastChecked.secsTo(wall);
        if (ahead > 1) {
            // The hour the clock skips is jumped over: none of it starts, its ends count.
            m_stats.skipped += ahead - 1;
            reportJumpedOver(m_lastChecked.addSecs(1), wall.addSecs(-1),
                             slept ? kMissedAsleep
                                   : QStringLiteral("夏令时开始，时钟跳过了它的开始时间"));
            stopIfEndJumpedOver(m_lastChecked, wall,
                                slept ? kEndAsleep
                                      : QStringLiteral("夏令时开始，时钟跳过了结束时间"));
        }
        runPass(wall);
        m_lastChecked = wall;
        m_lastUtc = utc;
        m_lastOffset = offsetOf(QDateTime::fromSecsSinceEpoch(utc), wall);
        emit passRan(wall, (utcNow - utc) * 1000 + msInto);
    };
    m_behind = false;
    if (slept || m_lastUtc + MaxCatchUpSeconds + 1 < utcNow) {
        // Time jumped as well: only the current second, unless the wall clock showed it
        // already before it was turned back.
        const QDateTime now = wallAt(utcNow);
        m_lastUtc = utcNow;
        if (now > m_lastChecked)
            check(now, utcNow);
        return;
    }
    // Every second of real time is lived once; a wall-clock second shown again after the
    // clock was turned back an hour was checked the first time.
    int late = 0;
    QDateTime lastLate;
    for (qint64 utc = m_lastUtc + 1; utc <= utcNow && !m_stopped; ++utc) {
        const QDateTime wall = wallAt(utc);
        m_lastUtc = utc;
        if (wall <= m_lastChecked)
            continue;
        check(wall, utc);
        if (utc < utcNow) {
            ++m_stats.caughtUp;
            ++late;
            lastLate = wall;
        }
    }
    if (late > 0)
        emit secondsCaughtUp(lastLate, late);
}

void ScheduleDriver::stopIfEndJumpedOver(const QDateTime &after, const QDateTime &before,
                                         const QString &reason) {
    if (m_gateSource)
        m_gate = m_gateSource();
    followPlayback();
    bool ownEnd = false;
    if (m_playing && m_playing->end.isValid() && m_playing->end > after &&
        m_playing->end < before) {
        const QDate day = m_playing->end.date();
        ownEnd = m_gate.admits(Weekday::of(day), ClockTexts::of(m_playing->end).date);
    }
    if (ownEnd || storedSeconds().endWithin(after, before, m_gate)) {
        m_playback.StopPlayback();
        m_playing.reset();
        emit endReached(before, reason);
    }
}

void ScheduleDriver::followPlayback() {
    // Stopped by hand, through its pass or by the shutdown: no longer ours to end.
    if (m_playing && !m_playback.isTaskActive())
        m_playing.reset();
}

void ScheduleDriver::stopIfPlayingRemoved(const QDateTime &second) {
    followPlayback();
    if (!m_playing || m_index.hasTaskNamed(m_playing->name))
        return;
    const QString name = m_playing->name;
    m_playing.reset();
    m_playback.StopPlayback();
    emit playingTaskRemoved(second, name);
}

QDateTime ScheduleDriver::endAfter(const PlayTask &task, const QDateTime &start) {
    const QString &text = task.Duration;
    QTime time;
    if (text.size() == 19 && text[10] == u' ') {
        const QDate day = ClockTexts::dayOf(QStringView(text).left(10));
        time = QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss"));
        if (!day.isValid() || !time.isValid())
            return {};
        const QDateTime end(day, time, Qt::UTC);
        if (end > start)
            return end;
    } else if (text.size() == 8) {
        time = QTime::fromString(text, QStringLiteral("HH:mm:ss"));
    }
    if (!time.isValid())
        return {};
    const QDateTime end(start.date(), time, Qt::UTC);
    return end > start ? end : end.addDays(1);
}

const StoredSeconds &ScheduleDriver::storedSeconds() {
    const ScheduleTable &table = m_scheduleSource ? m_scheduleSource() : m_index.table();
    if (!table.isSharedWith(m_storedSeconds.table()))
        m_storedSeconds = StoredSeconds(table);
    return m_storedSeconds;
}

void ScheduleDriver::arm() {
    const int ms = m_clock.now().toLocalTime().time().msec();
    m_timer.start(1000 - ms + ArmSlackMs);
}

bool ScheduleDriver::passGate(const QDate &date, const QString &dateText) {
    const int weekday = Weekday::of(date);
    if (m_gateSource)
        m_gate = m_gateSource();
    const int followed = m_gate.timetableWeekday(weekday, dateText);
    if (followed < 0)
        return false;
    m_todayName = Weekday::name(followed);
    return true;
}

bool ScheduleDriver::dayOpen() {
    const QDateTime now = wallSecond(m_clock.now());
    return passGate(now.date(), ClockTexts::of(now).date);
}

void ScheduleDriver::refreshIndex() {
    if (m_scheduleSource) {
        // Our copy shares the owner's data until the owner replaces or changes it.
        const ScheduleTable &current = m_scheduleSource();
        if (!current.isSharedWith(m_index.table()))
            m_index = ScheduleIndex(current);
    }
}

void ScheduleDriver::reportClosedDay(const QDateTime &second, const ClockTexts &texts) {
    const int own = Weekday::of(second.date());
    const int named = m_gate.nameWeekday(own, texts.date);
    const QList<qsizetype> due = m_index.startingAt(texts, Weekday::name(named));
    if (due.isEmpty())
        return;
    // A ticked weekday box switches its day off; a make-up workday is off when the box of
    // the weekday it follows is ticked.
    QString reason = QStringLiteral("节假日");
    if (!m_gate.isHoliday(texts.date)) {
        reason = QStringLiteral("%1已勾选（不播放）").arg(Weekday::name(named));
        if (named != own)
            reason = QStringLiteral("调休上班按%1作息，").arg(Weekday::name(named)) + reason;
    }
    for (qsizetype slot : due)
        emit taskHeldBack(second, m_index.table().at(slot), reason);
}

// A task whose timetable leaves the day out is not due at all: it takes no second from a
// task stored after it.
void ScheduleDriver::leaveOutOfSeason(const QDateTime &second, QList<qsizetype> &due, bool tell) {
    if (m_gate.seasons.isEmpty())
        return;
    due.removeIf([&](qsizetype slot) {
        const PlayTask &task = m_index.table().at(slot);
        const QString why = m_gate.seasons.refusal(task.Name, second.date());
        if (why.isEmpty())
            return false;
        if (tell)
            emit taskHeldBack(second, task, why);
        return true;
    });
}

void ScheduleDriver::reportJumpedOver(const QDateTime &from, const QDateTime &to,
                                      const QString &reason) {
    if (!from.isValid() || from > to)
        return;
    refreshIndex();
    followPlayback();
    // A jump of days is told for its last day: what was about to play is what the user misses.
    const QDateTime first = std::max(from, to.addSecs(-86399));
    // Only the seconds some task starts at matter: found from the stored texts, not by
    // walking every second jumped over.
    const QList<QDateTime> seconds = storedSeconds().startsWithin(first, to);
    for (const QDateTime &s : seconds) {
        const ClockTexts texts = ClockTexts::of(s);
        if (!passGate(s.date(), texts.date))
            continue;
        QList<qsizetype> due = m_index.startingAt(texts, m_todayName);
        leaveOutOfSeason(s, due, false);
        if (due.isEmpty())
            continue;
        const PlayTask &task = m_index.table().at(due.constFirst());
        // Its start came again while it still played from the last one: nothing was missed.
        if (m_playing && m_playing->name == task.Name &&
            (!m_playing->end.isValid() || m_playing->end > s))
            continue;
        emit taskHeldBack(s, task, reason);
    }
}

void ScheduleDriver::followEdit(const PlayTask &before, const PlayTask &after) {
    followPlayback();
    if (!m_playing || m_playing->name != before.Name)
        return;
    const QDateTime now = wallSecond(m_clock.now());
    QStringList notes;
    if (after.Name != before.Name) {
        m_playing->name = after.Name;
        m_playback.renameTask(after.Name);
        notes << QStringLiteral("播放中改名（原名“%1”），继续播放").arg(before.Name);
    }
    if (after.Duration != before.Duration) {
        PlayTask own = after;
        // A one-day task moved to another day: that is its next run's day. This run keeps its
        // own, and the end's time of day as newly set.
        const QDate was = ClockTexts::dayOf(QStringView(before.Time).left(10));
        const QDate is = ClockTexts::dayOf(QStringView(after.Time).left(10));
        const QDate endDay = ClockTexts::dayOf(QStringView(after.Duration).left(10));
        if (before.Time.size() == 19 && after.Time.size() == 19 && after.Duration.size() == 19 &&
            was.isValid() && is.isValid() && endDay.isValid() && was != is)
            own.Duration = endDay.addDays(is.daysTo(was)).toString(QStringLiteral("yyyy-MM-dd")) +
                           after.Duration.mid(10);
        const QDateTime end = endAfter(own, m_playing->start);
        const QString endText = ClockTexts::of(end).full;
        m_playing->endReason.clear();
        if (!end.isValid()) {
            m_playing->end = {};
            notes << QStringLiteral("结束时间“%1”无法识别，本次播放到其他任务的结束时间才停止")
                         .arg(after.Duration);
        } else if (m_lastChecked.isValid() && end <= m_lastChecked) {
            // Passed already: the next second is the first that can stop it.
            m_playing->end = m_lastChecked.addSecs(1);
            m_playing->endReason = QStringLiteral("结束时间改为 %1，已过").arg(endText);
            notes << QStringLiteral("结束时间改为 %1，已过，立即停止").arg(endText);
        } else {
            m_playing->end = end;
            notes << QStringLiteral("结束时间改为 %1，本次播放到那时停止").arg(endText);
        }
    }
    if (after.Time != before.Time || after.Device != before.Device)
        notes << QStringLiteral("开始时间和日期规则的修改从下次播放起生效，本次播放不受影响");
    if (!notes.isEmpty())
        emit playingTaskEdited(now, before.Name, after.Name, notes.join(QStringLiteral("；")));
}

void ScheduleDriver::runPass(const QDateTime &second, const QDateTime &caughtUpAt) {
    ++m_stats.passes;
    const ClockTexts texts = ClockTexts::of(second);
    refreshIndex();
    stopIfPlayingRemoved(second);
    if (!passGate(second.date(), texts.date)) {
        reportClosedDay(second, texts);
        return;
    }

    // End before start: a task ending at the second the next one starts must not stop it.
    // The task playing ends at its own end second even when its stored end changed since.
    const qint64 late = caughtUpAt.isValid() ? second.secsTo(caughtUpAt) : 0;
    const bool ownEnd = m_playing && m_playing->end == second;
    if (ownEnd || m_index.dueEnd(texts)) {
        const QString reason = ownEnd ? m_playing->endReason : QString();
        m_playback.StopPlayback();
        m_playing.reset();
        emit endReached(second, late > 0 && reason.isEmpty()
                                    ? kEndStalled.arg(spanText(m_lastStall)) +
                                          QStringLiteral("，迟 %1停止").arg(spanText(late))
                                    : reason);
    }

    QList<qsizetype> due = m_index.startingAt(texts, m_todayName);
    leaveOutOfSeason(second, due, true);
    if (!due.isEmpty()) {
        const PlayTask &task = m_index.table().at(due.constFirst());
        const QDateTime end = endAfter(task, second);
        for (qsizetype k = 1; k < due.size(); ++k)
            emit taskHeldBack(second, m_index.table().at(due[k]),
                              QStringLiteral("同一秒已开始任务“%1”").arg(task.Name));
        if (late > 0 && end.isValid() && end <= caughtUpAt) {
            // Its whole time passed in the stall.
            emit taskHeldBack(second, task,
                              QStringLiteral("程序停顿了 %1，恢复时已过了它的结束时间")
                                  .arg(spanText(m_lastStall)));
        } else {
            emit taskStarting(second, task, late);
            m_playback.StartTask(task);
            m_playing = Playing{task.Name, second, end, {}};
        }
    }
    QList<qsizetype> held = m_index.heldBack(texts, m_todayName);
    leaveOutOfSeason(second, held, true);
    for (qsizetype slot : held) {
        const PlayTask &task = m_index.table().at(slot);
        emit taskNotStarted(task, TaskTimes::notStartedText(task));
        emit taskHeldBack(second, task, QStringLiteral("开始和结束时间相同"));
    }

    // The timed shutdown is for its own second: not run hours late after a stall.
    if (m_shutdown && late == 0)
        m_shutdown(texts);
}
