#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Backup and import of the store: every "*.ini" entry of one folder copied into another.
// Names and contents are copied unchanged; a folder whose name matches is copied whole;
// files already at the destination are replaced, nothing is ever deleted. Every file is
// replaced atomically (a temporary file beside it, then a rename), so an interrupted copy
// leaves each file old or new, never a part.
namespace StoreTransfer {

enum class Direction { Backup, Import };

struct CopyReport {
    QStringList copied;   // destination paths, in the order written
    QStringList failures; // one reason per entry that could not be copied, naming its path
    bool ok() const { return failures.isEmpty(); }
};

// The copy routine on its own. Entries match "*.ini" without regard to case (as on the
// system the files may come from). Files go first, song.ini last among them, so a task is
// never in song.ini before its playlist is. A folder that would be copied into itself is
// reported, not followed. A folder at the top level named as one of filesOnly is reported
// and not copied: there the destination keeps files, which a folder would shut out.
CopyReport copyIniEntries(const QString &source, const QString &destination,
                          const QStringList &filesOnly = {});

// The files of the store that the program itself reads by name.
QStringList storeFileNames();

// Why the picked folder cannot serve for the command, or empty: the store itself never
// (its files would be copied onto themselves), nor, for a backup, a folder inside it.
QString refusal(Direction direction, const QString &storeDirectory, const QString &folder);

struct Outcome {
    bool refused = false;
    CopyReport report;
    // The message to show: the command's own on success, else the refusal or every
    // failure at once.
    QString message;
    // Whether the store may have changed, so what the program holds must be read anew.
    bool storeChanged = false;
};

// Backup: the store into folder. Import: folder into the store.
Outcome run(Direction direction, const QString &storeDirectory, const QString &folder);

QString chooserTitle(Direction direction);
QString doneMessage(Direction direction);

} // namespace StoreTransfer
