#include "TaskTableModel.h"

#include "DisplayText.h"
#include "TaskNames.h"
#include "campus/CampusConfig.h"
#include "playback/VolumeText.h"
#include "scheduler/SeasonGate.h"
#include "store/TaskTimes.h"

namespace {
struct ColumnSpec {
    const char *title;
    int width;
};

constexpr ColumnSpec kColumns[TaskTableModel::ColumnCount] = {
    {"播放任务名称", 150}, {"开始时间", 160}, {"结束时间", 160},
    {"音量", 80},          {"播放日期", 228}, {"播放模式", 90},
};
} // namespace

const QString TaskTableModel::AllYear = QStringLiteral("全年");
const QString TaskTableModel::AllRooms = QStringLiteral("全部");

TaskTableModel::TaskTableModel(QObject *parent) : QAbstractTableModel(parent) {}

QString TaskTableModel::columnTitle(int column) {
    if (column < 0 || column >= ColumnCount)
        return {};
    return QString::fromUtf8(kColumns[column].title);
}

int TaskTableModel::columnWidth(int column) {
    if (column < 0 || column >= ColumnCount)
        return 0;
    return kColumns[column].width;
}

QString TaskTableModel::cellText(const PlayTask &task, int column) {
    switch (column) {
    case NameColumn:
        return task.Name;
    case StartColumn:
        return task.Time;
    case EndColumn:
        return task.Duration;
    case VolumeColumn:
        return task.Type;
    case DateColumn:
        return task.Device;
    case ModeColumn:
        return task.Recurrence;
    default:
        return {};
    }
}

int TaskTableModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_tasks.size());
}

int TaskTableModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ColumnCount + (showsSeasons() ? 1 : 0) + (m_campusOn ? 1 : 0);
}

int TaskTableModel::zoneColumn() const {
    return m_campusOn ? ColumnCount + (showsSeasons() ? 1 : 0) : -1;
}

QString TaskTableModel::zoneText(const QString &taskName) const {
    const auto it = m_taskZones.constFind(taskName);
    if (it == m_taskZones.cend())
        return AllRooms;
    // Only what the cell can show: a hand-made file may give a task any number of zones.
    QString shown;
    for (const QString &zone : *it) {
        if (shown.size() > DisplayText::kMaxLength)
            break;
        if (!shown.isEmpty())
            shown += QStringLiteral("、");
        shown += m_zones.contains(zone) ? zone : QStringLiteral("%1（不存在）").arg(zone);
    }
    return shown;
}

void TaskTableModel::setCampus(const CampusConfig &campus) {
    QSet<QString> zones;
    zones.reserve(campus.zones().size());
    for (const CampusConfig::Zone &zone : campus.zones())
        zones.insert(zone.name);
    const bool wasShown = m_campusOn;
    const bool shown = campus.enabled();
    // Where the column is, with the 作息表 column as it stands.
    const int column = ColumnCount + (showsSeasons() ? 1 : 0);
    if (wasShown && !shown)
        beginRemoveColumns({}, column, column);
    if (!wasShown && shown)
        beginInsertColumns({}, column, column);
    m_campusOn = shown;
    m_zones = zones;
    m_taskZones = shown ? campus.taskZones() : QHash<QString, QStringList>();
    if (wasShown && !shown)
        endRemoveColumns();
    if (!wasShown && shown)
        endInsertColumns();
    QHash<QString, QStringList> missing;
    for (auto it = m_taskZones.cbegin(); it != m_taskZones.cend(); ++it)
        for (const QString &zone : *it)
            if (!zones.contains(zone))
                missing[it.key()] << QStringLiteral("广播分区‘%1’不存在，此任务在该分区中没有终端")
                                         .arg(DisplayText::shown(zone));
    setRowProblems(QStringLiteral("广播分区"), missing);
    if (shown && !m_tasks.isEmpty())
        emit dataChanged(index(0, column), index(int(m_tasks.size()) - 1, column),
                         {Qt::DisplayRole});
}

QString TaskTableModel::seasonText(const QString &taskName) const {
    const auto it = m_taskTimetables.constFind(taskName);
    if (it == m_taskTimetables.cend())
        return AllYear;
    if (!m_timetables.contains(*it))
        return QStringLiteral("%1（不存在）").arg(*it);
    return *it;
}

