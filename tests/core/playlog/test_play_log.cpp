#include "playlog/PlayLog.h"
#include "playlog/PlayLogRecorder.h"
#include "scheduler/PassRig.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QDateTime at(const char *text) {
    return QDateTime::fromString(QString::fromUtf8(text), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QByteArray bytesOf(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The real drivers on a fake clock and a fake player, with the log written to a temporary store.
struct LogRig {
    QTemporaryDir dir;
    FakeClock clock;
    FakePlayer player;
    FakeVolume volume;
    QHash<QString, TaskPlaylist> lists;
    PlaylistDriver playback{player, volume, [this](const QString &n) { return lists.value(n); }};
    ScheduleDriver driver{clock, playback};
    PlayLog log{dir.path()};
    PlayLogRecorder recorder{log, clock};
    DayGate gate;

    LogRig() {
        recorder.watch(driver, playback);
        driver.setDayGateSource([this] { return gate; });
    }
    void wakeAt(const QDateTime &second) {
        clock.set(second.addMSecs(5));
        driver.tick();
    }
    void live(const QDateTime &from, const QDateTime &to) {
        for (QDateTime t = from; t <= to; t = t.addSecs(1))
            wakeAt(t);
    }
    QList<PlayLogRow> rows(const QDate &month) const { return PlayLog::read(log.pathOf(month)); }
    // Each row as "time|event|task|note".
    QStringList lines(const QDate &month) const {
        QStringList out;
        for (const PlayLogRow &r : rows(month))
            out << QStringList{r.time, r.event, r.task, r.note}.join(QLatin1Char('|'));
        return out;
    }
    QStringList events(const QDate &month) const {
        QStringList out;
        for (const PlayLogRow &r : rows(month))
            out << r.event + QLatin1Char('|') + r.task;
        return out;
    }
};

} // namespace

class TestPlayLog : public QObject {
    Q_OBJECT
private slots:
    void fileStartsWithBomAndHeaderAndQuotes();
    void rowsRoundTrip();
    void eventsOfAPlayedTaskInOrder();
    void manualStopAndFailedItem();
    void heldBackOnHolidayAndTickedWeekday();
    void heldBackBySameSecondAndClockJump(); // and ends told across clock steps
    void heldBackAtItsOwnEndAndWhileAsleep();
    void clockJumpOverMidnightAndAOneDayTask();
    void caughtUpSecondsAreTold();
    void unwritableLogToldOnceAndScheduleGoesOn();
    void rotationRemovesOnlyOlderThanTwoYears();
    void monthsNewestFirst();
    void selectFiltersNewestFirst();
};

void TestPlayLog::fileStartsWithBomAndHeaderAndQuotes() {
    QTemporaryDir dir;
    PlayLog log(dir.path());
    QVERIFY(log.append(at("2026-12-08 08:00:00"), PlayLogEvent::TaskStart,
                       QStringLiteral("早操,第\"一\"节"), QStringLiteral("/m/a.mp3"),
                       QStringLiteral("音量 30000，顺序播放")));
    QVERIFY(log.append(at("2026-12-08 08:00:03"), PlayLogEvent::ItemStart, QStringLiteral("早操"),
                       QStringLiteral("a\r\nb")));
    const QByteArray bytes = bytesOf(dir.filePath(QStringLiteral("播放记录/2026-12.csv")));
    const QByteArray expected =
        QByteArray("\xEF\xBB\xBF") + QStringLiteral("时间,事件,任务,项目,说明\r\n").toUtf8() +
        QStringLiteral("2026-12-08 08:00:00,任务开始,\"早操,第\"\"一\"\"节\",/m/a.mp3,"
                       "音量 30000，顺序播放\r\n")
            .toUtf8() +
        QStringLiteral("2026-12-08 08:00:03,项目开始,早操,\"a\r\nb\",\r\n").toUtf8();
    QCOMPARE(bytes, expected);

    // A new month gets a file of its own, with its own header.
    QVERIFY(log.append(at("2027-01-01 00:00:01"), PlayLogEvent::ProgramStart));
    const QByteArray january = bytesOf(dir.filePath(QStringLiteral("播放记录/2027-01.csv")));
    QVERIFY(january.startsWith("\xEF\xBB\xBF"));
    QVERIFY(january.endsWith(QStringLiteral("2027-01-01 00:00:01,程序启动,,,\r\n").toUtf8()));
    QCOMPARE(bytesOf(dir.filePath(QStringLiteral("播放记录/2026-12.csv"))), expected);
}

void TestPlayLog::rowsRoundTrip() {
    QTemporaryDir dir;
    const QList<PlayLogRow> rows = {
        {"2026-12-08 08:00:00", "任务开始", "a,b", "x\"y\"", "line1\r\nline2"},
        {"2026-12-08 08:00:01", "项目开始", "", "", ""},
        // What a user may type that a spreadsheet would run as a formula, and quotes before it.
        {"2026-12-08 08:00:02", "项目开始", "=HYPERLINK(\"x\")", "-2+3", "@SUM(A1)"},
        {"2026-12-08 08:00:03", "项目开始", "+1", "\tcmd", "\rline"},
        {"2026-12-08 08:00:04", "项目开始", "'=1", "''-1", "'plain"},
    };
    const QString path = dir.filePath(QStringLiteral("out.csv"));
    QString error;
    QVERIFY(PlayLog::write(path, rows, &error));
    QCOMPARE(PlayLog::read(path), rows);
    // In the file every such field begins with a quote mark; other fields stay as they are.
    const QList<QStringList> cells = PlayLog::parse(bytesOf(path));
    QCOMPARE(cells[3].mid(2), (QStringList{"'=HYPERLINK(\"x\")", "'-2+3", "'@SUM(A1)"}));
    QCOMPARE(cells[4].mid(2), (QStringList{"'+1", "'\tcmd", "'\rline"}));
    QCOMPARE(cells[5].mid(2), (QStringList{"''=1", "'''-1", "'plain"}));
    QCOMPARE(cells[1].mid(2), (QStringList{"a,b", "x\"y\"", "line1\r\nline2"}));
    QVERIFY(PlayLog::read(dir.filePath(QStringLiteral("none.csv")), &error).isEmpty());
    QVERIFY(error.contains(QStringLiteral("无法读取")));
}

void TestPlayLog::eventsOfAPlayedTaskInOrder() {
    LogRig rig;
    rig.lists.insert(QStringLiteral("早操"), {QStringLiteral("/m/one.wav")});
    rig.driver.setSchedule(
        {makeTask(QStringLiteral("早操"), QStringLiteral("08:00:00"), QStringLiteral("08:00:20"))});
    rig.live(at("2026-12-08 07:59:58"), at("2026-12-08 08:00:02"));
    rig.clock.set(at("2026-12-08 08:00:03"));
    rig.playback.PlaylistStep(); // the step timer's first step
    rig.clock.set(at("2026-12-08 08:00:06"));
    rig.playback.PlaylistStep(); // the single item started: the pass is over once it ends
    rig.live(at("2026-12-08 08:00:03"), at("2026-12-08 08:00:11"));
    rig.clock.set(at("2026-12-08 08:00:12").addMSecs(300));
    rig.player.finish();
    rig.playback.playerWentIdle(); // as the player reports the item's end
    rig.live(at("2026-12-08 08:00:12"), at("2026-12-08 08:00:21"));

    const QList<PlayLogRow> rows = rig.rows(QDate(2026, 12, 1));
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[0], (PlayLogRow{"2026-12-08 08:00:00", PlayLogEvent::TaskStart, "早操", "",
                                  "音量 30000，顺序播放"}));
    QCOMPARE(rows[1], (PlayLogRow{"2026-12-08 08:00:03", PlayLogEvent::ItemStart, "早操",
                                  "/m/one.wav", ""}));
    QCOMPARE(rows[2], (PlayLogRow{"2026-12-08 08:00:12", PlayLogEvent::PassEnded, "早操", "", ""}));
    QCOMPARE(rows[3],
             (PlayLogRow{"2026-12-08 08:00:20", PlayLogEvent::EndReached, "早操", "", ""}));
}

