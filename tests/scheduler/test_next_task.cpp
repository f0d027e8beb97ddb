#include "PassRig.h"
#include "scheduler/NextTask.h"

#include <QTest>

namespace {

QDateTime at(const char *text) {
    return QDateTime::fromString(QString::fromUtf8(text), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

class TestNextTask : public QObject {
    Q_OBJECT
private slots:
    void sameDayInMinutes();
    void acrossMidnightSaysTomorrow();
    void gatedDaysAreSkipped();
    void noTaskLeft();
    void taskStartingThisSecondIsNotNext();
    void remainingTexts();
    void agreesWithThePassOverAWeek();
};

void TestNextTask::sameDayInMinutes() {
    const ScheduleTable table = {
        makeTask("午休", "12:00:00", "12:10:00"),
        makeTask("早操", "08:00:00", "08:10:00"),
    };
    QCOMPARE(NextTask::paneText(table, at("2026-12-08 07:48:00"), {}),
             QStringLiteral("下一个：早操 08:00:00（还有 12 分钟）"));
    QCOMPARE(NextTask::paneText(table, at("2026-12-08 07:48:30"), {}),
             QStringLiteral("下一个：早操 08:00:00（还有 12 分钟）"));
    QCOMPARE(NextTask::paneText(table, at("2026-12-08 08:00:00"), {}),
             QStringLiteral("下一个：午休 12:00:00（还有 4 小时）"));
}

void TestNextTask::acrossMidnightSaysTomorrow() {
    const ScheduleTable table = {makeTask("早操", "08:00:00", "08:10:00")};
    QCOMPARE(NextTask::paneText(table, at("2026-12-08 23:59:30"), {}),
             QStringLiteral("下一个：早操 明天 08:00:00（还有 8 小时 1 分钟）"));
    QCOMPARE(NextTask::paneText(table, at("2026-12-31 22:00:00"), {}),
             QStringLiteral("下一个：早操 明天 08:00:00（还有 10 小时）"));
}

void TestNextTask::gatedDaysAreSkipped() {
    // Tuesday 2026-12-08, 09:00; Wednesday a holiday, Thursday's box unchecked.
    const ScheduleTable table = {makeTask("早操", "08:00:00", "08:10:00")};
    DayGate gate;
    gate.setHolidays({QStringLiteral("2026-12-09")});
    gate.weekdayOff[4] = true;
    QCOMPARE(NextTask::paneText(table, at("2026-12-08 09:00:00"), gate),
             QStringLiteral("下一个：早操 12月11日 周五 08:00:00（还有 2 天 23 小时）"));
    // A weekday rule and a make-up Sunday that follows Friday.
    const ScheduleTable fridays = {makeTask("周五会", "15:00:00", "15:30:00", "周五")};
    DayGate makeup;
    makeup.makeupDays.insert(QStringLiteral("2026-12-13"), 5);
    QCOMPARE(NextTask::paneText(fridays, at("2026-12-11 16:00:00"), makeup),
             QStringLiteral("下一个：周五会 12月13日 周日 15:00:00（还有 1 天 23 小时）"));
}

void TestNextTask::noTaskLeft() {
    QCOMPARE(NextTask::paneText({}, at("2026-12-08 09:00:00"), {}), QStringLiteral("下一个：无"));
    const ScheduleTable past = {
        makeTask("一次", "2026-12-01 08:00:00", "2026-12-01 08:10:00", TaskText::OneDay)};
    QCOMPARE(NextTask::paneText(past, at("2026-12-08 09:00:00"), {}), QStringLiteral("下一个：无"));
    DayGate allOff;
    allOff.weekdayOff.fill(true);
    const ScheduleTable daily = {makeTask("早操", "08:00:00", "08:10:00")};
    QCOMPARE(NextTask::paneText(daily, at("2026-12-08 09:00:00"), allOff),
             QStringLiteral("下一个：无"));
}

void TestNextTask::taskStartingThisSecondIsNotNext() {
    const ScheduleTable table = {makeTask("早操", "08:00:00", "08:10:00")};
    const auto found = NextTask::find(table, at("2026-12-08 08:00:00").addMSecs(400), {});
    QVERIFY(found);
    QCOMPARE(found->at, at("2026-12-09 08:00:00"));
}

void TestNextTask::remainingTexts() {
    QCOMPARE(NextTask::remaining(0), QStringLiteral("不到 1 分钟"));
    QCOMPARE(NextTask::remaining(59), QStringLiteral("不到 1 分钟"));
    QCOMPARE(NextTask::remaining(60), QStringLiteral("1 分钟"));
    QCOMPARE(NextTask::remaining(61), QStringLiteral("2 分钟"));
    QCOMPARE(NextTask::remaining(3600), QStringLiteral("1 小时"));
    QCOMPARE(NextTask::remaining(3660), QStringLiteral("1 小时 1 分钟"));
    QCOMPARE(NextTask::remaining(86400), QStringLiteral("1 天"));
    QCOMPARE(NextTask::remaining(86400 * 3 + 7200), QStringLiteral("3 天 2 小时"));
}

void TestNextTask::agreesWithThePassOverAWeek() {
    // The pass itself, lived through minute-wise starts over a week, against the prediction
    // made at each start.
    PassRig rig;
    const ScheduleTable table = {
        makeTask("甲", "08:00:00", "08:01:00", "周一周三"),
        makeTask("乙", "08:00:00", "08:01:00"),
        makeTask("丙", "2026-12-10 12:30:00", "2026-12-10 12:31:00", TaskText::OneDay),
        makeTask("丁", "18:15:00", "18:16:00", "周六"),
    };
    DayGate gate;
    gate.setHolidays({QStringLiteral("2026-12-09")});
    gate.makeupDays.insert(QStringLiteral("2026-12-13"), 1);
    rig.driver.setSchedule(table);
    rig.driver.setHolidays({QStringLiteral("2026-12-09")});
    rig.driver.setMakeupDays(gate.makeupDays);

    const QDateTime begin = at("2026-12-07 00:00:00");
    const QDateTime end = at("2026-12-14 00:00:00");
    // Only seconds where something can start need living through.
    QList<QDateTime> candidates;
    for (QDate d = begin.date(); d < end.date(); d = d.addDays(1))
        for (const char *t : {"08:00:00", "12:30:00", "18:15:00"})
            candidates << QDateTime(d, QTime::fromString(QString::fromUtf8(t)));
    for (const QDateTime &c : candidates) {
        // Afresh at each candidate, so no catch-up joins them.
        rig.clock.set(c.addMSecs(5));
        rig.driver.start();
    }
    QDateTime from = begin;
    for (const auto &[name, second] : rig.started) {
        const auto predicted = NextTask::find(table, from, gate);
        QVERIFY2(predicted, qPrintable(name));
        QCOMPARE(predicted->at, second);
        QCOMPARE(table.at(predicted->slot).Name, name);
        from = second;
    }
    const auto after = NextTask::find(table, from, gate);
    QVERIFY(after);
    QVERIFY(after->at >= end);
    QVERIFY(rig.started.size() >= 7);
}

QTEST_GUILESS_MAIN(TestNextTask)
#include "test_next_task.moc"
