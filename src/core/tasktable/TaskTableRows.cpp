#include "TaskTableRows.h"

void TaskTableRows::fill(const QList<PlayTask> &rows, TaskFilter filter, const QDate &today,
                         const QString &todayName, const SeasonGate *seasons) {
    m_shown.clear();
    for (int section : TaskFilters::filterRows(rows, filter, today, todayName, seasons))
        m_shown.append({section, rows[section]});
}

void TaskTableRows::sortBy(int column) {
    m_sort.click(column);
    const QList<int> order = TaskSort::sortedOrder(shownTasks(), column, m_sort.direction);
    QList<ShownTask> sorted;
    sorted.reserve(order.size());
    for (int position : order)
        sorted.append(m_shown[position]);
    m_shown = sorted;
}

void TaskTableRows::removeShown(int position) {
    if (position >= 0 && position < m_shown.size())
        m_shown.removeAt(position);
}

QList<PlayTask> TaskTableRows::shownTasks() const {
    QList<PlayTask> tasks;
    tasks.reserve(m_shown.size());
    for (const ShownTask &shown : m_shown)
        tasks.append(shown.task);
    return tasks;
}

std::optional<ShownTask> TaskTableRows::at(int position) const {
    if (position < 0 || position >= m_shown.size())
        return std::nullopt;
    return m_shown[position];
}

int TaskTableRows::positionOf(const ShownTask &task) const {
    return static_cast<int>(m_shown.indexOf(task));
}
