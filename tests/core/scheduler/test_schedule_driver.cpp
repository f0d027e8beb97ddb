#include "FakeClock.h"
#include "playback/FakePlayback.h"
#include "playback/PlaylistDriver.h"
#include "scheduler/ScheduleDriver.h"

#include <QMap>
#include <QSignalSpy>
#include <QTest>

namespace {

// 7 December 2026 is a Monday.
const QDate Monday(2026, 12, 7);

PlayTask task(const QString &name, const QString &start, const QString &end,
              const QString &days = TaskText::EveryDay, const QString &mode = TaskText::Loop) {
    PlayTask t;
    t.Name = name;
    t.Time = start;
    t.Duration = end;
    t.Type = "30000";
    t.Device = days;
    t.Recurrence = mode;
    return t;
}

QDateTime at(const QDate &day, const QString &time) {
    return QDateTime(day, QTime::fromString(time, "HH:mm:ss"));
}

// Lives through seconds as the timers would: the driver wakes a few ms after each
// boundary and the playlist step runs every three seconds after a task started.
struct Rig {
    FakeClock clock;
    FakePlayer player;
    FakeVolume volume;
    QMap<QString, TaskPlaylist> lists;
    PlaylistDriver playback{player, volume, [this](const QString &name) { return lists[name]; }};
    ScheduleDriver driver{clock, playback};
    QDateTime stepOrigin;
    QStringList started; // "name@YYYY-MM-DD HH:MM:SS"
    QStringList shutdownChecks;

    Rig() {
        QObject::connect(&playback, &PlaylistDriver::taskStarted, [this](const QString &name) {
            stepOrigin = clock.now();
            started << name + "@" + ClockTexts::of(clock.now()).full;
        });
        driver.setShutdownHook([this](const ClockTexts &now) { shutdownChecks << now.full; });
    }

    void live(const QDateTime &from, const QDateTime &to) {
        for (QDateTime t = from; t <= to; t = t.addSecs(1)) {
            clock.set(t.addMSecs(5));
            driver.tick();
            const qint64 since = stepOrigin.isValid() ? stepOrigin.secsTo(clock.now()) : 0;
            if (playback.isStepping() && since > 0 && since % 3 == 0)
                playback.stepIfDayOpen();
        }
    }
    void live(const QDate &day, const QString &from, const QString &to) {
        live(at(day, from), at(day, to));
    }
    void liveDays(const QDate &first, int count, const QString &from, const QString &to) {
        for (int d = 0; d < count; ++d)
            live(first.addDays(d), from, to);
    }
};

} // namespace

class TestScheduleDriver : public QObject {
    Q_OBJECT
private slots:
    void everyDayTaskPlaysFromThreeSecondsAfterStartUntilEnd();
    void weeklyTaskOnItsDaysOnly();
    void oneDayTaskOnItsDateOnly();
    void firstStoredTaskWinsTheSecond();
    void anyEndSecondStopsWhateverPlays();
    void backToBackTasksBothPlay();
    void taskEndingAtItsStartIsNotStarted();
    void laterTaskReplacesRunningOne();
    void gatedDayDoesNothing_data();
    void gatedDayDoesNothing();
    void overMidnightStopsNextDay();
    void deletedTaskNoLongerStarts();
    void lastOfThousandTasksStarts();
    void shutdownHookRunsLastEverySecond();
    void ownerTablesAreReadLive();

    void lateTimerCatchesUpEverySecond();
    void catchUpUsesEachSecondsOwnDay();
    void forwardJumpChecksOnlyNow();
    void smallBackwardStepRechecksNothing();
    void largeBackwardStepStartsAfresh();
    void earlyWakeupChecksNothing();
    void wakeFromSleepIsAJump();
    void stopWithinCatchUpWaitsForResume();
};

