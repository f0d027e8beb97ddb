#pragma once

#include "store/PlayTask.h"

class SeasonGate;

#include <QDate>
#include <QList>
#include <QString>

// The table's four views of song.ini. A filter only chooses rows; file order is kept.
enum class TaskFilter { All, Today, Week, Month };

namespace TaskFilters {
// "周日".."周六" for the date's weekday.
QString weekdayName(const QDate &date);
// The date as the number YYYYMMDD, so comparing numbers compares dates.
int dateNumber(const QDate &date);
// The YYYYMMDD of a one-day task's "YYYY-MM-DD HH:MM:SS" start, or -1 when the date
// positions are not digits.
int taskDateNumber(const QString &time);

// Today's tasks: every-day and weekly ones (8-character Time) by their date rule, one-day
// ones (19 characters) by their date. Week and month take every every-day and weekly task
// and the one-day tasks from today to today + 7 (8 dates) or today + 31 (32 dates).
// todayName: the weekday name the date rules use today (another weekday's on a make-up
// workday); empty means the date's own. With seasons, a task whose timetable holds none
// of the days shown (its own date for a one-day task) is left out.
bool qualifies(const PlayTask &task, TaskFilter filter, const QDate &today,
               const QString &todayName = {}, const SeasonGate *seasons = nullptr);
// Section numbers of the qualifying rows, in file order.
QList<int> filterRows(const QList<PlayTask> &rows, TaskFilter filter, const QDate &today,
                      const QString &todayName = {}, const SeasonGate *seasons = nullptr);
} // namespace TaskFilters
