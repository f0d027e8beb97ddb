#include "CalendarDays.h"

#include <QSet>

CalendarDays::Listed CalendarDays::listed(const QString &date) const {
    if (m_holidays.contains(date))
        return Listed::Holiday;
    if (m_makeup.contains(date))
        return Listed::Makeup;
    return Listed::No;
}

QString CalendarDays::holidayProblem(const QString &date) const {
    switch (listed(date)) {
    case Listed::Holiday:
        return QStringLiteral("%1 已在节假日列表中.").arg(date);
    case Listed::Makeup:
        return QStringLiteral("%1 已是调休上班日,不能同时是节假日.请先从调休上班列表中删除它.")
            .arg(date);
    case Listed::No:
        break;
    }
    return {};
}

QString CalendarDays::makeupProblem(const QString &date) const {
    if (!MakeupWorkdays::isDateText(date))
        return QStringLiteral("\"%1\" 不是有效的日期.").arg(date);
    if (listed(date) == Listed::Holiday)
        return QStringLiteral("%1 已是节假日,不能同时是调休上班日.请先从节假日列表中删除它.")
            .arg(date);
    return {};
}

StoreResult CalendarDays::addHoliday(const QString &date) {
    if (const QString problem = holidayProblem(date); !problem.isEmpty())
        return StoreResult::failure(problem);
    StoreResult result;
    m_holidays.add(date, &result);
    return result;
}

StoreResult CalendarDays::addMakeup(const QString &date, int weekday) {
    if (const QString problem = makeupProblem(date); !problem.isEmpty())
        return StoreResult::failure(problem);
    return m_makeup.set(date, weekday);
}

StoreResult CalendarDays::removeHoliday(const QString &date) {
    const int index = static_cast<int>(m_holidays.dates().indexOf(date));
    if (index < 0)
        return StoreResult::success();
    return m_holidays.removeAt(index);
}

StoreResult CalendarDays::removeMakeup(const QString &date) {
    if (!m_makeup.contains(date))
        return StoreResult::success();
    return m_makeup.remove(date);
}

CalendarDays::ImportReport CalendarDays::add(const QList<Choice> &choices) {
    ImportReport report;
    QSet<QString> seen;
    QStringList holidays;
    QList<std::pair<QString, int>> makeup;
    for (const Choice &choice : choices) {
        if (choice.kind == Choice::Skip)
            continue;
        if (seen.contains(choice.date) || listed(choice.date) != Listed::No) {
            report.notAdded << QStringLiteral("%1:已在列表中").arg(choice.date);
            continue;
        }
        if (!MakeupWorkdays::isDateText(choice.date)) {
            report.notAdded << QStringLiteral("%1:不是有效的日期").arg(choice.date);
            continue;
        }
        seen.insert(choice.date);
        if (choice.kind == Choice::Makeup)
            makeup.append({choice.date, choice.weekday});
        else
            holidays.append(choice.date);
    }
    // Each file is written once, however many dates arrive.
    if (!holidays.isEmpty()) {
        report.result = m_holidays.addAll(holidays);
        if (!report.result)
            return report;
        report.holidaysAdded = static_cast<int>(holidays.size());
    }
    if (!makeup.isEmpty()) {
        report.result = m_makeup.setAll(makeup);
        if (report.result)
            report.makeupAdded = static_cast<int>(makeup.size());
    }
    return report;
}

QString CalendarDays::ImportReport::summary() const {
    QString text =
        QStringLiteral("已添加 %1 个节假日, %2 个调休上班日.").arg(holidaysAdded).arg(makeupAdded);
    if (!notAdded.isEmpty())
        text += QStringLiteral("\n未添加:\n") + notAdded.join(u'\n');
    if (!result)
        text += QStringLiteral("\n保存失败:") + result.error;
    return text;
}
