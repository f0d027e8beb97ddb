// The timed shutdown and the sleep inhibitor on the real form, with a fake clock, against the
// mock logind of the "logind" fixture and the sound server of the "pulse" fixture.
#include "app/MainFrame.h"
#include "fixtures/LogindMock.h"
#include "playback/PlaylistDriver.h"
#include "scheduler/FakeClock.h"
#include "scheduler/ScheduleDriver.h"
#include "scheduler/ShutdownStep.h"
#include "scheduler/SleepGuard.h"
#include "store/ProfileStore.h"
#include "view/HoraletView.h"
#include "view/PlayPanel.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

namespace {

// 7 December 2026 is a Monday.
const QDate Monday(2026, 12, 7);

void writeTask(const QString &dir, int slot, const QString &name, const QString &start,
               const QString &end) {
    const QString file = dir + QStringLiteral("/song.ini");
    const QString section = QStringLiteral("FileInfo%1").arg(slot);
    const std::pair<const char *, QString> keys[] = {
        {"Name", name},      {"Time", start},    {"Duration", end},
        {"Type", "30000"},   {"Device", "每天"}, {"Recurrence", "顺序播放"},
        {"Notes", QString()}};
    for (const auto &[key, value] : keys)
        ProfileStore::writeString(file, section, QString::fromUtf8(key), value);
}

void writeShutdown(const QString &dir, const QString &time, bool enabled) {
    ProfileStore::writeString(dir + QStringLiteral("/定时器时间设置.ini"),
                              QStringLiteral("定时器时间设置"), QStringLiteral("关机时间"), time);
    ProfileStore::writeString(dir + QStringLiteral("/复选控制.ini"), QStringLiteral("复选控制"),
                              QStringLiteral("是否执行关机时间"),
                              enabled ? QStringLiteral("1") : QStringLiteral("0"));
}

// Closes the modal boxes the form opens (e.g. "关机时间已设置.") and keeps their texts.
class BoxCloser : public QObject {
public:
    BoxCloser() {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box && box->isVisible() &&
                box->objectName() != QLatin1String("shutdownFailedBox")) {
                texts << box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
        m_timer.start(10);
    }
    QStringList texts;

private:
    QTimer m_timer;
};

struct Started {
    explicit Started(const QString &directory, const QDateTime &now) : view(directory) {
        clock.set(now);
        view.setClock(&clock);
        view.OnInitialUpdate();
        view.show();
    }
    void live(const QString &from, const QString &to, const QDate &day = Monday) {
        const QDateTime end(day, QTime::fromString(to, "HH:mm:ss"));
        for (QDateTime t(day, QTime::fromString(from, "HH:mm:ss")); t <= end; t = t.addSecs(1)) {
            clock.set(t.addMSecs(5));
            view.playPanel()->scheduler().tick();
            QCoreApplication::processEvents();
        }
    }
    QStringList startedTasks;
    FakeClock clock;
    CHoraletView view;
};

int powerOffs() {
    return int(LogindMock::calls(QStringLiteral("PowerOff")).size());
}

QList<LogindMock::Inhibitor> ours() {
    QList<LogindMock::Inhibitor> found;
    for (const auto &in : LogindMock::inhibitors())
        if (in.who == QLatin1String("Horalet"))
            found << in;
    return found;
}

} // namespace

class TestPowerView : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY2(LogindMock::isThere(), "needs the logind fixture");
        QVERIFY2(!qgetenv("PULSE_SERVER").isEmpty(), "needs the pulse fixture");
    }
    void init() {
        QVERIFY(LogindMock::reset());
        QTRY_COMPARE(ours().size(), 0);
    }
    void cleanup() { LogindMock::reset(); }

    void onlyTheStoredTimeFiresAndARefusalIsTold();
    void textThatIsNoTimeIsToldInTheStatusLine();
    void inhibitorFollowsTheStoredTasks();
    void refusedInhibitorIsToldAndTheScheduleRuns();
    void statusLineOfTheFrameShowsIt();
    void wakeUpReadsTheClockAtOnce();
};

void TestPowerView::onlyTheStoredTimeFiresAndARefusalIsTold() {
    QTemporaryDir dir;
    writeShutdown(dir.path(), QStringLiteral("22:30:00"), true);
    writeTask(dir.path(), 0, QStringLiteral("晚铃"), QStringLiteral("22:30:30"),
              QStringLiteral("23:00:00"));
    QVERIFY(LogindMock::refuse("PowerOff", "org.freedesktop.DBus.Error.AccessDenied",
                               "Permission denied"));
    BoxCloser boxes;
    Started s(dir.path(), QDateTime(Monday, QTime(22, 29, 0)));
    QStringList started;
    connect(&s.view.playPanel()->playback(), &PlaylistDriver::taskStarted,
            [&started](const QString &name) { started << name; });

    // Moved without "确定": still 22:30:00.
    s.view.findChild<QTimeEdit *>("shutdownTime1044")->setTime(QTime(22, 31, 0));
    s.live("22:29:58", "22:30:00");
    QCOMPARE(powerOffs(), 1);
    QMessageBox *failed = nullptr;
    QTRY_VERIFY((failed = s.view.findChild<QMessageBox *>("shutdownFailedBox")));
    QTRY_VERIFY(failed->isVisible());
    QVERIFY2(failed->text().contains("定时关机失败") &&
                 failed->text().contains("Permission denied"),
             qPrintable(failed->text()));
    QCOMPARE(failed->windowTitle(), QStringLiteral("Horalet"));
    QCOMPARE(failed->icon(), QMessageBox::Warning);
    QVERIFY(s.view.statusText().contains("定时关机失败"));

    // Unanswered, the message does not hold up the day: the task at 22:30:30 starts.
    s.live("22:30:01", "22:31:05");
    QCOMPARE(started, QStringList({QStringLiteral("晚铃")}));
    QCOMPARE(powerOffs(), 1);
    failed->button(QMessageBox::Ok)->click();

    // "确定" puts the picker's time in force, at once.
    s.view.findChild<QTimeEdit *>("shutdownTime1044")->setTime(QTime(22, 32, 0));
    s.view.findChild<QPushButton *>("shutdownOkButton1075")->click();
    QTRY_COMPARE(boxes.texts, QStringList({QStringLiteral("关机时间已设置.")}));
    QVERIFY(LogindMock::reset());
    s.live("22:31:58", "22:32:02");
    QCOMPARE(powerOffs(), 1);
    QVERIFY(!s.view.playPanel()->scheduler().isRunning());
    QVERIFY(!s.view.playPanel()->playback().isStepping());
}

