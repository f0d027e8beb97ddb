#include "SchedulePass.h"

#include "store/TaskTimes.h"

#include <algorithm>

void DayGate::setHolidays(const QStringList &dates) {
    m_holidays = QSet<QString>(dates.cbegin(), dates.cend());
    m_holidayDays.clear();
    m_holidayDays.reserve(m_holidays.size());
    for (const QString &text : m_holidays) {
        const QDate day = ClockTexts::dayOf(text);
        if (day.isValid())
            m_holidayDays.append(day.toJulianDay());
    }
    std::sort(m_holidayDays.begin(), m_holidayDays.end());
}

int DayGate::nameWeekday(int weekday, const QString &dateText) const {
    if (makeupDays.isEmpty() || isHoliday(dateText))
        return weekday;
    const int followed = makeupDays.value(dateText, -1);
    return followed >= 0 && followed <= 6 ? followed : weekday;
}

int DayGate::timetableWeekday(int weekday, const QString &dateText) const {
    if (isHoliday(dateText))
        return -1;
    const int followed = nameWeekday(weekday, dateText);
    return weekdayOff.at(static_cast<size_t>(followed)) ? -1 : followed;
}

ScheduleIndex::ScheduleIndex(const ScheduleTable &table) : m_table(table) {
    for (qsizetype k = 0; k < table.size(); ++k) {
        if (TaskTimes::startsAtItsEnd(table[k]))
            m_heldBack[table[k].Time].append(k);
        else
            m_startSlots[table[k].Time].append(k);
        m_ends.insert(table[k].Duration);
        m_names.insert(table[k].Name);
    }
}

bool ScheduleIndex::admitsToday(qsizetype slot, const QString &weekdayName) const {
    // A one-day task's date was matched by the full text already.
    const QString &device = m_table[slot].Device;
    return device.contains(weekdayName) || device == TaskText::EveryDay ||
           device == TaskText::OneDay;
}

qsizetype ScheduleIndex::dueStart(const ClockTexts &now, const QString &weekdayName) const {
    const QList<qsizetype> all = startingAt(now, weekdayName);
    return all.isEmpty() ? -1 : all.constFirst();
}

QList<qsizetype> ScheduleIndex::startingAt(const ClockTexts &now,
                                           const QString &weekdayName) const {
    static const QList<qsizetype> none;
    QList<qsizetype> result;
    const auto timeIt = m_startSlots.constFind(now.time);
    const auto fullIt = m_startSlots.constFind(now.full);
    const QList<qsizetype> &byTime = timeIt == m_startSlots.cend() ? none : *timeIt;
    const QList<qsizetype> &byFull = fullIt == m_startSlots.cend() ? none : *fullIt;

    // Both lists ascend; walk them merged so the earliest stored task wins.
    qsizetype i = 0, j = 0;
    while (i < byTime.size() || j < byFull.size()) {
        qsizetype slot;
        if (j >= byFull.size() || (i < byTime.size() && byTime[i] < byFull[j]))
            slot = byTime[i++];
        else
            slot = byFull[j++];
        if (admitsToday(slot, weekdayName))
            result.append(slot);
    }
    return result;
}

bool ScheduleIndex::dueEnd(const ClockTexts &now) const {
    return m_ends.contains(now.time) || m_ends.contains(now.full);
}

QList<qsizetype> ScheduleIndex::heldBack(const ClockTexts &now, const QString &weekdayName) const {
    QList<qsizetype> held;
    for (const QString &text : {now.time, now.full}) {
        for (qsizetype slot : m_heldBack.value(text))
            if (admitsToday(slot, weekdayName))
                held.append(slot);
    }
    std::sort(held.begin(), held.end());
    return held;
}
