#pragma once

#include "store/Timetables.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>

// Which days each task's timetable (作息表) lets it play: a task without one plays all
// year; one naming a timetable that does not exist, or whose range cannot be read, never
// plays. Built once per change of the timetables and shared by every copy of the gate.
class SeasonGate {
public:
    // Groups of tasks sharing a verdict: AllYear, Never, or a timetable's index + 1.
    static constexpr int AllYear = 0;
    static constexpr int Never = -1;

    SeasonGate() = default;
    explicit SeasonGate(const Timetables &timetables);
    SeasonGate(const QList<Timetables::Timetable> &timetables,
               const QHash<QString, QString> &taskTimetables);

    // No task is bound to a timetable: every task plays all year.
    bool isEmpty() const { return !d; }
    // Tells one set of timetables from another, for caches built on it.
    const void *identity() const { return d.get(); }

    int groupOf(const QString &task) const;
    bool groupHolds(int group, const QDate &day) const;
    int groupCount() const;
    bool admits(const QString &task, const QDate &day) const {
        return groupHolds(groupOf(task), day);
    }
    // Why the task does not play on that day ("不在作息表‘夏季’的日期内"), or an empty text.
    QString refusal(const QString &task, const QDate &day) const;
    // Why the task never plays, or an empty text.
    QString neverReason(const QString &task) const;

private:
    struct Data {
        QHash<QString, QString> taskTimetables;
        QHash<QString, int> groups; // timetable name -> group, Never when unreadable
        QList<SeasonRange> ranges;  // group k at k - 1
        QList<QString> names;
    };
    std::shared_ptr<const Data> d;
};
