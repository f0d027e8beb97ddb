#pragma once

#include "SchedulePass.h"
#include "store/PlayTask.h"

#include <QDateTime>

#include <optional>

// What plays next, for the status bar: the earliest next start of every stored task, by the
// rules of the pass (NextStart).
namespace NextTask {
struct Found {
    qsizetype slot;
    QDateTime at;
};
// The first start strictly after `now`'s second; the task stored first wins a shared second.
std::optional<Found> find(const ScheduleTable &table, const QDateTime &now, const DayGate &gate);
// "还有 12 分钟" style remaining time; under a minute "不到 1 分钟".
QString remaining(qint64 seconds);
// "下一个：早操 08:00:00（还有 12 分钟）", "下一个：早操 明天 08:00:00（…）",
// "下一个：早操 12月14日 周一 08:00:00（…）", or "下一个：无".
QString paneText(const ScheduleTable &table, const QDateTime &now, const DayGate &gate);
} // namespace NextTask
