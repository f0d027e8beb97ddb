#include "PlayLogRecorder.h"

#include "PlayLog.h"
#include "playback/PlaylistDriver.h"
#include "playback/VolumeText.h"
#include "scheduler/Clock.h"
#include "scheduler/ScheduleDriver.h"

namespace {

// The local wall-clock second the driver's signals carry in UTC form.
QDateTime localSecond(const QDateTime &second) {
    if (second.timeSpec() == Qt::UTC)
        return QDateTime(second.date(), second.time());
    return second;
}

} // namespace

PlayLogRecorder::PlayLogRecorder(PlayLog &log, const Clock &clock, QObject *parent)
    : QObject(parent), m_log(log), m_clock(clock) {}

QDateTime PlayLogRecorder::now() const {
    return m_clock.now().toLocalTime();
}

void PlayLogRecorder::write(const QDateTime &at, const QString &event, const QString &task,
                            const QString &item, const QString &note) {
    summariseQuiet(at);
    const Row row{event, task, item, note};
    const auto found = m_recent.find(row);
    if (found != m_recent.end()) {
        const qint64 gap = found->last.secsTo(at);
        // A clock set back starts the row afresh.
        if (gap >= 0 && gap <= QuietSeconds) {
            found->last = at;
            ++found->count;
            if (found->since.secsTo(at) >= SummarySeconds)
                writeSummary(at, row, *found);
            return;
        }
        if (found->count > 0)
            writeSummary(at, row, *found);
    }
    m_log.append(at, event, task, item, note);
    m_recent.insert(row, {at, at, 0});
}

void PlayLogRecorder::writeSummary(const QDateTime &at, const Row &row, Repeats &repeats) {
    const QString last = repeats.last.date() == at.date()
                             ? repeats.last.toString(QStringLiteral("HH:mm:ss"))
                             : repeats.last.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString count =
        QStringLiteral("此后又重复 %1 次，最后一次在 %2").arg(repeats.count).arg(last);
    m_log.append(at, row.event, row.task, row.item,
                 row.note.isEmpty() ? count : QStringLiteral("%1（%2）").arg(row.note, count));
    repeats.count = 0;
    repeats.since = at;
}

void PlayLogRecorder::summariseQuiet(const QDateTime &at) {
    for (auto it = m_recent.begin(); it != m_recent.end();) {
        const qint64 gap = it->last.secsTo(at);
        if (gap >= 0 && gap <= QuietSeconds) {
            ++it;
            continue;
        }
        if (it->count > 0)
            writeSummary(at, it.key(), *it);
        it = m_recent.erase(it);
    }
}

