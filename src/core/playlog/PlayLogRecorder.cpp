#include "PlayLogRecorder.h"

#include "PlayLog.h"
#include "playback/PlaylistDriver.h"
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
    m_log.append(at, event, task, item, note);
}

void PlayLogRecorder::watch(ScheduleDriver &schedule, PlaylistDriver &playback) {
    connect(&schedule, &ScheduleDriver::taskStarting, this,
            [this](const QDateTime &second, const PlayTask &task) {
                m_current = task.Name;
                const int volume = PlaylistDriver::volumeOf(task.Type);
                write(localSecond(second), PlayLogEvent::TaskStart, task.Name, {},
                      QStringLiteral("音量 %1，%2").arg(volume).arg(task.Recurrence));
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
                      QStringLiteral("播放中的任务已被删除或改名，立即停止"));
                m_current.clear();
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
    write(now(), PlayLogEvent::ProgramExit, m_current);
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

void PlayLogRecorder::fileProblem(const QString &task, const QString &item, const QString &reason) {
    write(now(), PlayLogEvent::FileProblem, task, item, reason);
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
