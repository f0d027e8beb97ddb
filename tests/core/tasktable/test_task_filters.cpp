#include "tasktable/TaskFilter.h"
#include "tasktable/TaskTableRows.h"

#include <QTest>

namespace {

PlayTask task(const QString &name, const QString &time, const QString &device) {
    PlayTask t;
    t.Name = name;
    t.Time = time;
    t.Duration = time;
    t.Type = QStringLiteral("60000");
    t.Device = device;
    t.Recurrence = TaskText::Sequential;
    return t;
}

PlayTask oneDay(const QString &name, const QString &date) {
    return task(name, date + QStringLiteral(" 08:30:00"), TaskText::OneDay);
}

QStringList namesOf(const QList<PlayTask> &rows, const QList<int> &sections) {
    QStringList names;
    for (int s : sections)
        names << rows[s].Name;
    return names;
}

} // namespace

class TestTaskFilters : public QObject {
    Q_OBJECT

private slots:
    void todayByWeekdayAndDate() {
        const QList<PlayTask> rows = {
            task("mon-fri", "08:00:00", "周一周五"),
            task("tue", "08:00:00", "周二"),
            task("daily", "08:00:00", TaskText::EveryDay),
            task("none", "", ""),
            oneDay("may1", "2012-05-01"),
            oneDay("may2", "2012-05-02"),
            task("sunday", "08:00:00", "周日"),
        };
        const QDate monday(2012, 4, 30);
        QCOMPARE(TaskFilters::weekdayName(monday), QStringLiteral("周一"));
        QCOMPARE(namesOf(rows, TaskFilters::filterRows(rows, TaskFilter::Today, monday)),
                 (QStringList{"mon-fri", "daily"}));
        const QDate tuesday(2012, 5, 1);
        QCOMPARE(namesOf(rows, TaskFilters::filterRows(rows, TaskFilter::Today, tuesday)),
                 (QStringList{"tue", "daily", "may1"}));
        QCOMPARE(namesOf(rows, TaskFilters::filterRows(rows, TaskFilter::Today, QDate(2012, 5, 6))),
                 (QStringList{"daily", "sunday"}));
        // The weekday names follow the Gregorian calendar across centuries.
        QCOMPARE(TaskFilters::weekdayName(QDate(2100, 3, 1)), QStringLiteral("周一"));
        QCOMPARE(TaskFilters::weekdayName(QDate(2000, 2, 29)), QStringLiteral("周二"));
    }

    void weekWindowCoversEightDatesAcrossTheYearEnd() {
        const QList<PlayTask> rows = {
            oneDay("dec27", "2012-12-27"),
            oneDay("dec28", "2012-12-28"),
            oneDay("jan4", "2013-01-04"),
            oneDay("jan5", "2013-01-05"),
            task("tue", "07:00:00", "周二"),
            task("daily", "07:00:00", TaskText::EveryDay),
            task("none", "", ""),
        };
        QCOMPARE(
            namesOf(rows, TaskFilters::filterRows(rows, TaskFilter::Week, QDate(2012, 12, 28))),
            (QStringList{"dec28", "jan4", "tue", "daily"}));
    }

    void monthWindowCoversThirtyTwoDates() {
        const QDate today(2012, 1, 31);
        const QList<PlayTask> rows = {
            oneDay("31 ahead", today.addDays(31).toString("yyyy-MM-dd")),
            oneDay("32 ahead", today.addDays(32).toString("yyyy-MM-dd")),
            oneDay("yesterday", today.addDays(-1).toString("yyyy-MM-dd")),
            oneDay("today", today.toString("yyyy-MM-dd")),
            task("weekly", "07:00:00", "周六"),
        };
        QCOMPARE(namesOf(rows, TaskFilters::filterRows(rows, TaskFilter::Month, today)),
                 (QStringList{"31 ahead", "today", "weekly"}));
        QCOMPARE(rows[0].Time.left(10), QStringLiteral("2012-03-02")); // leap February
    }

