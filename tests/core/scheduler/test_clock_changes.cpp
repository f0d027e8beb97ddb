// Run with TZ=Europe/Berlin: summer time from the last Sunday of March 02:00 (CET -> CEST)
// to the last Sunday of October 03:00 (CEST -> CET).
#include "FakeClock.h"
#include "playback/FakePlayback.h"
#include "playback/PlaylistDriver.h"
#include "scheduler/NextStart.h"
#include "scheduler/NextTask.h"
#include "scheduler/ScheduleDriver.h"

#include <QSignalSpy>
#include <QTest>

#include <utility>

namespace {

PlayTask task(const QString &name, const QString &start, const QString &end,
              const QString &days = TaskText::EveryDay) {
    PlayTask t;
    t.Name = name;
    t.Time = start;
    t.Duration = end;
    t.Type = "30000";
    t.Device = days;
    t.Recurrence = TaskText::Loop;
    return t;
}

// A wall-clock reading in Berlin that is not ambiguous.
qint64 utcOf(const QDate &day, const QString &time) {
    return QDateTime(day, QTime::fromString(time, "HH:mm:ss")).toSecsSinceEpoch();
}

// The driver on a clock that yields real moments: each reading is a UTC second turned into
// Berlin time by Qt, as the system clock's readings are.
struct ZoneRig {
    FakeClock clock;
    FakePlayer player;
    FakeVolume volume;
    PlaylistDriver playback{
        player, volume, [](const QString &name) { return TaskPlaylist{"/m/" + name + ".wav"}; }};
    ScheduleDriver driver{clock, playback};
    QStringList started; // "name@wall text"
    QStringList checked; // every wall second checked, as text
    QString lastChecked;
    QStringList pending;
    int outOfOrder = 0; // checks of a wall second not after the one before

    ZoneRig() {
        QObject::connect(&playback, &PlaylistDriver::taskStarted, [this](const QString &name) {
            pending << name; // named with its second once the pass is over
        });
        QObject::connect(&driver, &ScheduleDriver::passRan, [this](const QDateTime &second) {
            const QString text = ClockTexts::of(second).full;
            if (!lastChecked.isEmpty() && text <= lastChecked)
                ++outOfOrder;
            lastChecked = text;
            checked << text;
            for (const QString &name : std::exchange(pending, {}))
                started << name + "@" + text;
        });
        driver.setShutdownHook([](const ClockTexts &) {});
    }
    void wakeAtUtc(qint64 utc) {
        clock.set(QDateTime::fromMSecsSinceEpoch(utc * 1000 + 5));
        driver.tick();
    }
    // Every second of real time from..to, a timer wake-up in each.
    void liveUtc(qint64 from, qint64 to) {
        for (qint64 s = from; s <= to; ++s)
            wakeAtUtc(s);
    }
    bool playing() const { return playback.isStepping(); }
    int duplicateChecks() const {
        return static_cast<int>(checked.size() -
                                QSet<QString>(checked.begin(), checked.end()).size());
    }
};

const QDate SpringSunday(2026, 3, 29);
const QDate AutumnSunday(2026, 10, 25);

} // namespace

class TestClockChanges : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void summerTimeEndDoesNotRepeatTheHour();
    void lateTimerAcrossSummerTimeEnd();
    void sleepAcrossSummerTimeEnd();
    void summerTimeStartIsAJumpOfAnHour();
    void lateTimerAcrossSummerTimeStartMissesNothingElse();
    void wholeYearChecksEveryWallSecondOnce();
    void nextStartLooksPastASkippedStart();

    void handStepForwardStartsNothingJumpedOver();
    void handStepForwardStopsTaskWhoseEndWasJumped_data();
    void handStepForwardStopsTaskWhoseEndWasJumped();
    void wakeFromSleepHonoursEnds();
    void handStepBackByHoursLivesTheDayAnew();
    void stallStartsWhatIsStillOpenWhereAStepStartsNothing();
};

void TestClockChanges::initTestCase() {
    // Without the zone these tests would pass vacuously in UTC.
    QCOMPARE(QDateTime(QDate(2026, 7, 1), QTime(12, 0)).offsetFromUtc(), 7200);
    QCOMPARE(QDateTime(QDate(2026, 12, 1), QTime(12, 0)).offsetFromUtc(), 3600);
}

