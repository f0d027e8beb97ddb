#pragma once

#include "SchedulePass.h"
#include "store/PlayTask.h"

#include <QDateTime>

#include <array>
#include <map>
#include <optional>
#include <vector>

// When a task will next start, by the same rules as the pass: its start text, its date
// rule, the weekday boxes, holidays and make-up workdays, its timetable's range, and the
// first stored task taking a second that several tasks share.
namespace NextStart {

// The starts of one table read once, for asking about many of its tasks or about all of
// them together.
class Starts {
public:
    explicit Starts(const ScheduleTable &table);

    // The first start second of table[slot] at or after `from` (whole seconds), or nothing
    // when it will never start again. With lastDay, days after it are not looked at.
    std::optional<QDateTime> of(qsizetype slot, const QDateTime &from, const DayGate &gate,
                                const QDate &lastDay = {}) const;

    struct First {
        qsizetype slot;
        QDateTime at;
    };
    // The first second at or after `from` at which any task starts, and the task that does.
    std::optional<First> first(const QDateTime &from, const DayGate &gate) const;

private:
    struct Start {
        int second = -1;  // of the day; -1 never starts
        qint64 day = 0;   // Julian day of a one-day start, else 0
        quint8 names = 0; // bit w: the date rule admits a day named Weekday::name(w)
        bool valid() const { return second >= 0 && names != 0; }
        bool dated() const { return day != 0; }
    };
    struct Entry {
        int second;
        qsizetype slot;
        auto operator<=>(const Entry &) const = default;
    };

    // The daily starts split by the tasks' timetables, for one set of timetables.
    struct Seasonal {
        const void *identity = nullptr;
        std::vector<int> group; // per slot, SeasonGate's groups
        // [weekday][group], ascending; group Never is left out
        std::array<std::vector<std::vector<Entry>>, 7> daily;
    };
    const Seasonal &seasonal(const SeasonGate &seasons) const;

    ScheduleTable m_table;
    std::vector<Start> m_starts;
    std::array<std::vector<Entry>, 7> m_daily; // per admitted name, ascending
    std::map<qint64, std::vector<Entry>> m_dated;
    std::map<int, std::vector<qsizetype>> m_bySecond; // ascending slots
    mutable Seasonal m_seasonal;
};

// The first start second of table[slot] at or after `from` (whole seconds), or nothing
// when it will never start again.
std::optional<QDateTime> of(const ScheduleTable &table, qsizetype slot, const QDateTime &from,
                            const DayGate &gate);
// A task on its own.
std::optional<QDateTime> of(const PlayTask &task, const QDateTime &from, const DayGate &gate);
// "下次播放：2026-12-14 周一 08:00:00", or "不会再播放".
QString describe(const std::optional<QDateTime> &next, const DayGate &gate);
} // namespace NextStart
