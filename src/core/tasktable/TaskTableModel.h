#pragma once

#include "store/PlayTask.h"
#include "store/Timetables.h"

class CampusConfig;

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>
#include <QVariant>

// The rows of the task table: six columns, each cell the stored text of one field, unchanged,
// then one with the task's timetable (作息表) while at least one timetable exists, and one
// with its zones (分区) while the campus is switched on.
// The table is also the working copy from which song.ini is rewritten.
class TaskTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        NameColumn,
        StartColumn,
        EndColumn,
        VolumeColumn,
        DateColumn,
        ModeColumn,
        SeasonColumn
    };
    static constexpr int ColumnCount = 6; // the stored fields
    static const QString AllYear;         // "全年": a task bound to no timetable
    static const QString AllRooms;        // "全部": a task bound to no zone

    explicit TaskTableModel(QObject *parent = nullptr);

    static QString columnTitle(int column);
    static int columnWidth(int column);
    // The text a cell shows; Notes has no column.
    static QString cellText(const PlayTask &task, int column);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Adds a row at the end.
    void AppendTaskRow(const PlayTask &task);
    void DeleteAllItems();
    void setTasks(const QList<PlayTask> &tasks);
    void removeTaskRow(int row);

    // Why a row's task will not play as stored, one reason per entry; the row shows them
    // (and those of the checkers below) as its tooltip and the first cell shows the mark icon,
    // as does the volume cell when the volume is not a number from 0 to 65535.
    static QStringList problems(const PlayTask &task);
    // Problems found with tasks, by task name, from one checker (e.g. "preflight"); each
    // replaces that checker's earlier findings.
    void setRowProblems(const QString &checker, const QHash<QString, QStringList> &byTask);
    QStringList rowProblems(const QString &taskName) const;
    // The icon of a marked row (a QIcon, set by the GUI; this model knows only Qt Core).
    void setMarkIcon(const QVariant &icon) { m_markIcon = icon; }

    // The timetables and each task's; tasks that can never play by them are marked.
    void setSeasons(const Timetables &timetables);
    bool showsSeasons() const { return !m_timetables.isEmpty(); }
    QString seasonText(const QString &taskName) const;

    // The zones and each task's, shown while the campus is switched on; tasks that name a
    // zone that does not exist are marked.
    void setCampus(const CampusConfig &campus);
    // The 分区 column's index (after 作息表 when that is shown), or -1.
    int zoneColumn() const;
    QString zoneText(const QString &taskName) const;

    const QList<PlayTask> &tasks() const { return m_tasks; }
    // The task shown in a row; an empty task for a row that does not exist.
    PlayTask task(int row) const;

private:
    QList<PlayTask> m_tasks;
    QHash<QString, QHash<QString, QStringList>> m_problems; // checker -> task -> reasons
    QVariant m_markIcon;
    QSet<QString> m_timetables;
    QHash<QString, QString> m_taskTimetables;
    bool m_campusOn = false;
    QSet<QString> m_zones;
    QHash<QString, QStringList> m_taskZones;
};
