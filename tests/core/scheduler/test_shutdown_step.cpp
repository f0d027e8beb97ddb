// The timed shutdown in the schedule pass, with a fake clock, against the mock logind of the
// "logind" fixture.
#include "FakeClock.h"
#include "fixtures/LogindMock.h"
#include "platform/Logind.h"
#include "platform/LogindPowerControl.h"
#include "platform/WakeAlarmHelper.h"
#include "playback/FakePlayback.h"
#include "playback/PlaylistDriver.h"
#include "scheduler/ScheduleDriver.h"
#include "scheduler/ShutdownStep.h"
#include "scheduler/WakeAlarm.h"
#include "scheduler/WakeAlarmControl.h"
#include "store/WakeAlarmFile.h"

#include <QSignalSpy>
#include <QTemporaryDir>
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

// A wake alarm that answers when told to, and notes how many power-offs logind had seen
// when it was asked.
struct FakeWakeControl final : WakeAlarmControl {
    bool clock = true;
    bool refuse = false;
    QList<qint64> sets;
    int clears = 0;
    int powerOffsWhenSet = -1;
    Done pending;
    bool available() const override { return clock; }
    void set(qint64 epochSeconds, Done done) override {
        sets << epochSeconds;
        powerOffsWhenSet = powerOffs();
        pending = std::move(done);
    }
    void clear(Done done) override {
        ++clears;
        pending = std::move(done);
    }
    void answer() {
        QVERIFY(pending);
        std::exchange(pending, nullptr)({!refuse, refuse ? QStringLiteral("硬件时钟拒绝了开机时间")
                                                         : QStringLiteral("rtc0: set")});
    }
};

// The timed shutdown with the wake alarm before its power-off.
struct WakeRig : Rig {
    QTemporaryDir store;
    FakeWakeControl control;
    WakeAlarmFile::Setting wake{true, 5};
    DayGate gate;
    WakeAlarm alarm{control,
                    clock,
                    store.path(),
                    [this] { return wake; },
                    [this]() -> const ScheduleTable & { return driver.schedule(); },
                    [this] { return gate; }};
    WakeRig() {
        step.setBeforePowerOff([this](std::function<void()> proceed) { alarm.arm(proceed); });
    }
};

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
    void wakeAlarmIsSetBeforePowerOff();
    void wakeAlarmRefusedOrOffStillPowersOff();
    void passedWakeAlarmIsClearedAfterSleep();
    void helperIsRunBesideAsRootElseOnlyTheInstalledOneThroughPkexec();
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

void TestShutdownStep::wakeAlarmIsSetBeforePowerOff() {
    WakeRig rig;
    rig.driver.setSchedule({task("早操", "07:00:00", "07:10:00")});
    rig.gate.setHolidays({QStringLiteral("2026-12-08")}); // Tuesday: no bell, no wake
    QSignalSpy set(&rig.alarm, &WakeAlarm::alarmSet);
    rig.live(Monday, "22:29:59", "22:30:00");
    QCOMPARE(rig.control.sets, QList<qint64>{at(Monday.addDays(2), "06:55:00").toSecsSinceEpoch()});
    // The power-off waits for the alarm's answer.
    QCOMPARE(rig.control.powerOffsWhenSet, 0);
    QCOMPARE(powerOffs(), 0);
    QVERIFY(!rig.driver.isRunning());
    rig.control.answer();
    QCOMPARE(powerOffs(), 1);
    QCOMPARE(set.size(), 1);
    QVERIFY2(set.first().at(1).toString().contains("早操"),
             qPrintable(set.first().at(1).toString()));
    QCOMPARE(WakeAlarmFile::loadSetAlarm(rig.store.path()),
             std::optional<qint64>(rig.control.sets.first()));
}

