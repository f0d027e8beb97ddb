#include "StoredSeconds.h"

#include <algorithm>

namespace {

constexpr qint64 SecondsPerDay = 86400;

// Two decimal digits at text[at], or -1.
int twoDigits(const QString &text, qsizetype at) {
    const char16_t hi = text[at].unicode(), lo = text[at + 1].unicode();
    if (hi < u'0' || hi > u'9' || lo < u'0' || lo > u'9')
        return -1;
    return (hi - u'0') * 10 + (lo - u'0');
}

// "HH:MM:SS" at text[at] as seconds of the day, or -1: only the clock's own form matches.
int secondOfDay(const QString &text, qsizetype at) {
    if (text[at + 2] != u':' || text[at + 5] != u':')
        return -1;
    const int h = twoDigits(text, at), m = twoDigits(text, at + 3), s = twoDigits(text, at + 6);
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59)
        return -1;
    return h * 3600 + m * 60 + s;
}

qint64 fieldSeconds(const QDateTime &wall) {
    return QDateTime(wall.date(), wall.time(), Qt::UTC).toSecsSinceEpoch();
}

bool dayOpen(const QDate &day, const DayGate &gate) {
    return gate.timetableWeekday(Weekday::of(day), day.toString(QStringLiteral("yyyy-MM-dd"))) >= 0;
}

} // namespace

void StoredSeconds::Seconds::add(const QString &text) {
    if (text.size() == 8) {
        const int second = secondOfDay(text, 0);
        if (second >= 0)
            daily.push_back(second);
    } else if (text.size() == 19 && text[10] == u' ') {
        const QDate day = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
        const int second = secondOfDay(text, 11);
        if (second >= 0 && day.isValid() &&
            day.toString(QStringLiteral("yyyy-MM-dd")) == QStringView(text).left(10))
            dated.push_back(fieldSeconds(QDateTime(day, QTime(0, 0))) + second);
    }
}

void StoredSeconds::Seconds::sort() {
    std::sort(daily.begin(), daily.end());
    daily.erase(std::unique(daily.begin(), daily.end()), daily.end());
    std::sort(dated.begin(), dated.end());
    dated.erase(std::unique(dated.begin(), dated.end()), dated.end());
}

StoredSeconds::StoredSeconds(const ScheduleTable &table) : m_table(table) {
    for (const PlayTask &task : table) {
        m_ends.add(task.Duration);
        m_starts.add(task.Time);
    }
    m_ends.sort();
    m_starts.sort();
}

QList<QDateTime> StoredSeconds::startsWithin(const QDateTime &first, const QDateTime &last) const {
    return m_starts.within(first, last);
}

QList<QDateTime> StoredSeconds::endsWithin(const QDateTime &first, const QDateTime &last) const {
    return m_ends.within(first, last);
}

QList<QDateTime> StoredSeconds::Seconds::within(const QDateTime &first,
                                                const QDateTime &last) const {
    QList<QDateTime> seconds;
    if (!first.isValid() || !last.isValid())
        return seconds;
    const qint64 from = fieldSeconds(first), to = fieldSeconds(last);
    std::vector<qint64> found(std::lower_bound(dated.begin(), dated.end(), from),
                              std::upper_bound(dated.begin(), dated.end(), to));
    for (QDate day = first.date(); day <= last.date() && !daily.empty(); day = day.addDays(1)) {
        const qint64 base = fieldSeconds(QDateTime(day, QTime(0, 0)));
        for (auto it = std::lower_bound(daily.begin(), daily.end(), from - base);
             it != daily.end() && base + *it <= to; ++it)
            found.push_back(base + *it);
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    for (qint64 s : found)
        seconds.append(QDateTime::fromSecsSinceEpoch(s, Qt::UTC));
    return seconds;
}

bool StoredSeconds::endWithin(const QDateTime &after, const QDateTime &before,
                              const DayGate &gate) const {
    if (!after.isValid() || !before.isValid())
        return false;
    const qint64 from = fieldSeconds(after), to = fieldSeconds(before);
    if (to - from < 2)
        return false;

    for (auto it = std::upper_bound(m_ends.dated.begin(), m_ends.dated.end(), from);
         it != m_ends.dated.end() && *it < to; ++it) {
        if (dayOpen(QDateTime::fromSecsSinceEpoch(*it, Qt::UTC).date(), gate))
            return true;
    }
    if (m_ends.daily.empty())
        return false;
    const QDate first = after.date(), last = before.date();
    for (QDate day = first; day <= last; day = day.addDays(1)) {
        // Seconds of this day inside the range: (low, high), both exclusive.
        const qint64 base = fieldSeconds(QDateTime(day, QTime(0, 0)));
        const qint64 low = std::max<qint64>(from - base, -1);
        const qint64 high = std::min<qint64>(to - base, SecondsPerDay);
        const auto it = std::upper_bound(m_ends.daily.begin(), m_ends.daily.end(), low);
        if (it != m_ends.daily.end() && *it < high && dayOpen(day, gate))
            return true;
    }
    return false;
}
