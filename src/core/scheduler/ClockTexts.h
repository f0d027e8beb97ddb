#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

// The three texts a pass compares stored times with, all formed from one clock reading.
// Stored times are compared as exact strings, so equal text means the same second.
struct ClockTexts {
    QString full; // "YYYY-MM-DD HH:MM:SS"
    QString time; // "HH:MM:SS"
    QString date; // "YYYY-MM-DD"

    static ClockTexts of(const QDateTime &moment);
    // The day whose date text this is, or a null date: a text in any other form (a hand
    // edit, a missing zero) never equals a clock text.
    static QDate dayOf(QStringView text);
};

namespace Weekday {
// 0 = Sunday .. 6 = Saturday for a Gregorian year and day of the year (1 = 1 January).
int of(int year, int dayOfYear);
int of(const QDate &date);
// "周日", "周一" .. "周六": the words of the date rule, indexed like of().
const QString &name(int weekday);
} // namespace Weekday
