#pragma once

#include "TaskFilter.h"
#include "TaskSort.h"

#include <QList>
#include <optional>

// A task as the table shows it, with its section number in song.ini. The pair identifies
// the task: a later change is checked against it, so it never lands on another task.
struct ShownTask {
    int section = -1;
    PlayTask task;

    bool operator==(const ShownTask &) const = default;
};

// What the task table shows: a filtered, possibly sorted, selection of the stored rows.
class TaskTableRows {
public:
    // Replaces everything shown with the rows that pass the filter, in file order.
    void fill(const QList<PlayTask> &rows, TaskFilter filter, const QDate &today,
              const QString &todayName = {}, const SeasonGate *seasons = nullptr);
    // One click on a column title.
    void sortBy(int column);
    // Takes one row off the display only.
    void removeShown(int position);

    const QList<ShownTask> &shown() const { return m_shown; }
    QList<PlayTask> shownTasks() const;
    std::optional<ShownTask> at(int position) const;
    // Where a task is shown now, or -1.
    int positionOf(const ShownTask &task) const;
    const SortState &sortState() const { return m_sort; }

private:
    QList<ShownTask> m_shown;
    SortState m_sort;
};
