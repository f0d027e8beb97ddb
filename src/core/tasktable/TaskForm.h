#pragma once

#include "store/PlayTask.h"

#include <QDate>
#include <QDateTime>
#include <QStringList>
#include <QTime>

#include <array>

// The values of the new-task and modify-task dialogs, and how they map to a stored task.
enum class DateRule { None, EveryDay, OneDay, Weekly };

struct TaskForm {
    QString name;
    QString playMode; // the hidden mode field: written by the mode radios, read on OK
    DateRule rule = DateRule::None;
    std::array<bool, 7> weekdays{}; // 周一 .. 周日
    QDate date;
    QTime start;
    QTime end;
    QString volume;

    bool operator==(const TaskForm &) const = default;
};

namespace TaskForms {
// "周一" .. "周日": the words of the weekly rule, in the order they are joined.
const QStringList &weekdayNames();
// The volume combo's entries, "0" .. "65535".
const QStringList &volumeEntries();
inline constexpr int NewTaskVolumeEntry = 6;    // "60000"
inline constexpr int ModifyTaskVolumeEntry = 3; // "30000"
// The entry equal to the text, or -1: a text that only begins an entry stays as typed.
int volumeEntryIndex(const QString &volume);
// The volume the typed text stands for (full-width digits read as digits) as a share of the
// loudest, for beside the field: "≈ 45.8 %",
// "100 %", "0 %", "< 0.1 %"; empty for a text that does not begin with a number.
QString volumePercentText(const QString &volume);
// A volume that plays above 0 but under 1 % of the loudest: nearly silent, likely meant as a
// percentage.
bool volumeNearlySilent(const QString &volume);

// A fresh task: every day, sequential, volume "60000", all pickers at now.
TaskForm newTaskForm(const QDateTime &now);
// What the modify dialog shows for a stored task. Name, mode and volume always show as
// stored; pickers show the stored times, or now where a time cannot be read.
TaskForm formFromTask(const PlayTask &task, const QDateTime &now);
// The task to store. Ticked weekdays make a weekly task; weekly with none ticked stores
// empty times and rule; with no rule chosen at all the stored times and rule are kept.
// A one-day task ending at a time of day before its start ends on the next day, and its
// stored end carries that date; the other rules compare times of day only. The volume is
// stored as the number typed, full-width digits as plain ones.
PlayTask taskFromForm(const TaskForm &form, const PlayTask &stored = {});
bool endsNextDay(const TaskForm &form);
// What the dialogs show beside the end time: "次日 01:00:00" when the end falls on the next
// day, else nothing.
QString endNote(const TaskForm &form);

// The file chooser's filter list, in Qt's "Description (*.a *.b)" form.
QStringList mediaFileFilters();
} // namespace TaskForms
