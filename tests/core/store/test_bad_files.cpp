// Damaged, huge and misplaced store files: the program reads what it can, never crashes,
// and a damaged task never blocks a change of the others.
#include "TestFiles.h"
#include "campus/CampusConfig.h"
#include "playlog/PlayLog.h"
#include "store/BoundedRead.h"
#include "store/HolidayList.h"
#include "store/ProfileStore.h"
#include "store/TaskStore.h"
#include "store/Timetables.h"
#include "tasktable/DisplayText.h"
#include "tasktable/TaskTableModel.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray gbk(const QString &text) {
    return Gbk::encode(text).value();
}

QByteArray taskSection(int row, const QByteArray &name) {
    return "[FileInfo" + QByteArray::number(row) + "]\r\nName=" + name +
           gbk(QStringLiteral("\r\nTime=08:00:00\r\nDuration=08:30:00\r\nType=60000\r\n"
                              "Device=每天\r\nRecurrence=顺序播放\r\nNotes=\r\n"));
}

PlayTask newTask() {
    return {QStringLiteral("新任务"),
            QStringLiteral("09:00:00"),
            QStringLiteral("09:10:00"),
            QStringLiteral("50000"),
            QStringLiteral("每天"),
            QStringLiteral("顺序播放"),
            {}};
}

} // namespace

class TestBadFiles : public QObject {
    Q_OBJECT

private slots:
    void damagedSongFileNeverBlocksAChange_data() {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray garbage(64 * 1024, Qt::Uninitialized);
        QRandomGenerator random(7);
        for (char &c : garbage)
            c = char(random.bounded(256));
        // Line breaks and brackets often enough to make sections of the noise.
        for (qsizetype i = 0; i < garbage.size(); i += 61)
            garbage.replace(i, 3, i % 2 ? "\r\n[" : "]\n=");
        QTest::newRow("binary garbage") << garbage;
        QTest::newRow("empty") << QByteArray();
        const QByteArray good = taskSection(0, gbk(QStringLiteral("早操")));
        QTest::newRow("cut in a character") << good + taskSection(1, "\xD4\xE7\xB2");
        QTest::newRow("undecodable row") << good + taskSection(1, "\x81\xFF\x80\xA1") + good;
        QTest::newRow("NUL in a value") << good + taskSection(1, QByteArray("a\0b", 3));
        QTest::newRow("10 MB line") << good + taskSection(1, QByteArray(10 << 20, 'x'));
        QByteArray many;
        for (int i = 0; i < 100000; ++i)
            many += "[FileInfo" + QByteArray::number(i) + "]\r\nName=t" + QByteArray::number(i) +
                    "\r\n";
        QTest::newRow("100,000 sections") << many;
    }
    void damagedSongFileNeverBlocksAChange() {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const TaskStore store(dir.path());
        QVERIFY(writeFileBytes(store.songFile(), bytes));
        const QList<PlayTask> rows = store.ReadTaskRows();
        QCOMPARE(store.LoadScheduleTable().size(), rows.size());

        const TaskStore::ChangeResult added = store.AddTask(newTask(), {QStringLiteral("/a.mp3")});
        QVERIFY2(added.result.ok, qPrintable(added.result.error.left(200)));
        const QList<PlayTask> after = store.ReadTaskRows();
        QCOMPARE(after.size(), rows.size() + 1);
        QVERIFY(after.first(rows.size()) == rows); // nothing read is lost or altered
        QCOMPARE(after.last(), newTask());
    }

    void undecodableBytesAreWrittenBackUnchanged() {
        QTemporaryDir dir;
        const TaskStore store(dir.path());
        const QByteArray damaged = taskSection(1, "\x81\xFF\xFE\xA1");
        QVERIFY(writeFileBytes(store.songFile(), taskSection(0, "a") + damaged));
        const QList<PlayTask> rows = store.ReadTaskRows();
        PlayTask changed = rows[0];
        changed.Type = QStringLiteral("1");
        QVERIFY(store.ModifyTask(0, rows[0], changed, {}).result.ok);
        QVERIFY(readFileBytes(store.songFile()).endsWith(damaged));
    }

