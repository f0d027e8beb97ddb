// The day gate with make-up workdays: a weekend day that follows a weekday's timetable.
#include "PassRig.h"
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

    void todayFilterUsesTheFollowedWeekday() {
        const QList<PlayTask> rows = schoolDay();
        QCOMPARE(TaskFilters::filterRows(rows, TaskFilter::Today, Sunday), (QList<int>{0, 2}));
        QCOMPARE(TaskFilters::filterRows(rows, TaskFilter::Today, Sunday, QStringLiteral("周一")),
                 (QList<int>{0, 1}));
    }
};

QTEST_GUILESS_MAIN(TestMakeupGate)
#include "test_makeup_gate.moc"