void TestPlayLog::manualStopAndFailedItem() {
    LogRig rig;
    rig.lists.insert(QStringLiteral("课间"), {QString(), QStringLiteral("/m/missing.mp3")});
    rig.driver.setSchedule(
        {makeTask(QStringLiteral("课间"), QStringLiteral("10:00:00"), QStringLiteral("10:30:00"))});
    rig.clock.set(at("2026-12-08 09:59:58"));
    rig.recorder.programStarted();
    rig.live(at("2026-12-08 09:59:59"), at("2026-12-08 10:00:00"));
    rig.playback.PlaylistStep(); // the empty entry
    rig.player.finish();
    rig.playback.PlaylistStep();
    rig.recorder.itemFailed(QStringLiteral("/m/missing.mp3"), QStringLiteral("文件不存在"));
    rig.recorder.manualStop();
    rig.live(at("2026-12-08 10:30:00"), at("2026-12-08 10:30:00"));
    rig.recorder.programExiting();

    QStringList events;
    QStringList notes;
    for (const PlayLogRow &r : rig.rows(QDate(2026, 12, 1))) {
        events << r.event + QLatin1Char('|') + r.task + QLatin1Char('|') + r.item;
        notes << r.note;
    }
    QCOMPARE(events, (QStringList{"程序启动||", "任务开始|课间|", "项目失败|课间|",
                                  "项目开始|课间|/m/missing.mp3", "项目失败|课间|/m/missing.mp3",
                                  "手动停止|课间|", "程序退出||"}));
    QCOMPARE(notes[2], QStringLiteral("播放列表中的空项目"));
    QCOMPARE(notes[4], QStringLiteral("文件不存在"));
}

