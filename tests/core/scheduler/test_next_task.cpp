#include "PassRig.h"
#include "scheduler/NextStart.h"
#include "scheduler/NextTask.h"
#include "scheduler/WakeAlarm.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

namespace {

QDateTime at(const char *text) {
    return QDateTime::fromString(QString::fromUtf8(text), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString dateText(const QDate &d) {
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}

// The pass's own verdict up to lastDay: for each day the gate on the day's text, then at
// each second a stored start text names the index's first task due.
std::optional<NextTask::Found> byThePass(const ScheduleTable &table, const QDateTime &now,
                                         const DayGate &gate, const QDate &lastDay) {
    const ScheduleIndex index(table);
    QList<QTime> times;
    for (const QString &text : index.startTexts()) {
        const QTime t = QTime::fromString(text.right(8), QStringLiteral("HH:mm:ss"));
        if (t.isValid())
            times << t;
    }
    std::sort(times.begin(), times.end());
    const QTime t = now.time();
    const QDateTime from =
        QDateTime(now.date(), QTime(t.hour(), t.minute(), t.second())).addSecs(1);
    for (QDate day = from.date(); day <= lastDay; day = day.addDays(1)) {
        const int weekday = gate.timetableWeekday(Weekday::of(day), dateText(day));
        if (weekday < 0)
            continue;
        for (const QTime &time : times) {
            const QDateTime second(day, time);
            if (second.time() != time || second < from)
                continue;
            const QList<qsizetype> due =
                index.startingAt(ClockTexts::of(second), Weekday::name(weekday));
            for (qsizetype slot : due)
                if (gate.seasons.admits(table[slot].Name, day))
                    return NextTask::Found{slot, second};
        }
    }
    return std::nullopt;
}

// Tasks sharing a few start seconds, weekday rules of every shape, one-day tasks before,
// inside and after the span, texts the pass never matches; random boxes; holidays alone, in
// long runs and in forms that match no day; make-up days, some of them holidays too.
struct World {
    ScheduleTable table;
    DayGate gate;
};

World randomWorld(QRandomGenerator &rng, const QDate &first, int days) {
    World w;
    QStringList times;
    for (int i = 2 + rng.bounded(3); i > 0; --i)
        times << QTime(rng.bounded(24), rng.bounded(60), rng.bounded(60)).toString("HH:mm:ss");
    const QStringList names = {"周一", "周二", "周三", "周四", "周五", "周六", "周日"};
    for (int k = 1 + rng.bounded(14); k > 0; --k) {
        const QString time = times[rng.bounded(times.size())];
        // No end equals a start: such a task is not started by the pass (the dialogs say so).
        PlayTask t = makeTask(QStringLiteral("任务%1").arg(w.table.size()), time, QString());
        const int shape = rng.bounded(12);
        if (shape < 2) {
            t.Device = TaskText::EveryDay;
        } else if (shape < 5) {
            t.Device = rng.bounded(2) ? TaskText::OneDay : TaskText::EveryDay;
            t.Time = dateText(first.addDays(rng.bounded(days + 80) - 40)) + " " + time;
        } else if (shape < 9) {
            t.Device.clear();
            for (const QString &n : names)
                if (rng.bounded(3) == 0)
                    t.Device += n;
        } else if (shape == 9) {
            // A weekday rule on a one-day start: that date, and only when it is that day.
            t.Device = names[rng.bounded(7)];
            t.Time = dateText(first.addDays(rng.bounded(days))) + " " + time;
        } else if (shape == 10) {
            t.Time = rng.bounded(2) ? QStringLiteral("8:00:00")
                                    : dateText(first.addDays(3)).replace("-0", "-") + " " + time;
        } else {
            t.Time.clear();
        }
        w.table.append(t);
    }
    for (int d = 0; d < 7; ++d)
        w.gate.weekdayOff[d] = rng.bounded(10) < 3;
    QStringList holidays;
    for (int i = rng.bounded(40); i > 0; --i)
        holidays << dateText(first.addDays(rng.bounded(days)));
    for (int run = rng.bounded(3); run > 0; --run) {
        const QDate start = first.addDays(rng.bounded(days));
        for (int i = rng.bounded(200); i > 0; --i)
            holidays << dateText(start.addDays(i));
    }
    holidays << QStringLiteral("2027-1-5") << QStringLiteral("假日");
    w.gate.setHolidays(holidays);
    for (int i = rng.bounded(30); i > 0; --i) {
        const QString day = rng.bounded(4) == 0 && !holidays.isEmpty()
                                ? holidays[rng.bounded(holidays.size())]
                                : dateText(first.addDays(rng.bounded(days + 40)));
        w.gate.makeupDays.insert(day, rng.bounded(9) - 1); // some outside 0..6: no make-up day
    }
    if (rng.bounded(4) != 0)
        w.gate.seasons = randomSeasons(rng, w.table);
    return w;
}

QString shown(const std::optional<NextTask::Found> &found) {
    return found ? QStringLiteral("%1 at %2")
                       .arg(found->slot)
                       .arg(found->at.toString("yyyy-MM-dd HH:mm:ss"))
                 : QStringLiteral("none");
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
    void agreesWithTheIndexOnRandomTables();
    void pastAHundredThousandHolidays();
    void oneDayTasksLongPastFindNothing();
    void wakeTimeIsNextStartLessLead();
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
    // A task starting at its own end second is held back by the pass, and a later task
    // takes that second: the pane says so too.
    const ScheduleTable held = {makeTask("坏钟", "09:00:00", "09:00:00"),
                                makeTask("早会", "09:00:00", "09:30:00")};
    QCOMPARE(NextTask::paneText(held, at("2026-12-08 08:00:00"), {}),
             QStringLiteral("下一个：早会 09:00:00（还有 1 小时）"));
    // A name of megabytes from a hand-edited store: the pane shows its start, and the
    // status bar lays out at once.
    const ScheduleTable huge = {makeTask(QString(10 * 1024 * 1024, u'长'), "08:00:00", "08:10:00")};
    const QString pane = NextTask::paneText(huge, at("2026-12-08 07:48:00"), {});
    QVERIFY2(pane.size() < 400, qPrintable(QString::number(pane.size())));
    QVERIFY(pane.endsWith(QStringLiteral("… 08:00:00（还有 12 分钟）")));
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
    // A clock that cannot be read plans nothing (and walks no days).
    QVERIFY(!NextTask::find(daily, QDateTime(), {}));
    QVERIFY(!NextStart::of(daily, 0, QDateTime(), {}));
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

void TestNextTask::agreesWithTheIndexOnRandomTables() {
    const QDate first(2026, 12, 1);
    const int days = 500;
    const QDate lastDay = first.addDays(days + 60);
    for (quint32 seed = 1; seed <= 40; ++seed) {
        QRandomGenerator rng(seed);
        const World w = randomWorld(rng, first, days);
        QDateTime now = QDateTime(first, QTime(0, 0)).addSecs(rng.bounded(qint64(days) * 86400));
        // From random moments, and on from each start found, so the seconds right after a
        // shared start are asked about too.
        for (int query = 0; query < 24; ++query) {
            const auto expected = byThePass(w.table, now, w.gate, lastDay);
            const auto predicted = NextTask::find(w.table, now, w.gate);
            const QString where =
                QStringLiteral("seed %1 from %2: expected %3, got %4")
                    .arg(seed)
                    .arg(now.toString("yyyy-MM-dd HH:mm:ss"), shown(expected), shown(predicted));
            if (expected) {
                QVERIFY2(predicted && predicted->slot == expected->slot &&
                             predicted->at == expected->at,
                         qPrintable(where));
                now = query % 3 == 2 ? expected->at.addMSecs(-500) : expected->at;
            } else {
                QVERIFY2(!predicted || predicted->at.date() > lastDay, qPrintable(where));
                now = QDateTime(first, QTime(0, 0)).addSecs(rng.bounded(qint64(days) * 86400));
            }
        }
    }
}

void TestNextTask::pastAHundredThousandHolidays() {
    // Every day from 1900 on for 100,000 days is a holiday, as a store may hold them.
    QStringList dates;
    const QDate start(1900, 1, 1);
    for (int i = 0; i < 100000; ++i)
        dates << dateText(start.addDays(i));
    DayGate gate;
    gate.setHolidays(dates);
    const QDate dayAfter = start.addDays(100000);
    const ScheduleTable table = {
        makeTask("一次", "2026-12-20 08:00:00", "2026-12-20 08:10:00", TaskText::OneDay),
        makeTask("周日", "06:00:00", "06:10:00", "周日"),
        makeTask("早操", "08:00:00", "08:10:00"),
    };
    const auto found = NextTask::find(table, at("2026-12-08 09:00:00"), gate);
    QVERIFY(found);
    QCOMPARE(found->slot, 2);
    QCOMPARE(found->at, QDateTime(dayAfter, QTime(8, 0)));
    QCOMPARE(NextStart::of(table, 2, at("2026-12-08 09:00:00"), gate), found->at);

    // With the Sunday box off too, the Sunday task never plays again; the others are gone.
    gate.weekdayOff[0] = true;
    const ScheduleTable sundays = {table[0], table[1]};
    QVERIFY(!NextTask::find(sundays, at("2026-12-08 09:00:00"), gate));
    QVERIFY(!NextStart::of(sundays, 1, at("2026-12-08 09:00:00"), gate));
    // Only Monday's box ticked: the Saturday right after them, made a Monday, comes first.
    gate.weekdayOff.fill(true);
    gate.weekdayOff[1] = false;
    gate.makeupDays.insert(dateText(dayAfter), 1);
    const ScheduleTable daily = {table[2]};
    QCOMPARE(NextTask::find(daily, at("2026-12-08 09:00:00"), gate)->at,
             QDateTime(dayAfter, QTime(8, 0)));
}

void TestNextTask::oneDayTasksLongPastFindNothing() {
    // No weekday can play: only the tasks' own dates can, and they are long past.
    ScheduleTable table;
    for (int i = 0; i < 50; ++i)
        table << makeTask(QStringLiteral("旧%1").arg(i),
                          dateText(QDate(2020, 1, 1).addDays(i)) + " 09:00:00", "", "周二");
    table << makeTask("周一", "09:00:00", "09:10:00", "周一");
    DayGate gate;
    gate.weekdayOff[1] = true;
    QStringList holidays;
    for (int i = 0; i < 1000; ++i)
        holidays << dateText(QDate(2027, 1, 1).addDays(2 * i));
    gate.setHolidays(holidays);
    const QDateTime now = at("2026-12-08 09:00:00");
    QVERIFY(!NextTask::find(table, now, gate));
    QVERIFY(!NextStart::of(table, 50, now, gate));

    // A one-day date past every holiday still plays (a Tuesday, not one of them).
    table << makeTask("远", "2031-03-04 09:00:00", "", TaskText::OneDay);
    QCOMPARE(NextTask::find(table, now, gate)->slot, 51);
    QCOMPARE(NextTask::find(table, now, gate)->at, at("2031-03-04 09:00:00"));
    // A Sunday made a Tuesday: an earlier Tuesday task dated that day takes it.
    table[0].Time = QStringLiteral("2027-01-10 09:00:00");
    QCOMPARE(NextTask::find(table, now, gate)->slot, 51); // a Sunday by name
    gate.makeupDays.insert(QStringLiteral("2027-01-10"), 2);
    QCOMPARE(NextTask::find(table, now, gate)->slot, 0);
    QCOMPARE(NextTask::find(table, now, gate)->at, at("2027-01-10 09:00:00"));
    QCOMPARE(NextStart::of(table, 51, now, gate), at("2031-03-04 09:00:00"));
}

void TestNextTask::wakeTimeIsNextStartLessLead() {
    // Tuesday 2026-12-08 22:30, the timed shutdown; Wednesday a holiday.
    const ScheduleTable table = {makeTask("午休", "12:00:00", "12:10:00"),
                                 makeTask("早操", "08:00:00", "08:10:00")};
    DayGate gate;
    gate.setHolidays({QStringLiteral("2026-12-09")});
    const QDateTime night = at("2026-12-08 22:30:00");
    WakeAlarm::Plan plan = WakeAlarm::plan(table, night, gate, 5);
    QCOMPARE(plan.wakeAt.value_or(QDateTime()), at("2026-12-10 07:55:00"));
    QCOMPARE(plan.task, QStringLiteral("早操"));
    QCOMPARE(WakeAlarm::describe(plan, night), QStringLiteral("下次开机：12月10日 周四 07:55"));
    QCOMPARE(WakeAlarm::describe(WakeAlarm::plan(table, night, {}, 60), night),
             QStringLiteral("下次开机：明天 07:00"));
    // A make-up Sunday that follows Friday wakes the machine on the Sunday.
    const ScheduleTable fridays = {makeTask("周五会", "15:00:00", "15:30:00", "周五")};
    DayGate makeup;
    makeup.makeupDays.insert(QStringLiteral("2026-12-13"), 5);
    QCOMPARE(
        WakeAlarm::plan(fridays, at("2026-12-11 16:00:00"), makeup, 1).wakeAt.value_or(QDateTime()),
        at("2026-12-13 14:59:00"));
    // Too near to wake before it: as early as the clock allows.
    QCOMPARE(WakeAlarm::plan(table, at("2026-12-10 07:58:00"), {}, 5).wakeAt.value_or(QDateTime()),
             at("2026-12-10 07:59:30"));
    // Nothing ahead, or nothing within a year: no alarm, and why.
    plan = WakeAlarm::plan({}, night, {}, 5);
    QVERIFY(!plan.wakeAt);
    QCOMPARE(WakeAlarm::describe(plan, night),
             QStringLiteral("下次开机：无（没有以后要播放的任务）"));
    const ScheduleTable far = {
        makeTask("校庆", "2027-12-10 08:00:00", "2027-12-10 09:00:00", TaskText::OneDay)};
    plan = WakeAlarm::plan(far, night, {}, 5);
    QVERIFY(!plan.wakeAt);
    QCOMPARE(plan.why, QStringLiteral("下一个任务在一年以后"));
    QVERIFY(WakeAlarm::plan(far, at("2026-12-12 09:00:00"), {}, 5).wakeAt);
}

QTEST_GUILESS_MAIN(TestNextTask)
#include "test_next_task.moc"
