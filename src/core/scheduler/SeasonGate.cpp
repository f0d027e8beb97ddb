#include "SeasonGate.h"

SeasonGate::SeasonGate(const Timetables &timetables)
    : SeasonGate(timetables.timetables(), timetables.taskTimetables()) {}

SeasonGate::SeasonGate(const QList<Timetables::Timetable> &timetables,
                       const QHash<QString, QString> &taskTimetables) {
    if (taskTimetables.isEmpty())
        return;
    auto data = std::make_shared<Data>();
    data->taskTimetables = taskTimetables;
    for (const Timetables::Timetable &t : timetables) {
        if (data->groups.contains(t.name))
            continue; // the first of two equal names, as the file is read
        if (!t.range) {
            data->groups.insert(t.name, Never);
            continue;
        }
        data->ranges.append(*t.range);
        data->names.append(t.name);
        data->groups.insert(t.name, int(data->ranges.size()));
    }
    d = std::move(data);
}

int SeasonGate::groupOf(const QString &task) const {
    if (!d)
        return AllYear;
    const auto it = d->taskTimetables.constFind(task);
    if (it == d->taskTimetables.cend())
        return AllYear;
    return d->groups.value(*it, Never);
}

bool SeasonGate::groupHolds(int group, const QDate &day) const {
    if (group == AllYear)
        return true;
    if (group < 0 || !d || group > d->ranges.size())
        return false;
    return d->ranges.at(group - 1).holds(day);
}

int SeasonGate::groupCount() const {
    return d ? int(d->ranges.size()) : 0;
}

QString SeasonGate::neverReason(const QString &task) const {
    if (groupOf(task) != Never)
        return {};
    const QString name = d->taskTimetables.value(task);
    if (d->groups.contains(name))
        return QStringLiteral("作息表‘%1’的日期范围无法识别").arg(name);
    return QStringLiteral("作息表‘%1’不存在").arg(name);
}

QString SeasonGate::refusal(const QString &task, const QDate &day) const {
    const int group = groupOf(task);
    if (group == Never)
        return neverReason(task);
    if (groupHolds(group, day))
        return {};
    return QStringLiteral("不在作息表‘%1’的日期内").arg(d->names.at(group - 1));
}
