#include "TaskEditing.h"

#include "CommandIds.h"
#include "dialogs/ModifyTaskDlg.h"
#include "dialogs/NewTaskDlg.h"
#include "dialogs/OffThread.h"
#include "scheduler/ClockTexts.h"
#include "scheduler/NextStart.h"
#include "store/TaskTimes.h"
#include "tasktable/TaskTableModel.h"

#include <QHeaderView>
#include <QMessageBox>
#include <QTableView>

namespace {

const QString kModifyHint = QStringLiteral("修改定时播放任务：修改时请先选择一行.");
const QString kDeleteHint = QStringLiteral("删除定时播放任务：删除时请先选择一行.");

bool askYesNo(QWidget *parent, const QString &text, const QString &caption) {
    return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

void warn(QWidget *parent, const QString &text) {
    QMessageBox::warning(parent, QStringLiteral("Horalet"), text);
}

} // namespace

TaskEditing::TaskEditing(QTableView *table, TaskTableModel *model, const TaskStore &store,
                         const Clock &clock, ScheduleSink schedule, QWidget *dialogParent)
    : QObject(dialogParent), m_table(table), m_model(model), m_store(store), m_changes(store),
      m_clock(clock), m_schedule(std::move(schedule)),
      m_dialogParent(dialogParent), m_prompts{askYesNo, warn},
      m_runDialog([](CTaskDlgBase &dialog) { dialog.exec(); }) {
    m_table->horizontalHeader()->setSectionsClickable(true);
    connect(m_table->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &TaskEditing::SortByColumn);
    connect(m_table, &QTableView::doubleClicked, this, &TaskEditing::ModifyTask);
    // Read in place: the view is still being built, and no event may come in between.
    fill(TaskFilter::All, m_store.ReadTaskRows());
}

QList<std::pair<int, std::function<void()>>> TaskEditing::commands() {
    return {
        {CommandId::ShowAll, [this] { ShowAllTasks(); }},
        {CommandId::ShowToday, [this] { ShowTodayTasks(); }},
        {CommandId::ShowWeek, [this] { ShowWeekTasks(); }},
        {CommandId::ShowMonth, [this] { ShowMonthTasks(); }},
        {CommandId::NewTask, [this] { NewTask(); }},
        {CommandId::ModifyTask, [this] { ModifyTask(); }},
        {CommandId::DeleteTask, [this] { DeleteTask(); }},
        {CommandId::RemoveRow, [this] { RemoveRow(); }},
    };
}

void TaskEditing::ShowAllTasks() {
    fill(TaskFilter::All);
}
void TaskEditing::ShowTodayTasks() {
    fill(TaskFilter::Today);
}
void TaskEditing::ShowWeekTasks() {
    fill(TaskFilter::Week);
}
void TaskEditing::ShowMonthTasks() {
    fill(TaskFilter::Month);
}

void TaskEditing::fill(TaskFilter filter) {
    fill(filter, waitOffThread([this] { return m_store.ReadTaskRows(); }));
}

void TaskEditing::fill(TaskFilter filter, const QList<PlayTask> &stored) {
    const std::optional<ShownTask> selected = selectedTask();
    const QDate today = m_clock.now().date();
    const DayGate gate = m_dayGate ? m_dayGate() : DayGate();
    m_rows.fill(stored, filter, today, todayName(today), &gate.seasons);
    showRows(selected);
}

QString TaskEditing::todayName(const QDate &today) const {
    if (!m_dayGate)
        return {};
    const QString text = today.toString(QStringLiteral("yyyy-MM-dd"));
    return Weekday::name(m_dayGate().nameWeekday(Weekday::of(today), text));
}

void TaskEditing::showNextStart(CTaskDlgBase &dialog, const std::optional<PlayTask> &stored) {
    ScheduleTable table = waitOffThread([this] { return m_store.LoadScheduleTable(); });
    qsizetype slot = stored ? table.indexOf(*stored) : -1;
    if (slot < 0) {
        slot = table.size();
        table.append(PlayTask());
    }
    dialog.setNextStart([this, table, slot, &dialog](const PlayTask &task) mutable {
        table[slot] = task;
        if (TaskTimes::startsAtItsEnd(task))
            return QStringLiteral("开始和结束时间相同，不会播放");
        DayGate gate = m_dayGate ? m_dayGate() : DayGate();
        if (const std::optional<QString> chosen = dialog.timetableChoice();
            chosen && m_timetables) {
            // The edited task by the timetable chosen in the dialog, not the stored one.
            const Timetables &timetables = m_timetables();
            QHash<QString, QString> bound = timetables.taskTimetables();
            if (chosen->isEmpty())
                bound.remove(task.Name);
            else
                bound.insert(task.Name, *chosen);
            gate.seasons = SeasonGate(timetables.timetables(), bound);
            if (const QString never = gate.seasons.neverReason(task.Name); !never.isEmpty())
                return never + QStringLiteral("，不会播放");
        }
        // The edited task is stored at the earliest in the next second.
        const QDateTime from = m_clock.now().addSecs(1);
        return NextStart::describe(NextStart::of(table, slot, from, gate), gate);
    });
}

void TaskEditing::showRows(const std::optional<ShownTask> &select) {
    m_table->setUpdatesEnabled(false);
    m_model->setTasks(m_rows.shownTasks());
    selectTask(select);
    m_table->setUpdatesEnabled(true);
}

std::optional<ShownTask> TaskEditing::selectedTask() const {
    const QItemSelectionModel *selection = m_table->selectionModel();
    if (!selection)
        return std::nullopt;
    int row = -1;
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isRowSelected(current.row()))
        row = current.row();
    else if (const QModelIndexList rows = selection->selectedRows(); !rows.isEmpty())
        row = std::min_element(rows.begin(), rows.end(), [](auto a, auto b) {
                  return a.row() < b.row();
              })->row();
    std::optional<ShownTask> shown = m_rows.at(row);
    // Only what the table really shows counts as selected.
    if (shown && m_model->task(row) != shown->task)
        return std::nullopt;
    return shown;
}

