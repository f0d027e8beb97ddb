#include "playlog/PlayLog.h"
#include "playlog/PlayLogIndex.h"
#include "playlog/PlayLogRecorder.h"
#include "scheduler/PassRig.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

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
    void repeatsAreCountedNotWritten();
    void rotationRemovesOnlyOlderThanTwoYears();
    void monthsNewestFirst();
    void selectFiltersNewestFirst();
    void indexReadsAMonthAsReadDoes();
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

void TestPlayLog::repeatsAreCountedNotWritten() {
    LogRig rig;
    const QString fault = QStringLiteral("广播服务器的应答无法识别，已断开连接");
    const QDateTime from = at("2026-12-08 08:00:00");
    // A server that fails every 0.6 s for two hours, a task starting in the middle.
    rig.driver.setSchedule(
        {makeTask(QStringLiteral("课间"), QStringLiteral("09:00:00"), QStringLiteral("09:00:20"))});
    int faults = 0;
    for (qint64 ms = 0; ms < 2 * 3600 * 1000; ms += 600, ++faults) {
        if (ms % 1000 < 600) // the first fault of each second: that second is checked first
            rig.wakeAt(from.addSecs(ms / 1000));
        rig.clock.set(from.addMSecs(ms));
        rig.recorder.campus(QString(), fault);
    }
    // Quiet for five minutes: the last count is told at the next checked second.
    rig.live(at("2026-12-08 10:00:00"), at("2026-12-08 10:06:00"));
    const QList<PlayLogRow> rows = rig.rows(QDate(2026, 12, 1));
    QList<PlayLogRow> campus;
    for (const PlayLogRow &row : rows)
        if (row.event == PlayLogEvent::Campus)
            campus << row;
    QCOMPARE(campus.first(),
             (PlayLogRow{"2026-12-08 08:00:00", PlayLogEvent::Campus, "", "", fault}));
    // First, then a count every ten minutes and when they stop: every fault accounted for.
    QCOMPARE(campus.size(), 1 + 11 + 1);
    int counted = 1;
    static const QRegularExpression count(
        QStringLiteral("^%1（此后又重复 (\\d+) 次，最后一次在 (\\S+)）$")
            .arg(QRegularExpression::escape(fault)));
    for (const PlayLogRow &row : campus.mid(1)) {
        const QRegularExpressionMatch m = count.match(row.note);
        QVERIFY2(m.hasMatch(), qPrintable(row.note));
        counted += m.captured(1).toInt();
    }
    QCOMPARE(counted, faults);
    QCOMPARE(campus.last().time, QStringLiteral("2026-12-08 10:05:01"));
    QVERIFY(campus.last().note.endsWith(QStringLiteral("最后一次在 09:59:59）")));
    // Other rows are written as they come, and the file stays in time order.
    QVERIFY(std::any_of(rows.cbegin(), rows.cend(), [](const PlayLogRow &r) {
        return r.event == PlayLogEvent::TaskStart && r.time == "2026-12-08 09:00:00";
    }));
    for (qsizetype i = 1; i < rows.size(); ++i)
        QVERIFY2(rows[i - 1].time <= rows[i].time, qPrintable(rows[i].time));

    // After the quiet time the same row is news again; a count still open is told at exit.
    rig.clock.set(at("2026-12-08 11:00:00"));
    rig.recorder.campus(QString(), fault);
    rig.clock.set(at("2026-12-08 11:00:01"));
    rig.recorder.campus(QString(), fault);
    rig.recorder.campus(QStringLiteral("课间"), fault); // another task: another row
    rig.recorder.programExiting();
    const QList<PlayLogRow> tail = rig.rows(QDate(2026, 12, 1)).mid(rows.size());
    QCOMPARE(tail.size(), 4);
    QCOMPARE(tail[0], (PlayLogRow{"2026-12-08 11:00:00", PlayLogEvent::Campus, "", "", fault}));
    QCOMPARE(tail[1], (PlayLogRow{"2026-12-08 11:00:01", PlayLogEvent::Campus, "课间", "", fault}));
    QCOMPARE(tail[2].note, fault + QStringLiteral("（此后又重复 1 次，最后一次在 11:00:01）"));
    QCOMPARE(tail[3].event, PlayLogEvent::ProgramExit);
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
    QTemporaryDir dir;
    const QList<PlayLogRow> rows = {
        {"2026-12-08 08:00:00", "任务开始", "甲", "", ""},
        {"2026-12-08 08:00:00", "未播放", "乙", "", "同一秒"},
        {"2026-12-08 08:00:03", "项目开始", "甲", "/a", ""},
        {"2026-12-08 08:00:03", "项目失败", "甲", "/a", "x"},
        {"2026-12-08 08:00:04", "项目开始", "=甲", "", ""}, // a formula guard is no other name
    };
    const QString path = dir.filePath(QStringLiteral("m.csv"));
    QVERIFY(PlayLog::write(path, rows, nullptr));
    const PlayLogIndex index = PlayLogIndex::scan(path);
    QCOMPARE(index.tasks(), (QStringList{"=甲", "乙", "甲"}));
    QCOMPARE(index.events(), (QStringList{"任务开始", "未播放", "项目开始", "项目失败"}));
    QCOMPARE(index.select({}, {}), (std::vector<quint32>{4, 3, 2, 1, 0}));
    QCOMPARE(index.select("甲", {}), (std::vector<quint32>{3, 2, 0}));
    QCOMPARE(index.select("甲", "项目开始"), std::vector<quint32>{2});
    QCOMPARE(index.select("=甲", {}), std::vector<quint32>{4});
    QVERIFY(index.select("丙", {}).empty());
    QVERIFY(index.select({}, "程序启动").empty());
}

