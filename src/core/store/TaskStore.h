#pragma once

#include "PlayTask.h"
#include "StoreResult.h"

#include <QString>
#include <QStringList>

#include <optional>

// What a task is bound to beside its playlist, each kept in a file of its own: its timetable
// (作息表.ini; empty: all year) and its zones (广播分区.ini; empty: every room). One not
// given keeps what the task has; a new task then has none.
struct TaskBindings {
    std::optional<QString> timetable = std::nullopt;
    std::optional<QStringList> zones = std::nullopt;
};

// song.ini and the per-task playlist files "<Name>.ini" in one store directory.
// Sections FileInfo0..N-1, seven keys each in fixed order; a playlist's count is the
// authority over its items. Reads are never cut to a fixed buffer size. A name that is
// one of the store's own files (StoreFiles) has no playlist: reading, writing and deleting
// it are refused. In a directory marked read-only every change is refused with the reason.
class TaskStore {
public:
    explicit TaskStore(QString directory);

    const QString &directory() const { return m_directory; }
    QString songFile() const;
    // Path of a task's playlist, or empty with *error set when the name would put the file
    // outside the store directory (path separators, "..", NUL, or no name at all).
    QString playlistPath(const QString &name, QString *error = nullptr) const;

    // The table rows and the scheduler's table are one list: every task section in file
    // order, each read from its own lines (a section "FileInfo<n>", or any section holding
    // a task key). *error tells an unreadable song.ini from a missing one (no tasks).
    QList<PlayTask> ReadTaskRows(QString *error = nullptr) const;
    ScheduleTable LoadScheduleTable(QString *error = nullptr) const;
    // Writes song.ini whole from the rows as FileInfo0.. (no file for no rows), atomically;
    // sections of no task and lines before the first section are kept as they stand.
    // Refused while the stored file cannot be read.
    StoreResult RewriteTaskStore(const QList<PlayTask> &rows) const;

    // What start-up tells the user when song.ini exists but cannot be read.
    static QString unreadableAtStartup(const QString &error);

    // Different names may come to one file: bytes code page 936 cannot decode (kept as
    // U+DC80..U+DCFF) have no file name of their own, and letter case is not told apart on
    // Windows disks. The task stored first keeps the file; the others' are refused with a
    // reason naming both. Empty when `name` has a file of its own among the rows.
    static QString sharedPlaylistProblem(const QList<PlayTask> &rows, const QString &name);

    StoreResult WriteTaskPlaylist(const QString &name, const TaskPlaylist &items) const;
    TaskPlaylist ReadTaskPlaylist(const QString &name, QString *error = nullptr) const;
    StoreResult DeleteTaskPlaylist(const QString &name) const;

    // The rewrite of one change: reload rows, change one, rewrite, reload the schedule, and
    // for add/modify write the playlist. rows/schedule always reflect what the files hold.
    struct ChangeResult {
        StoreResult result;
        QList<PlayTask> rows;
        ScheduleTable schedule;
    };
    // The task's bindings are kept in step in the same operation, a renamed task keeping its
    // own. Their entries are written before song.ini and a dropped name's entries after, so a
    // crash leaves at most an entry of no task, which the next change removes.
    ChangeResult AddTask(const PlayTask &task, const TaskPlaylist &items,
                         const TaskBindings &bindings = {}) const;
    // row is the task's section number; expected is the task as the caller last saw it, so a
    // change made meanwhile (another row now at that number) is refused instead of overwritten.
    ChangeResult ModifyTask(int row, const PlayTask &expected, const PlayTask &task,
                            const TaskPlaylist &items, const TaskBindings &bindings = {}) const;
    ChangeResult DeleteTask(int row, const PlayTask &expected) const;

private:
    // Appends the task (no expected task) or overwrites the expected one at row.
    ChangeResult storeTask(int row, const PlayTask *expected, const PlayTask &task,
                           const TaskPlaylist &items, const TaskBindings &bindings) const;
    ChangeResult finish(StoreResult result) const;

    QString m_directory;
};
