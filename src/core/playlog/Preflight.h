#pragma once

#include "scheduler/SchedulePass.h"
#include "store/PlayTask.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>

class TaskStore;

// The check of what will play: every task due within a day, its playlist and each item,
// before the bell rather than at it.
namespace Preflight {

// Whether a local file opens as media: empty when it does, else the reason in words.
using Probe = std::function<QString(const QString &path)>;

// What is wrong: a file of the task's, the timetable it names (it will not play at all), its
// volume (it will play, silently), or the output it plays to (muted or turned down now).
enum class Kind { File, Timetable, Volume, Output };

struct Problem {
    QString item; // empty for the playlist itself
    QString reason;
    Kind kind = Kind::File;
    bool operator==(const Problem &) const = default;
};

struct Verdict {
    QString task;
    QDateTime due;
    QList<Problem> problems;
};

constexpr qint64 HorizonSeconds = 24 * 3600;

QString checkItem(const QString &item, const Probe &probe);
QList<Problem> checkTask(const TaskStore &store, const QString &name, const Probe &probe);
// The tasks due from `now` to a day later that have problems, in the order they are due.
// A set `cancel` ends the check early (the program is closing). `outputNow` is why the
// output the tasks play to would not be heard now (muted, turned down by hand), read once
// per check; every due task is listed with it.
QList<Verdict> check(const ScheduleTable &table, const QDateTime &now, const DayGate &gate,
                     const TaskStore &store, const Probe &probe,
                     const std::atomic_bool *cancel = nullptr, const QString &outputNow = {});
// Each kind counted apart, "明天有 2 个播放任务的文件有问题；今天有 1 个播放任务不会播放：
// 作息表‘冬季’不存在"; empty when nothing is wrong.
QString caption(const QList<Verdict> &verdicts, const QDateTime &now);

} // namespace Preflight