void TestShutdownStep::wakeAlarmRefusedOrOffStillPowersOff() {
    {
        WakeRig rig;
        rig.control.refuse = true;
        rig.driver.setSchedule({task("早操", "07:00:00", "07:10:00")});
        QSignalSpy failed(&rig.alarm, &WakeAlarm::failed);
        rig.live(Monday, "22:29:59", "22:30:00");
        rig.control.answer();
        QCOMPARE(failed.size(), 1);
        QCOMPARE(powerOffs(), 1);
        QVERIFY(!WakeAlarmFile::loadSetAlarm(rig.store.path()));
    }
    QVERIFY(LogindMock::reset());
    {
        // Switched off, or nothing ahead, or no clock: nothing asked, the power-off at once.
        WakeRig rig;
        rig.wake.enabled = false;
        rig.driver.setSchedule({task("早操", "07:00:00", "07:10:00")});
        QSignalSpy none(&rig.alarm, &WakeAlarm::noAlarm);
        rig.live(Monday, "22:29:59", "22:30:00");
        QCOMPARE(powerOffs(), 1);
        rig.wake.enabled = true;
        rig.driver.setSchedule({});
        rig.alarm.arm({});
        rig.control.clock = false;
        rig.alarm.arm({});
        QVERIFY(rig.control.sets.isEmpty());
        QCOMPARE(none.size(), 2);
        QCOMPARE(none.at(0).first().toString(), QStringLiteral("没有以后要播放的任务"));
        QCOMPARE(none.at(1).first().toString(),
                 QStringLiteral("这台计算机没有可设置唤醒的硬件时钟"));
    }
}

void TestShutdownStep::passedWakeAlarmIsClearedAfterSleep() {
    WakeRig rig;
    rig.driver.setSchedule({task("早操", "07:00:00", "07:10:00")});
    rig.clock.set(at(Monday, "23:00:00"));
    bool slept = false;
    rig.alarm.prepareForSleep(true, [&] { slept = true; });
    QVERIFY(!slept); // the sleep waits for the answer
    rig.control.answer();
    QVERIFY(slept);
    const qint64 wake = at(Monday.addDays(1), "06:55:00").toSecsSinceEpoch();
    QCOMPARE(rig.control.sets, QList<qint64>{wake});

    // Woken before it: the alarm stands. After it: cleared, and forgotten.
    QSignalSpy cleared(&rig.alarm, &WakeAlarm::alarmCleared);
    rig.clock.set(at(Monday.addDays(1), "06:54:59"));
    rig.alarm.prepareForSleep(false);
    QCOMPARE(rig.control.clears, 0);
    rig.clock.set(at(Monday.addDays(1), "06:55:00"));
    rig.alarm.prepareForSleep(false);
    QCOMPARE(rig.control.clears, 1);
    rig.control.answer();
    QCOMPARE(cleared.size(), 1);
    QVERIFY(!WakeAlarmFile::loadSetAlarm(rig.store.path()));
    rig.alarm.clearPassed(); // at the next start-up: nothing of ours stands
    QCOMPARE(rig.control.clears, 1);
}

void TestShutdownStep::helperIsRunBesideAsRootElseOnlyTheInstalledOneThroughPkexec() {
    const QString installed = WakeAlarmHelper::installedPath();
    // Where this build installs it, whatever the prefix.
    QCOMPARE(installed,
             QStringLiteral(HORALET_INSTALL_PREFIX "/libexec/horalet/horalet-wakealarm"));
    QTemporaryDir buildTree;
    const QString beside = buildTree.filePath(QStringLiteral("horalet-wakealarm"));
    // Root, no helper beside the program: the installed one, with the argument alone.
    QCOMPARE(WakeAlarmHelper::command("clear", true, buildTree.path()),
             QStringList({installed, "clear"}));
    QFile file(beside);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    // A file that cannot run is no helper.
    QCOMPARE(WakeAlarmHelper::command("clear", true, buildTree.path()).first(), installed);
    QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
    QCOMPARE(WakeAlarmHelper::command("1796000000", true, buildTree.path()),
             QStringList({beside, "1796000000"}));
    // Another user: pkexec, for the path the polkit action names, whatever lies beside.
    const QStringList asked = WakeAlarmHelper::command("1796000000", false, buildTree.path());
    QCOMPARE(asked.size(), 3);
    QVERIFY2(asked.first().endsWith("pkexec"), qPrintable(asked.first()));
    QCOMPARE(asked.mid(1), QStringList({installed, "1796000000"}));
    // Each refusal has its own words.
    QStringList reasons;
    for (int code : {2, 3, 4, 126, 127})
        reasons << WakeAlarmHelper::meaning(code, true);
    reasons.removeDuplicates();
    QCOMPARE(reasons.size(), 5);
    QCOMPARE(WakeAlarmHelper::meaning(3, false),
             QStringLiteral("这台计算机没有可设置唤醒的硬件时钟"));
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