    void oddPlaylistCountsReadSafely() {
        QTemporaryDir dir;
        const TaskStore store(dir.path());
        const auto withCount = [&](const QByteArray &count) {
            writeFileBytes(
                dir.filePath("p.ini"),
                gbk(QStringLiteral("[歌曲]\r\n歌曲名称0=a\r\n[多媒体文件数量]\r\n数量=")) + count);
            return store.ReadTaskPlaylist(QStringLiteral("p"));
        };
        QCOMPARE(withCount("2147483647").size(), 100000);
        QCOMPARE(withCount("2147483647").first(), QStringLiteral("a"));
        QVERIFY(withCount("-5").isEmpty());
        QVERIFY(withCount("-2147483648").isEmpty());
        QVERIFY(withCount("abc").isEmpty());
        QCOMPARE(withCount(" 1 "), QStringList{"a"});
    }

    void directoryInAFilesPlaceIsReportedNotTakenForEmpty() {
        QTemporaryDir dir;
        const TaskStore store(dir.path());
        QVERIFY(QDir(dir.path()).mkdir("song.ini"));
        QVERIFY(store.ReadTaskRows().isEmpty());
        const TaskStore::ChangeResult added = store.AddTask(newTask(), {});
        QVERIFY(!added.result.ok);
        QVERIFY(!added.result.error.isEmpty());
        QVERIFY(QFileInfo(store.songFile()).isDir());

        QVERIFY(QDir(dir.path()).mkdir("p.ini"));
        QString error;
        QVERIFY(store.ReadTaskPlaylist(QStringLiteral("p"), &error).isEmpty());
        QVERIFY(!error.isEmpty());

        QVERIFY(QDir(dir.path()).mkdir(HolidayList::fileName()));
        HolidayList holidays(dir.path());
        holidays.load();
        QVERIFY(holidays.dates().isEmpty());
        StoreResult result;
        holidays.add(QStringLiteral("2026-05-01"), &result);
        QVERIFY(!result.ok);
    }