void TaskEditing::selectTask(const std::optional<ShownTask> &task) {
    QItemSelectionModel *selection = m_table->selectionModel();
    const int row = task ? m_rows.positionOf(*task) : -1;
    if (row < 0) {
        selection->clear();
        return;
    }
    const QModelIndex index = m_model->index(row, 0);
    selection->setCurrentIndex(index,
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_table->scrollTo(index);
}

void TaskEditing::offerTimetables(CTaskDlgBase &dialog, const QString &taskName) {
    if (!m_timetables)
        return;
    const Timetables &timetables = m_timetables();
    const QString current = timetables.timetableOf(taskName);
    // Without any timetable there is nothing to choose but 全年.
    if (timetables.timetables().isEmpty() && current.isEmpty())
        return;
    QStringList names;
    for (const auto &t : timetables.timetables())
        names.append(t.name);
    dialog.setTimetables(names, current);
}

void TaskEditing::offerZones(CTaskDlgBase &dialog, const QString &taskName) {
    if (!m_campus || !m_campus().enabled())
        return;
    const CampusConfig &campus = m_campus();
    QStringList names;
    for (const CampusConfig::Zone &zone : campus.zones())
        names.append(zone.name);
    dialog.setZones(names, campus.zonesOf(taskName));
}

TaskChangeOutcome TaskEditing::apply(TaskChangeOutcome outcome) {
    if (!outcome.touched) {
        // A refused change touched no file; the table still starts again from all tasks.
        ShowAllTasks();
        return outcome;
    }
    emit storeChanged();
    m_schedule(outcome.schedule);
    const std::optional<ShownTask> previous = selectedTask();
    m_rows.fill(outcome.rows, TaskFilter::All, m_clock.now().date());
    if (outcome.section >= 0 && outcome.section < outcome.rows.size())
        showRows(ShownTask{outcome.section, outcome.rows[outcome.section]});
    else
        showRows(outcome.ok ? std::nullopt : previous);
    return outcome;
}

void TaskEditing::NewTask() {
    CNewTaskDlg dialog(m_clock.now(), m_dialogParent);
    dialog.setCommit([this, &dialog](const PlayTask &task, const TaskPlaylist &items) {
        const TaskBindings bindings{dialog.timetableChoice(), dialog.zoneChoice()};
        return apply(waitOffThread([&] { return m_changes.add(task, items, bindings); }));
    });
    offerTimetables(dialog, QString());
    offerZones(dialog, QString());
    showNextStart(dialog, std::nullopt);
    m_runDialog(dialog);
}

void TaskEditing::ModifyTask() {
    const std::optional<ShownTask> selected = selectedTask();
    if (!selected) {
        m_prompts.tell(m_dialogParent, kModifyHint);
        return;
    }
    // A playlist that exists but cannot be read must not be replaced by an empty one on OK.
    TaskPlaylist items;
    if (QString why; m_store.playlistPath(selected->task.Name, &why).isEmpty()) {
        // A name with no usable playlist file (a store file's among them): say why the list
        // is empty, and let the user give the task a name that has one.
        m_prompts.tell(m_dialogParent, why);
    } else {
        QString error;
        items =
            waitOffThread([&] { return m_store.ReadTaskPlaylist(selected->task.Name, &error); });
        if (!error.isEmpty()) {
            m_prompts.tell(m_dialogParent, error);
            return;
        }
    }
    CModifyTaskDlg dialog(selected->task, items, m_clock.now(), m_dialogParent);
    dialog.setCommit([this, selected, &dialog](const PlayTask &task, const TaskPlaylist &items) {
        const TaskBindings bindings{dialog.timetableChoice(), dialog.zoneChoice()};
        TaskChangeOutcome outcome = waitOffThread([&] {
            return m_changes.modify(selected->section, selected->task, task, items, bindings);
        });
        // Told before the schedule changes, so a task being played is followed, not lost.
        if (outcome.ok && outcome.section >= 0 && outcome.section < outcome.rows.size())
            emit taskModified(selected->task, outcome.rows[outcome.section]);
        return apply(std::move(outcome));
    });
    offerTimetables(dialog, selected->task.Name);
    offerZones(dialog, selected->task.Name);
    showNextStart(dialog, selected->task);
    m_runDialog(dialog);
}

void TaskEditing::DeleteTask() {
    const std::optional<ShownTask> selected = selectedTask();
    if (!selected) {
        m_prompts.tell(m_dialogParent, kDeleteHint);
        return;
    }
    if (!m_prompts.ask(m_dialogParent, QStringLiteral("确定要删除吗?"), QStringLiteral("删除")))
        return;
    const TaskChangeOutcome outcome =
        apply(waitOffThread([&] { return m_changes.remove(selected->section, selected->task); }));
    if (!outcome.ok)
        m_prompts.tell(m_dialogParent, outcome.message);
}

void TaskEditing::RemoveRow() {
    const std::optional<ShownTask> selected = selectedTask();
    if (!selected)
        return;
    const int row = m_rows.positionOf(*selected);
    m_rows.removeShown(row);
    m_model->removeTaskRow(row);
}

void TaskEditing::SortByColumn(int column) {
    const std::optional<ShownTask> selected = selectedTask();
    m_rows.sortBy(column);
    showRows(selected);
}
