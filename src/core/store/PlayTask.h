#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One task as stored in song.ini: the seven values are kept as the stored text and only
// interpreted by whoever consumes them (the scheduler compares them as exact strings).
struct PlayTask {
    QString Name;       // also the stem of the task's playlist file
    QString Time;       // start: "HH:MM:SS", or "YYYY-MM-DD HH:MM:SS" for a one-day task
    QString Duration;   // end, same forms as Time
    QString Type;       // volume text, 0..65535 (editable, so any text)
    QString Device;     // date rule: "每天", "指定的一天" or weekday names run together
    QString Recurrence; // play mode: "顺序播放", "循环播放", "随机播放"
    QString Notes;      // always empty

    bool operator==(const PlayTask &) const = default;
};

// Every stored task in file order; the scheduler scans all of them.
using ScheduleTable = QList<PlayTask>;

// The items of one task: file paths or network addresses, in play order.
using TaskPlaylist = QStringList;

namespace TaskText {
inline const QString EveryDay = QStringLiteral("每天");
inline const QString OneDay = QStringLiteral("指定的一天");
inline const QString Sequential = QStringLiteral("顺序播放");
inline const QString Loop = QStringLiteral("循环播放");
inline const QString Random = QStringLiteral("随机播放");
} // namespace TaskText

// The leading decimal integer of a text after blanks and an optional sign; no digits
// gives 0. Out-of-range values saturate instead of wrapping.
int leadingInt(const QString &text);
