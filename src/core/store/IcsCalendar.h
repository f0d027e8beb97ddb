#pragma once

#include <QDate>
#include <QList>
#include <QString>

// The all-day events of an iCalendar file (RFC 5545) as candidate days for the holiday and
// make-up workday lists. Nothing is added to any list here: the user confirms first.
namespace IcsCalendar {

enum class Kind { Unsorted, Holiday, Makeup };

struct Day {
    QDate date;
    QString summary; // the summaries of that day's events, joined
    Kind kind = Kind::Unsorted;
};

struct Result {
    QList<Day> days; // ascending, one per date
    QString error;   // why there is nothing to import; empty when days were found
    int timedEvents = 0;
    int pastDays = 0; // all-day dates before today, left out
};

// Recurring events are expanded for this many days from today.
inline constexpr int RecurrenceDays = 400;

// A summary naming a workday ("上班", "补班", also "调休上班") is a make-up workday; one
// naming a rest ("休", "假") a holiday; anything else is left to the user.
Kind kindOf(const QString &summary);

Result read(const QString &path, const QDate &today);
Result parse(const QByteArray &text, const QDate &today);

} // namespace IcsCalendar