    // A pipe would hold the start for good (deaf to SIGTERM); a link to a device would feed
    // the reader until memory runs out. Each is refused with the file named, at once.
    void pipesAndDevicesInTheStoreAreRefusedAtOnce() {
        ::alarm(60); // a blocked read ends the test instead of hanging it
        QTemporaryDir dir;
        const auto fifo = [&](const QString &name) {
            QVERIFY(::mkfifo(QFile::encodeName(dir.filePath(name)).constData(), 0600) == 0);
        };
        fifo(QStringLiteral("song.ini"));
        fifo(Timetables::fileName());
        fifo(QStringLiteral("p.ini"));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), dir.filePath(CampusConfig::fileName())));

        TaskStore store(dir.path());
        QString error;
        QVERIFY(store.LoadScheduleTable(&error).isEmpty());
        QVERIFY2(error.contains(QStringLiteral("管道")) && error.contains(store.songFile()),
                 qPrintable(error));
        QVERIFY(!store.AddTask(newTask(), {}).result.ok);
        error.clear();
        QVERIFY(store.ReadTaskPlaylist(QStringLiteral("p"), &error).isEmpty());
        QVERIFY(error.contains(QStringLiteral("管道")));

        Timetables timetables(dir.path());
        error.clear();
        timetables.load(&error);
        QVERIFY(error.contains(QStringLiteral("管道")));
        QVERIFY(!timetables.setTimetable(QStringLiteral("夏季"), SeasonRange{501, 930}).ok);
        QCOMPARE(BoundedRead::inspect(dir.filePath(Timetables::fileName()), false).kind,
                 BoundedRead::Kind::Pipe);

        CampusConfig campus(dir.path());
        error.clear();
        campus.load(&error);
        QVERIFY2(error.contains(QStringLiteral("设备文件")), qPrintable(error));
        QVERIFY(!campus.enabled());

        // This month's play log: rows are dropped, the bells go on.
        QVERIFY(QDir(dir.path()).mkpath(PlayLog::folderIn(dir.path())));
        const QDateTime now = QDateTime::currentDateTime();
        fifo(QStringLiteral("播放记录/") + PlayLog::fileName(now.date()));
        PlayLog log(dir.path());
        QVERIFY(!log.append(now, QStringLiteral("开始")));
        ::alarm(0);
    }

    void manyHolidaysLoadSortedAndAnswerQuickly() {
        QTemporaryDir dir;
        QByteArray bytes = "[Holiday]\r\n";
        const int count = 100000;
        const QDate first(1900, 1, 1);
        for (int i = 0; i < count; ++i) // newest first, so the load must sort
            bytes += "Date" + QByteArray::number(i) + '=' +
                     first.addDays(count - 1 - i).toString(Qt::ISODate).toLatin1() + "\r\n";
        bytes += "[The number of date]\r\nquantity=" + QByteArray::number(count) + "\r\n";
        QVERIFY(writeFileBytes(dir.filePath(HolidayList::fileName()), bytes));
        HolidayList holidays(dir.path());
        holidays.load();
        QCOMPARE(holidays.dates().size(), count);
        QVERIFY(std::is_sorted(holidays.dates().cbegin(), holidays.dates().cend()));
        QVERIFY(holidays.contains(QStringLiteral("1900-01-01")));
        QVERIFY(holidays.contains(first.addDays(count - 1).toString(Qt::ISODate)));
        QVERIFY(!holidays.contains(QStringLiteral("1899-12-31")));
        StoreResult result;
        QCOMPARE(holidays.add(QStringLiteral("1900-01-02"), &result), 2);
        QVERIFY(result.ok);
        QVERIFY(holidays.removeAt(0).ok);
        HolidayList reloaded(dir.path());
        reloaded.load();
        QCOMPARE(reloaded.dates(), holidays.dates());
    }

    void leftoverTemporariesAreRemoved() {
        QTemporaryDir dir;
        for (const char *name : {".horalet-a1B2c3", ".horalet-zzzzzz", ".horalet-toolong1",
                                 ".horalet.lock", "song.ini"})
            QVERIFY(writeFileBytes(dir.filePath(name), "x"));
        QVERIFY(QDir(dir.path()).mkdir(".horalet-dir123"));
        QCOMPARE(ProfileStore::removeLeftoverTemporaries(dir.path()), 2);
        QCOMPARE(
            QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
            (QStringList{".horalet-dir123", ".horalet-toolong1", ".horalet.lock", "song.ini"}));
    }

    void longTextsAreCutBeforeTheyAreShown() {
        const QString huge(10 << 20, QChar(u'歌'));
        QCOMPARE(DisplayText::shown(huge).size(), DisplayText::kMaxLength);
        QVERIFY(DisplayText::shown(huge).endsWith(QChar(u'…')));
        QCOMPARE(DisplayText::shown(QStringLiteral("早操")), QStringLiteral("早操"));
        // A character outside the basic plane is never cut in half.
        const QString emoji = QString(5, QLatin1Char('a')) + QStringLiteral("😀😀");
        QCOMPARE(DisplayText::shown(emoji, 7), QStringLiteral("aaaaa…"));

        TaskTableModel model;
        PlayTask task = newTask();
        task.Name = huge;
        model.AppendTaskRow(task);
        const QString shown = model.data(model.index(0, TaskTableModel::NameColumn)).toString();
        QCOMPARE(shown.size(), DisplayText::kMaxLength);
        QCOMPARE(model.data(model.index(0, TaskTableModel::StartColumn)).toString(), task.Time);
    }
};

QTEST_GUILESS_MAIN(TestBadFiles)
#include "test_bad_files.moc"