void TestScheduleDriver::taskEndingAtItsStartIsNotStarted() {
    // Stored by an old version: start = end. Started, it would run past its own end check and
    // loop all night; it is held back and the user told, every day it comes due.
    Rig rig;
    rig.lists["bell"] = {"/bells/A.wav"};
    rig.lists["news"] = {"/bells/N.wav"};
    rig.driver.setSchedule(
        {task("bell", "08:00:00", "08:00:00"), task("news", "08:00:00", "08:10:00"),
         task("once", "2026-12-08 09:00:00", "2026-12-08 09:00:00", TaskText::OneDay),
         task("friday", "10:00:00", "10:00:00", "周五")});
    QSignalSpy told(&rig.driver, &ScheduleDriver::taskNotStarted);

    rig.live(Monday, "07:59:58", "08:00:05");
    // The held-back task does not take the second from the next one due then.
    QCOMPARE(rig.started, QStringList({"news@2026-12-07 08:00:00"}));
    QCOMPARE(told.size(), 1);
    QCOMPARE(told.at(0).at(0).value<PlayTask>().Name, QString("bell"));
    QCOMPARE(told.at(0).at(1).toString(),
             QString("播放任务 \"bell\" 的开始时间和结束时间相同,没有播放."));

    rig.live(Monday, "09:59:58", "10:00:02"); // Monday: "friday" is not due, so not told
    rig.live(Monday.addDays(1), "08:59:58", "09:00:02");
    QCOMPARE(told.size(), 2);
    QCOMPARE(told.at(1).at(0).value<PlayTask>().Name, QString("once"));
    QCOMPARE(rig.started, QStringList({"news@2026-12-07 08:00:00"}));
    QVERIFY(rig.player.opened == QStringList({"/bells/N.wav"}));

    rig.live(Monday.addDays(4), "09:59:58", "10:00:02"); // a Friday
    QCOMPARE(told.size(), 3);
    QVERIFY(rig.started.size() == 1);
}

void TestScheduleDriver::everyDayTaskPlaysFromThreeSecondsAfterStartUntilEnd() {
    Rig rig;
    rig.lists["morning"] = {"/bells/A.wav", "/bells/B.wav"};
    rig.driver.setSchedule({task("morning", "08:00:00", "08:30:00")});
    for (int d = 0; d < 2; ++d) {
        const QDate day = Monday.addDays(d);
        rig.live(day, "07:59:55", "08:00:02");
        QCOMPARE(rig.started.size(), d + 1);
        QCOMPARE(rig.player.opened.size(), 2 * d);
        rig.live(day, "08:00:03", "08:00:03");
        QCOMPARE(rig.player.current, QString("/bells/A.wav"));
        QCOMPARE(rig.volume.level, 30000);
        rig.player.finish();
        rig.live(day, "08:00:04", "08:00:06");
        QCOMPARE(rig.player.current, QString("/bells/B.wav"));
        rig.live(day, "08:29:50", "08:29:59");
        QVERIFY(!rig.player.current.isEmpty());
        rig.live(day, "08:30:00", "08:30:00");
        QVERIFY(rig.player.current.isEmpty());
        QVERIFY(!rig.playback.isStepping());
    }
    QCOMPARE(rig.started,
             QStringList({"morning@2026-12-07 08:00:00", "morning@2026-12-08 08:00:00"}));
}

void TestScheduleDriver::weeklyTaskOnItsDaysOnly() {
    Rig rig;
    rig.driver.setSchedule({task("", "", "", ""), // weekly with no day ticked
                            task("mwf", "09:00:00", "09:10:00", "周一周三周五"),
                            task("sun", "09:00:01", "09:10:00", "周日")});
    rig.liveDays(Monday, 7, "08:59:58", "09:00:02");
    QCOMPARE(rig.started, QStringList({"mwf@2026-12-07 09:00:00", "mwf@2026-12-09 09:00:00",
                                       "mwf@2026-12-11 09:00:00", "sun@2026-12-13 09:00:01"}));
    QCOMPARE(rig.driver.todayName(), QString("周日"));
}

void TestScheduleDriver::oneDayTaskOnItsDateOnly() {
    Rig rig;
    rig.lists["fair"] = {"/m/fair.mp3"};
    rig.driver.setSchedule(
        {task("fair", "2012-05-01 09:00:00", "2012-05-01 10:00:00", TaskText::OneDay)});
    rig.liveDays(QDate(2012, 4, 30), 2, "08:59:59", "09:00:03");
    QCOMPARE(rig.player.current, QString("/m/fair.mp3"));
    rig.live(QDate(2012, 5, 1), "09:59:58", "10:00:00");
    QVERIFY(rig.player.current.isEmpty());
    rig.live(QDate(2012, 5, 2), "08:59:59", "09:00:03");
    QCOMPARE(rig.started, QStringList({"fair@2012-05-01 09:00:00"}));
}