    void allKeepsEveryRowInFileOrderAndOddTimesOnlyThere() {
        const QList<PlayTask> rows = {
            task("none", "", ""),
            task("bad date", "2012-0x-01 08:00:00", TaskText::OneDay),
            task("short", "8:00:00", TaskText::EveryDay),
            task("daily", "08:00:00", TaskText::EveryDay),
        };
        const QDate day(2012, 5, 1);
        QCOMPARE(TaskFilters::filterRows(rows, TaskFilter::All, day), (QList<int>{0, 1, 2, 3}));
        for (TaskFilter f : {TaskFilter::Today, TaskFilter::Week, TaskFilter::Month})
            QCOMPARE(TaskFilters::filterRows(rows, f, day), QList<int>{3});
        QCOMPARE(TaskFilters::taskDateNumber("2013-01-04 00:00:00"), 20130104);
        QCOMPARE(TaskFilters::taskDateNumber("2013-01-0"), -1);
    }

    void sortClicksAlternatePerColumn() {
        SortState state;
        state.click(2);
        QCOMPARE(state.direction, 1);
        state.click(2);
        QCOMPARE(state.direction, -1);
        state.click(2);
        QCOMPARE(state.direction, 1);
        state.click(2);
        state.click(3);
        QCOMPARE(state.column, 3);
        QCOMPARE(state.direction, 1);
    }

    void sortsTextsByTheirGbkBytes() {
        QList<PlayTask> rows;
        for (const char *volume : {"60000", "0", "65535", "10000", "5"})
            rows << task(volume, "08:00:00", TaskText::EveryDay);
        for (PlayTask &t : rows)
            t.Type = t.Name;
        auto volumes = [&](const QList<int> &order) {
            QStringList out;
            for (int i : order)
                out << rows[i].Type;
            return out;
        };
        QCOMPARE(volumes(TaskSort::sortedOrder(rows, 3, 1)),
                 (QStringList{"0", "10000", "5", "60000", "65535"}));
        QCOMPARE(volumes(TaskSort::sortedOrder(rows, 3, -1)),
                 (QStringList{"65535", "60000", "5", "10000", "0"}));

        // Times and dates compare as text; Chinese by code page 936, where 每 (C3BF) comes
        // before 周 (D6DC) although Unicode has them the other way round.
        QVERIFY(TaskSort::compareTexts("19:00:00", "2012-05-01 08:00:00") < 0);
        QVERIFY(TaskSort::compareTexts("2012-05-01 08:00:00", "23:00:00") < 0);
        QVERIFY(TaskSort::compareTexts(TaskText::EveryDay, "周一") < 0);
        QVERIFY(TaskSort::compareTexts("周一", "周一周三") < 0);
        QVERIFY(TaskSort::compareTexts("Z", "周") < 0);
        QCOMPARE(TaskSort::compareTexts("abc", "abc"), 0);
    }

    void tableRowsKeepTheSelectedTaskThroughSortAndFilter() {
        const QList<PlayTask> rows = {
            task("c", "09:00:00", TaskText::EveryDay), oneDay("b", "2012-05-01"),
            task("a", "07:00:00", "周二"),
            task("a", "07:00:00", "周三"), // same texts in another section
        };
        TaskTableRows table;
        table.fill(rows, TaskFilter::All, QDate(2012, 5, 1));
        const ShownTask picked = *table.at(3);
        QCOMPARE(picked.section, 3);

        table.sortBy(0);
        QCOMPARE(table.shownTasks()[0].Name, QStringLiteral("a"));
        QCOMPARE(table.positionOf(picked), 1);
        QCOMPARE(table.at(table.positionOf(picked))->task.Device, QStringLiteral("周三"));
        table.sortBy(0);
        QCOMPARE(table.shownTasks()[0].Name, QStringLiteral("c"));
        QCOMPARE(table.at(table.positionOf(picked))->section, 3);

        // A Tuesday: the 周三 task is filtered out, so nothing stands for it.
        table.fill(rows, TaskFilter::Today, QDate(2012, 5, 1));
        QCOMPARE(table.positionOf(picked), -1);
        QCOMPARE(table.shown().size(), 3);
        QCOMPARE(table.at(2)->section, 2);
        // Sort state outlives a refill: the next click on column 0 flips again.
        table.sortBy(0);
        QCOMPARE(table.sortState().direction, 1);

        table.removeShown(0);
        table.removeShown(7);
        QCOMPARE(table.shown().size(), 2);
        QVERIFY(!table.at(2));
    }
};

QTEST_GUILESS_MAIN(TestTaskFilters)
#include "test_task_filters.moc"
