#pragma once

#include "store/TaskStore.h"
#include "store/Timetables.h"

// The three changes a user makes to the task list, each one rewrite of the store. Texts are
// checked first, so a refused change touches no file; a change that reached the store
// always hands back what the files now hold, even when a write failed.
struct TaskChangeOutcome {
    bool ok = false;
    QString message;      // why the change was refused or failed, for the user
    bool touched = false; // rows and schedule are what the files now hold
    QList<PlayTask> rows;
    ScheduleTable schedule;
    int section = -1; // where the added or modified task now stands
};

class TaskChanges {
public:
    explicit TaskChanges(const TaskStore &store) : m_store(store) {}

    // bindings: the task's 作息表 and 广播分区 as chosen; one not given keeps what it has.
    TaskChangeOutcome add(const PlayTask &task, const TaskPlaylist &items,
                          const TaskBindings &bindings = {}) const;
    // section/expected: the task as the user selected it; it is replaced only if the file
    // still holds exactly that task there.
    TaskChangeOutcome modify(int section, const PlayTask &expected, const PlayTask &task,
                             const TaskPlaylist &items, const TaskBindings &bindings = {}) const;
    TaskChangeOutcome remove(int section, const PlayTask &expected) const;
    // Copies every task of timetable `from` into a new timetable `to` with the given range,
    // each under its name with `suffix` appended and with its own playlist. Every new name is
    // checked first, so a refused copy writes nothing.
    TaskChangeOutcome copyTimetable(Timetables &timetables, const QString &from, const QString &to,
                                    const SeasonRange &range, const QString &suffix) const;

    const TaskStore &store() const { return m_store; }

private:
    QString textProblem(const PlayTask &task, const TaskPlaylist &items, int self) const;

    const TaskStore &m_store;
};
