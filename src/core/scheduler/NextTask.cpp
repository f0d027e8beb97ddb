#include "NextTask.h"

#include "ClockTexts.h"
#include "NextStart.h"
#include "tasktable/DisplayText.h"

namespace NextTask {

std::optional<Found> find(const ScheduleTable &table, const QDateTime &now, const DayGate &gate) {
    const QDateTime local = now.toLocalTime();
    const QTime t = local.time();
    const QDateTime from =
        QDateTime(local.date(), QTime(t.hour(), t.minute(), t.second())).addSecs(1);
    // One walk over the days for all tasks: a day the gate switches off costs one look-up,
    // not one per task.
    const auto first = NextStart::Starts(table).first(from, gate);
    if (!first)
        return std::nullopt;
    return Found{first->slot, first->at};
}

QString remaining(qint64 seconds) {
    if (seconds < 60)
        return QStringLiteral("不到 1 分钟");
    const qint64 minutes = (seconds + 59) / 60;
    if (minutes < 60)
        return QStringLiteral("%1 分钟").arg(minutes);
    if (minutes < 24 * 60) {
        const qint64 m = minutes % 60;
        return m == 0 ? QStringLiteral("%1 小时").arg(minutes / 60)
                      : QStringLiteral("%1 小时 %2 分钟").arg(minutes / 60).arg(m);
    }
    const qint64 hours = (minutes % (24 * 60)) / 60;
    return hours == 0 ? QStringLiteral("%1 天").arg(minutes / (24 * 60))
                      : QStringLiteral("%1 天 %2 小时").arg(minutes / (24 * 60)).arg(hours);
}

QString paneText(const ScheduleTable &table, const QDateTime &now, const DayGate &gate) {
    const std::optional<Found> next = find(table, now, gate);
    if (!next)
        return QStringLiteral("下一个：无");
    const QDate today = now.toLocalTime().date();
    const QDate day = next->at.date();
    QString when;
    if (day == today.addDays(1)) {
        when = QStringLiteral("明天 ");
    } else if (day != today) {
        when = QStringLiteral("%1月%2日 %3 ")
                   .arg(day.month())
                   .arg(day.day())
                   .arg(Weekday::name(Weekday::of(day)));
        if (day.year() != today.year())
            when = QStringLiteral("%1年").arg(day.year()) + when;
    }
    const qint64 left = now.toLocalTime().secsTo(next->at);
    return QStringLiteral("下一个：%1 %2%3（还有 %4）")
        .arg(DisplayText::shown(table.at(next->slot).Name), when,
             next->at.time().toString(QStringLiteral("HH:mm:ss")), remaining(left));
}

} // namespace NextTask
