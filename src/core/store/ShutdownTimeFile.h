#pragma once

#include "StoreResult.h"

#include <QString>
#include <QTime>

#include <optional>

// "定时器时间设置.ini": the time of day of the timed shutdown, "HH:MM:SS".
namespace ShutdownTimeFile {
QString fileName();
QString section();
QString key();

// The stored text as it stands; empty when none is stored.
QString load(const QString &directory);
StoreResult store(const QString &directory, const QString &timeText);

// The time of day a stored text names, read as hour:minute:second numbers separated by
// colons (blanks before each number allowed, anything after the seconds ignored); nullopt
// when the text is not such a time.
std::optional<QTime> parse(const QString &timeText);
// What the time picker shows for a stored text: its time, or the picker's own default
// 00:00:00 where none is stored or the text is not a time (never the moment of reading,
// which would pass for a time someone set).
QTime shownTime(const QString &timeText);
// The form the shutdown check compares with: "%H:%M:%S".
QString format(const QTime &time);
} // namespace ShutdownTimeFile
