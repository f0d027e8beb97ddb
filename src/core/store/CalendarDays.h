#pragma once

#include "HolidayList.h"
#include "MakeupWorkdays.h"

#include <QList>
#include <QString>

// The two lists of special days edited together: holidays (date.ini) and make-up workdays
// (调休上班.ini). A date is never in both, and the dialogs never add a date twice.
class CalendarDays {
public:
    enum class Listed { No, Holiday, Makeup };

    CalendarDays(HolidayList &holidays, MakeupWorkdays &makeup)
        : m_holidays(holidays), m_makeup(makeup) {}

    const HolidayList &holidays() const { return m_holidays; }
    const MakeupWorkdays &makeup() const { return m_makeup; }
    // Puts in place lists changed apart from these (as copies, on another thread).
    void take(HolidayList holidays, MakeupWorkdays makeup) {
        m_holidays = std::move(holidays);
        m_makeup = std::move(makeup);
    }
    Listed listed(const QString &date) const;
    // Why the date cannot be added to that list, or an empty text.
    QString holidayProblem(const QString &date) const;
    QString makeupProblem(const QString &date) const;

    StoreResult addHoliday(const QString &date);
    // A date already listed as make-up workday is re-pointed to the new weekday.
    StoreResult addMakeup(const QString &date, int weekday);
    StoreResult removeHoliday(const QString &date);
    StoreResult removeMakeup(const QString &date);

    struct Choice {
        enum Kind { Skip, Holiday, Makeup };
        QString date;
        Kind kind = Skip;
        int weekday = 1; // followed weekday of a make-up workday, 0 = Sunday
    };
    struct ImportReport {
        int holidaysAdded = 0;
        int makeupAdded = 0;
        QStringList notAdded; // "date: reason"
        StoreResult result;
        QString summary() const;
    };
    // Adds what the user confirmed; dates already listed (in either list, or earlier in the
    // choices) are left out and named in the report.
    ImportReport add(const QList<Choice> &choices);

private:
    HolidayList &m_holidays;
    MakeupWorkdays &m_makeup;
};
