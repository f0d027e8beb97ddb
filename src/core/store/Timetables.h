#pragma once

#include "StoreResult.h"
#include "TaskBoundSection.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

// A yearly range of days "MM-DD~MM-DD", both ends included. An end written before the start
// runs over the new year. 02-29 stands for 03-01 as a start and for 02-28 as an end in
// other years; whether the range runs over the new year is read from the text as written.
struct SeasonRange {
    int from = 101; // month * 100 + day
    int to = 1231;

    static std::optional<SeasonRange> parse(QStringView text);
    // Month-day values that exist in a leap year (02-29 included).
    static bool validMonthDay(int monthDay);
    QString text() const;
    bool overNewYear() const { return to < from; }
    bool holds(const QDate &day) const;
    bool holds(int monthDay, bool leapYear) const;
    // Whether some day lies in both ranges.
    bool overlaps(const SeasonRange &other) const;
    // The days of the year this range leaves out (the winter of a summer); the range itself
    // when it holds every day.
    SeasonRange complement() const;
    bool operator==(const SeasonRange &) const = default;
};

// The seasonal timetables (作息表) in "作息表.ini": section "作息表" with name=MM-DD~MM-DD,
// section "任务作息表" with task name=timetable name. A task without an entry plays all
// year. Entries this program cannot read are kept as they stand and written back.
class Timetables {
public:
    struct Timetable {
        QString name;
        QString rangeText; // as stored
        std::optional<SeasonRange> range;
    };

    static QString fileName();
    static QString section();
    static QString taskSection();
    // Why a timetable name cannot be used, or an empty text.
    static QString nameProblem(const QString &name);

    explicit Timetables(QString directory);

    // A missing file reads as no timetables; an unreadable one as none with *error set.
    void load(QString *error = nullptr);

    const QList<Timetable> &timetables() const { return m_timetables; }
    const Timetable *find(const QString &name) const;
    // Task name -> timetable name.
    const QHash<QString, QString> &taskTimetables() const { return m_tasks.values(); }
    // The timetable a task names, or an empty text for all year.
    QString timetableOf(const QString &task) const { return m_tasks.valueOf(task); }
    QStringList tasksOf(const QString &timetable) const;
    // Timetable name -> how many tasks name it.
    QHash<QString, qsizetype> taskCounts() const;

    // Beyond a timetable for every day of the year: adding one more is refused.
    static constexpr qsizetype MaxTimetables = 400;

    // Each change rewrites the file once; a failed write leaves everything as it was.
    StoreResult setTimetable(const QString &name, const SeasonRange &range);
    // Renames a timetable and re-points its tasks.
    StoreResult renameTimetable(const QString &from, const QString &to);
    // Its tasks keep naming it, so they stop playing rather than play all year.
    StoreResult removeTimetable(const QString &name);
    // An empty timetable removes the task's entry.
    StoreResult setTaskTimetable(const QString &task, const QString &timetable);
    // Several task entries at once (empty value: removed), and entries of tasks not in
    // `existing` dropped when it is given.
    StoreResult setTaskTimetables(const QHash<QString, QString> &entries,
                                  const QSet<QString> *existing = nullptr);

    // The timetables whose ranges hold the day, in file order.
    QStringList inForce(const QDate &day) const;
    // The first day after `today` on which the timetables in force change, with those then
    // in force: "10月1日起：冬季" ("…起：无" when none); empty when nothing ever changes.
    QString nextSwitchText(const QDate &today) const;
    // The other timetables whose ranges share a day with this one's.
    QStringList overlapping(const QString &name) const;
    // For every timetable in file order, how many others share a day with it, the first
    // `named` of them by name.
    struct Overlap {
        QStringList named;
        qsizetype count = 0;
    };
    QList<Overlap> overlaps(qsizetype named) const;

private:
    StoreResult write(const QList<Timetable> &timetables, const TaskBoundSection<QString> &tasks);
    QString path() const;

    QString m_directory;
    QList<Timetable> m_timetables;
    TaskBoundSection<QString> m_tasks; // task name -> timetable name
};