void TestPlayLog::heldBackOnHolidayAndTickedWeekday() {
    LogRig rig;
    // 2026-12-08 is a Tuesday; 2026-12-09 a Wednesday.
    rig.driver.setSchedule(
        {makeTask(QStringLiteral("早操"), QStringLiteral("08:00:00"), QStringLiteral("08:10:00")),
         makeTask(QStringLiteral("周四操"), QStringLiteral("08:00:00"), QStringLiteral("08:10:00"),
                  QStringLiteral("周四"))});
    rig.gate.setHolidays({QStringLiteral("2026-12-08")});
    rig.gate.weekdayOff[3] = true;
    rig.live(at("2026-12-08 08:00:00"), at("2026-12-08 08:00:00"));
    rig.live(at("2026-12-09 08:00:00"), at("2026-12-09 08:00:00"));
    const QList<PlayLogRow> rows = rig.rows(QDate(2026, 12, 1));
    QCOMPARE(rows[0],
             (PlayLogRow{"2026-12-08 08:00:00", PlayLogEvent::NotStarted, "早操", "", "节假日"}));
    QCOMPARE(rows[1], (PlayLogRow{"2026-12-09 08:00:00", PlayLogEvent::NotStarted, "早操", "",
                                  "周三已勾选（不播放）"}));

    // On an open day outside their timetables: both tasks are due, neither starts.
    rig.gate.seasons = SeasonGate({{"夏季", "05-01~09-30", SeasonRange::parse(u"05-01~09-30")}},
                                  {{"早操", "夏季"}, {"周四操", "冬季"}});
    rig.live(at("2026-12-10 08:00:00"), at("2026-12-10 08:00:00"));
    const QList<PlayLogRow> later = rig.rows(QDate(2026, 12, 1));
    QCOMPARE(later.size(), 4);
    QCOMPARE(later[2], (PlayLogRow{"2026-12-10 08:00:00", PlayLogEvent::NotStarted, "早操", "",
                                   "不在作息表‘夏季’的日期内"}));
    QCOMPARE(later[3], (PlayLogRow{"2026-12-10 08:00:00", PlayLogEvent::NotStarted, "周四操", "",
                                   "作息表‘冬季’不存在"}));
    // Sunday 2026-12-13 works as a Wednesday, whose box is ticked; its own box is not.
    rig.gate.seasons = SeasonGate();
    rig.gate.makeupDays.insert(QStringLiteral("2026-12-13"), 3);
    rig.live(at("2026-12-13 08:00:00"), at("2026-12-13 08:00:00"));
    const QList<PlayLogRow> last = rig.rows(QDate(2026, 12, 1));
    // The Thursday task was not due that day; the days jumped over are told apart.
    QCOMPARE(last.last().time, QStringLiteral("2026-12-13 08:00:00"));
    QCOMPARE(last.last().note, QStringLiteral("调休上班按周三作息，周三已勾选（不播放）"));
    QVERIFY(rig.player.opened.isEmpty());
}