// The month read in pieces, row by row from where each starts, gives what reading it whole
// gives: quotes across the pieces' edges, line breaks inside quotes, CR, LF and CRLF ends,
// blank lines, an unfinished last row, no header.
void TestPlayLog::indexReadsAMonthAsReadDoes() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("m.csv"));
    QByteArray bytes = PlayLog::headerBytes();
    int n = 0;
    while (bytes.size() < 3 * 1024 * 1024 + 1000) {
        const QString filler(n % 97, QChar(u'铃'));
        bytes += PlayLog::rowBytes({QStringLiteral("2026-12-08 08:00:%1").arg(n % 60),
                                    n % 3 ? PlayLogEvent::Campus : PlayLogEvent::ItemStart,
                                    QStringLiteral("任务\"%1\",\r\n第%1").arg(n % 7), filler,
                                    n % 5 ? QStringLiteral("=1+%1").arg(n) : QString()});
        if (n % 11 == 0)
            bytes += "\r\n\n";
        if (n % 13 == 0)
            bytes.chop(1); // CR alone ends a row too
        ++n;
    }
    bytes += "2026-12-09 00:00:00,\"quoted,\"\"end"; // neither closed nor ended
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();

    QString error;
    const PlayLogIndex index = PlayLogIndex::scan(path, &error);
    QVERIFY(error.isEmpty());
    const QList<PlayLogRow> whole = PlayLog::read(path);
    QCOMPARE(index.size(), whole.size());
    QCOMPARE(whole.last(), (PlayLogRow{"2026-12-09 00:00:00", "quoted,\"end", "", "", ""}));
    QFile in(path);
    QVERIFY(in.open(QIODevice::ReadOnly));
    for (qsizetype i = 0; i < whole.size(); ++i)
        QCOMPARE(index.row(in, quint32(i)), whole[i]);
    QCOMPARE(index.tasks().size(), 7);

    // Exported as shown, newest first, in the log's own form.
    const std::vector<quint32> chosen =
        index.select(QStringLiteral("任务\"3\",\r\n第3"), PlayLogEvent::ItemStart);
    QVERIFY(chosen.size() > 10);
    const QString out = dir.filePath(QStringLiteral("out.csv"));
    QVERIFY(index.exportRows(chosen, out, &error));
    const QList<PlayLogRow> exported = PlayLog::read(out);
    QCOMPARE(exported.size(), qsizetype(chosen.size()));
    QCOMPARE(exported.first(), whole[chosen.front()]);
    QCOMPARE(exported.last(), whole[chosen.back()]);
    QVERIFY(!index.exportRows(chosen, dir.filePath(QStringLiteral("no/dir/x.csv")), &error));
    QVERIFY(error.contains(QStringLiteral("无法写入")));

    // Without its header (a file a spreadsheet saved), the first row is a row.
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("a,b,c\r\n");
    file.close();
    QCOMPARE(PlayLogIndex::scan(path).size(), 1);
    QVERIFY(PlayLogIndex::scan(dir.filePath(QStringLiteral("none.csv")), &error).size() == 0);
    QVERIFY(error.contains(QStringLiteral("无法读取")));
    // A pipe in the month's place is refused at once, not waited on.
    const QString pipe = dir.filePath(QStringLiteral("pipe.csv"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    error.clear();
    QCOMPARE(PlayLogIndex::scan(pipe, &error).size(), 0);
    QVERIFY2(error.contains(QStringLiteral("不是普通文件")), qPrintable(error));
}
QTEST_GUILESS_MAIN(TestPlayLog)
#include "test_play_log.moc"