void TestScheduleDriver::firstStoredTaskWinsTheSecond() {
    Rig rig;
    rig.driver.setSchedule({task("late", "07:00:00", "07:30:00", "周二"),
                            task("first", "08:00:00", "08:30:00", "周二"), // not today
                            task("second", "08:00:00", "08:30:00"),
                            task("third", "2026-12-07 08:00:00", "x", TaskText::OneDay)});
    rig.live(Monday, "07:59:59", "08:00:05");
    QCOMPARE(rig.started, QStringList({"second@2026-12-07 08:00:00"}));
}

void TestScheduleDriver::anyEndSecondStopsWhateverPlays() {
    Rig rig;
    rig.lists["radio"] = {"http://radio.example/live"};
    rig.driver.setSchedule({task("monday", "09:30:00", "10:00:00", "周一"),
                            task("radio", "09:00:00", "11:00:00", "周二")});
    const QDate tuesday = Monday.addDays(1);
    rig.live(tuesday, "09:00:00", "09:00:03");
    QCOMPARE(rig.player.current, QString("http://radio.example/live"));
    rig.live(tuesday, "09:59:58", "10:00:00");
    QVERIFY(rig.player.current.isEmpty());
    QVERIFY(!rig.playback.isStepping());
}

void TestScheduleDriver::backToBackTasksBothPlay() {
    Rig rig;
    rig.lists["first"] = {"/m/first.mp3"};
    rig.lists["second"] = {"/m/second.mp3"};
    rig.driver.setSchedule(
        {task("first", "08:00:00", "08:30:00"), task("second", "08:30:00", "09:00:00")});
    rig.live(Monday, "08:00:00", "08:00:03");
    rig.live(Monday, "08:29:58", "08:30:03");
    QCOMPARE(rig.started.size(), 2);
    QCOMPARE(rig.player.current, QString("/m/second.mp3"));
    QVERIFY(rig.playback.isStepping());
    rig.live(Monday, "09:00:00", "09:00:00");
    QVERIFY(rig.player.current.isEmpty());
}

void TestScheduleDriver::laterTaskReplacesRunningOne() {
    Rig rig;
    rig.lists["long"] = {"/m/long1.mp3", "/m/long2.mp3"};
    rig.lists["news"] = {"/m/news.mp3"};
    rig.driver.setSchedule(
        {task("long", "08:00:00", "12:00:00"),
         task("news", "09:00:00", "09:05:00", TaskText::EveryDay, TaskText::Sequential)});
    rig.live(Monday, "08:00:00", "08:00:03");
    rig.live(Monday, "09:00:00", "09:00:00");
    QVERIFY(rig.player.current.isEmpty()); // closed at once
    QCOMPARE(rig.playback.items(), rig.lists["news"]);
    rig.live(Monday, "09:00:01", "09:00:03");
    QCOMPARE(rig.player.current, QString("/m/news.mp3"));
    QCOMPARE(rig.playback.state().currentLabel, QString("news"));
}

void TestScheduleDriver::gatedDayDoesNothing_data() {
    QTest::addColumn<bool>("sundayOff");
    QTest::addColumn<QStringList>("holidays");
    QTest::newRow("Sunday box") << true << QStringList({"2026-12-25"});
    QTest::newRow("holiday") << false << QStringList({"2026-01-01", "2026-12-13"});
}

