#pragma once

#include "SchedulePass.h"
#include "store/PlayTask.h"

#include <QDateTime>

#include <optional>

// When a task will next start, by the same rules as the pass: its start text, its date
// rule, the weekday boxes, holidays and make-up workdays, and the first stored task taking
// a second that several tasks share.
namespace NextStart {
// The first start second of table[slot] at or after `from` (whole seconds), or nothing
// when it will never start again.
std::optional<QDateTime> of(const ScheduleTable &table, qsizetype slot, const QDateTime &from,
                            const DayGate &gate);
// A task on its own.
std::optional<QDateTime> of(const PlayTask &task, const QDateTime &from, const DayGate &gate);
// "下次播放：2026-12-14 周一 08:00:00", or "不会再播放".
QString describe(const std::optional<QDateTime> &next, const DayGate &gate);
} // namespace NextStart