void TestClockChanges::summerTimeEndDoesNotRepeatTheHour() {
    ZoneRig rig;
    rig.driver.setSchedule({task("early", "02:10:00", "02:20:00"),
                            task("late", "02:50:00", "03:10:00"),
                            task("after", "03:30:00", "03:40:00")});
    // 01:59:00 CEST .. 03:31:00 CET: two and a half hours of real time.
    const qint64 from = utcOf(AutumnSunday, "01:59:00");
    const qint64 to = utcOf(AutumnSunday, "03:31:00");
    QCOMPARE(from + 3600 * 2 + 32 * 60, to);
    for (qint64 s = from; s <= to; ++s) {
        rig.wakeAtUtc(s);
        // "early"'s end at 02:20 must not come again in the repeated hour and stop "late".
        if (ClockTexts::of(QDateTime::fromSecsSinceEpoch(s)).time == "03:05:00")
            QVERIFY(rig.playing());
    }
    QCOMPARE(rig.started, QStringList({"early@2026-10-25 02:10:00", "late@2026-10-25 02:50:00",
                                       "after@2026-10-25 03:30:00"}));
    // Every wall-clock second once, in order; the repeated hour is not checked again.
    QCOMPARE(rig.duplicateChecks(), 0);
    QCOMPARE(rig.checked.size(), 92 * 60 + 1);
    QCOMPARE(rig.checked.first(), QString("2026-10-25 01:59:00"));
    QCOMPARE(rig.checked.last(), QString("2026-10-25 03:31:00"));
    QCOMPARE(rig.driver.stats().restarts, 0);
    QCOMPARE(rig.driver.stats().skipped, 0);
    QVERIFY(rig.playing());
}

void TestClockChanges::lateTimerAcrossSummerTimeEnd() {
    ZoneRig rig;
    rig.driver.setSchedule({task("edge", "02:59:58", "03:20:00"), task("again", "02:00:01", "x")});
    const qint64 turn = utcOf(AutumnSunday, "01:59:00") + 3600; // 02:59:00 CEST
    rig.liveUtc(turn, turn + 55);
    // Eight seconds late across the change: 02:59:56..02:59:59 CEST are new, 02:00:00..02:00:03
    // CET were checked an hour ago.
    rig.wakeAtUtc(turn + 63);
    QCOMPARE(rig.checked.last(), QString("2026-10-25 02:59:59"));
    QCOMPARE(rig.started, QStringList({"edge@2026-10-25 02:59:58"}));
    rig.liveUtc(turn + 64, turn + 64 + 3600);
    QCOMPARE(rig.started, QStringList({"edge@2026-10-25 02:59:58"}));
    QCOMPARE(rig.checked.last(), QString("2026-10-25 03:00:04"));
    QCOMPARE(rig.duplicateChecks(), 0);
}

void TestClockChanges::sleepAcrossSummerTimeEnd() {
    ZoneRig rig;
    rig.driver.setSchedule({task("a", "02:30:00", "02:40:00"), task("b", "02:55:00", "x")});
    const qint64 first = utcOf(AutumnSunday, "02:00:00") - 3600; // 02:00:00 CEST
    rig.liveUtc(first, first + 50 * 60);                         // .. 02:50:00 CEST
    // Asleep for forty minutes: wakes at 02:30:00 CET, which was checked already.
    rig.clock.set(QDateTime::fromMSecsSinceEpoch((first + 90 * 60) * 1000 + 200));
    rig.driver.resumeAfterSleep();
    rig.liveUtc(first + 90 * 60 + 1, first + 130 * 60); // .. 03:10:00 CET
    QCOMPARE(rig.started, QStringList({"a@2026-10-25 02:30:00", "b@2026-10-25 02:55:00"}));
    QCOMPARE(rig.duplicateChecks(), 0);
}

