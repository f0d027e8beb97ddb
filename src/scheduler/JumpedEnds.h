#pragma once

#include "SchedulePass.h"
#include "store/PlayTask.h"

#include <QDateTime>

// The end checks of seconds the clock jumped over. Nothing starts in a jumped range, but an
// end second in it still stops what plays: a task running when the clock was set past its
// end must not play on until some later end.
namespace JumpedEnds {
// Whether an end second of the table lies strictly between two wall-clock seconds (both
// given as wall-clock fields, whatever their time spec) on a day the gate opens.
bool any(const ScheduleTable &table, const QDateTime &after, const QDateTime &before,
         const DayGate &gate);
} // namespace JumpedEnds
