#include "NextStart.h"

#include "ClockTexts.h"
#include "store/TaskTimes.h"

#include <QHash>
#include <QTime>
#include <QVarLengthArray>

#include <algorithm>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

// After the last listed day (holiday, make-up day, one-day start) the days repeat weekly.
// Two weeks past it decide, not one: summer time may skip a start in one of them.
constexpr qint64 RepeatDays = 14;
// With timetables, the days repeat only with the calendar: every 400 years.
constexpr qint64 CalendarCycleDays = 146097;

// "HH:MM:SS" exactly as the clock writes it, as seconds of the day; anything else -1.
int secondOfDay(QStringView text) {
    if (text.size() != 8 || text[2] != u':' || text[5] != u':')
        return -1;
    int fields[3] = {0, 0, 0};
    for (int f = 0; f < 3; ++f) {
        for (int i = 3 * f; i < 3 * f + 2; ++i) {
            const char16_t c = text[i].unicode();
            if (c < u'0' || c > u'9')
                return -1;
            fields[f] = fields[f] * 10 + (c - u'0');
        }
    }
    if (fields[0] > 23 || fields[1] > 59 || fields[2] > 59)
        return -1;
    return fields[0] * 3600 + fields[1] * 60 + fields[2];
}

QTime timeOf(int second) {
    return QTime::fromMSecsSinceStartOfDay(second * 1000);
}

// The start second on that day as the pass would meet it; nothing when the clock skips it
// (summer time), and such a second is never checked. Qt either moves such a time or leaves
// it invalid with the time as given.
std::optional<QDateTime> startAt(qint64 day, int second) {
    const QTime time = timeOf(second);
    const QDateTime at(QDate::fromJulianDay(day), time);
    if (!at.isValid() || at.time() != time)
        return std::nullopt;
    return at;
}

quint8 namesAdmitted(const QString &device) {
    if (device == TaskText::EveryDay || device == TaskText::OneDay)
        return 0x7f;
    quint8 names = 0;
    for (int w = 0; w < 7; ++w)
        if (device.contains(Weekday::name(w)))
            names |= quint8(1u << w);
    return names;
}

bool has(quint8 names, int weekday) {
    return names & (1u << weekday);
}

// The gate's verdict on days given as Julian days, cheapest when asked in ascending order:
// no date text is formed and the holidays are passed by a cursor.
class GateDays {
public:
    explicit GateDays(const DayGate &gate)
        : m_off(gate.weekdayOff), m_holidays(gate.holidayDays()) {
        for (auto it = gate.makeupDays.cbegin(); it != gate.makeupDays.cend(); ++it) {
            const QDate day = ClockTexts::dayOf(it.key());
            if (!day.isValid())
                continue;
            m_makeup.insert(day.toJulianDay(), it.value());
            m_makeupDays.push_back(day.toJulianDay());
        }
        std::sort(m_makeupDays.begin(), m_makeupDays.end());
        if (!m_holidays.isEmpty())
            m_lastListed = m_holidays.constLast();
        if (!m_makeupDays.empty())
            m_lastListed = std::max(m_lastListed, m_makeupDays.back());
    }

    // The latest holiday or make-up day, or 0 when none is listed.
    qint64 lastListed() const { return m_lastListed; }
    bool switchedOff(int weekday) const { return m_off.at(static_cast<size_t>(weekday)); }
    // Make-up days from `first` to `last`, ascending.
    std::vector<qint64> makeupDaysWithin(qint64 first, qint64 last) const {
        if (first > last)
            return {};
        return {std::lower_bound(m_makeupDays.begin(), m_makeupDays.end(), first),
                std::upper_bound(m_makeupDays.begin(), m_makeupDays.end(), last)};
    }