void TestClockChanges::summerTimeStartIsAJumpOfAnHour() {
    ZoneRig rig;
    rig.driver.setSchedule({task("night", "01:00:00", "02:15:00"),
                            task("missing", "02:30:00", "02:40:00"),
                            task("after", "03:00:05", "03:10:00")});
    const qint64 from = utcOf(SpringSunday, "00:59:58");
    const qint64 turn = utcOf(SpringSunday, "01:59:59");
    QCOMPARE(utcOf(SpringSunday, "03:00:00"), turn + 1);
    rig.liveUtc(from, turn);
    QVERIFY(rig.playing());
    QSignalSpy passes(&rig.driver, &ScheduleDriver::passRan);
    QSignalSpy heldBack(&rig.driver, &ScheduleDriver::taskHeldBack);
    rig.wakeAtUtc(turn + 1);
    // One check for the first summer second, and the end at 02:15 that the clock skipped
    // stops the task that ran through it.
    QCOMPARE(passes.size(), 1);
    // The play log is told which start the skipped hour took.
    QCOMPARE(heldBack.size(), 1);
    QCOMPARE(heldBack.at(0).at(1).value<PlayTask>().Name, QString("missing"));
    QVERIFY(heldBack.at(0).at(2).toString().contains("夏令时"));
    QCOMPARE(rig.checked.last(), QString("2026-03-29 03:00:00"));
    QVERIFY(!rig.playing());
    rig.liveUtc(turn + 2, turn + 20);
    QCOMPARE(rig.started, QStringList({"night@2026-03-29 01:00:00", "after@2026-03-29 03:00:05"}));
    QCOMPARE(rig.driver.stats().skipped, 3600);
    QCOMPARE(rig.driver.stats().caughtUp, 0);
    QCOMPARE(rig.duplicateChecks(), 0);
}

void TestClockChanges::lateTimerAcrossSummerTimeStartMissesNothingElse() {
    ZoneRig rig;
    rig.driver.setSchedule({task("before", "01:59:59", "x"), task("after", "03:00:01", "x")});
    const qint64 turn = utcOf(SpringSunday, "01:59:59");
    rig.liveUtc(turn - 5, turn - 2);
    QSignalSpy passes(&rig.driver, &ScheduleDriver::passRan);
    rig.wakeAtUtc(turn + 3); // five seconds late
    QStringList seconds;
    for (const auto &pass : passes)
        seconds << pass.at(0).toDateTime().toString("HH:mm:ss");
    QCOMPARE(seconds, QStringList({"01:59:58", "01:59:59", "03:00:00", "03:00:01", "03:00:02"}));
    QCOMPARE(passes.first().at(1).toLongLong(), 4005);
    QCOMPARE(rig.started, QStringList({"before@2026-03-29 01:59:59", "after@2026-03-29 03:00:01"}));
    QCOMPARE(rig.driver.stats().skipped, 3600);
}

void TestClockChanges::wholeYearChecksEveryWallSecondOnce() {
    // Both changes of a year: every second of those two days, and elsewhere the seconds
    // around each hour with forward jumps between; now and then the timer wakes late.
    ZoneRig rig;
    ScheduleTable table;
    for (int h = 0; h < 24; ++h) {
        const QString hour = QStringLiteral("%1").arg(h, 2, 10, QChar(u'0'));
        table << task(hour, hour + ":00:00", hour + ":00:30");
    }
    rig.driver.setSchedule(table);
    const QDate first(2026, 1, 1);
    const qint64 end = utcOf(first.addYears(1), "00:00:00") - 1;
    int step = 0;
    int playingPastEnd = 0;
    for (qint64 s = utcOf(first, "00:00:00") - 5; s <= end;) {
        rig.wakeAtUtc(s);
        rig.checked.clear(); // the order is watched by the rig; keep memory flat
        const QDateTime local = QDateTime::fromSecsSinceEpoch(s);
        const QTime t = local.time();
        if (t.minute() == 0 && t.second() == 31 && rig.playing())
            ++playingPastEnd;
        const bool changeDay = local.date() == SpringSunday || local.date() == AutumnSunday;
        if (changeDay || t.minute() == 59 || (t.minute() == 0 && t.second() < 40))
            s += ++step % 97 == 0 ? 8 : 1;
        else
            s = (s / 3600 + 1) * 3600 - 5; // the offsets are whole hours
    }
    // 365 days of 24 starts, less the one at 02:00 on the day it does not exist.
    QCOMPARE(rig.started.size(), 365 * 24 - 1);
    QCOMPARE(rig.started.filter("@2026-03-29").size(), 23);
    QCOMPARE(rig.started.filter("@2026-10-25").size(), 24);
    QVERIFY(!rig.started.contains("02@2026-03-29 02:00:00"));
    QCOMPARE(rig.started.filter("@2026-10-25 02:00:00").size(), 1);
    QCOMPARE(rig.outOfOrder, 0);
    QCOMPARE(playingPastEnd, 0);
    QCOMPARE(rig.driver.stats().restarts, 0);
}