void TestScheduleDriver::gatedDayDoesNothing() {
    QFETCH(bool, sundayOff);
    QFETCH(QStringList, holidays);
    const QDate saturday = Monday.addDays(5);
    const QDate sunday = Monday.addDays(6);
    Rig rig;
    rig.lists["late"] = {"/m/A.mp3", "/m/B.mp3"};
    rig.lists["day"] = {"/m/day.mp3"};
    rig.driver.setSchedule(
        {task("late", "23:59:50", "00:00:30"), task("day", "09:00:00", "09:30:00")});
    rig.driver.setWeekdayOff(0, sundayOff);
    rig.driver.setHolidays(holidays);

    rig.live(saturday, "23:59:50", "23:59:59");
    QCOMPARE(rig.player.current, QString("/m/A.mp3"));
    const int checksBefore = rig.shutdownChecks.size();
    rig.live(sunday, "00:00:00", "00:00:40");
    // The item playing at midnight plays on; its end second and the steps are gated.
    QCOMPARE(rig.player.current, QString("/m/A.mp3"));
    rig.player.finish();
    rig.live(sunday, "00:00:41", "00:00:50");
    rig.live(sunday, "08:59:50", "09:00:10");
    QCOMPARE(rig.player.opened, QStringList({"/m/A.mp3"}));
    QCOMPARE(rig.started.size(), 1);
    QCOMPARE(rig.shutdownChecks.size(), checksBefore);

    // The step timer kept running; the next open day goes on with the list.
    rig.live(Monday.addDays(7), "00:00:00", "00:00:03");
    QCOMPARE(rig.player.opened, QStringList({"/m/A.mp3", "/m/B.mp3"}));
    QCOMPARE(rig.shutdownChecks.last(), QString("2026-12-14 00:00:03"));
}

void TestScheduleDriver::overMidnightStopsNextDay() {
    Rig rig;
    rig.lists["night"] = {"/m/night.mp3"};
    rig.driver.setSchedule({task("night", "23:00:00", "01:00:00")});
    rig.live(Monday, "22:59:59", "23:00:03");
    rig.live(Monday, "23:59:58", "23:59:59");
    rig.live(Monday.addDays(1), "00:00:00", "00:59:59"); // an hour at full pace
    QCOMPARE(rig.player.current, QString("/m/night.mp3"));
    rig.live(Monday.addDays(1), "01:00:00", "01:00:00");
    QVERIFY(rig.player.current.isEmpty());
    QCOMPARE(rig.driver.stats().caughtUp, 0);

    // One-day tasks past midnight end the next day: stored with that day's date, or (as older
    // files have them) with the start's date, which names a moment before the start.
    for (const QString end : {"2026-12-10 01:00:00", "2026-12-09 01:00:00"}) {
        Rig once;
        once.lists["once"] = {"/m/once.mp3"};
        once.driver.setSchedule({task("once", "2026-12-09 23:00:00", end, TaskText::OneDay)});
        once.live(Monday.addDays(2), "22:59:59", "23:00:03");
        once.live(Monday.addDays(3), "00:59:58", "00:59:59");
        QCOMPARE(once.player.current, QString("/m/once.mp3"));
        once.live(Monday.addDays(3), "01:00:00", "01:00:00");
        QVERIFY2(once.player.current.isEmpty(), qPrintable(end));
        QVERIFY(!once.playback.isStepping());
    }
}

