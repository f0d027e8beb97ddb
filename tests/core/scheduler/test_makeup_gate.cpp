// The day gate with make-up workdays (a weekend day that follows a weekday's timetable) and
// with seasonal timetables (a task plays only on the days of its 作息表).
#include "PassRig.h"
#include "scheduler/NextStart.h"
#include "tasktable/TaskFilter.h"

#include <QTest>

namespace {

// 13 December 2026 is a Sunday; 14 December a Monday.
const QDate Sunday(2026, 12, 13);
const QString SundayText = QStringLiteral("2026-12-13");

QDateTime at(const QDate &day, const char *time) {
    return QDateTime(day, QTime::fromString(QString::fromLatin1(time), "HH:mm:ss"));
}

ScheduleTable schoolDay() {
    return {makeTask("每天铃", "08:00:00", "08:00:20"),
            makeTask("周一铃", "09:00:00", "09:00:20", "周一周三"),
            makeTask("周日铃", "10:00:00", "10:00:20", "周日"),
            makeTask("周二铃", "11:00:00", "11:00:20", "周二")};
}

using MakeupDays = QHash<QString, int>;

// The days of a yearly range as a list of stretches, one per year it begins in: what the
// user means by "05-01~09-30" or "10-01~04-30", written out without month-day comparisons.
bool inStretches(const SeasonRange &range, const QDate &day) {
    const auto start = [&](int year) {
        const QDate d(year, range.from / 100, range.from % 100);
        return d.isValid() ? d : QDate(year, 3, 1);
    };
    const auto end = [&](int year) {
        const QDate d(year, range.to / 100, range.to % 100);
        return d.isValid() ? d : QDate(year, 2, 28);
    };
    for (int year = day.year() - 1; year <= day.year(); ++year) {
        const QDate first = start(year);
        const QDate last = range.overNewYear() ? end(year + 1) : end(year);
        if (day >= first && day <= last)
            return true;
    }
    return false;
}

} // namespace

class TestMakeupGate : public QObject {
    Q_OBJECT
private slots:
    void makeupSundayFollowsItsWeekday_data() {
        QTest::addColumn<MakeupDays>("makeup");
        QTest::addColumn<bool>("mondayOff");
        QTest::addColumn<QStringList>("holidays");
        QTest::addColumn<QStringList>("expected");
        const MakeupDays asMonday{{SundayText, 1}};
        QTest::newRow("listed as Monday")
            << asMonday << false << QStringList() << QStringList{"每天铃", "周一铃"};
        QTest::newRow("Monday box ticked") << asMonday << true << QStringList() << QStringList();
        QTest::newRow("also a holiday")
            << asMonday << false << QStringList{SundayText} << QStringList();
        QTest::newRow("not listed") << MakeupDays() << false << QStringList() << QStringList();
        QTest::newRow("another Sunday listed")
            << MakeupDays{{"2026-12-20", 1}} << false << QStringList() << QStringList();
        QTest::newRow("listed as Tuesday") << MakeupDays{{SundayText, 2}} << false << QStringList()
                                           << QStringList{"每天铃", "周二铃"};
    }
    void makeupSundayFollowsItsWeekday() {
        QFETCH(MakeupDays, makeup);
        QFETCH(bool, mondayOff);
        QFETCH(QStringList, holidays);
        QFETCH(QStringList, expected);
        PassRig rig;
        rig.driver.setSchedule(schoolDay());
        rig.driver.setWeekdayOff(0, true); // the Sunday box is ticked
        rig.driver.setWeekdayOff(1, mondayOff);
        rig.driver.setHolidays(holidays);
        rig.driver.setMakeupDays(makeup);
        for (const char *time : {"08:00:00", "09:00:00", "10:00:00", "11:00:00"}) {
            rig.wakeAt(at(Sunday, time).addSecs(-2));
            rig.live(at(Sunday, time).addSecs(-1), at(Sunday, time).addSecs(1));
        }
        QCOMPARE(rig.startedNames(), expected);
    }

    void plainDaysAreUntouched() {
        // The make-up list changes its own days only: the Monday after stays a Monday and
        // the next Sunday stays off.
        PassRig rig;
        rig.driver.setSchedule(schoolDay());
        rig.driver.setWeekdayOff(0, true);
        rig.driver.setMakeupDays({{SundayText, 2}});
        for (const QDate &day : {Sunday.addDays(1), Sunday.addDays(7)})
            for (const char *time : {"08:00:00", "09:00:00", "10:00:00", "11:00:00"})
                rig.live(at(day, time).addSecs(-1), at(day, time).addSecs(1));
        QCOMPARE(rig.startedNames(), (QStringList{"每天铃", "周一铃"}));
    }

    void makeupDayEndsAndStepsLikeAWorkday() {
        // The end second and the playlist step pass the gate on a make-up Sunday.
        PassRig rig;
        rig.driver.setSchedule(schoolDay());
        rig.driver.setWeekdayOff(0, true);
        rig.driver.setMakeupDays({{SundayText, 1}});
        rig.live(at(Sunday, "07:59:59"), at(Sunday, "08:00:01"));
        QVERIFY(rig.playback.isStepping());
        QVERIFY(rig.driver.dayOpen());
        QCOMPARE(rig.driver.todayName(), QStringLiteral("周一"));
        rig.live(at(Sunday, "08:00:19"), at(Sunday, "08:00:21"));
        QVERIFY(!rig.playback.isStepping());
    }