    // As DayGate::timetableWeekday.
    int timetableWeekday(qint64 day) {
        if (isHoliday(day))
            return -1;
        int weekday = static_cast<int>(((day + 1) % 7 + 7) % 7); // Julian day 0 was a Monday
        if (!m_makeup.isEmpty()) {
            const int followed = m_makeup.value(day, -1);
            if (followed >= 0 && followed <= 6)
                weekday = followed;
        }
        return switchedOff(weekday) ? -1 : weekday;
    }

private:
    bool isHoliday(qint64 day) {
        if (day < m_asked || m_cursor < 0)
            m_cursor =
                std::lower_bound(m_holidays.cbegin(), m_holidays.cend(), day) - m_holidays.cbegin();
        m_asked = day;
        while (m_cursor < m_holidays.size() && m_holidays.at(m_cursor) < day)
            ++m_cursor;
        return m_cursor < m_holidays.size() && m_holidays.at(m_cursor) == day;
    }

    const std::array<bool, 7> m_off;
    const QList<qint64> m_holidays; // const: shared with the gate, never copied
    QHash<qint64, int> m_makeup;
    std::vector<qint64> m_makeupDays;
    qint64 m_lastListed = 0;
    qsizetype m_cursor = -1;
    qint64 m_asked = 0;
};

// Where a search begins: its day and the first second of that day it may take.
struct From {
    qint64 day;
    int second;
};

From fromMoment(const QDateTime &from) {
    const QDateTime moment = from.toLocalTime();
    const QTime t = moment.time();
    return {moment.date().toJulianDay(), t.hour() * 3600 + t.minute() * 60 + t.second()};
}

// Days from..last, visiting only the candidates when no other day can start anything.
// `visit` returns true to stop.
template <typename Visit>
void walkDays(qint64 first, qint64 last, bool everyDay, std::vector<qint64> candidates,
              Visit visit) {
    if (everyDay) {
        for (qint64 day = first; day <= last; ++day)
            if (visit(day))
                return;
        return;
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    for (qint64 day : candidates)
        if (day >= first && day <= last && visit(day))
            return;
}

} // namespace

