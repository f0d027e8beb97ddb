#include "TestFiles.h"
#include "campus/CampusConfig.h"
#include "playback/FakePlayback.h"
#include "playback/PlaylistDriver.h"
#include "store/HolidayList.h"
#include "store/OptionFlags.h"
#include "store/ProfileStore.h"
#include "store/ShutdownTimeFile.h"
#include "store/StoreDirectory.h"
#include "store/StoreFiles.h"
#include "store/TaskStore.h"
#include "store/Timetables.h"

#include <QMap>

#include <csignal>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

PlayTask task(const QString &name, const QString &time = QStringLiteral("08:30:00"),
              const QString &device = QStringLiteral("每天")) {
    return {name,
            time,
            QStringLiteral("08:45:00"),
            QStringLiteral("60000"),
            device,
            QStringLiteral("顺序播放"),
            QString()};
}

QByteArray gbk(const QString &text) {
    return Gbk::encode(text).value();
}

QStringList names(const QList<PlayTask> &rows) {
    QStringList out;
    for (const PlayTask &t : rows)
        out << t.Name;
    return out;
}

} // namespace

class TestTaskStore : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    TaskStore store() const { return TaskStore(m_dir.path()); }

private slots:
    void init() {
        QDir dir(m_dir.path());
        for (const QString &entry :
             dir.entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden))
            QFileInfo(dir.filePath(entry)).isDir() ? QDir(dir.filePath(entry)).removeRecursively()
                                                   : dir.remove(entry);
    }

    void firstTaskCreatesTheFileInItsLayout() {
        QVERIFY(store().ReadTaskRows().isEmpty());
        QVERIFY(store().LoadScheduleTable().isEmpty());
        PlayTask weekly =
            task(QStringLiteral("早操"), QStringLiteral("08:30:00"), QStringLiteral("周一周五"));
        auto r = store().AddTask(weekly,
                                 {QStringLiteral("/音乐/a.mp3"), QStringLiteral("http://x/y.mp3")});
        QVERIFY2(r.result.ok, qPrintable(r.result.error));
        QCOMPARE(readFileBytes(store().songFile()),
                 gbk(QStringLiteral(
                     "[FileInfo0]\r\nName=早操\r\nTime=08:30:00\r\nDuration=08:45:00\r\n"
                     "Type=60000\r\nDevice=周一周五\r\nRecurrence=顺序播放\r\nNotes=\r\n")));
        QCOMPARE(
            readFileBytes(m_dir.filePath(QStringLiteral("早操.ini"))),
            gbk(QStringLiteral("[歌曲]\r\n歌曲名称0=/音乐/a.mp3\r\n歌曲名称1=http://x/y.mp3\r\n"
                               "[多媒体文件数量]\r\n数量=2\r\n")));
        QCOMPARE(r.rows, QList<PlayTask>{weekly});
        QCOMPARE(r.schedule, ScheduleTable{weekly});
    }

    void deletingRenumbersAndRemovesThePlaylist() {
        for (const char *n : {"A", "B", "C", "D"})
            QVERIFY(
                store().AddTask(task(QString::fromLatin1(n)), {QStringLiteral("x.mp3")}).result.ok);
        auto r = store().DeleteTask(1, task("B"));
        QVERIFY(r.result.ok);
        QCOMPARE(names(r.rows), (QStringList{"A", "C", "D"}));
        QCOMPARE(ProfileStore::sectionNames(store().songFile()),
                 (QStringList{"FileInfo0", "FileInfo1", "FileInfo2"}));
        QCOMPARE(ProfileStore::readString(store().songFile(), "FileInfo1", "Name"),
                 QStringLiteral("C"));
        QVERIFY(!QFile::exists(m_dir.filePath("B.ini")));

        r = store().DeleteTask(2, task("D"));
        QCOMPARE(names(r.schedule), (QStringList{"A", "C"}));
        r = store().DeleteTask(0, task("A"));
        r = store().DeleteTask(0, task("C"));
        QVERIFY(r.result.ok);
        QVERIFY(!QFile::exists(store().songFile()));
        QVERIFY(r.rows.isEmpty() && r.schedule.isEmpty());
    }

    void changesActOnlyOnTheTaskTheCallerSaw() {
        QVERIFY(store().AddTask(task("A"), {}).result.ok);
        QVERIFY(store().AddTask(task("B"), {}).result.ok);
        const QByteArray before = readFileBytes(store().songFile());
        auto r = store().ModifyTask(0, task("B"), task("X"), {});
        QVERIFY(!r.result.ok);
        QVERIFY(!store().DeleteTask(5, task("A")).result.ok);
        QCOMPARE(readFileBytes(store().songFile()), before);
        QCOMPARE(names(r.rows), (QStringList{"A", "B"}));

        r = store().ModifyTask(1, task("B"), task("B2"), {QStringLiteral("b.mp3")});
        QVERIFY(r.result.ok);
        QCOMPARE(names(r.rows), (QStringList{"A", "B2"}));
        QCOMPARE(store().ReadTaskPlaylist("B2"), TaskPlaylist{"b.mp3"});
        QVERIFY(QFile::exists(m_dir.filePath("B.ini"))); // a rename leaves the old file alone
    }

    // A task's timetable follows it through a rename and goes with its deletion; an entry left
    // by an earlier change cut short never reaches a new task of that name.
    // The timetable (作息表.ini) and the zones (广播分区.ini) a task is bound to, each set or
    // kept on its own; entries of no task are dropped by the next change.
    void bindingEntriesFollowTheirTasks() {
        const auto timetableOf = [this](const QString &name) {
            Timetables t(m_dir.path());
            t.load();
            return t.timetableOf(name);
        };
        const auto entries = [this] {
            Timetables t(m_dir.path());
            t.load();
            return t.taskTimetables();
        };
        const auto zoneEntries = [this] {
            CampusConfig c(m_dir.path());
            c.load();
            return c.taskZones();
        };
        using Zones = QHash<QString, QStringList>;
        QVERIFY(store()
                    .AddTask(task("上课铃"), {},
                             {QStringLiteral("夏季"), QStringList{"教学楼", "操场"}})
                    .result.ok);
        QVERIFY(store().AddTask(task("放学铃"), {}).result.ok);
        QCOMPARE(timetableOf("上课铃"), QStringLiteral("夏季"));
        auto r = store().ModifyTask(0, task("上课铃"), task("上课铃（夏）"), {});
        QVERIFY(r.result.ok);
        QCOMPARE(entries(), (QHash<QString, QString>{{"上课铃（夏）", "夏季"}}));
        QCOMPARE(zoneEntries(), (Zones{{"上课铃（夏）", {"教学楼", "操场"}}}));
        r = store().ModifyTask(1, task("放学铃"), task("放学铃"), {}, {QStringLiteral("冬季")});
        QVERIFY(r.result.ok);
        r = store().ModifyTask(0, task("上课铃（夏）"), task("上课铃（夏）"), {},
                               {QString(), QStringList{"操场"}});
        QCOMPARE(entries(), (QHash<QString, QString>{{"放学铃", "冬季"}}));
        QCOMPARE(zoneEntries(), (Zones{{"上课铃（夏）", {"操场"}}}));

        Timetables stale(m_dir.path());
        stale.load();
        QVERIFY(stale.setTaskTimetable("旧任务", "夏季"));
        CampusConfig staleZones(m_dir.path());
        staleZones.load();
        QVERIFY(staleZones.setTaskZones("旧任务", {"操场"}));
        QVERIFY(store().AddTask(task("旧任务"), {}).result.ok);
        QCOMPARE(timetableOf("旧任务"), QString());
        QCOMPARE(zoneEntries(), (Zones{{"上课铃（夏）", {"操场"}}}));
        stale.load();
        QVERIFY(stale.setTaskTimetable("没有的任务", "夏季"));
        staleZones.load();
        QVERIFY(staleZones.setTaskZones("没有的任务", {"操场"}));
        QVERIFY(store().DeleteTask(1, task("放学铃")).result.ok);
        QCOMPARE(entries(), (QHash<QString, QString>{}));
        QCOMPARE(zoneEntries(), (Zones{{"上课铃（夏）", {"操场"}}}));
        QVERIFY(store().DeleteTask(0, task("上课铃（夏）")).result.ok);
        QCOMPARE(zoneEntries(), Zones{});
    }

    void deleteSparesAPlaylistAnotherTaskStillUses() {
        // Old files may hold two tasks with one name, and so one playlist.
        QVERIFY(store().RewriteTaskStore({task("同名"), task("同名")}));
        QVERIFY(store().WriteTaskPlaylist("同名", {"a.mp3"}));
        QVERIFY(store().DeleteTask(0, task("同名")).result.ok);
        QCOMPARE(store().ReadTaskPlaylist("同名"), TaskPlaylist{"a.mp3"});

        // Names that differ only in bytes code page 936 cannot decode, or in letter case,
        // come to one file: the task stored first keeps it, the later one's file operations
        // are refused naming both, and deleting either spares the file.
        QByteArray song;
        for (const QByteArray &name :
             {QByteArray("X\xff"), QByteArray("X\x81"), QByteArray("Bell"), QByteArray("bell")})
            song +=
                "[FileInfo" + QByteArray::number(song.count('[')) + "]\r\nName=" + name +
                "\r\nTime=08:30:00\r\nDuration=08:45:00\r\nType=60000\r\nDevice=" + gbk("每天") +
                "\r\nRecurrence=" + gbk("顺序播放") + "\r\nNotes=\r\n";
        QVERIFY(writeFileBytes(store().songFile(), song));
        const QList<PlayTask> rows = store().ReadTaskRows();
        QCOMPARE(rows.size(), 4);
        const PlayTask first = rows[0], later = rows[1];
        QVERIFY(first.Name != later.Name);
        QVERIFY(store().WriteTaskPlaylist(first.Name, {"first.mp3"}));
        QString error;
        QCOMPARE(store().ReadTaskPlaylist(first.Name, &error), TaskPlaylist{"first.mp3"});
        QVERIFY(error.isEmpty());
        QVERIFY(store().ReadTaskPlaylist(later.Name, &error).isEmpty());
        QVERIFY2(error.contains(QStringLiteral("同一个文件")) && error.count(u'X') == 2,
                 qPrintable(error));
        for (int row : {1, 3}) {
            const auto refused = store().ModifyTask(row, rows[row], rows[row], {"other.mp3"});
            QVERIFY(!refused.result.ok);
            QVERIFY2(refused.result.error.contains(QStringLiteral("同一个文件")),
                     qPrintable(refused.result.error));
        }
        QCOMPARE(store().ReadTaskPlaylist(first.Name), TaskPlaylist{"first.mp3"});
        QVERIFY(!store().AddTask(task("BELL"), {"x.mp3"}).result.ok);
        // The task stored first keeps its file and may be changed; none may be renamed onto it.
        QVERIFY(store().ModifyTask(0, first, first, {"first.mp3"}).result.ok);
        PlayTask renamed = rows[2];
        renamed.Name = "BELL";
        QVERIFY(!store().ModifyTask(2, rows[2], renamed, {"x.mp3"}).result.ok);
        QVERIFY(store().WriteTaskPlaylist("Bell", {"bell.mp3"}));
        QVERIFY(store().DeleteTask(2, rows[2]).result.ok);
        QVERIFY(store().DeleteTask(0, first).result.ok);
        QCOMPARE(store().ReadTaskPlaylist(later.Name), TaskPlaylist{"first.mp3"});
        QCOMPARE(store().ReadTaskPlaylist("Bell"), TaskPlaylist{"bell.mp3"});
    }

    void weeklyTaskWithNoDayIsStoredEmpty() {
        PlayTask none{QStringLiteral("空"),       {}, {}, QStringLiteral("60000"), {},
                      QStringLiteral("循环播放"), {}};
        QVERIFY(store().AddTask(none, {}).result.ok);
        QCOMPARE(store().ReadTaskRows(), QList<PlayTask>{none});
        QVERIFY(readFileBytes(store().songFile()).contains("Time=\r\nDuration=\r\n"));
    }

    void countIsTheAuthorityOverItems() {
        QVERIFY(writeFileBytes(
            m_dir.filePath("P.ini"),
            gbk(QStringLiteral(
                "[歌曲]\r\n歌曲名称0=a\r\n歌曲名称1=b\r\n歌曲名称2=c\r\n歌曲名称3=d\r\n"
                "歌曲名称4=e\r\n[多媒体文件数量]\r\n数量=2\r\n"))));
        QCOMPARE(store().ReadTaskPlaylist("P"), (TaskPlaylist{"a", "b"}));
        QVERIFY(store().WriteTaskPlaylist("P", {"z"}));
        QCOMPARE(store().ReadTaskPlaylist("P"), TaskPlaylist{"z"});
        QCOMPARE(ProfileStore::readString(m_dir.filePath("P.ini"), "歌曲", "歌曲名称4"),
                 QStringLiteral("e"));
        // Items missing below the count read as empty; a damaged count does not exhaust memory.
        QVERIFY(writeFileBytes(
            m_dir.filePath("Q.ini"),
            gbk(QStringLiteral("[多媒体文件数量]\r\n数量=3\r\n[歌曲]\r\n歌曲名称1=b\r\n"))));
        QCOMPARE(store().ReadTaskPlaylist("Q"), (TaskPlaylist{"", "b", ""}));
        QVERIFY(writeFileBytes(m_dir.filePath("R.ini"),
                               gbk(QStringLiteral("[多媒体文件数量]\r\n数量=2000000000\r\n"))));
        QCOMPARE(store().ReadTaskPlaylist("R").size(), 100000);
        QVERIFY(store().ReadTaskPlaylist("missing").isEmpty());
    }

    // Shown, played and rewritten are one list: every task section in file order, each
    // from its own lines; a rewrite numbers them anew and drops none.
    void everyStoredTaskSurvivesTheNextEdit() {
        QVERIFY(writeFileBytes(
            store().songFile(),
            gbk(QStringLiteral("; 手工维护\r\n"
                               "[FileInfo0]\r\nName=甲\r\nTime=08:00:00\r\n"
                               "[FileInfo5]\r\nName=乙\r\nTime=09:00:00\r\n" // a gap
                               "[FileInfo2]\r\nName=丙\r\nTime=10:00:00\r\n" // out of order
                               "[备注]\r\n说明=铃声表\r\n"                   // no task
                               "[FileInfo5]\r\nName=丁\r\nTime=11:00:00\r\n" // repeated header
                               "[手工]\r\nname=戊\r\nTIME=12:00:00\r\ntype=10000\r\n"
                               "[FileInfo9]\r\n")))); // empty task
        PlayTask ding;
        ding.Name = QStringLiteral("丁");
        ding.Time = QStringLiteral("11:00:00");
        const QStringList expected{"甲", "乙", "丙", "丁", "戊", ""};
        QCOMPARE(names(store().ReadTaskRows()), expected);
        QCOMPARE(store().LoadScheduleTable(), store().ReadTaskRows());
        QCOMPARE(store().LoadScheduleTable()[3], ding);
        QCOMPARE(store().LoadScheduleTable()[4].Type, QStringLiteral("10000"));

        // An edit through the rows the table shows: the repeated section's task is the one
        // deleted, and every other task is kept, numbered from 0.
        auto r = store().DeleteTask(3, ding);
        QVERIFY2(r.result.ok, qPrintable(r.result.error));
        QCOMPARE(names(r.rows), (QStringList{"甲", "乙", "丙", "戊", ""}));
        QCOMPARE(r.schedule, r.rows);
        r = store().AddTask(task(QStringLiteral("己")), {});
        QVERIFY(r.result.ok);
        QCOMPARE(names(r.rows), (QStringList{"甲", "乙", "丙", "戊", "", "己"}));
        QCOMPARE(ProfileStore::sectionNames(store().songFile()),
                 (QStringList{"FileInfo0", "FileInfo1", "FileInfo2", "FileInfo3", "FileInfo4",
                              "FileInfo5", QStringLiteral("备注")}));
        QCOMPARE(r.rows[1].Time, QStringLiteral("09:00:00"));
        // What is no task (a note before the first section, a section of no task key) is
        // kept as it stands.
        const QByteArray bytes = readFileBytes(store().songFile());
        QVERIFY(bytes.startsWith(gbk(QStringLiteral("; 手工维护\r\n[FileInfo0]\r\n"))));
        QVERIFY(bytes.endsWith(gbk(QStringLiteral("[备注]\r\n说明=铃声表\r\n"))));
        // With the last task gone the note stays; with nothing left no file stays.
        QVERIFY(store().RewriteTaskStore({}));
        QCOMPARE(readFileBytes(store().songFile()),
                 gbk(QStringLiteral("; 手工维护\r\n[备注]\r\n说明=铃声表\r\n")));
        QVERIFY(writeFileBytes(store().songFile(), "[FileInfo0]\r\nName=x\r\n"));
        QVERIFY(store().DeleteTask(0, PlayTask{"x", {}, {}, {}, {}, {}, {}}).result.ok);
        QVERIFY(!QFile::exists(store().songFile()));
    }

    // A task whose name is a store file's stem has no playlist: no store operation may read,
    // write or delete that file as one.
    void storeFilesAreNeverPlaylists() {
        QStringList variants;
        for (const QString &stem : StoreFiles::ownStems())
            variants << stem << stem.toUpper() << (stem.left(1).toUpper() + stem.mid(1));
        variants.removeDuplicates();
        // Each store file looks like a playlist, so reading one would yield an item.
        const QByteArray lookalike = gbk(
            QStringLiteral("[歌曲]\r\n歌曲名称0=/不该/播放.mp3\r\n[多媒体文件数量]\r\n数量=1\r\n"));
        QStringList storeFiles{HolidayList::fileName(), OptionFlags::fileName(),
                               ShutdownTimeFile::fileName()};
        for (const QString &stem : StoreFiles::ownStems())
            storeFiles << stem + QStringLiteral(".ini");
        storeFiles.removeDuplicates();
        QCOMPARE(storeFiles.size(), StoreFiles::ownStems().size()); // every store file is listed
        for (const QString &file : storeFiles)
            if (file != QStringLiteral("song.ini"))
                QVERIFY(writeFileBytes(m_dir.filePath(file), lookalike + gbk(file)));

        QList<PlayTask> rows{task(QStringLiteral("普通"))};
        for (const QString &name : variants)
            rows << task(name);
        QVERIFY(writeFileBytes(store().songFile(), lookalike)); // kept: sections of no task
        QVERIFY(store().RewriteTaskStore(rows));
        QVERIFY(store().WriteTaskPlaylist(QStringLiteral("普通"), {"a.mp3"}));
        auto otherFiles = [&] {
            QMap<QString, QByteArray> bytes;
            for (const QString &file : QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden))
                if (file != QStringLiteral("song.ini"))
                    bytes.insert(file, readFileBytes(m_dir.filePath(file)));
            return bytes;
        };
        const auto before = otherFiles();

        FakePlayer player;
        FakeVolume volume;
        PlaylistDriver playback(
            player, volume, [this](const QString &name) { return store().ReadTaskPlaylist(name); });
        for (const QString &name : variants) {
            const QByteArray song = readFileBytes(store().songFile());
            const int row = int(names(store().ReadTaskRows()).indexOf(name));
            QVERIFY(row > 0);
            // Add and modify are refused with the reason; nothing is written anywhere.
            auto r = store().AddTask(task(name), {"x.mp3"});
            QVERIFY(!r.result.ok);
            QVERIFY2(r.result.error.contains(QStringLiteral("数据文件")),
                     qPrintable(r.result.error));
            r = store().ModifyTask(row, task(name), task(name, QStringLiteral("09:00:00")),
                                   {"x.mp3"});
            QVERIFY(!r.result.ok);
            QVERIFY(!store().WriteTaskPlaylist(name, {"x.mp3"}).ok);
            QVERIFY(!store().DeleteTaskPlaylist(name).ok);
            QCOMPARE(readFileBytes(store().songFile()), song);
            // Reading it is an unreadable playlist with a reason, and playback plays nothing.
            QString error;
            QVERIFY(store().ReadTaskPlaylist(name, &error).isEmpty());
            QVERIFY(error.contains(name));
            playback.StartTask(task(name));
            QVERIFY(playback.items().isEmpty());
            playback.PlaylistStep();
            QVERIFY(player.opened.isEmpty());
            // Deleting the task takes it out of song.ini and leaves the store file alone.
            r = store().DeleteTask(row, task(name));
            QVERIFY2(r.result.ok, qPrintable(r.result.error));
            QVERIFY(!names(r.rows).contains(name));
            QCOMPARE(otherFiles(), before);
        }
        QCOMPARE(names(store().ReadTaskRows()), QStringList{QStringLiteral("普通")});
        // A task renamed away from such a name gets a playlist of its own.
        QVERIFY(store().AddTask(task(QStringLiteral("song2")), {"b.mp3"}).result.ok);
        QCOMPARE(store().ReadTaskPlaylist(QStringLiteral("song2")), TaskPlaylist{"b.mp3"});
    }

    void longAndDoubleByteValuesComeBackWhole() {
        PlayTask t = task(QString(80, QChar(u'长')) + QStringLiteral("x"));
        t.Type = QString(200, QLatin1Char('9'));
        const TaskPlaylist items{
            QStringLiteral("/媒体/") + QString(150, QChar(u'歌')) + QStringLiteral(".mp3"),
            QStringLiteral("rtsp://127.0.0.1/") + QString(300, QLatin1Char('a'))};
        const auto added = store().AddTask(t, items);
        QVERIFY2(added.result.ok, qPrintable(added.result.error));
        QCOMPARE(store().ReadTaskRows().value(0), t);
        QCOMPARE(store().LoadScheduleTable().value(0), t);
        QCOMPARE(store().ReadTaskPlaylist(t.Name), items);
        // A name longer than a file name can be is refused with a reason, not cut.
        auto r = store().AddTask(task(QString(90, QChar(u'长'))), {});
        QVERIFY(!r.result.ok);
        QVERIFY(r.result.error.contains(QStringLiteral("太长")));
        // A name of megabytes from a hand-edited file: the reason quotes only its start,
        // so the message box that shows it lays out at once.
        QString why;
        QVERIFY(store().playlistPath(QString(10 * 1024 * 1024, QChar(u'长')), &why).isEmpty());
        QVERIFY(why.contains(QStringLiteral("太长")));
        QVERIFY2(why.size() < 400, qPrintable(QString::number(why.size())));
        r = store().AddTask(task(QStringLiteral("歌")), {QString(1024 * 1024, u'\n')});
        QVERIFY(!r.result.ok);
        QVERIFY2(r.result.error.size() < 400, qPrintable(QString::number(r.result.error.size())));
    }

    void tenThousandTasksRoundTrip() {
        QList<PlayTask> rows;
        for (int i = 0; i < 10000; ++i)
            rows << task(QStringLiteral("任务%1").arg(i),
                         QStringLiteral("%1:00:00").arg(i % 24, 2, 10, QChar('0')));
        QVERIFY(store().RewriteTaskStore(rows));
        QCOMPARE(store().ReadTaskRows(), rows);
        QCOMPARE(store().LoadScheduleTable(), rows);
    }

    void namesThatWouldLeaveTheDirectoryAreRefused() {
        QTemporaryDir outer;
        const QString inner = outer.filePath("store");
        QVERIFY(QDir().mkpath(inner));
        TaskStore s(inner);
        for (const QString &name :
             {QStringLiteral("../x"), QStringLiteral("a/b"), QStringLiteral(".."),
              QStringLiteral("a\\b"), QString(), QStringLiteral("x") + QChar(u'\0')}) {
            QVERIFY(!s.WriteTaskPlaylist(name, {"a.mp3"}).ok);
            QVERIFY(!s.DeleteTaskPlaylist(name).ok);
            QVERIFY(!s.AddTask(task(name), {}).result.ok);
            QString error;
            QVERIFY(s.ReadTaskPlaylist(name, &error).isEmpty());
            QVERIFY(!error.isEmpty());
        }
        QVERIFY(!QFile::exists(outer.filePath("x.ini")));
        QCOMPARE(QDir(outer.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"store"});
        QCOMPARE(QDir(inner).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }

    void failuresAreReportedAndLoseNothing() {
        QVERIFY(store().AddTask(task("A"), {"a.mp3"}).result.ok);
        // The playlist cannot be written: the task must not be left stored without it.
        QVERIFY(QDir(m_dir.path()).mkdir("B.ini"));
        auto r = store().AddTask(task("B"), {"b.mp3"});
        QVERIFY(!r.result.ok);
        QCOMPARE(names(r.rows), QStringList{"A"});
        QCOMPARE(names(store().ReadTaskRows()), QStringList{"A"});
        // Text the code page cannot hold is refused, not replaced.
        r = store().AddTask(task(QStringLiteral("한국어")), {});
        QVERIFY(!r.result.ok);
        QVERIFY(!store().AddTask(task("C"), {QStringLiteral("/m/😀.mp3")}).result.ok);
        QCOMPARE(names(store().ReadTaskRows()), QStringList{"A"});
    }

    // The playlist is written before song.ini; when song.ini then cannot be written (a
    // full disk), the playlist is put back as it was.
    void failedTaskFileWritePutsThePlaylistBack() {
        QList<PlayTask> rows;
        for (int i = 0; i < 3000; ++i)
            rows << task(QStringLiteral("任务%1").arg(i));
        QVERIFY(store().RewriteTaskStore(rows));
        QVERIFY(store().WriteTaskPlaylist(QStringLiteral("任务1"), {"old.mp3"}));
        const QByteArray song = readFileBytes(store().songFile());
        const QByteArray playlist = readFileBytes(m_dir.filePath(QStringLiteral("任务1.ini")));
        QVERIFY(song.size() > 100000);

        // Files of this process may grow to 64 KiB: the playlist fits, song.ini does not.
        rlimit limit{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit small{64 * 1024, limit.rlim_max};
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const auto modified =
            store().ModifyTask(1, rows[1], task(QStringLiteral("任务1"), "09:00:00"), {"new.mp3"},
                               {QStringLiteral("夏季"), QStringList{"操场"}});
        const auto added = store().AddTask(task(QStringLiteral("新任务")), {"n.mp3"});
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, previous);

        QVERIFY(!modified.result.ok);
        QVERIFY(!added.result.ok);
        QVERIFY(!modified.result.error.isEmpty());
        QCOMPARE(readFileBytes(store().songFile()), song);
        QCOMPARE(readFileBytes(m_dir.filePath(QStringLiteral("任务1.ini"))), playlist);
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("新任务.ini"))));
        QCOMPARE(modified.rows, rows);
        // The entries written before song.ini are taken back with it.
        Timetables timetables(m_dir.path());
        timetables.load();
        QVERIFY(timetables.taskTimetables().isEmpty());
        CampusConfig campus(m_dir.path());
        campus.load();
        QVERIFY(campus.taskZones().isEmpty());
    }

    // Marked read-only (the lock could not be made): every change is refused with the
    // reason before anything is written; reading goes on.
    void readOnlyStoreRefusesEveryChange() {
        QVERIFY(store().AddTask(task("A"), {"a.mp3"}).result.ok);
        const QByteArray song = readFileBytes(store().songFile());
        StoreDirectory::markReadOnly(
            m_dir.path(), QStringLiteral("数据目录不可写：%1（没有写入权限）").arg(m_dir.path()));
        const auto add = store().AddTask(task("B"), {"b.mp3"});
        const auto modify = store().ModifyTask(0, task("A"), task("A", "09:00:00"), {"c.mp3"});
        const auto remove = store().DeleteTask(0, task("A"));
        const StoreResult playlist = store().WriteTaskPlaylist("A", {"d.mp3"});
        const StoreResult rewrite = store().RewriteTaskStore({});
        StoreDirectory::markReadOnly(m_dir.path(), QString());
        for (const StoreResult &r : {add.result, modify.result, remove.result, playlist, rewrite}) {
            QVERIFY(!r.ok);
            QVERIFY2(r.error.startsWith(QStringLiteral("数据目录不可写：") + m_dir.path()),
                     qPrintable(r.error));
        }
        QCOMPARE(add.rows, QList<PlayTask>{task("A")});
        QCOMPARE(readFileBytes(store().songFile()), song);
        QCOMPARE(store().ReadTaskPlaylist("A"), TaskPlaylist{"a.mp3"});
        QVERIFY(!QFile::exists(m_dir.filePath("B.ini")));
    }

    void unreadableTaskFileIsNeverTakenForAnEmptyOne() {
        TaskStore s(m_dir.path());
        QVERIFY(QDir(m_dir.path()).mkdir("song.ini"));
        auto r = s.AddTask(task("A"), {});
        QVERIFY(!r.result.ok);
        QVERIFY(QFileInfo(s.songFile()).isDir());
    }
};

QTEST_GUILESS_MAIN(TestTaskStore)
#include "test_task_store.moc"