void TaskTableModel::setSeasons(const Timetables &stored) {
    QSet<QString> timetables;
    for (const auto &t : stored.timetables())
        timetables.insert(t.name);
    const QHash<QString, QString> &taskTimetables = stored.taskTimetables();
    const bool wasShown = showsSeasons();
    const bool shown = !timetables.isEmpty();
    if (wasShown && !shown)
        beginRemoveColumns({}, SeasonColumn, SeasonColumn);
    if (!wasShown && shown)
        beginInsertColumns({}, SeasonColumn, SeasonColumn);
    m_timetables = timetables;
    m_taskTimetables = taskTimetables;
    if (wasShown && !shown)
        endRemoveColumns();
    if (!wasShown && shown)
        endInsertColumns();
    const SeasonGate seasons(stored);
    QHash<QString, QStringList> never;
    for (auto it = taskTimetables.cbegin(); it != taskTimetables.cend(); ++it)
        if (const QString why = seasons.neverReason(it.key()); !why.isEmpty())
            never.insert(it.key(), {why + QStringLiteral("，此任务不会播放")});
    setRowProblems(QStringLiteral("作息表"), never);
    if (shown && !m_tasks.isEmpty())
        emit dataChanged(index(0, SeasonColumn), index(int(m_tasks.size()) - 1, SeasonColumn),
                         {Qt::DisplayRole});
}

QVariant TaskTableModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= m_tasks.size())
        return {};
    if (role == Qt::DisplayRole && index.column() == zoneColumn())
        return DisplayText::shown(zoneText(m_tasks.at(index.row()).Name));
    if (role == Qt::DisplayRole && index.column() == SeasonColumn)
        return DisplayText::shown(seasonText(m_tasks.at(index.row()).Name));
    if (role == Qt::DisplayRole)
        return DisplayText::shown(cellText(m_tasks.at(index.row()), index.column()));
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    // A stored volume that is not a number in range marks its own cell as well.
    const bool volumeMarked = index.column() == VolumeColumn &&
                              !VolumeText::storedNote(m_tasks.at(index.row()).Type).isEmpty();
    if (role == Qt::DecorationRole && volumeMarked)
        return m_markIcon;
    if (role == Qt::ToolTipRole || (role == Qt::DecorationRole && index.column() == NameColumn)) {
        const PlayTask &task = m_tasks.at(index.row());
        const QStringList reasons = problems(task) + rowProblems(task.Name);
        if (reasons.isEmpty())
            return {};
        if (role == Qt::ToolTipRole)
            return reasons.join(u'\n');
        return m_markIcon;
    }
    return {};
}

QStringList TaskTableModel::problems(const PlayTask &task) {
    QStringList reasons = TaskTimes::problems(task);
    if (const QString volume = VolumeText::storedNote(task.Type); !volume.isEmpty())
        reasons << volume;
    if (!task.Name.isEmpty() && !TaskNames::windowsNameProblem(task.Name).isEmpty())
        reasons << QStringLiteral("此名称在 Windows 电脑上不能用作文件名,建议修改名称.");
    return reasons;
}

void TaskTableModel::setRowProblems(const QString &checker,
                                    const QHash<QString, QStringList> &byTask) {
    if (m_problems.value(checker) == byTask)
        return;
    if (byTask.isEmpty())
        m_problems.remove(checker);
    else
        m_problems.insert(checker, byTask);
    if (!m_tasks.isEmpty())
        emit dataChanged(index(0, 0), index(int(m_tasks.size()) - 1, columnCount() - 1),
                         {Qt::ToolTipRole, Qt::DecorationRole});
}

QStringList TaskTableModel::rowProblems(const QString &taskName) const {
    QStringList reasons;
    for (auto it = m_problems.cbegin(); it != m_problems.cend(); ++it)
        reasons += it->value(taskName);
    return reasons;
}

QVariant TaskTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    if (role == Qt::DisplayRole && section == zoneColumn())
        return QStringLiteral("分区");
    if (role == Qt::DisplayRole)
        return section == SeasonColumn ? QStringLiteral("作息表") : columnTitle(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

void TaskTableModel::AppendTaskRow(const PlayTask &task) {
    const int row = int(m_tasks.size());
    beginInsertRows({}, row, row);
    m_tasks.append(task);
    endInsertRows();
}

void TaskTableModel::DeleteAllItems() {
    beginResetModel();
    m_tasks.clear();
    endResetModel();
}

void TaskTableModel::setTasks(const QList<PlayTask> &tasks) {
    beginResetModel();
    m_tasks = tasks;
    endResetModel();
}

void TaskTableModel::removeTaskRow(int row) {
    if (row < 0 || row >= m_tasks.size())
        return;
    beginRemoveRows({}, row, row);
    m_tasks.removeAt(row);
    endRemoveRows();
}

PlayTask TaskTableModel::task(int row) const {
    return m_tasks.value(row);
}
