#pragma once

#include "PlayTask.h"

#include <QStringList>

// Times a stored task must not have. Each second runs its end check before its start
// check (so back-to-back tasks both work); a task whose start second is its own end second
// would therefore start after its end and play on until some other task's end.
namespace TaskTimes {
// What the task dialogs say on OK.
inline const QString SameStartAndEnd =
    QStringLiteral("开始时间和结束时间不能相同,请让结束时间与开始时间至少相差几秒.");

// Start and end are the same second (an empty start never starts, so it is no problem).
bool startsAtItsEnd(const PlayTask &task);
// Why the schedule will not start the task, one reason per entry; empty when it will.
QStringList problems(const PlayTask &task);
// The status line's text when such a task's start second comes.
QString notStartedText(const PlayTask &task);
} // namespace TaskTimes