void PlayLogRecorder::watch(ScheduleDriver &schedule, PlaylistDriver &playback) {
    connect(&schedule, &ScheduleDriver::passRan, this,
            [this](const QDateTime &second) { summariseQuiet(localSecond(second)); });
    connect(&schedule, &ScheduleDriver::taskStarting, this,
            [this](const QDateTime &second, const PlayTask &task, qint64 lateSeconds) {
                m_current = task.Name;
                const int volume = PlaylistDriver::volumeOf(task.Type);
                QString note = QStringLiteral("音量 %1，%2").arg(volume).arg(task.Recurrence);
                if (VolumeText::silentByMistake(task.Type))
                    note += u'；' + VolumeText::storedNote(task.Type);
                if (lateSeconds > 0)
                    note += QStringLiteral("；程序停顿，迟 %1开始")
                                .arg(ScheduleDriver::spanText(lateSeconds));
                write(localSecond(second), PlayLogEvent::TaskStart, task.Name, {}, note);
            });
    connect(&schedule, &ScheduleDriver::endReached, this,
            [this](const QDateTime &second, const QString &reason) {
                // An end second with nothing started stops nothing worth telling.
                if (m_current.isEmpty())
                    return;
                write(localSecond(second), PlayLogEvent::EndReached, m_current, {}, reason);
                m_current.clear();
            });
    connect(&schedule, &ScheduleDriver::playingTaskRemoved, this,
            [this](const QDateTime &second, const QString &task) {
                write(localSecond(second), PlayLogEvent::TaskRemoved, task, {},
                      QStringLiteral("播放中的任务已不在任务列表中，立即停止"));
                m_current.clear();
            });
    connect(&schedule, &ScheduleDriver::playingTaskEdited, this,
            [this](const QDateTime &second, const QString &, const QString &newName,
                   const QString &note) {
                m_current = newName;
                write(localSecond(second), PlayLogEvent::TaskEdited, newName, {}, note);
            });
    connect(&schedule, &ScheduleDriver::stallCaughtUp, this,
            [this](const QDateTime &at, qint64 seconds) {
                write(
                    localSecond(at), PlayLogEvent::CaughtUp, {}, {},
                    QStringLiteral("程序停顿了 %1（时钟未被调整），已补查这段时间的开始和结束时间")
                        .arg(ScheduleDriver::spanText(seconds)));
            });
    connect(&schedule, &ScheduleDriver::taskHeldBack, this,
            [this](const QDateTime &second, const PlayTask &task, const QString &reason) {
                write(localSecond(second), PlayLogEvent::NotStarted, task.Name, {}, reason);
            });
    connect(&schedule, &ScheduleDriver::secondsCaughtUp, this,
            [this](const QDateTime &upTo, int count) {
                write(localSecond(upTo), PlayLogEvent::CaughtUp, {}, {},
                      QStringLiteral("定时器迟到，补查了 %1 秒").arg(count));
            });
    connect(&playback, &PlaylistDriver::itemStarting, this, [this](const QString &item) {
        if (item.isEmpty())
            write(now(), PlayLogEvent::ItemFailed, m_current, item,
                  QStringLiteral("播放列表中的空项目"));
        else
            write(now(), PlayLogEvent::ItemStart, m_current, item);
    });
    connect(&playback, &PlaylistDriver::sequentialPassEnded, this,
            [this](const QString &task) { write(now(), PlayLogEvent::PassEnded, task); });
}

void PlayLogRecorder::programStarted() {
    write(now(), PlayLogEvent::ProgramStart);
}

void PlayLogRecorder::programExiting() {
    const QDateTime at = now();
    for (auto it = m_recent.begin(); it != m_recent.end(); ++it)
        if (it->count > 0)
            writeSummary(at, it.key(), *it);
    m_recent.clear();
    write(at, PlayLogEvent::ProgramExit, m_current);
    m_log.close();
}

void PlayLogRecorder::manualStop() {
    write(now(), PlayLogEvent::ManualStop, m_current);
    m_current.clear();
}

void PlayLogRecorder::itemFailed(const QString &item, const QString &reason) {
    write(now(), PlayLogEvent::ItemFailed, m_current, item, reason);
}

void PlayLogRecorder::shutdownRequested(const QString &note) {
    write(now(), PlayLogEvent::ShutdownRequested, {}, {}, note);
}

void PlayLogRecorder::shutdownRefused(const QString &reason) {
    write(now(), PlayLogEvent::ShutdownRefused, {}, {}, reason);
}

void PlayLogRecorder::campus(const QString &task, const QString &note) {
    write(now(), PlayLogEvent::Campus, task, {}, note);
}

void PlayLogRecorder::wakeAlarm(const QString &note) {
    write(now(), PlayLogEvent::WakeAlarm, {}, {}, note);
}

void PlayLogRecorder::problemFound(const QString &task, const Preflight::Problem &problem) {
    const QString &event = problem.kind == Preflight::Kind::Timetable
                               ? PlayLogEvent::TimetableProblem
                           : problem.kind == Preflight::Kind::Volume ? PlayLogEvent::VolumeProblem
                           : problem.kind == Preflight::Kind::Output ? PlayLogEvent::OutputQuiet
                                                                     : PlayLogEvent::FileProblem;
    write(now(), event, task, problem.item, problem.reason);
}

void PlayLogRecorder::heard(const HeardNews &news) {
    const QString *event = &PlayLogEvent::Heard;
    switch (news.kind) {
    case HeardNews::Kind::OutputQuiet:
        event = &PlayLogEvent::OutputQuiet;
        break;
    case HeardNews::Kind::Heard:
        break;
    case HeardNews::Kind::NotHeard:
        event = &PlayLogEvent::NotHeard;
        break;
    case HeardNews::Kind::Unconfirmed:
        event = &PlayLogEvent::Unconfirmed;
        break;
    }
    write(now(), *event, news.task, {}, news.note);
}