void TestPowerView::textThatIsNoTimeIsToldInTheStatusLine() {
    QTemporaryDir dir;
    writeShutdown(dir.path(), QStringLiteral("22:30"), true);
    Started s(dir.path(), QDateTime(Monday, QTime(8, 0, 0)));
    QVERIFY2(s.view.statusText().contains("22:30"), qPrintable(s.view.statusText()));
    s.live("22:29:59", "22:30:01");
    QCOMPARE(powerOffs(), 0);
}

void TestPowerView::inhibitorFollowsTheStoredTasks() {
    QTemporaryDir dir;
    writeTask(dir.path(), 0, QStringLiteral("早铃"), QStringLiteral("08:00:00"),
              QStringLiteral("08:00:30"));
    {
        Started s(dir.path(), QDateTime(Monday, QTime(7, 0, 0)));
        QTRY_COMPARE(ours().size(), 1);
        QCOMPARE(ours()[0].what, QStringLiteral("sleep:idle"));
        QCOMPARE(ours()[0].mode, QStringLiteral("block"));
        QVERIFY(s.view.sleepGuard()->isHeld());

        const ScheduleTable kept = s.view.scheduleTable();
        s.view.setScheduleTable({}); // the last task deleted
        QTRY_COMPARE(ours().size(), 0);
        s.view.setScheduleTable(kept); // one added
        QTRY_COMPARE(ours().size(), 1);
    }
    QTRY_COMPARE(ours().size(), 0); // gone with the program

    QTemporaryDir empty;
    Started none(empty.path(), QDateTime(Monday, QTime(7, 0, 0)));
    QTest::qWait(100);
    QCOMPARE(ours().size(), 0);
    QVERIFY(none.view.statusText().isEmpty());
}

void TestPowerView::refusedInhibitorIsToldAndTheScheduleRuns() {
    QVERIFY(LogindMock::refuse("Inhibit", "org.freedesktop.DBus.Error.AccessDenied",
                               "Permission denied"));
    QTemporaryDir dir;
    writeTask(dir.path(), 0, QStringLiteral("早铃"), QStringLiteral("08:00:00"),
              QStringLiteral("08:00:30"));
    Started s(dir.path(), QDateTime(Monday, QTime(7, 59, 0)));
    QStringList started;
    connect(&s.view.playPanel()->playback(), &PlaylistDriver::taskStarted,
            [&started](const QString &name) { started << name; });
    QVERIFY2(s.view.statusText().startsWith("无法阻止系统休眠："), qPrintable(s.view.statusText()));
    s.live("07:59:58", "08:00:01");
    QCOMPARE(started, QStringList({QStringLiteral("早铃")}));
    QCOMPARE(LogindMock::calls("Inhibit").size(), 1); // not asked again every second
}

void TestPowerView::statusLineOfTheFrameShowsIt() {
    QVERIFY(LogindMock::refuse("Inhibit", "org.freedesktop.DBus.Error.AccessDenied",
                               "Permission denied"));
    QTemporaryDir dir;
    writeTask(dir.path(), 0, QStringLiteral("早铃"), QStringLiteral("08:00:00"),
              QStringLiteral("08:00:30"));
    CMainFrame frame(dir.path());
    frame.view()->OnInitialUpdate();
    const QString shown = frame.statusBar()->currentMessage();
    QVERIFY2(shown.startsWith("无法阻止系统休眠："), qPrintable(shown));
}

void TestPowerView::wakeUpReadsTheClockAtOnce() {
    QTemporaryDir dir;
    writeTask(dir.path(), 0, QStringLiteral("睡着时"), QStringLiteral("08:00:03"),
              QStringLiteral("08:30:00"));
    writeTask(dir.path(), 1, QStringLiteral("醒来时"), QStringLiteral("08:00:06"),
              QStringLiteral("08:30:00"));
    Started s(dir.path(), QDateTime(Monday, QTime(7, 59, 0)));
    QStringList started;
    connect(&s.view.playPanel()->playback(), &PlaylistDriver::taskStarted,
            [&started](const QString &name) { started << name; });
    // The last second checked re-arms the timer for about a second from now; the wake-up
    // comes well before it.
    s.live("08:00:00", "08:00:00");
    s.clock.set(QDateTime(Monday, QTime(8, 0, 6)).addMSecs(20));
    QVERIFY(LogindMock::emitPrepareForSleep(true));
    QVERIFY(LogindMock::emitPrepareForSleep(false));
    QTRY_COMPARE_WITH_TIMEOUT(started.size(), 1, 700);
    QCOMPARE(started, QStringList({QStringLiteral("醒来时")}));
    s.live("08:00:07", "08:00:09");
    QCOMPARE(started.size(), 1);
}

QTEST_MAIN(TestPowerView)
#include "test_power_view.moc"