namespace NextStart {

Starts::Starts(const ScheduleTable &table)
    : m_table(table), m_starts(static_cast<size_t>(table.size())) {
    for (qsizetype k = 0; k < table.size(); ++k) {
        const PlayTask &task = table[k];
        Start start;
        const QString &text = task.Time;
        if (text.size() == 8) {
            start.second = secondOfDay(text);
        } else if (text.size() == 19 && text[10] == u' ') {
            const QDate day = ClockTexts::dayOf(QStringView(text).left(10));
            if (day.isValid()) {
                start.second = secondOfDay(QStringView(text).mid(11));
                start.day = day.toJulianDay();
            }
        }
        start.names = namesAdmitted(task.Device);
        // The pass holds such a task back at its second, and lets a later one take it.
        if (!start.valid() || TaskTimes::startsAtItsEnd(task))
            continue;
        m_starts[static_cast<size_t>(k)] = start;
        m_bySecond[start.second].push_back(k);
        if (start.dated()) {
            m_dated[start.day].push_back({start.second, k});
        } else {
            for (int w = 0; w < 7; ++w)
                if (has(start.names, w))
                    m_daily[static_cast<size_t>(w)].push_back({start.second, k});
        }
    }
    for (auto &entries : m_daily)
        std::sort(entries.begin(), entries.end());
    for (auto &[day, entries] : m_dated)
        std::sort(entries.begin(), entries.end());
}

std::optional<QDateTime> Starts::of(qsizetype slot, const QDateTime &from, const DayGate &gate,
                                    const QDate &lastDay) const {
    if (slot < 0 || slot >= static_cast<qsizetype>(m_starts.size()) || !from.isValid())
        return std::nullopt;
    const Start self = m_starts[static_cast<size_t>(slot)];
    if (!self.valid())
        return std::nullopt;
    const From begin = fromMoment(from);
    GateDays days(gate);
    const SeasonGate &seasons = gate.seasons;
    const std::vector<int> *groups = seasons.isEmpty() ? nullptr : &seasonal(seasons).group;
    const auto groupOf = [&](qsizetype k) {
        return groups ? (*groups)[static_cast<size_t>(k)] : SeasonGate::AllYear;
    };
    const int selfGroup = groupOf(slot);
    if (selfGroup == SeasonGate::Never)
        return std::nullopt;

    // Earlier tasks at the same second take it on the days their rules admit.
    quint8 blockedNames = 0;
    QHash<qint64, quint8> blockedOn;
    std::vector<std::pair<quint8, int>> blockedInSeason; // names, group
    qint64 last = std::max(begin.day, days.lastListed());
    for (qsizetype k : m_bySecond.at(self.second)) {
        if (k >= slot)
            break;
        const Start &other = m_starts[static_cast<size_t>(k)];
        const int group = groupOf(k);
        if (group == SeasonGate::Never)
            continue;
        if (other.dated()) {
            if (group != SeasonGate::AllYear &&
                !seasons.groupHolds(group, QDate::fromJulianDay(other.day)))
                continue;
            blockedOn[other.day] |= other.names;
            last = std::max(last, other.day);
        } else if (group == SeasonGate::AllYear) {
            blockedNames |= other.names;
        } else {
            blockedInSeason.emplace_back(other.names, group);
        }
    }
    if (self.dated())
        last = self.day;
    else if (selfGroup != SeasonGate::AllYear || !blockedInSeason.empty())
        last += CalendarCycleDays;
    last += RepeatDays;
    if (lastDay.isValid())
        last = std::min(last, lastDay.toJulianDay());

    std::optional<QDateTime> found;
    const auto visit = [&](qint64 day) {
        if (day == begin.day && self.second < begin.second)
            return false;
        if (self.dated() && self.day != day)
            return false;
        const int weekday = days.timetableWeekday(day);
        if (weekday < 0 || !has(self.names, weekday) || has(blockedNames, weekday) ||
            has(blockedOn.value(day), weekday))
            return false;
        if (groups) {
            const QDate date = QDate::fromJulianDay(day);
            if (!seasons.groupHolds(selfGroup, date))
                return false;
            for (const auto &[names, group] : blockedInSeason)
                if (has(names, weekday) && seasons.groupHolds(group, date))
                    return false;
        }
        found = startAt(day, self.second);
        return found.has_value();
    };
    // Unless a plain weekday can take it, only make-up days and its own date can.
    bool everyDay = false;
    for (int w = 0; w < 7; ++w)
        everyDay =
            everyDay || (has(self.names, w) && !has(blockedNames, w) && !days.switchedOff(w));
    std::vector<qint64> candidates = days.makeupDaysWithin(begin.day, last);
    if (self.dated()) {
        everyDay = false;
        candidates = {self.day};
    }
    walkDays(begin.day, last, everyDay, std::move(candidates), visit);
    return found;
}

const Starts::Seasonal &Starts::seasonal(const SeasonGate &seasons) const {
    if (m_seasonal.identity == seasons.identity())
        return m_seasonal;
    Seasonal made;
    made.identity = seasons.identity();
    made.group.resize(m_starts.size(), SeasonGate::AllYear);
    const size_t groups = static_cast<size_t>(seasons.groupCount()) + 1;
    for (auto &perGroup : made.daily)
        perGroup.resize(groups);
    for (size_t k = 0; k < m_starts.size(); ++k)
        if (m_starts[k].valid())
            made.group[k] = seasons.groupOf(m_table[static_cast<qsizetype>(k)].Name);
    // Dealt out from the ascending lists, so each stays ascending.
    for (size_t w = 0; w < 7; ++w)
        for (const Entry &entry : m_daily[w])
            if (const int group = made.group[static_cast<size_t>(entry.slot)];
                group != SeasonGate::Never)
                made.daily[w][static_cast<size_t>(group)].push_back(entry);
    m_seasonal = std::move(made);
    return m_seasonal;
}

std::optional<Starts::First> Starts::first(const QDateTime &from, const DayGate &gate) const {
    if (!from.isValid())
        return std::nullopt;
    const From begin = fromMoment(from);
    GateDays days(gate);
    const SeasonGate &seasons = gate.seasons;
    const Seasonal *split = seasons.isEmpty() ? nullptr : &seasonal(seasons);
    qint64 last = std::max(begin.day, days.lastListed());
    if (!m_dated.empty())
        last = std::max(last, m_dated.rbegin()->first);
    if (split && seasons.groupCount() > 0)
        last += CalendarCycleDays;
    last += RepeatDays;

    using Cursor =
        std::pair<std::vector<Entry>::const_iterator, std::vector<Entry>::const_iterator>;
    QVarLengthArray<Cursor, 8> cursors;
    std::optional<First> found;
    const auto visit = [&](qint64 day) {
        const int weekday = days.timetableWeekday(day);
        if (weekday < 0)
            return false;
        const int earliest = day == begin.day ? begin.second : 0;
        const QDate date = split ? QDate::fromJulianDay(day) : QDate();
        const auto admitted = [&](qsizetype slot) {
            if (!has(m_starts[static_cast<size_t>(slot)].names, weekday))
                return false;
            return !split || seasons.groupHolds(split->group[static_cast<size_t>(slot)], date);
        };
        cursors.clear();
        const auto add = [&](const std::vector<Entry> &entries) {
            const auto from = std::lower_bound(entries.begin(), entries.end(), Entry{earliest, 0});
            if (from != entries.end())
                cursors.append({from, entries.end()});
        };
        if (!split) {
            add(m_daily[static_cast<size_t>(weekday)]);
        } else {
            const auto &perGroup = split->daily[static_cast<size_t>(weekday)];
            for (size_t g = 0; g < perGroup.size(); ++g)
                if (!perGroup[g].empty() &&
                    (g == 0 || seasons.groupHolds(static_cast<int>(g), date)))
                    add(perGroup[g]);
        }
        if (const auto datedIt = m_dated.find(day); datedIt != m_dated.end())
            add(datedIt->second);
        // Seconds in order; at each the first stored task admitted that day takes it.
        while (true) {
            std::optional<Entry> next;
            for (Cursor &c : cursors) {
                // Only dated entries and timetables can be out of the day; daily ones of the
                // day's groups are all admitted.
                while (c.first != c.second && !admitted(c.first->slot))
                    ++c.first;
                if (c.first != c.second && (!next || *c.first < *next))
                    next = *c.first;
            }
            if (!next)
                return false;
            if (const auto at = startAt(day, next->second)) {
                found = First{next->slot, *at};
                return true;
            }
            for (Cursor &c : cursors)
                while (c.first != c.second && c.first->second == next->second)
                    ++c.first;
        }
    };
    bool everyDay = false;
    for (int w = 0; w < 7; ++w) {
        if (days.switchedOff(w))
            continue;
        if (!split) {
            everyDay = everyDay || !m_daily[static_cast<size_t>(w)].empty();
            continue;
        }
        for (const auto &entries : split->daily[static_cast<size_t>(w)])
            everyDay = everyDay || !entries.empty();
    }
    std::vector<qint64> candidates = days.makeupDaysWithin(begin.day, last);
    for (auto it = m_dated.lower_bound(begin.day); it != m_dated.end() && it->first <= last; ++it)
        candidates.push_back(it->first);
    walkDays(begin.day, last, everyDay, std::move(candidates), visit);
    return found;
}

std::optional<QDateTime> of(const ScheduleTable &table, qsizetype slot, const QDateTime &from,
                            const DayGate &gate) {
    return Starts(table).of(slot, from, gate);
}

std::optional<QDateTime> of(const PlayTask &task, const QDateTime &from, const DayGate &gate) {
    return of(ScheduleTable{task}, 0, from, gate);
}

QString describe(const std::optional<QDateTime> &next, const DayGate &gate) {
    if (!next)
        return QStringLiteral("不会再播放");
    const QDate day = next->date();
    const QString dateText = day.toString(kDateFormat);
    const int own = Weekday::of(day);
    QString text =
        QStringLiteral("下次播放：%1 %2 %3")
            .arg(dateText, Weekday::name(own), next->time().toString(QStringLiteral("HH:mm:ss")));
    const int followed = gate.timetableWeekday(own, dateText);
    if (followed >= 0 && followed != own)
        text += QStringLiteral("（调休上班，按%1）").arg(Weekday::name(followed));
    return text;
}

} // namespace NextStart
