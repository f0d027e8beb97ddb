// The timed shutdown in the schedule pass, with a fake clock, against the mock logind of the
// "logind" fixture.
#include "FakeClock.h"
#include "fixtures/LogindMock.h"
#include "platform/Logind.h"
#include "platform/LogindPowerControl.h"
#include "playback/FakePlayback.h"
#include "playback/PlaylistDriver.h"
#include "scheduler/ScheduleDriver.h"
#include "scheduler/ShutdownStep.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// 7 December 2026 is a Monday.
const QDate Monday(2026, 12, 7);

QDateTime at(const QDate &day, const QString &time) {
    return QDateTime(day, QTime::fromString(time, "HH:mm:ss"));
}

PlayTask task(const QString &name, const QString &start, const QString &end) {
    return PlayTask{name, start, end, "30000", TaskText::EveryDay, TaskText::Loop, {}};
}

struct Rig {
    FakeClock clock;
    FakePlayer player;
    FakeVolume volume;
    PlaylistDriver playback{player, volume, [](const QString &) {
                                return TaskPlaylist{"/bells/a.wav", "/bells/b.wav"};
                            }};
    ScheduleDriver driver{clock, playback};
    LogindPowerControl power;
    ShutdownStep::Setting setting{true, "22:30:00"};
    ShutdownStep step{driver, playback, power, [this] { return setting; }};
    QStringList started;

    Rig() {
        driver.setShutdownHook([this](const ClockTexts &now) { step.check(now); });
        QObject::connect(&playback, &PlaylistDriver::taskStarted,
                         [this](const QString &name) { started << name; });
    }
    void live(const QDateTime &from, const QDateTime &to) {
        for (QDateTime t = from; t <= to; t = t.addSecs(1)) {
            clock.set(t.addMSecs(5));
            driver.tick();
            QCoreApplication::processEvents(); // what the event loop runs after the pass
        }
    }
    void live(const QDate &day, const QString &from, const QString &to) {
        live(at(day, from), at(day, to));
    }
};

int powerOffs() {
    int count = 0;
    for (const auto &call : LogindMock::calls(QStringLiteral("PowerOff"))) {
        if (call.args.size() == 1 && call.args[0].toBool() == false)
            ++count;
        else
            count += 1000; // anything but PowerOff(false) is wrong
    }
    return count;
}

} // namespace

class TestShutdownStep : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firesOnceAtTheSecondAndStopsEverything();
    void boxClearDoesNothing();
    void gatedDayNeverShutsDownNextDayDoes();
    void timeOfDayNotText_data();
    void timeOfDayNotText();
    void textThatIsNoTimeIsToldOnce();
    void latePassStillFiresOnce();
    void refusedPowerOffIsToldAndScheduleGoesOn();
    void noLogindIsARefusalWithReason();
    void grantedButStillRunningGoesOn();
    void slowAnswerNeverHoldsTheThread();
};

void TestShutdownStep::initTestCase() {
    QVERIFY2(LogindMock::isThere(), "the logind fixture's mock is not on DBUS_SYSTEM_BUS_ADDRESS");
}

void TestShutdownStep::init() {
    QVERIFY(LogindMock::reset());
}

void TestShutdownStep::cleanup() {
    LogindMock::reset();
}

void TestShutdownStep::firesOnceAtTheSecondAndStopsEverything() {
    Rig rig;
    rig.driver.setSchedule(
        {task("evening", "22:29:50", "23:00:00"), task("late", "22:30:02", "23:00:00")});
    QSignalSpy poweringOff(&rig.step, &ShutdownStep::poweringOff);
    rig.live(Monday, "22:29:49", "22:29:56");
    QVERIFY(rig.playback.isStepping());
    rig.playback.PlaylistStep();
    QVERIFY(!rig.player.current.isEmpty());
    const int closesBefore = rig.player.closes;

    rig.live(Monday, "22:29:57", "22:29:59");
    QCOMPARE(powerOffs(), 0);
    rig.live(Monday, "22:30:00", "22:30:10");
    QCOMPARE(powerOffs(), 1);
    QCOMPARE(poweringOff.size(), 1);
    QVERIFY(rig.player.closes > closesBefore);
    QVERIFY(rig.player.current.isEmpty());
    QVERIFY(!rig.playback.isStepping());
    QVERIFY(!rig.driver.isRunning());
    QCOMPARE(rig.started, QStringList({"evening"})); // 22:30:02 came after the power-off
    QVERIFY(rig.step.hasFired());
}

