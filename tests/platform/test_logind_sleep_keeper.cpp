// The sleep inhibitor and the wake-up signal against the mock logind of the "logind" fixture.
#include "fixtures/LogindMock.h"
#include "platform/LogindPowerControl.h"
#include "platform/LogindSleepKeeper.h"
#include "scheduler/SleepGuard.h"

#include <QSignalSpy>
#include <QTest>

#include <unistd.h>

namespace {

QList<LogindMock::Inhibitor> ours() {
    QList<LogindMock::Inhibitor> found;
    for (const auto &in : LogindMock::inhibitors())
        if (in.who == QLatin1String("Horalet"))
            found << in;
    return found;
}

} // namespace

class TestLogindSleepKeeper : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void holdsOneSleepIdleBlockInhibitorWhileTasksExist();
    void closingTheDescriptorEndsIt();
    void refusalIsToldOnceAndRetriedWhenTasksComeBack();
    void ownInhibitorDoesNotBlockOurPowerOff();
    void wakeUpIsReported();
};

void TestLogindSleepKeeper::initTestCase() {
    QVERIFY2(LogindMock::isThere(), "the logind fixture's mock is not on DBUS_SYSTEM_BUS_ADDRESS");
}

void TestLogindSleepKeeper::init() {
    QVERIFY(LogindMock::reset());
    QTRY_COMPARE(ours().size(), 0);
}

void TestLogindSleepKeeper::cleanup() {
    LogindMock::reset();
}

void TestLogindSleepKeeper::holdsOneSleepIdleBlockInhibitorWhileTasksExist() {
    LogindSleepKeeper keeper;
    SleepGuard guard(keeper);
    guard.setTaskCount(0);
    QCOMPARE(ours().size(), 0);

    guard.setTaskCount(3);
    QVERIFY(guard.isHeld());
    const auto held = ours();
    QCOMPARE(held.size(), 1);
    QCOMPARE(held[0].what, QStringLiteral("sleep:idle"));
    QCOMPARE(held[0].mode, QStringLiteral("block"));
    QCOMPARE(held[0].why, QStringLiteral("等待定时播放任务"));

    // More tasks or fewer, as long as some are left: the one inhibitor, asked for once.
    guard.setTaskCount(4);
    guard.setTaskCount(1);
    QCOMPARE(LogindMock::calls("Inhibit").size(), 1);

    guard.setTaskCount(0); // the last task deleted
    QVERIFY(!guard.isHeld());
    QTRY_COMPARE(ours().size(), 0);
    guard.setTaskCount(1); // one added again
    QTRY_COMPARE(ours().size(), 1);
    QCOMPARE(LogindMock::calls("Inhibit").size(), 2);
}

void TestLogindSleepKeeper::closingTheDescriptorEndsIt() {
    {
        LogindSleepKeeper keeper;
        QString error;
        QVERIFY2(keeper.hold(&error), qPrintable(error));
        QVERIFY(keeper.hold(&error)); // held already: no second inhibitor
        QCOMPARE(ours().size(), 1);
    }
    // Gone with the keeper, as at exit.
    QTRY_COMPARE(ours().size(), 0);
    QCOMPARE(LogindMock::calls("Inhibit").size(), 1);
}

void TestLogindSleepKeeper::refusalIsToldOnceAndRetriedWhenTasksComeBack() {
    QVERIFY(LogindMock::refuse("Inhibit", "org.freedesktop.DBus.Error.AccessDenied",
                               "Permission denied"));
    LogindSleepKeeper keeper;
    SleepGuard guard(keeper);
    QSignalSpy notices(&guard, &SleepGuard::notice);
    guard.setTaskCount(2);
    QVERIFY(!guard.isHeld());
    QCOMPARE(notices.size(), 1);
    const QString text = notices.first().first().toString();
    QVERIFY2(text.startsWith("无法阻止系统休眠：") && text.contains("Permission denied"),
             qPrintable(text));
    // Told every second the table is looked at: no new request, no new notice.
    for (int i = 0; i < 5; ++i)
        guard.setTaskCount(2);
    QCOMPARE(LogindMock::calls("Inhibit").size(), 1);

    guard.setTaskCount(0);
    guard.setTaskCount(1);
    QCOMPARE(LogindMock::calls("Inhibit").size(), 2);
    QCOMPARE(notices.size(), 1);

    QVERIFY(LogindMock::reset());
    guard.setTaskCount(0);
    guard.setTaskCount(1);
    QVERIFY(guard.isHeld());
    QCOMPARE(ours().size(), 1);
}

void TestLogindSleepKeeper::ownInhibitorDoesNotBlockOurPowerOff() {
    LogindSleepKeeper keeper;
    QString error;
    QVERIFY(keeper.hold(&error));
    LogindPowerControl power;
    const auto granted = LogindMock::powerOff(power);
    QVERIFY2(granted.answered && granted.granted, qPrintable(granted.reason));
    QCOMPARE(LogindMock::calls("PowerOff").size(), 1);

    // The mock does refuse while somebody blocks the shutdown itself, so the check above
    // could have failed.
    QDBusMessage inhibit =
        QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", "Inhibit");
    inhibit << QStringLiteral("shutdown") << QStringLiteral("other") << QStringLiteral("test")
            << QStringLiteral("block");
    const QDBusMessage blocker = QDBusConnection::systemBus().call(inhibit);
    QCOMPARE(blocker.type(), QDBusMessage::ReplyMessage);
    const auto refused = LogindMock::powerOff(power);
    QVERIFY(refused.answered && !refused.granted);
    QVERIFY2(refused.reason.contains("other"), qPrintable(refused.reason));
}

void TestLogindSleepKeeper::wakeUpIsReported() {
    LogindSleepKeeper keeper;
    QSignalSpy resumed(&keeper, &LogindSleepKeeper::resumed);
    QVERIFY(LogindMock::emitPrepareForSleep(true));
    QVERIFY(LogindMock::emitPrepareForSleep(false));
    QTRY_COMPARE(resumed.size(), 1);
    QTest::qWait(200);
    QCOMPARE(resumed.size(), 1);
}

QTEST_GUILESS_MAIN(TestLogindSleepKeeper)
#include "test_logind_sleep_keeper.moc"