void TestClockChanges::nextStartLooksPastASkippedStart() {
    // A Sunday task in the hour summer time skips on 28 March 2027, the Sunday before it a
    // holiday and the Saturday before it the last listed day: the week after the listed
    // days holds only the skipped start, yet the task plays again the Sunday after.
    const ScheduleTable table = {task("bell", "02:30:00", "02:40:00", "周日")};
    DayGate gate;
    gate.setHolidays({"2027-03-21", "2027-03-27"});
    const QDateTime from(QDate(2027, 3, 20), QTime(0, 0));
    const QDateTime expected(QDate(2027, 4, 4), QTime(2, 30));
    QCOMPARE(NextStart::of(table, 0, from, gate), expected);
    const auto found = NextTask::find(table, from, gate);
    QVERIFY(found);
    QCOMPARE(found->at, expected);
    QCOMPARE(NextStart::of(table, 0, QDateTime(QDate(2027, 3, 28), QTime(1, 0)), gate), expected);
}

void TestClockChanges::handStepForwardStartsNothingJumpedOver() {
    ZoneRig rig;
    const QDate day(2026, 12, 7);
    rig.driver.setSchedule(
        {task("break", "09:00:00", "09:10:00"),
         task("once", "2026-12-07 10:00:00", "2026-12-07 10:05:00", TaskText::OneDay),
         task("noon", "12:00:00", "12:30:00")});
    rig.liveUtc(utcOf(day, "08:00:00"), utcOf(day, "08:10:00"));
    rig.liveUtc(utcOf(day, "11:59:58"), utcOf(day, "12:00:02"));
    QCOMPARE(rig.started, QStringList({"noon@2026-12-07 12:00:00"}));
    QCOMPARE(rig.driver.stats().skipped, utcOf(day, "11:59:58") - utcOf(day, "08:10:00") - 1);
}

void TestClockChanges::handStepForwardStopsTaskWhoseEndWasJumped_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QStringList>("holidays");
    QTest::addColumn<bool>("playsOn");
    // Monday 7 December: "lesson" 08:00..08:45 daily, "night" 23:30..00:30 on Mondays,
    // "gala" on Thursday 10th 19:00..21:00 only.
    const QString lesson = "2026-12-07 07:59:58";
    const QString night = "2026-12-07 23:29:58";
    QTest::newRow("short of its end") << lesson << "2026-12-07 08:44:00" << QStringList() << true;
    QTest::newRow("to its end second") << lesson << "2026-12-07 08:45:00" << QStringList() << false;
    QTest::newRow("just past its end") << lesson << "2026-12-07 08:45:12" << QStringList() << false;
    QTest::newRow("hours past") << lesson << "2026-12-07 11:00:00" << QStringList() << false;
    QTest::newRow("days past") << lesson << "2026-12-09 07:00:00" << QStringList() << false;
    QTest::newRow("over midnight") << night << "2026-12-08 06:00:00" << QStringList() << false;
    // The ends of a day that is off are off with it, as when the day is lived.
    QTest::newRow("over midnight into a holiday")
        << night << "2026-12-08 06:00:00" << QStringList({"2026-12-08"}) << true;
    QTest::newRow("one day's end") << "2026-12-10 18:59:58"
                                   << "2026-12-10 21:00:01" << QStringList() << false;
    QTest::newRow("short of one day's end") << "2026-12-10 18:59:58"
                                            << "2026-12-10 20:59:59" << QStringList() << true;
}