void TestShutdownStep::boxClearDoesNothing() {
    Rig rig;
    rig.setting.enabled = false;
    rig.live(Monday, "22:29:58", "22:30:02");
    // Ticking the box afterwards does not fire for a second already past.
    rig.setting.enabled = true;
    rig.live(Monday, "22:30:03", "22:30:05");
    QCOMPARE(powerOffs(), 0);
    QVERIFY(!rig.step.hasFired());
}

void TestShutdownStep::gatedDayNeverShutsDownNextDayDoes() {
    Rig rig;
    rig.driver.setWeekdayOff(1, true); // Monday
    rig.driver.setHolidays({"2026-12-08"});
    rig.live(Monday, "22:29:59", "22:30:01");
    rig.live(Monday.addDays(1), "22:29:59", "22:30:01");
    QCOMPARE(powerOffs(), 0);
    rig.live(Monday.addDays(2), "22:29:59", "22:30:01");
    QCOMPARE(powerOffs(), 1);
}

void TestShutdownStep::timeOfDayNotText_data() {
    QTest::addColumn<QString>("stored");
    QTest::newRow("as written") << "07:30:00";
    QTest::newRow("hour without zero") << "7:30:00";
    QTest::newRow("leading blank") << " 07:30:00";
    QTest::newRow("blanks in fields") << "7: 30: 0";
}

void TestShutdownStep::timeOfDayNotText() {
    QFETCH(QString, stored);
    Rig rig;
    rig.setting.timeText = stored;
    QSignalSpy notices(&rig.step, &ShutdownStep::notice);
    rig.live(Monday, "07:29:58", "07:29:59");
    QCOMPARE(powerOffs(), 0);
    rig.live(Monday, "07:30:00", "07:30:00");
    QCOMPARE(powerOffs(), 1);
    QCOMPARE(notices.size(), 0);
}

void TestShutdownStep::textThatIsNoTimeIsToldOnce() {
    Rig rig;
    rig.setting.timeText = "22:30";
    QSignalSpy notices(&rig.step, &ShutdownStep::notice);
    rig.live(Monday, "22:29:58", "22:30:02");
    QCOMPARE(powerOffs(), 0);
    QCOMPARE(notices.size(), 1);
    QVERIFY(notices.first().first().toString().contains("22:30"));
    // Another wrong text is told again; an empty one (never stored) is no fault.
    rig.setting.timeText = "25:00:00";
    rig.live(Monday, "22:30:03", "22:30:04");
    QCOMPARE(notices.size(), 2);
    rig.setting.timeText.clear();
    rig.live(Monday, "22:30:05", "22:30:06");
    QCOMPARE(notices.size(), 2);
    // With the box clear nothing is told at all.
    rig.setting = {false, "nonsense"};
    rig.step.review();
    QCOMPARE(notices.size(), 2);
}

void TestShutdownStep::latePassStillFiresOnce() {
    Rig rig;
    rig.driver.setSchedule({task("after", "22:30:03", "23:00:00")});
    rig.live(Monday, "22:29:55", "22:29:55");
    // Eight seconds late: 22:30:00 is checked in the catch-up, and the checking stops there.
    rig.clock.set(at(Monday, "22:30:03").addMSecs(700));
    rig.driver.tick();
    QCoreApplication::processEvents();
    QCOMPARE(powerOffs(), 1);
    QVERIFY(rig.started.isEmpty());
    rig.live(Monday, "22:30:04", "22:30:06");
    QCOMPARE(powerOffs(), 1);
}