void TestScheduleDriver::deletedTaskNoLongerStarts() {
    Rig rig;
    ScheduleTable table = {task("a", "08:00:00", "08:01:00"), task("b", "08:00:05", "08:01:00")};
    rig.driver.setSchedule(table);
    rig.live(Monday, "08:00:00", "08:00:06");
    QCOMPARE(rig.started.size(), 2);
    table.removeLast();
    rig.driver.setSchedule(table);
    rig.live(Monday.addDays(1), "08:00:00", "08:00:06");
    QCOMPARE(rig.started, QStringList({"a@2026-12-07 08:00:00", "b@2026-12-07 08:00:05",
                                       "a@2026-12-08 08:00:00"}));

    // A looping task changed while it plays ends at the end second it had when it started;
    // removed while it plays, it stops at once.
    Rig loop;
    loop.lists["news"] = {"/m/news.mp3"};
    loop.driver.setSchedule({task("news", "09:00:00", "09:30:00")});
    loop.live(Monday, "09:00:00", "09:00:03");
    loop.driver.setSchedule({task("news", "10:00:00", "11:00:00")});
    loop.live(Monday, "09:00:04", "09:29:59");
    QCOMPARE(loop.player.current, QString("/m/news.mp3"));
    loop.live(Monday, "09:30:00", "09:30:00");
    QVERIFY(loop.player.current.isEmpty());
    QVERIFY(!loop.playback.isStepping());

    loop.live(Monday, "10:00:00", "10:00:03");
    QCOMPARE(loop.player.current, QString("/m/news.mp3"));
    QSignalSpy removed(&loop.driver, &ScheduleDriver::playingTaskRemoved);
    loop.driver.setSchedule({task("other", "12:00:00", "12:30:00")});
    loop.live(Monday, "10:00:04", "10:00:04");
    QVERIFY(loop.player.current.isEmpty());
    QVERIFY(!loop.playback.isStepping());
    QCOMPARE(removed.size(), 1);
    QCOMPARE(removed.first().at(1).toString(), QString("news"));

    // Edited by the user while it plays: a rename plays on under the new name, a new end
    // (later or earlier) is this run's, a new start or date rule is the next run's.
    Rig edit;
    edit.lists["news"] = {"/m/news.mp3"};
    const PlayTask news = task("news", "09:00:00", "09:30:00");
    edit.driver.setSchedule({news});
    edit.live(Monday, "09:00:00", "09:00:03");
    QSignalSpy edited(&edit.driver, &ScheduleDriver::playingTaskEdited);
    QSignalSpy gone(&edit.driver, &ScheduleDriver::playingTaskRemoved);
    const auto change = [&](const PlayTask &before, const PlayTask &after) {
        edit.driver.followEdit(before, after);
        edit.driver.setSchedule({after});
    };
    PlayTask renamed = task("新闻", "10:00:00", "09:40:00", "周二");
    change(news, renamed);
    edit.live(Monday, "09:00:04", "09:39:59");
    QCOMPARE(edit.player.current, QString("/m/news.mp3"));
    QCOMPARE(edit.playback.state().taskName, QString("新闻"));
    QCOMPARE(gone.size(), 0);
    QCOMPARE(edited.size(), 1);
    QCOMPARE(edited.first().at(2).toString(), QString("新闻"));
    QVERIFY(edited.first().at(3).toString().contains("开始时间和日期规则的修改从下次播放起生效"));
    edit.live(Monday, "09:40:00", "09:40:00");
    QVERIFY(edit.player.current.isEmpty());
    QCOMPARE(edit.started, QStringList({"news@2026-12-07 09:00:00"}));
    // An end moved before now stops it at the next second; one moved on lets it play past
    // its old end; edits of another task change nothing.
    edit.driver.setSchedule({news});
    edit.live(Monday.addDays(1), "09:00:00", "09:10:00");
    change(task("other", "11:00:00", "11:05:00"), task("other", "11:00:00", "09:00:01"));
    change(news, task("news", "09:00:00", "09:05:00"));
    edit.live(Monday.addDays(1), "09:10:01", "09:10:01");
    QVERIFY(edit.player.current.isEmpty());
    QVERIFY(!edit.playback.isTaskActive());
    edit.driver.setSchedule({news});
    edit.live(Monday.addDays(2), "09:00:00", "09:10:00");
    change(news, task("news", "09:00:00", "09:50:00"));
    edit.live(Monday.addDays(2), "09:10:01", "09:49:59");
    QVERIFY(edit.playback.isTaskActive());
    edit.live(Monday.addDays(2), "09:50:00", "09:50:00");
    QVERIFY(!edit.playback.isTaskActive());
}

void TestScheduleDriver::lastOfThousandTasksStarts() {
    Rig rig;
    ScheduleTable table;
    for (int i = 0; i < 999; ++i)
        table << task(QString::number(i), "07:00:00", "07:00:01", "周二");
    table << task("last", "08:00:00", "08:30:00");
    rig.driver.setSchedule(table);
    rig.live(Monday, "07:59:59", "08:00:00");
    QCOMPARE(rig.started, QStringList({"last@2026-12-07 08:00:00"}));
}

void TestScheduleDriver::shutdownHookRunsLastEverySecond() {
    Rig rig;
    rig.driver.setSchedule({task("a", "08:00:00", "08:30:00")});
    QStringList seen;
    rig.driver.setShutdownHook(
        [&](const ClockTexts &now) { seen << now.time + (rig.playback.isStepping() ? "+" : "-"); });
    rig.live(Monday, "07:59:59", "08:00:01");
    QCOMPARE(seen, QStringList({"07:59:59-", "08:00:00+", "08:00:01+"}));
}

