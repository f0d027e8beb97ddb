#include "TaskChanges.h"

#include "TaskNames.h"

#include "campus/CampusConfig.h"
#include "store/ProfileStore.h"
#include "store/TaskTimes.h"

namespace {

TaskChangeOutcome refused(const QString &message) {
    TaskChangeOutcome outcome;
    outcome.message = message;
    return outcome;
}

TaskChangeOutcome fromStore(const TaskStore &store, TaskStore::ChangeResult result, int section) {
    TaskChangeOutcome outcome;
    outcome.ok = result.result.ok;
    outcome.message = result.result.error;
    // An unreadable song.ini gives no rows; handing those on would empty the schedule and
    // silence every bell, so the caller keeps what it has.
    QString unreadable;
    if (!outcome.ok)
        ProfileFile::load(store.songFile(), &unreadable);
    outcome.touched = unreadable.isEmpty();
    outcome.rows = std::move(result.rows);
    outcome.schedule = std::move(result.schedule);
    outcome.section = outcome.ok ? section : -1;
    return outcome;
}

} // namespace

QString TaskChanges::textProblem(const PlayTask &task, const TaskPlaylist &items, int self) const {
    if (QString problem = TaskNames::nameProblem(task.Name, m_store.ReadTaskRows(), self);
        !problem.isEmpty())
        return problem;
    if (TaskTimes::startsAtItsEnd(task))
        return TaskTimes::SameStartAndEnd;
    if (QString problem = TaskNames::volumeProblem(task.Type); !problem.isEmpty())
        return problem;
    for (const QString &item : items)
        if (QString problem = TaskNames::itemProblem(item); !problem.isEmpty())
            return problem;
    return {};
}

TaskChangeOutcome TaskChanges::add(const PlayTask &task, const TaskPlaylist &items,
                                   const TaskBindings &bindings) const {
    if (QString problem = textProblem(task, items, -1); !problem.isEmpty())
        return refused(problem);
    TaskStore::ChangeResult result = m_store.AddTask(task, items, bindings);
    const int section = static_cast<int>(result.rows.size()) - 1;
    return fromStore(m_store, std::move(result), section);
}

TaskChangeOutcome TaskChanges::modify(int section, const PlayTask &expected, const PlayTask &task,
                                      const TaskPlaylist &items,
                                      const TaskBindings &bindings) const {
    if (QString problem = textProblem(task, items, section); !problem.isEmpty())
        return refused(problem);
    return fromStore(m_store, m_store.ModifyTask(section, expected, task, items, bindings),
                     section);
}

TaskChangeOutcome TaskChanges::remove(int section, const PlayTask &expected) const {
    return fromStore(m_store, m_store.DeleteTask(section, expected), -1);
}

TaskChangeOutcome TaskChanges::copyTimetable(Timetables &timetables, const QString &from,
                                             const QString &to, const SeasonRange &range,
                                             const QString &suffix) const {
    if (QString problem = Timetables::nameProblem(to); !problem.isEmpty())
        return refused(problem);
    if (timetables.find(to))
        return refused(QStringLiteral("已有名为“%1”的作息表。").arg(to));
    if (suffix.isEmpty())
        return refused(QStringLiteral("请输入新任务名称的后缀。"));
    QString error;
    QList<PlayTask> rows = m_store.ReadTaskRows(&error);
    if (!error.isEmpty())
        return refused(error);
    QList<std::pair<PlayTask, TaskPlaylist>> copies;
    for (const PlayTask &task : std::as_const(rows)) {
        if (timetables.timetableOf(task.Name) != from)
            continue;
        PlayTask copy = task;
        copy.Name = task.Name + suffix;
        QList<PlayTask> taken = rows;
        for (const auto &c : std::as_const(copies))
            taken.append(c.first);
        if (QString problem = TaskNames::nameProblem(copy.Name, taken, -1); !problem.isEmpty())
            return refused(problem);
        TaskPlaylist items = m_store.ReadTaskPlaylist(task.Name, &error);
        if (!error.isEmpty())
            return refused(error);
        copies.append({copy, items});
    }
    if (copies.isEmpty())
        return refused(QStringLiteral("作息表“%1”中没有播放任务。").arg(from));
    // The copies reach the rooms their originals reach.
    CampusConfig campus(m_store.directory());
    campus.load(&error);
    if (!error.isEmpty())
        return refused(error);
    if (const StoreResult made = timetables.setTimetable(to, range); !made)
        return refused(made.error);
    TaskChangeOutcome outcome;
    int copied = 0;
    for (const auto &[task, items] : std::as_const(copies)) {
        const QString original = task.Name.chopped(suffix.size());
        outcome =
            fromStore(m_store, m_store.AddTask(task, items, {to, campus.zonesOf(original)}), -1);
        if (!outcome.ok) {
            outcome.message = QStringLiteral("已复制 %1 个播放任务，“%2”未能复制：%3")
                                  .arg(copied)
                                  .arg(task.Name, outcome.message);
            return outcome;
        }
        ++copied;
    }
    outcome.message =
        QStringLiteral("已将作息表“%1”的 %2 个播放任务复制到“%3”。").arg(from).arg(copied).arg(to);
    return outcome;
}