void TestShutdownStep::refusedPowerOffIsToldAndScheduleGoesOn() {
    QVERIFY(LogindMock::refuse("PowerOff", "org.freedesktop.DBus.Error.AccessDenied",
                               "Permission denied"));
    Rig rig;
    rig.driver.setSchedule(
        {task("evening", "22:29:00", "23:00:00"), task("next", "22:31:00", "23:00:00")});
    QSignalSpy failed(&rig.step, &ShutdownStep::powerOffFailed);
    rig.live(Monday, "22:28:59", "22:29:05");
    QVERIFY(rig.playback.isStepping());

    rig.live(Monday, "22:30:00", "22:30:00");
    QCOMPARE(powerOffs(), 1);
    QTRY_COMPARE(failed.size(), 1);
    const QString reason = failed.first().first().toString();
    QVERIFY2(reason.contains("权限") && reason.contains("Permission denied"), qPrintable(reason));
    // The timers go on: the driver from the next second, the playlist where it was.
    QVERIFY(rig.driver.isRunning());
    QVERIFY(rig.playback.isStepping());
    QVERIFY(!rig.step.hasFired());

    rig.live(Monday, "22:30:01", "22:31:01");
    QCOMPARE(rig.started, QStringList({"evening", "next"}));
    QCOMPARE(powerOffs(), 1); // never retried
    QCOMPARE(failed.size(), 1);

    // The next day it is asked again, and granted this time.
    QVERIFY(LogindMock::reset());
    rig.live(Monday.addDays(1), "22:29:59", "22:30:00");
    QCOMPARE(powerOffs(), 1);
    QVERIFY(!rig.driver.isRunning());
}

void TestShutdownStep::noLogindIsARefusalWithReason() {
    // A bus on which no logind runs: the mock's bus with the service name asked for unknown.
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.login1.nothere", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", "PowerOff");
    call << false;
    const QDBusMessage reply = QDBusConnection::systemBus().call(call);
    QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    const QString reason = Logind::reason(QDBusError(reply));
    QVERIFY2(reason.contains("logind"), qPrintable(reason));
}

void TestShutdownStep::grantedButStillRunningGoesOn() {
    Rig rig;
    rig.step.setStillRunningInterval(300);
    rig.driver.setSchedule({task("later", "22:31:00", "23:00:00")});
    QSignalSpy stillRunning(&rig.step, &ShutdownStep::stillRunning);
    rig.live(Monday, "22:29:59", "22:30:00");
    QCOMPARE(powerOffs(), 1);
    QVERIFY(!rig.driver.isRunning());
    rig.clock.set(at(Monday, "22:30:50"));
    QTRY_COMPARE(stillRunning.size(), 1);
    QVERIFY(rig.driver.isRunning());
    rig.live(Monday, "22:30:51", "22:31:00");
    QCOMPARE(rig.started, QStringList({"later"}));
    QCOMPARE(powerOffs(), 1);
}

void TestShutdownStep::slowAnswerNeverHoldsTheThread() {
    // logind answers after 1.5 s: the request returns before the answer, which comes from
    // the event loop.
    QVERIFY(LogindMock::delay("PowerOff", 1500));
    LogindPowerControl power;
    bool answered = false, granted = false;
    power.powerOff([&](bool yes, const QString &) { answered = true, granted = yes; });
    QVERIFY(!answered);
    QTRY_VERIFY_WITH_TIMEOUT(answered, 10000);
    QVERIFY(granted);

    // In the pass: stopped while the answer is out, the wait for the end begins with it.
    Rig rig;
    rig.step.setStillRunningInterval(100);
    QSignalSpy failed(&rig.step, &ShutdownStep::powerOffFailed);
    QSignalSpy stillRunning(&rig.step, &ShutdownStep::stillRunning);
    rig.live(Monday, "22:29:59", "22:30:00");
    QVERIFY(rig.step.hasFired());
    QVERIFY(!rig.driver.isRunning());
    QCOMPARE(stillRunning.size(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(stillRunning.size(), 1, 10000);
    QVERIFY(rig.driver.isRunning());
    QCOMPARE(failed.size(), 0);

    // No answer within the time allowed is a refusal that says so.
    LogindPowerControl impatient(300);
    const auto silent = LogindMock::powerOff(impatient);
    QVERIFY(silent.answered && !silent.granted);
    QVERIFY2(silent.reason.contains("没有响应"), qPrintable(silent.reason));
}

QTEST_GUILESS_MAIN(TestShutdownStep)
#include "test_shutdown_step.moc"