void TestPlayLog::heldBackBySameSecondAndClockJump() {
    LogRig rig;
    rig.driver.setSchedule(
        {makeTask(QStringLiteral("甲"), QStringLiteral("08:00:00"), QStringLiteral("08:10:00")),
         makeTask(QStringLiteral("乙"), QStringLiteral("08:00:00"), QStringLiteral("08:10:00")),
         makeTask(QStringLiteral("丙"), QStringLiteral("09:00:00"), QStringLiteral("09:10:00"))});
    rig.live(at("2026-12-08 07:59:59"), at("2026-12-08 08:00:00"));
    // The clock set on to 08:30, past the end of what plays, then from 08:30 to 09:30: the
    // start at 09:00 was jumped over.
    rig.wakeAt(at("2026-12-08 08:30:00"));
    rig.wakeAt(at("2026-12-08 09:30:00"));

    QCOMPARE(rig.lines(QDate(2026, 12, 1)),
             (QStringList{
                 "2026-12-08 08:00:00|未播放|乙|同一秒已开始任务“甲”",
                 "2026-12-08 08:00:00|任务开始|甲|音量 30000，顺序播放",
                 "2026-12-08 08:30:00|到达结束时间|甲|时钟被向前调过了结束时间",
                 "2026-12-08 09:00:00|未播放|丙|时钟被向前调过了它的开始时间",
             }));

    // Set back an hour while a task plays and forward again past its start: it played, so
    // nothing was missed, and its end is told when it comes. Removed while it plays, it stops.
    LogRig back;
    back.driver.setSchedule(
        {makeTask(QStringLiteral("丁"), QStringLiteral("10:00:00"), QStringLiteral("10:20:00"))});
    back.live(at("2026-12-08 09:59:59"), at("2026-12-08 10:00:00"));
    back.wakeAt(at("2026-12-08 09:00:00"));
    back.wakeAt(at("2026-12-08 10:05:00"));
    back.live(at("2026-12-08 10:19:59"), at("2026-12-08 10:20:00"));
    // Renamed while it plays, with an earlier end: it goes on under its new name to that end.
    back.live(at("2026-12-09 10:00:00"), at("2026-12-09 10:00:01"));
    PlayTask renamed =
        makeTask(QStringLiteral("戊"), QStringLiteral("10:00:00"), QStringLiteral("10:00:03"));
    back.driver.followEdit(back.driver.schedule().constFirst(), renamed);
    back.driver.setSchedule({renamed});
    back.live(at("2026-12-09 10:00:02"), at("2026-12-09 10:00:03"));
    back.live(at("2026-12-10 10:00:00"), at("2026-12-10 10:00:01"));
    back.driver.setSchedule({});
    back.wakeAt(at("2026-12-10 10:00:02"));
    QCOMPARE(back.lines(QDate(2026, 12, 1)),
             (QStringList{
                 "2026-12-08 10:00:00|任务开始|丁|音量 30000，顺序播放",
                 "2026-12-08 10:20:00|到达结束时间|丁|",
                 "2026-12-09 10:00:00|任务开始|丁|音量 30000，顺序播放",
                 "2026-12-09 10:00:01|任务已修改|戊|播放中改名（原名“丁”），继续播放；"
                 "结束时间改为 2026-12-09 10:00:03，本次播放到那时停止",
                 "2026-12-09 10:00:03|到达结束时间|戊|",
                 "2026-12-10 10:00:00|任务开始|戊|音量 30000，顺序播放",
                 "2026-12-10 10:00:02|任务已删除|戊|播放中的任务已不在任务列表中，立即停止",
             }));
}

void TestPlayLog::heldBackAtItsOwnEndAndWhileAsleep() {
    LogRig rig;
    rig.driver.setSchedule(
        {makeTask(QStringLiteral("丁"), QStringLiteral("08:05:00"), QStringLiteral("08:05:00")),
         makeTask(QStringLiteral("戊"), QStringLiteral("08:07:00"), QStringLiteral("08:10:00"))});
    rig.live(at("2026-12-08 08:04:59"), at("2026-12-08 08:06:58"));
    // Asleep for a few seconds: a short gap, yet not a late timer whose seconds are caught up.
    rig.clock.set(at("2026-12-08 08:07:05").addMSecs(5));
    rig.driver.resumeAfterSleep();
    QCOMPARE(rig.lines(QDate(2026, 12, 1)),
             (QStringList{
                 "2026-12-08 08:05:00|未播放|丁|开始和结束时间相同",
                 "2026-12-08 08:07:00|未播放|戊|计算机睡眠中，错过了它的开始时间",
             }));
}

