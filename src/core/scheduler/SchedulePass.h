#pragma once

#include "ClockTexts.h"
#include "SeasonGate.h"
#include "store/PlayTask.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <array>

// The days on which the scheduler does nothing at all, and the make-up workdays (调休上班)
// on which a weekend day follows another weekday's timetable.
struct DayGate {
    std::array<bool, 7> weekdayOff{}; // index = weekday, 0 = Sunday
    QHash<QString, int> makeupDays{}; // "YYYY-MM-DD" -> followed weekday
    // On a day the gate lets through, a task plays only when its timetable holds the day.
    SeasonGate seasons{};

    // The stored holiday list, looked up as a set: built here once per change of the list,
    // since the pass asks every second and the list may hold 100,000 dates. Dates are
    // matched as exact texts; an entry in another form is kept but matches no day.
    void setHolidays(const QStringList &dates);
    const QSet<QString> &holidays() const { return m_holidays; }
    bool isHoliday(const QString &dateText) const { return m_holidays.contains(dateText); }
    // The holidays that are real dates, as Julian days, ascending and distinct: for walking
    // day by day without forming a text per day.
    const QList<qint64> &holidayDays() const { return m_holidayDays; }

    // The weekday whose timetable the day follows: its own, or the followed one on a
    // make-up workday; -1 when the day is off (a holiday always is, even a make-up day).
    int timetableWeekday(int weekday, const QString &dateText) const;
    bool admits(int weekday, const QString &dateText) const {
        return timetableWeekday(weekday, dateText) >= 0;
    }
    // The weekday name the date rules and the today filter use for the date; a holiday
    // keeps its own name.
    int nameWeekday(int weekday, const QString &dateText) const;

private:
    QSet<QString> m_holidays;
    QList<qint64> m_holidayDays;
};

// The start and end checks over every stored task. Stored times are matched as exact
// texts, so the tasks are indexed by those texts once per reload: a pass then costs the
// same for ten tasks or ten thousand.
class ScheduleIndex {
public:
    ScheduleIndex() = default;
    explicit ScheduleIndex(const ScheduleTable &table);

    const ScheduleTable &table() const { return m_table; }

    // Slot of the first task whose start second is now and whose date rule admits today,
    // or -1. Only one task starts per second: the one stored first.
    qsizetype dueStart(const ClockTexts &now, const QString &weekdayName) const;
    // Every slot starting now whose date rule admits today, ascending; the first is dueStart.
    QList<qsizetype> startingAt(const ClockTexts &now, const QString &weekdayName) const;
    // Whether any task's start text is now's, whatever its date rule (a cheap first test).
    bool startsAtText(const ClockTexts &now) const {
        return m_startSlots.contains(now.time) || m_startSlots.contains(now.full);
    }
    // Every distinct start text of the stored tasks.
    QList<QString> startTexts() const { return m_startSlots.keys(); }
    // Whether any task ends now. No date rule: an end second stops whatever plays.
    bool dueEnd(const ClockTexts &now) const;
    bool hasTaskNamed(const QString &name) const { return m_names.contains(name); }
    // Slots of the tasks due now that are never started because they start at their own
    // end second (see TaskTimes); the user is told instead.
    QList<qsizetype> heldBack(const ClockTexts &now, const QString &weekdayName) const;

private:
    bool admitsToday(qsizetype slot, const QString &weekdayName) const;

    ScheduleTable m_table;
    QHash<QString, QList<qsizetype>> m_startSlots; // ascending slots per start text
    QHash<QString, QList<qsizetype>> m_heldBack;   // same, for tasks that are not started
    QSet<QString> m_ends;
    QSet<QString> m_names;
};
