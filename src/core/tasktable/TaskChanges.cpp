#include "TaskChanges.h"

#include "TaskNames.h"

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

TaskChangeOutcome TaskChanges::add(const PlayTask &task, const TaskPlaylist &items) const {
    if (QString problem = textProblem(task, items, -1); !problem.isEmpty())
        return refused(problem);
    TaskStore::ChangeResult result = m_store.AddTask(task, items);
    const int section = static_cast<int>(result.rows.size()) - 1;
    return fromStore(m_store, std::move(result), section);
}

TaskChangeOutcome TaskChanges::modify(int section, const PlayTask &expected, const PlayTask &task,
                                      const TaskPlaylist &items) const {
    if (QString problem = textProblem(task, items, section); !problem.isEmpty())
        return refused(problem);
    return fromStore(m_store, m_store.ModifyTask(section, expected, task, items), section);
}

TaskChangeOutcome TaskChanges::remove(int section, const PlayTask &expected) const {
    return fromStore(m_store, m_store.DeleteTask(section, expected), -1);
}