void TestScheduleDriver::ownerTablesAreReadLive() {
    Rig rig;
    ScheduleTable owned = {task("a", "08:00:00", "x")};
    DayGate gate;
    rig.driver.setScheduleSource([&]() -> const ScheduleTable & { return owned; });
    rig.driver.setDayGateSource([&] { return gate; });
    rig.live(Monday, "08:00:00", "08:00:00");
    owned = {task("b", "08:00:01", "x")}; // a reload after a new task
    rig.live(Monday, "08:00:01", "08:00:01");
    owned[0].Time = "08:00:02"; // a change in place
    rig.live(Monday, "08:00:02", "08:00:02");
    gate.weekdayOff[1] = true; // the Monday box ticked
    owned[0].Time = "08:00:03";
    rig.live(Monday, "08:00:03", "08:00:03");
    gate.weekdayOff[1] = false;
    gate.setHolidays({"2026-12-07"});
    owned[0].Time = "08:00:04";
    rig.live(Monday, "08:00:04", "08:00:04");
    QCOMPARE(rig.started, QStringList({"a@2026-12-07 08:00:00", "b@2026-12-07 08:00:01",
                                       "b@2026-12-07 08:00:02"}));
}

void TestScheduleDriver::lateTimerCatchesUpEverySecond() {
    Rig rig;
    rig.driver.setSchedule({task("a", "09:00:00", "09:30:00"), task("b", "09:00:03", "09:30:00")});
    QSignalSpy passes(&rig.driver, &ScheduleDriver::passRan);
    rig.live(Monday, "08:59:54", "08:59:54");
    // Ten seconds late: 08:59:55 .. 09:00:05 all checked, in order, each once.
    rig.clock.set(at(Monday, "09:00:05").addMSecs(300));
    rig.driver.tick();
    QCOMPARE(passes.size(), 12);
    for (int i = 1; i < passes.size(); ++i)
        QCOMPARE(passes.at(i - 1).at(0).toDateTime().secsTo(passes.at(i).at(0).toDateTime()), 1);
    QCOMPARE(passes.last().at(0).toDateTime(), at(Monday, "09:00:05"));
    QCOMPARE(passes.last().at(1).toLongLong(), 300);
    QCOMPARE(passes.at(1).at(1).toLongLong(), 10300);
    QCOMPARE(rig.started, QStringList({"a@2026-12-07 09:00:05", "b@2026-12-07 09:00:05"}));
    QCOMPARE(rig.driver.stats().caughtUp, 10);
    QCOMPARE(rig.driver.stats().skipped, 0);
}

void TestScheduleDriver::catchUpUsesEachSecondsOwnDay() {
    Rig rig;
    rig.driver.setSchedule({task("sat", "23:59:59", "x"), task("sun", "00:00:01", "x")});
    rig.driver.setWeekdayOff(0, true);
    rig.live(Monday.addDays(5), "23:59:57", "23:59:57");
    rig.clock.set(at(Monday.addDays(6), "00:00:03"));
    rig.driver.tick();
    QCOMPARE(rig.started.size(), 1);
    QVERIFY(rig.started.first().startsWith("sat@"));
}

void TestScheduleDriver::forwardJumpChecksOnlyNow() {
    Rig rig;
    rig.driver.setSchedule({task("between", "09:00:05", "x"), task("now", "09:00:12", "x")});
    QSignalSpy passes(&rig.driver, &ScheduleDriver::passRan);
    rig.live(Monday, "09:00:00", "09:00:00");
    rig.live(Monday, "09:00:12", "09:00:12");
    QCOMPARE(passes.size(), 2);
    QCOMPARE(rig.started, QStringList({"now@2026-12-07 09:00:12"}));
    QCOMPARE(rig.driver.stats().skipped, 11);
}

void TestScheduleDriver::smallBackwardStepRechecksNothing() {
    Rig rig;
    rig.driver.setSchedule({task("a", "09:00:00", "x"), task("b", "09:00:03", "x")});
    QSignalSpy passes(&rig.driver, &ScheduleDriver::passRan);
    rig.live(Monday, "08:59:58", "09:00:01");
    rig.live(Monday, "08:59:51", "09:00:04"); // set back ten seconds
    QStringList seconds;
    for (const auto &pass : passes)
        seconds << pass.at(0).toDateTime().toString("HH:mm:ss");
    QCOMPARE(seconds, QStringList({"08:59:58", "08:59:59", "09:00:00", "09:00:01", "09:00:02",
                                   "09:00:03", "09:00:04"}));
    QCOMPARE(rig.started, QStringList({"a@2026-12-07 09:00:00", "b@2026-12-07 09:00:03"}));
    QCOMPARE(rig.driver.stats().backwardSteps, 1);
}