void TestClockChanges::handStepForwardStopsTaskWhoseEndWasJumped() {
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QStringList, holidays);
    QFETCH(bool, playsOn);
    ZoneRig rig;
    rig.driver.setSchedule(
        {task("lesson", "08:00:00", "08:45:00"), task("night", "23:30:00", "00:30:00", "周一"),
         task("gala", "2026-12-10 19:00:00", "2026-12-10 21:00:00", TaskText::OneDay)});
    rig.driver.setHolidays(holidays);
    const auto utc = [](const QString &text) {
        return QDateTime::fromString(text, "yyyy-MM-dd HH:mm:ss").toSecsSinceEpoch();
    };
    rig.liveUtc(utc(from), utc(from) + 600);
    QCOMPARE(rig.started.size(), 1);
    QVERIFY(rig.playing());
    const int closes = rig.player.closes;
    rig.wakeAtUtc(utc(to));
    QCOMPARE(rig.checked.last(), to);
    QCOMPARE(rig.playing(), playsOn);
    QCOMPARE(rig.player.closes - closes, playsOn ? 0 : 1);
    QCOMPARE(rig.started.size(), 1);
}

void TestClockChanges::wakeFromSleepHonoursEnds() {
    ZoneRig rig;
    const QDate day(2026, 12, 7);
    rig.driver.setSchedule({task("lesson", "08:00:00", "08:45:00"), task("b", "09:00:00", "x")});
    rig.liveUtc(utcOf(day, "07:59:59"), utcOf(day, "08:00:10"));
    QVERIFY(rig.playing());
    rig.clock.set(QDateTime::fromMSecsSinceEpoch(utcOf(day, "08:50:00") * 1000 + 300));
    rig.driver.resumeAfterSleep();
    QVERIFY(!rig.playing());
    rig.liveUtc(utcOf(day, "08:50:01"), utcOf(day, "09:00:01"));
    QCOMPARE(rig.started, QStringList({"lesson@2026-12-07 08:00:00", "b@2026-12-07 09:00:00"}));
}

void TestClockChanges::handStepBackByHoursLivesTheDayAnew() {
    ZoneRig rig;
    // In summer: a hand step back is not the end of summer time, even in October.
    const QDate day(2026, 10, 24);
    rig.driver.setSchedule({task("morning", "08:00:00", "08:10:00")});
    rig.liveUtc(utcOf(day, "07:59:59"), utcOf(day, "08:00:01"));
    rig.liveUtc(utcOf(day, "10:00:00"), utcOf(day, "10:00:01"));
    rig.liveUtc(utcOf(day, "07:00:00"), utcOf(day, "07:00:01")); // set back three hours
    rig.liveUtc(utcOf(day, "07:59:58"), utcOf(day, "08:00:01")); // and forward again
    QCOMPARE(rig.started,
             QStringList({"morning@2026-10-24 08:00:00", "morning@2026-10-24 08:00:00"}));
    QCOMPARE(rig.driver.stats().restarts, 1);
    // The same by hand on the night summer time ends: 03:30 CET back to 02:30 CET is a step
    // of UTC too, so the half hour is lived anew.
    ZoneRig night;
    night.driver.setSchedule({task("n", "02:45:00", "x")});
    const qint64 cet = utcOf(AutumnSunday, "03:30:00");
    night.liveUtc(cet - 50 * 60, cet);               // 02:40 CET .. 03:30 CET
    night.liveUtc(cet - 3600, cet - 3600 + 20 * 60); // 02:30 CET .. 02:50 CET
    QCOMPARE(night.started, QStringList({"n@2026-10-25 02:45:00", "n@2026-10-25 02:45:00"}));
}

