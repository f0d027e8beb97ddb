#pragma once

#include "ClockTexts.h"
#include "store/PlayTask.h"

#include <QStringList>

#include <array>

// The days on which the scheduler does nothing at all.
struct DayGate {
    std::array<bool, 7> weekdayOff{}; // index = weekday, 0 = Sunday
    QStringList holidays;             // "YYYY-MM-DD"

    bool admits(int weekday, const QString &dateText) const;
};

namespace SchedulePass {
// Index of the first task whose start second is now and whose date rule admits today,
// or -1. Only one task starts per second: the one stored first.
qsizetype dueStart(const ScheduleTable &table, const ClockTexts &now, const QString &weekdayName);
// Whether any task ends now. No date rule: an end second stops whatever plays.
bool dueEnd(const ScheduleTable &table, const ClockTexts &now);
} // namespace SchedulePass
