#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include <functional>

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
    int pastDays = 0;  // all-day dates before today, left out
    int laterDays = 0; // all-day dates beyond AheadDays from today, left out
    // Why fewer days are listed than the file names (a bound was reached), or empty.
    QString note;
    bool cancelled = false;
};

// Recurring events are expanded for this many days from today; single events are taken up
// to AheadDays ahead. A holiday calendar means no more.
inline constexpr int RecurrenceDays = 400;
inline constexpr int AheadDays = 3 * 366;
// A calendar file is text of at most this size; a larger one is refused before it is read.
inline constexpr qint64 MaxFileBytes = qint64(16) * 1024 * 1024;

// Told now and then how far the reading has come (events done of all events); false stops
// it, and the result then says cancelled.
using Progress = std::function<bool(qint64 done, qint64 total)>;

// A summary naming a workday ("上班", "补班", also "调休上班") is a make-up workday; one
// naming a rest ("休", "假") a holiday; anything else is left to the user.
Kind kindOf(const QString &summary);

// A path that is no regular file (a pipe, a device, also behind a link) or is too large is
// refused with its name before anything is read.
Result read(const QString &path, const QDate &today, const Progress &progress = {});
Result parse(const QByteArray &text, const QDate &today, const Progress &progress = {});

} // namespace IcsCalendar
