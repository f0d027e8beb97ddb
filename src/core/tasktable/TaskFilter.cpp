#include "TaskFilter.h"

#include "scheduler/SeasonGate.h"

namespace TaskFilters {

QString weekdayName(const QDate &date) {
    static const QString names[] = {
        QStringLiteral("周一"), QStringLiteral("周二"), QStringLiteral("周三"),
        QStringLiteral("周四"), QStringLiteral("周五"), QStringLiteral("周六"),
        QStringLiteral("周日"),
    };
    const int day = date.dayOfWeek(); // 1 = Monday .. 7 = Sunday
    return day >= 1 && day <= 7 ? names[day - 1] : QString();
}

int dateNumber(const QDate &date) {
    return date.year() * 10000 + date.month() * 100 + date.day();
}

int taskDateNumber(const QString &time) {
    const QString digits = time.mid(0, 4) + time.mid(5, 2) + time.mid(8, 2);
    if (digits.size() != 8)
        return -1;
    int number = 0;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9')
            return -1;
        number = number * 10 + (c.unicode() - u'0');
    }
    return number;
}

namespace {

int spanOf(TaskFilter filter) {
    return filter == TaskFilter::Today ? 0 : filter == TaskFilter::Week ? 7 : 31;
}

bool seasonHoldsAny(const SeasonGate *seasons, const QString &task, const QDate &first, int span) {
    if (!seasons || seasons->isEmpty())
        return true;
    const int group = seasons->groupOf(task);
    for (int d = 0; d <= span; ++d)
        if (seasons->groupHolds(group, first.addDays(d)))
            return true;
    return false;
}

} // namespace

bool qualifies(const PlayTask &task, TaskFilter filter, const QDate &today,
               const QString &todayName, const SeasonGate *seasons) {
    if (filter == TaskFilter::All)
        return true;
    const qsizetype length = task.Time.size();
    if (length == 8) {
        if (!seasonHoldsAny(seasons, task.Name, today, spanOf(filter)))
            return false;
        if (filter != TaskFilter::Today)
            return true;
        const QString name = todayName.isEmpty() ? weekdayName(today) : todayName;
        return task.Device.contains(name) || task.Device == TaskText::EveryDay;
    }
    if (length != 19)
        return false;
    const int date = taskDateNumber(task.Time);
    if (date < 0)
        return false;
    const int first = dateNumber(today);
    const bool shown = filter == TaskFilter::Today
                           ? date == first
                           : date >= first && date <= dateNumber(today.addDays(spanOf(filter)));
    return shown &&
           seasonHoldsAny(seasons, task.Name, QDate(date / 10000, date / 100 % 100, date % 100), 0);
}

QList<int> filterRows(const QList<PlayTask> &rows, TaskFilter filter, const QDate &today,
                      const QString &todayName, const SeasonGate *seasons) {
    QList<int> shown;
    for (int i = 0; i < rows.size(); ++i)
        if (qualifies(rows[i], filter, today, todayName, seasons))
            shown.append(i);
    return shown;
}

} // namespace TaskFilters
