#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Backup and import of the store: every "*.ini" entry of one folder copied into another.
// Names and contents are copied unchanged; a folder whose name matches is copied whole;
// files already at the destination are replaced, nothing is ever deleted. Every file is
// replaced atomically (a temporary file beside it, then a rename), so an interrupted copy
// leaves each file old or new, never a part.
//
// Only regular files are copied: a symbolic link is never followed, a pipe, device or
// socket never opened, a file over MaxFileBytes never read; each such entry is listed with
// its reason. A copied file gets the permissions a file of the destination has, never
// those of its source.
namespace StoreTransfer {

enum class Direction { Backup, Import };

inline constexpr qint64 MaxFileBytes = qint64(64) * 1024 * 1024;

struct CopyReport {
    QStringList copied;   // destination paths, in the order written
    QStringList skipped;  // one line per entry left out on purpose, naming it and why
    QStringList failures; // one reason per entry that could not be copied, naming its path
    bool cancelled = false;
    bool ok() const { return failures.isEmpty(); }
};

// Told before each file is copied: its number from 1, the number of files, the file's
// source path. Answering false stops the copy before that file. Called on the thread that
// copies.
using Progress = std::function<bool(int number, int total, const QString &source)>;

// The copy routine on its own. Entries match "*.ini" without regard to case (as on the
// system the files may come from). Files go first, song.ini last among them, so a task is
// never in song.ini before its playlist is. A folder that would be copied into itself is
// reported, not followed. A folder at the top level named as one of filesOnly is reported
// and not copied: there the destination keeps files, which a folder would shut out.
CopyReport copyIniEntries(const QString &source, const QString &destination,
                          const QStringList &filesOnly = {}, const Progress &progress = {});

// The files of the store that the program itself reads by name.
QStringList storeFileNames();

// Why the picked folder cannot serve for the command, or empty: the store itself never
// (its files would be copied onto themselves), nor, for a backup, a folder inside it.
QString refusal(Direction direction, const QString &storeDirectory, const QString &folder);

// Why bytes offered as song.ini are no task list (nothing readable, no task in it), or empty.
QString taskListProblem(const QByteArray &bytes);

// The folder inside the store that keeps the store's files as they were before an import.
QString keptCopyPrefix();

struct Outcome {
    bool refused = false;
    CopyReport report;
    // Import: the folder holding the store's files as they were before, when any were kept.
    QString keptCopy;
    // The message to show: what was copied, skipped and not copied, or the refusal.
    QString message;
    // Whether the store may have changed, so what the program holds must be read anew.
    bool storeChanged = false;
    // Whether the message tells of a full success (nothing failed, refused or cancelled).
    bool success() const { return !refused && report.ok() && !report.cancelled; }
};

// Backup: the store into folder. Import: folder into the store, after a copy of the store's
// files into a kept-copy folder inside it; an import that is cancelled puts every file it
// replaced back and removes those it added.
Outcome run(Direction direction, const QString &storeDirectory, const QString &folder,
            const Progress &progress = {});

// The folders that imports kept the store in: the newest KeptCopiesKept and every one younger
// than KeptCopyDays days stay, older ones are removed (only folders of this program's naming,
// never a link). Returns how many were removed; every import ends with it.
inline constexpr size_t KeptCopiesKept = 10;
inline constexpr int KeptCopyDays = 30;
int pruneKeptCopies(const QString &storeDirectory, const QDateTime &now);

QString chooserTitle(Direction direction);
QString doneMessage(Direction direction);

} // namespace StoreTransfer
