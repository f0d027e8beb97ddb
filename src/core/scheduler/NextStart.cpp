#include "NextStart.h"

#include "ClockTexts.h"
#include "store/TaskTimes.h"

#include <QHash>
#include <QTime>

#include <algorithm>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

// After the last listed day (holiday, make-up day, one-day start) the days repeat weekly.
// Two weeks past it decide, not one: summer time may skip a start in one of them.
constexpr qint64 RepeatDays = 14;

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

Starts::Starts(const ScheduleTable &table) : m_starts(static_cast<size_t>(table.size())) {
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

    // Earlier tasks at the same second take it on the days their rules admit.
    quint8 blockedNames = 0;
    QHash<qint64, quint8> blockedOn;
    qint64 last = std::max(begin.day, days.lastListed());
    for (qsizetype k : m_bySecond.at(self.second)) {
        if (k >= slot)
            break;
        const Start &other = m_starts[static_cast<size_t>(k)];
        if (other.dated()) {
            blockedOn[other.day] |= other.names;
            last = std::max(last, other.day);
        } else {
            blockedNames |= other.names;
        }
    }
    if (self.dated())
        last = self.day;
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

std::optional<Starts::First> Starts::first(const QDateTime &from, const DayGate &gate) const {
    if (!from.isValid())
        return std::nullopt;
    const From begin = fromMoment(from);
    GateDays days(gate);
    qint64 last = std::max(begin.day, days.lastListed());
    if (!m_dated.empty())
        last = std::max(last, m_dated.rbegin()->first);
    last += RepeatDays;

    std::optional<First> found;
    const auto visit = [&](qint64 day) {
        const int weekday = days.timetableWeekday(day);
        if (weekday < 0)
            return false;
        const int earliest = day == begin.day ? begin.second : 0;
        static const std::vector<Entry> none;
        const std::vector<Entry> &daily = m_daily[static_cast<size_t>(weekday)];
        const auto datedIt = m_dated.find(day);
        const std::vector<Entry> &dated = datedIt == m_dated.end() ? none : datedIt->second;
        auto i = std::lower_bound(daily.begin(), daily.end(), Entry{earliest, 0});
        auto j = std::lower_bound(dated.begin(), dated.end(), Entry{earliest, 0});
        const auto skipUnnamed = [&] {
            while (j != dated.end() && !has(m_starts[static_cast<size_t>(j->slot)].names, weekday))
                ++j;
        };
        // Seconds in order; at each the first stored task admitted that day takes it.
        for (skipUnnamed(); i != daily.end() || j != dated.end(); skipUnnamed()) {
            const Entry next = j == dated.end() || (i != daily.end() && *i < *j) ? *i : *j;
            if (const auto at = startAt(day, next.second)) {
                found = First{next.slot, *at};
                return true;
            }
            while (i != daily.end() && i->second == next.second)
                ++i;
            while (j != dated.end() && j->second == next.second)
                ++j;
        }
        return false;
    };
    bool everyDay = false;
    for (int w = 0; w < 7; ++w)
        everyDay = everyDay || (!m_daily[static_cast<size_t>(w)].empty() && !days.switchedOff(w));
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