void TestPlayLog::clockJumpOverMidnightAndAOneDayTask() {
    LogRig rig;
    rig.driver.setSchedule(
        {makeTask(QStringLiteral("零点"), QStringLiteral("00:00:10"), QStringLiteral("00:05:00")),
         makeTask(QStringLiteral("一次"), QStringLiteral("2026-12-09 00:00:20"),
                  QStringLiteral("2026-12-09 00:05:00"), TaskText::OneDay),
         makeTask(QStringLiteral("以后"), QStringLiteral("00:00:40"), QStringLiteral("00:05:00"))});
    rig.wakeAt(at("2026-12-08 23:59:50"));
    rig.wakeAt(at("2026-12-09 00:00:30"));
    QStringList got;
    for (const PlayLogRow &r : rig.rows(QDate(2026, 12, 1)))
        got << r.time + QLatin1Char('|') + r.task;
    QCOMPARE(got, (QStringList{"2026-12-09 00:00:10|零点", "2026-12-09 00:00:20|一次"}));
    QVERIFY(rig.rows(QDate(2026, 12, 1)).isEmpty() ||
            rig.rows(QDate(2026, 12, 1)).constFirst().event == PlayLogEvent::NotStarted);
}

void TestPlayLog::caughtUpSecondsAreTold() {
    LogRig rig;
    rig.driver.setSchedule(
        {makeTask(QStringLiteral("早操"), QStringLiteral("08:00:02"), QStringLiteral("08:10:00"))});
    rig.wakeAt(at("2026-12-08 08:00:00"));
    rig.wakeAt(at("2026-12-08 08:00:04")); // 3 seconds late
    const QList<PlayLogRow> rows = rig.rows(QDate(2026, 12, 1));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].time, QStringLiteral("2026-12-08 08:00:02"));
    QCOMPARE(rows[0].event, PlayLogEvent::TaskStart);
    QCOMPARE(rows[1], (PlayLogRow{"2026-12-08 08:00:03", PlayLogEvent::CaughtUp, "", "",
                                  "定时器迟到，补查了 3 秒"}));

    // Held up for 75 seconds across a start: told as a stall, the task started late, not
    // as a step of the clock.
    LogRig stall;
    stall.driver.setSchedule(
        {makeTask(QStringLiteral("上课"), QStringLiteral("09:00:00"), QStringLiteral("09:45:00"))});
    stall.live(at("2026-12-08 08:59:50"), at("2026-12-08 08:59:55"));
    stall.clock.pass(75000);
    stall.driver.tick();
    QCOMPARE(
        stall.lines(QDate(2026, 12, 1)),
        (QStringList{
            "2026-12-08 09:00:00|任务开始|上课|音量 30000，顺序播放；程序停顿，迟 1 分 10 秒开始",
            "2026-12-08 09:01:10|补查||程序停顿了 1 分 15 秒（时钟未被调整），"
            "已补查这段时间的开始和结束时间",
        }));
}

