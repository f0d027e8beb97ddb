#pragma once

#include "SchedulePass.h"
#include "store/PlayTask.h"

#include <QDateTime>

#include <vector>

// The end checks of seconds the clock jumped over. Nothing starts in a jumped range, but an
// end second in it still stops what plays: a task running when the clock was set past its
// end must not play on until some later end.
class JumpedEnds {
public:
    JumpedEnds() = default;
    explicit JumpedEnds(const ScheduleTable &table);

    // The table read, shared with the owner's until that one changes.
    const ScheduleTable &table() const { return m_table; }

    // Whether an end second lies strictly between two wall-clock seconds (both given as
    // wall-clock fields, whatever their time spec) on a day the gate opens.
    bool any(const QDateTime &after, const QDateTime &before, const DayGate &gate) const;

private:
    ScheduleTable m_table;
    std::vector<int> m_daily;    // seconds of the day, ascending
    std::vector<qint64> m_dated; // wall-clock fields as seconds since 1970, ascending
};