void TestScheduleDriver::largeBackwardStepStartsAfresh() {
    Rig rig;
    rig.driver.setSchedule({task("a", "09:00:00", "x")});
    rig.live(Monday, "08:59:59", "09:00:01");
    rig.live(Monday, "08:59:50", "09:00:00"); // eleven seconds back
    QCOMPARE(rig.started.size(), 2);
    QCOMPARE(rig.driver.stats().restarts, 1);
}

void TestScheduleDriver::earlyWakeupChecksNothing() {
    Rig rig;
    rig.driver.setSchedule({task("a", "09:00:00", "x")});
    QSignalSpy passes(&rig.driver, &ScheduleDriver::passRan);
    rig.clock.set(at(Monday, "09:00:00").addMSecs(10));
    rig.driver.tick();
    rig.clock.set(at(Monday, "09:00:00").addMSecs(998));
    rig.driver.tick();
    QCOMPARE(passes.size(), 1);
    QCOMPARE(rig.started.size(), 1);
}

void TestScheduleDriver::wakeFromSleepIsAJump() {
    Rig rig;
    rig.driver.setSchedule({task("asleep", "09:00:03", "x"), task("awake", "09:00:06", "x")});
    QSignalSpy passes(&rig.driver, &ScheduleDriver::passRan);
    rig.live(Monday, "09:00:00", "09:00:00");
    // Asleep for six seconds: a late timer would catch them up, a wake-up does not.
    rig.clock.set(at(Monday, "09:00:06").addMSecs(200));
    rig.driver.resumeAfterSleep();
    QCOMPARE(passes.size(), 2);
    QCOMPARE(rig.started, QStringList({"awake@2026-12-07 09:00:06"}));
    QCOMPARE(rig.driver.stats().skipped, 5);
    // The timer's own wake-up in the same second finds nothing left to do.
    rig.driver.tick();
    rig.live(Monday, "09:00:07", "09:00:08");
    QCOMPARE(passes.size(), 4);
    QCOMPARE(rig.started.size(), 1);
    // A wake-up reported within the second already checked changes nothing.
    rig.driver.resumeAfterSleep();
    QCOMPARE(passes.size(), 4);
}

void TestScheduleDriver::stopWithinCatchUpWaitsForResume() {
    Rig rig;
    rig.driver.setSchedule({task("before", "09:00:01", "x"), task("after", "09:00:04", "x")});
    rig.driver.setShutdownHook([&rig](const ClockTexts &now) {
        rig.shutdownChecks << now.time;
        if (now.time == "09:00:02")
            rig.driver.stop();
    });
    rig.live(Monday, "09:00:00", "09:00:00");
    rig.clock.set(at(Monday, "09:00:05").addMSecs(50)); // five seconds late
    rig.driver.tick();
    QCOMPARE(rig.shutdownChecks, QStringList({"09:00:00", "09:00:01", "09:00:02"}));
    QVERIFY(!rig.driver.isRunning());
    rig.driver.tick(); // a stopped driver checks nothing
    QCOMPARE(rig.shutdownChecks.size(), 3);
    QCOMPARE(rig.started.size(), 1); // stamped with the clock's reading, not the second
    QVERIFY(rig.started.first().startsWith("before@"));

    // Going on: the seconds after the stop are caught up, the stopping one is not re-checked.
    rig.clock.set(at(Monday, "09:00:06").addMSecs(50));
    rig.driver.resume();
    QVERIFY(rig.driver.isRunning());
    QCOMPARE(rig.shutdownChecks, QStringList({"09:00:00", "09:00:01", "09:00:02", "09:00:03",
                                              "09:00:04", "09:00:05", "09:00:06"}));
    QCOMPARE(rig.started.size(), 2);
    QVERIFY(rig.started.last().startsWith("after@"));
}

QTEST_GUILESS_MAIN(TestScheduleDriver)
#include "test_schedule_driver.moc"
