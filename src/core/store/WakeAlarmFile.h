#pragma once

#include "StoreResult.h"

#include <QString>

#include <optional>

// "定时开机.ini", section "定时开机": whether the machine is woken for the next task after a
// shutdown or a sleep (启用), and how many minutes before that task (提前分钟). The wake
// alarm this program last set is kept there too (唤醒时间, seconds since the epoch), so one
// of ours that has passed is cleared even after a power-off.
namespace WakeAlarmFile {
constexpr int DefaultLeadMinutes = 5;
constexpr int MinLeadMinutes = 1;
constexpr int MaxLeadMinutes = 60;

struct Setting {
    bool enabled = false;
    int leadMinutes = DefaultLeadMinutes;
    bool operator==(const Setting &) const = default;
};

QString fileName();
QString section();

// A missing file or key reads as off with the default lead; a lead outside 1..60 or not a
// number reads as the default.
Setting load(const QString &directory);
// Both keys, in one write.
StoreResult store(const QString &directory, const Setting &setting);

// The alarm of ours still standing, or nothing.
std::optional<qint64> loadSetAlarm(const QString &directory);
// Remembers it; nothing forgets it (the key is emptied).
StoreResult storeSetAlarm(const QString &directory, std::optional<qint64> epochSeconds);
} // namespace WakeAlarmFile