    void gateRules() {
        DayGate gate;
        gate.weekdayOff[0] = true;
        gate.makeupDays = {{SundayText, 1}, {"2026-12-19", 7}, {"2026-12-26", -1}};
        QCOMPARE(gate.timetableWeekday(0, SundayText), 1);
        QCOMPARE(gate.nameWeekday(0, SundayText), 1);
        // A followed weekday outside 0..6 is no make-up day at all.
        QCOMPARE(gate.timetableWeekday(6, "2026-12-19"), 6);
        QCOMPARE(gate.timetableWeekday(6, "2026-12-26"), 6);
        QCOMPARE(gate.timetableWeekday(0, "2026-12-20"), -1);
        gate.setHolidays({SundayText});
        QCOMPARE(gate.timetableWeekday(0, SundayText), -1);
        QCOMPARE(gate.nameWeekday(0, SundayText), 0);
    }

    void seasonRangesAgreeWithTheirStretches_data() {
        QTest::addColumn<QString>("text");
        for (const char *text : {"05-01~09-30", "10-01~04-30", "03-15~03-15", "01-01~12-31",
                                 "12-31~01-01", "02-29~02-29", "02-29~03-05", "02-10~02-29",
                                 "10-01~02-29", "02-29~02-28", "03-01~02-29", "2-1~2-28"})
            QTest::newRow(text) << QString::fromLatin1(text);
    }
    void seasonRangesAgreeWithTheirStretches() {
        QFETCH(QString, text);
        const std::optional<SeasonRange> range = SeasonRange::parse(text);
        QVERIFY(range);
        QCOMPARE(SeasonRange::parse(range->text()), range);
        // Four years, one of them a leap year, day by day.
        int held = 0;
        for (QDate day(2026, 1, 1); day.year() < 2030; day = day.addDays(1)) {
            QVERIFY2(range->holds(day) == inStretches(*range, day),
                     qPrintable(day.toString("yyyy-MM-dd")));
            held += range->holds(day);
        }
        QVERIFY(held > 0);
        for (const char *bad : {"", "05-01", "02-30~03-01", "13-01~01-01", "0501~0930", "五月~九月",
                                "05-01~09-31", "00-10~01-01", "05-001~09-30"})
            QVERIFY2(!SeasonRange::parse(QString::fromUtf8(bad)), bad);
    }

    // Summer and winter sets side by side, sharing their seconds: the set out of its dates
    // neither plays nor keeps the other from playing, and says why; a task naming a missing
    // timetable never plays.
    void seasonsSwitchOnTheirDates() {
        const ScheduleTable table = {makeTask("上课铃（夏）", "08:00:00", "08:00:20"),
                                     makeTask("上课铃（冬）", "08:00:00", "08:00:20"),
                                     makeTask("早操", "08:00:00", "08:00:20"),
                                     makeTask("春游", "09:00:00", "09:00:20")};
        const QList<Timetables::Timetable> timetables = {
            {"夏季", "05-01~09-30", SeasonRange::parse(u"05-01~09-30")},
            {"冬季", "10-01~04-30", SeasonRange::parse(u"10-01~04-30")}};
        DayGate gate;
        gate.seasons = SeasonGate(
            timetables, {{"上课铃（夏）", "夏季"}, {"上课铃（冬）", "冬季"}, {"春游", "春季"}});
        PassRig rig;
        rig.driver.setSchedule(table);
        rig.driver.setDayGateSource([&gate] { return gate; });
        QStringList heldBack;
        QObject::connect(&rig.driver, &ScheduleDriver::taskHeldBack,
                         [&](const QDateTime &, const PlayTask &task, const QString &reason) {
                             heldBack << task.Name + "：" + reason;
                         });
        for (const QDate &day : {QDate(2026, 9, 30), QDate(2026, 10, 1)})
            for (const char *time : {"08:00:00", "09:00:00"})
                rig.live(at(day, time).addSecs(-1), at(day, time));
        QCOMPARE(rig.startedNames(), (QStringList{"上课铃（夏）", "上课铃（冬）"}));
        QCOMPARE(heldBack,
                 (QStringList{"上课铃（冬）：不在作息表‘冬季’的日期内",
                              "早操：同一秒已开始任务“上课铃（夏）”", "春游：作息表‘春季’不存在",
                              "上课铃（夏）：不在作息表‘夏季’的日期内",
                              "早操：同一秒已开始任务“上课铃（冬）”", "春游：作息表‘春季’不存在"}));

        const QDateTime october = at(QDate(2026, 10, 1), "08:00:01");
        QCOMPARE(NextStart::of(table, 0, october, gate), at(QDate(2027, 5, 1), "08:00:00"));
        QCOMPARE(NextStart::of(table, 1, october, gate), at(QDate(2026, 10, 2), "08:00:00"));
        QVERIFY(!NextStart::of(table, 3, october, gate));
        // The always-playing task takes the second only when neither season's task does.
        QVERIFY(!NextStart::of(table, 2, october, gate));
        const QDate day(2026, 10, 5);
        QCOMPARE(TaskFilters::filterRows(table, TaskFilter::Today, day, {}, &gate.seasons),
                 (QList<int>{1, 2}));
        QCOMPARE(TaskFilters::filterRows(table, TaskFilter::Month, QDate(2027, 4, 20), {},
                                         &gate.seasons),
                 (QList<int>{0, 1, 2}));
    }

    void todayFilterUsesTheFollowedWeekday() {
        const QList<PlayTask> rows = schoolDay();
        QCOMPARE(TaskFilters::filterRows(rows, TaskFilter::Today, Sunday), (QList<int>{0, 2}));
        QCOMPARE(TaskFilters::filterRows(rows, TaskFilter::Today, Sunday, QStringLiteral("周一")),
                 (QList<int>{0, 1}));
    }
};

QTEST_GUILESS_MAIN(TestMakeupGate)
#include "test_makeup_gate.moc"