void TestPlayLog::unwritableLogToldOnceAndScheduleGoesOn() {
    LogRig rig;
    // A plain file where the folder should be: no write can succeed, even for root.
    QFile blocker(rig.dir.filePath(QStringLiteral("播放记录")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSignalSpy failed(&rig.log, &PlayLog::writeFailed);
    rig.lists.insert(QStringLiteral("早操"), {QStringLiteral("/m/one.wav")});
    rig.driver.setSchedule(
        {makeTask(QStringLiteral("早操"), QStringLiteral("08:00:00"), QStringLiteral("08:00:10"))});
    QSignalSpy started(&rig.playback, &PlaylistDriver::taskStarted);
    rig.clock.set(at("2026-12-08 07:59:58"));
    rig.recorder.programStarted();
    rig.live(at("2026-12-08 07:59:59"), at("2026-12-08 08:00:00"));
    rig.playback.PlaylistStep();
    rig.live(at("2026-12-08 08:00:01"), at("2026-12-08 08:00:10"));

    QCOMPARE(started.size(), 1);
    QCOMPARE(rig.player.opened, QStringList{QStringLiteral("/m/one.wav")});
    QCOMPARE(failed.size(), 1);
    QVERIFY(failed.at(0).at(0).toString().contains(QStringLiteral("播放记录无法写入")));
    QVERIFY(rig.log.failing());

    // Once writable again, the log resumes and a later failure is told again.
    QVERIFY(QFile::remove(blocker.fileName()));
    QVERIFY(rig.log.append(at("2026-12-08 09:00:00"), PlayLogEvent::ManualStop));
    QVERIFY(!rig.log.failing());
    rig.log.close();
    QVERIFY(QDir(rig.log.folder()).removeRecursively());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    rig.log.append(at("2026-12-08 09:00:01"), PlayLogEvent::ManualStop);
    QCOMPARE(failed.size(), 2);
}

void TestPlayLog::rotationRemovesOnlyOlderThanTwoYears() {
    QTemporaryDir dir;
    PlayLog log(dir.path());
    QDir().mkpath(log.folder());
    for (const char *name :
         {"2024-11.csv", "2024-12.csv", "2026-12.csv", "notes.csv", "2020-01.txt"}) {
        QFile f(QDir(log.folder()).filePath(QString::fromUtf8(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    // December 2026: 2024-11 is 25 months back, 2024-12 is 24.
    QCOMPARE(log.removeOld(QDate(2026, 12, 15)), 1);
    QStringList left = QDir(log.folder()).entryList(QDir::Files, QDir::Name);
    QCOMPARE(left, (QStringList{"2020-01.txt", "2024-12.csv", "2026-12.csv", "notes.csv"}));

    // Old month names that are links, or the whole folder a link elsewhere: written through
    // as the user set it up, but nothing is deleted there.
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("2020-02.csv"));
    QVERIFY(QFile(outside).open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(outside, QDir(log.folder()).filePath(QStringLiteral("2020-03.csv"))));
    QCOMPARE(log.removeOld(QDate(2026, 12, 15)), 0);
    QVERIFY(QFile::exists(outside));

    QTemporaryDir linked;
    PlayLog viaLink(linked.path());
    QVERIFY(QFile::link(elsewhere.path(), viaLink.folder()));
    QCOMPARE(viaLink.removeOld(QDate(2026, 12, 15)), 0);
    QVERIFY(QFile::exists(outside));
    QVERIFY(viaLink.append(at("2026-12-08 08:00:00"), PlayLogEvent::ProgramStart));
    QVERIFY(QFile::exists(elsewhere.filePath(QStringLiteral("2026-12.csv"))));
}

void TestPlayLog::monthsNewestFirst() {
    QTemporaryDir dir;
    PlayLog log(dir.path());
    log.append(at("2026-10-01 00:00:00"), PlayLogEvent::ProgramStart);
    log.append(at("2026-12-01 00:00:00"), PlayLogEvent::ProgramStart);
    log.append(at("2026-11-01 00:00:00"), PlayLogEvent::ProgramStart);
    QCOMPARE(PlayLog::months(dir.path()),
             (QList<QDate>{QDate(2026, 12, 1), QDate(2026, 11, 1), QDate(2026, 10, 1)}));
}

void TestPlayLog::selectFiltersNewestFirst() {
    const QList<PlayLogRow> rows = {
        {"2026-12-08 08:00:00", "任务开始", "甲", "", ""},
        {"2026-12-08 08:00:00", "未播放", "乙", "", "同一秒"},
        {"2026-12-08 08:00:03", "项目开始", "甲", "/a", ""},
        {"2026-12-08 08:00:03", "项目失败", "甲", "/a", "x"},
    };
    QCOMPARE(PlayLog::select(rows, {}, {}),
             (QList<PlayLogRow>{rows[3], rows[2], rows[1], rows[0]}));
    QCOMPARE(PlayLog::select(rows, "甲", {}), (QList<PlayLogRow>{rows[3], rows[2], rows[0]}));
    QCOMPARE(PlayLog::select(rows, "甲", "项目开始"), QList<PlayLogRow>{rows[2]});
    QVERIFY(PlayLog::select(rows, "丙", {}).isEmpty());
}

QTEST_GUILESS_MAIN(TestPlayLog)
#include "test_play_log.moc"
