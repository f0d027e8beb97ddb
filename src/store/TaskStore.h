#pragma once

#include "PlayTask.h"
#include "StoreResult.h"

#include <QString>

// song.ini and the per-task playlist files "<Name>.ini" in one store directory.
// Sections FileInfo0..N-1, seven keys each in fixed order; a playlist's count is the
// authority over its items. Reads are never cut to a fixed buffer size.
class TaskStore {
public:
    explicit TaskStore(QString directory);

    const QString &directory() const { return m_directory; }
    QString songFile() const;
    // Path of a task's playlist, or empty with *error set when the name would put the file
    // outside the store directory (path separators, "..", NUL, or no name at all).
    QString playlistPath(const QString &name, QString *error = nullptr) const;

    // The table rows: one per section header, read by number ("FileInfo" + i).
    QList<PlayTask> ReadTaskRows() const;
    // The scheduler's table: the sections as listed, read by their names.
    ScheduleTable LoadScheduleTable() const;
    // Writes song.ini whole from the rows (no file for no rows), atomically.
    StoreResult RewriteTaskStore(const QList<PlayTask> &rows) const;

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
    ChangeResult AddTask(const PlayTask &task, const TaskPlaylist &items) const;
    // row is the task's section number; expected is the task as the caller last saw it, so a
    // change made meanwhile (another row now at that number) is refused instead of overwritten.
    ChangeResult ModifyTask(int row, const PlayTask &expected, const PlayTask &task,
                            const TaskPlaylist &items) const;
    ChangeResult DeleteTask(int row, const PlayTask &expected) const;

private:
    // Appends the task (no expected task) or overwrites the expected one at row.
    ChangeResult storeTask(int row, const PlayTask *expected, const PlayTask &task,
                           const TaskPlaylist &items) const;
    ChangeResult finish(StoreResult result) const;

    QString m_directory;
};
