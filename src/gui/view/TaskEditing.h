#pragma once

#include "campus/CampusConfig.h"
#include "scheduler/Clock.h"
#include "scheduler/SchedulePass.h"
#include "store/Timetables.h"
#include "tasktable/TaskChanges.h"
#include "tasktable/TaskTableRows.h"

#include <QObject>
#include <functional>
#include <optional>

class CTaskDlgBase;
class QTableView;
class QWidget;
class TaskTableModel;

// What the user does with the task table: the four filters, new, modify, delete, removing a
// row from the display, clicks and column sorting. The selection is tied to the task
// itself, so after a filter, a sort or a refill modify and delete act on exactly the task the
// user selected. Every change goes through TaskChanges and hands the fresh schedule on.
class TaskEditing : public QObject {
    Q_OBJECT
public:
    using ScheduleSink = std::function<void(const ScheduleTable &)>;
    // Message boxes; tests answer them without a display.
    struct Prompts {
        std::function<bool(QWidget *parent, const QString &text, const QString &caption)> ask;
        std::function<void(QWidget *parent, const QString &text)> tell;
    };
    // Runs a task dialog modally; tests drive the dialog instead.
    using DialogRunner = std::function<void(CTaskDlgBase &)>;

    TaskEditing(QTableView *table, TaskTableModel *model, const TaskStore &store,
                const Clock &clock, ScheduleSink schedule, QWidget *dialogParent);

    // The commands by id, for menu, toolbar and form buttons.
    QList<std::pair<int, std::function<void()>>> commands();

    void ShowAllTasks();
    // All tasks as the caller has just read them from the store.
    void ShowAllTasks(const QList<PlayTask> &stored) { fill(TaskFilter::All, stored); }
    void ShowTodayTasks();
    void ShowWeekTasks();
    void ShowMonthTasks();
    void NewTask();
    void ModifyTask();
    void DeleteTask();
    void RemoveRow();
    void SortByColumn(int column);

    std::optional<ShownTask> selectedTask() const;
    void selectTask(const std::optional<ShownTask> &task);
    const TaskTableRows &rows() const { return m_rows; }

    void setPrompts(Prompts prompts) { m_prompts = std::move(prompts); }
    void setDialogRunner(DialogRunner runner) { m_runDialog = std::move(runner); }
    // The days off and make-up workdays: the today filter and the dialogs' next start
    // follow them. Without it every day is a plain day.
    using DayGateSource = std::function<DayGate()>;
    void setDayGateSource(DayGateSource source) { m_dayGate = std::move(source); }
    // The timetables (作息表) the task dialogs offer; without it they offer none.
    using TimetablesSource = std::function<const Timetables &()>;
    void setTimetablesSource(TimetablesSource source) { m_timetables = std::move(source); }
    // The campus settings: while the campus is on, the dialogs offer its zones.
    using CampusSource = std::function<const CampusConfig &()>;
    void setCampusSource(CampusSource source) { m_campus = std::move(source); }

signals:
    // A change went to the store, and with it perhaps a task's timetable or zone entry.
    void storeChanged();
    // The user's change of one task is stored: `after` now stands where `before` stood.
    void taskModified(const PlayTask &before, const PlayTask &after);

private:
    void fill(TaskFilter filter);
    void fill(TaskFilter filter, const QList<PlayTask> &stored);
    void showRows(const std::optional<ShownTask> &select);
    // Shows what the store holds after a change and hands the schedule on.
    TaskChangeOutcome apply(TaskChangeOutcome outcome);
    QString todayName(const QDate &today) const;
    // Shows in the dialog when the edited task would next start, in the stored task's place
    // among all tasks (last for a new one).
    void showNextStart(CTaskDlgBase &dialog, const std::optional<PlayTask> &stored);
    void offerTimetables(CTaskDlgBase &dialog, const QString &taskName);
    void offerZones(CTaskDlgBase &dialog, const QString &taskName);

    QTableView *m_table;
    TaskTableModel *m_model;
    const TaskStore &m_store;
    TaskChanges m_changes;
    const Clock &m_clock;
    ScheduleSink m_schedule;
    QWidget *m_dialogParent;
    TaskTableRows m_rows;
    Prompts m_prompts;
    DialogRunner m_runDialog;
    DayGateSource m_dayGate;
    TimetablesSource m_timetables;
    CampusSource m_campus;
};
