#include "NextStart.h"

#include <QTime>

#include <algorithm>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

// A stored start as the pass reads it: a time of day on every day, or one date's second.
// Anything else never equals a clock text.
struct Start {
    QTime time;
    QDate date; // null for a time of day
    bool valid() const { return time.isValid(); }
};

Start parseStart(const QString &text) {
    if (text.size() == 8) {
        const QTime t = QTime::fromString(text, QStringLiteral("HH:mm:ss"));
        if (t.isValid() && t.toString(QStringLiteral("HH:mm:ss")) == text)
            return {t, {}};
    } else if (text.size() == 19) {
        const QDateTime dt = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (dt.isValid() && dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) == text)
            return {dt.time(), dt.date()};
    }
    return {};
}

QDate parseDate(const QString &text) {
    const QDate date = QDate::fromString(text, kDateFormat);
    return date.isValid() && date.toString(kDateFormat) == text ? date : QDate();
}

bool admits(const PlayTask &task, const QString &weekdayName) {
    return task.Device.contains(weekdayName) || task.Device == TaskText::EveryDay ||
           task.Device == TaskText::OneDay;
}

struct Candidate {
    const PlayTask *task;
    Start start;
};

// Whether the candidate's start second falls on the day whose timetable name is given.
bool startsOn(const Candidate &c, const QDate &day, const QString &name) {
    if (!c.start.valid() || (c.start.date.isValid() && c.start.date != day))
        return false;
    return admits(*c.task, name);
}

} // namespace

namespace NextStart {

std::optional<QDateTime> of(const ScheduleTable &table, qsizetype slot, const QDateTime &from,
                            const DayGate &gate) {
    if (slot < 0 || slot >= table.size())
        return std::nullopt;
    const Candidate self{&table[slot], parseStart(table[slot].Time)};
    if (!self.start.valid())
        return std::nullopt;
    // Earlier tasks whose start can be the same second take it.
    QList<Candidate> earlier;
    for (qsizetype k = 0; k < slot; ++k) {
        const Start start = parseStart(table[k].Time);
        if (start.valid() && start.time == self.start.time)
            earlier.append({&table[k], start});
    }

    const QDateTime moment = from.toLocalTime();
    const QDate first = moment.date();
    const QTime firstTime = moment.time();
    const QTime fromSecond(firstTime.hour(), firstTime.minute(), firstTime.second());

    // After the last listed day the days repeat weekly: a week past it decides.
    QDate last = first;
    auto extend = [&](const QDate &date) {
        if (date.isValid() && date > last)
            last = date;
    };
    for (const QString &holiday : gate.holidays)
        extend(parseDate(holiday));
    for (auto it = gate.makeupDays.cbegin(); it != gate.makeupDays.cend(); ++it)
        extend(parseDate(it.key()));
    extend(self.start.date);
    for (const Candidate &c : earlier)
        extend(c.start.date);
    if (self.start.date.isValid())
        last = std::min(last, self.start.date);
    last = last.addDays(7);

    for (QDate day = first; day <= last; day = day.addDays(1)) {
        if (day == first && self.start.time < fromSecond)
            continue;
        const QString dateText = day.toString(kDateFormat);
        const int weekday = gate.timetableWeekday(Weekday::of(day), dateText);
        if (weekday < 0)
            continue;
        const QString &name = Weekday::name(weekday);
        if (!startsOn(self, day, name))
            continue;
        if (std::any_of(earlier.cbegin(), earlier.cend(),
                        [&](const Candidate &c) { return startsOn(c, day, name); }))
            continue;
        const QDateTime at(day, self.start.time);
        // A second the clock skips (daylight saving) is never checked.
        if (at.time() != self.start.time)
            continue;
        return at;
    }
    return std::nullopt;
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
