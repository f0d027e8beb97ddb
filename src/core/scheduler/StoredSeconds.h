#pragma once

#include "SchedulePass.h"
#include "store/PlayTask.h"

#include <QDateTime>

#include <vector>

// The stored start and end texts as seconds, parsed once per table, for the ranges of
// seconds the clock jumps over. Nothing starts in a jumped range, but an end second in it
// still stops what plays: a task running when the clock was set past its end must not play
// on until some later end. Only texts in the clock's own form can ever match.
class StoredSeconds {
public:
    StoredSeconds() = default;
    explicit StoredSeconds(const ScheduleTable &table);

    // The table read, shared with the owner's until that one changes.
    const ScheduleTable &table() const { return m_table; }

    // Whether an end second lies strictly between two wall-clock seconds (both given as
    // wall-clock fields, whatever zone they are marked with) on a day the gate opens.
    bool endWithin(const QDateTime &after, const QDateTime &before, const DayGate &gate) const;
    // The seconds from first to last (both included, wall-clock fields in UTC form) at which
    // some stored start text would match, ascending; whether a task is due then is the
    // pass's to say.
    QList<QDateTime> startsWithin(const QDateTime &first, const QDateTime &last) const;
    // The same for the end texts, whatever the day gate says.
    QList<QDateTime> endsWithin(const QDateTime &first, const QDateTime &last) const;

private:
    ScheduleTable m_table;
    struct Seconds {
        std::vector<int> daily;    // seconds of the day, ascending
        std::vector<qint64> dated; // wall-clock fields as seconds since 1970, ascending
        void add(const QString &text);
        void sort();
        QList<QDateTime> within(const QDateTime &first, const QDateTime &last) const;
    };
    Seconds m_ends;
    Seconds m_starts;
};
