#pragma once

#include "store/PlayTask.h"

#include <QList>
#include <QString>

// What a task's texts must be before they are stored. Each check returns the message to
// show, or an empty text when the value is fine.
namespace TaskNames {
inline const QString EmptyName = QStringLiteral("请填写播放任务名称.");

// A name is the stem of the task's playlist file, so it must be unique among the stored
// tasks (except the one being changed, at section `self`), be a plain file name, not be
// one of the program's own files and be writable in code page 936.
// A stored name Windows cannot hold is kept when the task is changed under that same name.
QString nameProblem(const QString &name, const QList<PlayTask> &rows, int self = -1);
// Why Windows cannot hold a file of this name (characters it refuses, a trailing dot or
// blank, a device name such as CON or com1.txt); empty when it can. Stores move between
// machines by backup and import, so every new name must suit both systems.
QString windowsNameProblem(const QString &name);
// A volume: a whole number from 0 to 65535 (VolumeText). A playlist item: one line that code
// page 936 can hold.
QString volumeProblem(const QString &volume);
QString itemProblem(const QString &item);
} // namespace TaskNames