// The program held up (the process stopped, a slow dialog) while the wall clock ran on: the
// monotonic clock ran as far, so nothing was jumped over. A step of the wall clock over the
// same seconds is still a step.
void TestClockChanges::stallStartsWhatIsStillOpenWhereAStepStartsNothing() {
    const QDate day(2026, 12, 7);
    const ScheduleTable table = {task("short", "08:00:00", "08:00:10"),
                                 task("lesson", "08:00:20", "08:45:00"),
                                 task("next", "2026-12-08 08:10:00", "x", TaskText::OneDay)};
    {
        ZoneRig rig;
        rig.driver.setSchedule(table);
        QSignalSpy starting(&rig.driver, &ScheduleDriver::taskStarting);
        QSignalSpy held(&rig.driver, &ScheduleDriver::taskHeldBack);
        QSignalSpy stalled(&rig.driver, &ScheduleDriver::stallCaughtUp);
        rig.liveUtc(utcOf(day, "07:59:50"), utcOf(day, "07:59:55"));
        rig.clock.pass(30000);
        rig.driver.tick();
        QCOMPARE(rig.started, QStringList({"lesson@2026-12-07 08:00:20"}));
        QCOMPARE(starting.size(), 1);
        QCOMPARE(starting.first().at(2).toLongLong(), 5); // 5 s late
        // The short task's time was over before the program could run again.
        QCOMPARE(held.size(), 1);
        QCOMPARE(held.first().at(1).value<PlayTask>().Name, QString("short"));
        QCOMPARE(held.first().at(2).toString(),
                 QString("程序停顿了 30 秒，恢复时已过了它的结束时间"));
        QCOMPARE(stalled.size(), 1);
        QCOMPARE(stalled.first().at(1).toLongLong(), 30);
        // It ends at its end as if started in time; a stall past the end stops it.
        rig.liveUtc(utcOf(day, "08:00:26"), utcOf(day, "08:44:50"));
        QVERIFY(rig.playing());
        QSignalSpy ended(&rig.driver, &ScheduleDriver::endReached);
        rig.clock.pass(20000);
        rig.driver.tick();
        QVERIFY(!rig.playing());
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.first().at(0).toDateTime(), QDateTime(day, QTime(8, 45), Qt::UTC));
        QVERIFY(ended.first().at(1).toString().startsWith("程序停顿了 20 秒"));
        // Held up for two days: its last day is caught up; what began before that (tomorrow's
        // one-day task among them) is told as missed.
        held.clear();
        rig.clock.pass((2 * 86400 - 1800) * 1000); // to 2026-12-09 08:15:10
        rig.driver.tick();
        QCOMPARE(rig.started,
                 QStringList({"lesson@2026-12-07 08:00:20", "lesson@2026-12-09 08:00:20"}));
        QStringList told;
        for (const QList<QVariant> &h : held)
            told << h.at(1).value<PlayTask>().Name + "：" + h.at(2).toString();
        const QString missed = "程序停顿了 47 小时 30 分，错过了它的开始时间";
        QCOMPARE(told, QStringList({"short：" + missed, "lesson：" + missed, "next：" + missed,
                                    "short：程序停顿了 47 小时 30 分，恢复时已过了它的结束时间"}));
        QCOMPARE(rig.driver.stats().stalls, 3);
    }
    {
        // The same 30 seconds as a step of the wall clock alone: nothing starts late.
        ZoneRig rig;
        rig.driver.setSchedule(table);
        QSignalSpy held(&rig.driver, &ScheduleDriver::taskHeldBack);
        rig.liveUtc(utcOf(day, "07:59:50"), utcOf(day, "07:59:55"));
        rig.clock.set(rig.clock.now().addSecs(30));
        rig.driver.tick();
        QVERIFY(rig.started.isEmpty());
        QCOMPARE(held.size(), 2);
        QCOMPARE(held.last().at(2).toString(), QString("时钟被向前调过了它的开始时间"));
        QCOMPARE(rig.driver.stats().stalls, 0);
        // Held up while the clock was also stepped by an hour: a step.
        ZoneRig both;
        both.driver.setSchedule(table);
        both.liveUtc(utcOf(day, "07:59:50"), utcOf(day, "07:59:55"));
        both.clock.pass(30000);
        both.clock.set(both.clock.now().addSecs(3600));
        both.driver.tick();
        QVERIFY(both.started.isEmpty());
        QCOMPARE(both.driver.stats().stalls, 0);
    }
}

QTEST_GUILESS_MAIN(TestClockChanges)
#include "test_clock_changes.moc"
