#include "SchedulePass.h"

bool DayGate::admits(int weekday, const QString &dateText) const
{
    if (weekdayOff.at(static_cast<size_t>(weekday)))
        return false;
    return !holidays.contains(dateText);
}

namespace {

bool atSecond(const QString &stored, const ClockTexts &now)
{
    return stored == now.time || stored == now.full;
}

} // namespace

qsizetype SchedulePass::dueStart(const ScheduleTable &table, const ClockTexts &now,
                                 const QString &weekdayName)
{
    for (qsizetype k = 0; k < table.size(); ++k) {
        const PlayTask &task = table[k];
        if (!atSecond(task.Time, now))
            continue;
        // A one-day task's date was matched by the full text already.
        if (task.Device.contains(weekdayName) || task.Device == TaskText::EveryDay ||
            task.Device == TaskText::OneDay)
            return k;
    }
    return -1;
}

bool SchedulePass::dueEnd(const ScheduleTable &table, const ClockTexts &now)
{
    for (const PlayTask &task : table) {
        if (atSecond(task.Duration, now))
            return true;
    }
    return false;
}
