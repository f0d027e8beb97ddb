#include "TestFiles.h"
#include "store/ProfileStore.h"
#include "store/TaskStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

PlayTask task(const QString &name, const QString &time = QStringLiteral("08:30:00"),
              const QString &device = QStringLiteral("每天"))
{
    return {name, time, QStringLiteral("08:45:00"), QStringLiteral("60000"), device,
            QStringLiteral("顺序播放"), QString()};
}

QByteArray gbk(const QString &text) { return Gbk::encode(text).value(); }

QStringList names(const QList<PlayTask> &rows)
{
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
    void init()
    {
        QDir dir(m_dir.path());
        for (const QString &entry : dir.entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden))
            QFileInfo(dir.filePath(entry)).isDir() ? QDir(dir.filePath(entry)).removeRecursively()
                                                   : dir.remove(entry);
    }

    void firstTaskCreatesTheFileInItsLayout()
    {
        QVERIFY(store().ReadTaskRows().isEmpty());
        QVERIFY(store().LoadScheduleTable().isEmpty());
        PlayTask weekly = task(QStringLiteral("早操"), QStringLiteral("08:30:00"), QStringLiteral("周一周五"));
        auto r = store().AddTask(weekly, {QStringLiteral("/音乐/a.mp3"), QStringLiteral("http://x/y.mp3")});
        QVERIFY2(r.result.ok, qPrintable(r.result.error));
        QCOMPARE(readFileBytes(store().songFile()),
                 gbk(QStringLiteral("[FileInfo0]\r\nName=早操\r\nTime=08:30:00\r\nDuration=08:45:00\r\n"
                                    "Type=60000\r\nDevice=周一周五\r\nRecurrence=顺序播放\r\nNotes=\r\n")));
        QCOMPARE(readFileBytes(m_dir.filePath(QStringLiteral("早操.ini"))),
                 gbk(QStringLiteral("[歌曲]\r\n歌曲名称0=/音乐/a.mp3\r\n歌曲名称1=http://x/y.mp3\r\n"
                                    "[多媒体文件数量]\r\n数量=2\r\n")));
        QCOMPARE(r.rows, QList<PlayTask>{weekly});
        QCOMPARE(r.schedule, ScheduleTable{weekly});
    }

    void deletingRenumbersAndRemovesThePlaylist()
    {
        for (const char *n : {"A", "B", "C", "D"})
            QVERIFY(store().AddTask(task(QString::fromLatin1(n)), {QStringLiteral("x.mp3")}).result.ok);
        auto r = store().DeleteTask(1, task("B"));
        QVERIFY(r.result.ok);
        QCOMPARE(names(r.rows), (QStringList{"A", "C", "D"}));
        QCOMPARE(ProfileStore::sectionNames(store().songFile()),
                 (QStringList{"FileInfo0", "FileInfo1", "FileInfo2"}));
        QCOMPARE(ProfileStore::readString(store().songFile(), "FileInfo1", "Name"), QStringLiteral("C"));
        QVERIFY(!QFile::exists(m_dir.filePath("B.ini")));

        r = store().DeleteTask(2, task("D"));
        QCOMPARE(names(r.schedule), (QStringList{"A", "C"}));
        r = store().DeleteTask(0, task("A"));
        r = store().DeleteTask(0, task("C"));
        QVERIFY(r.result.ok);
        QVERIFY(!QFile::exists(store().songFile()));
        QVERIFY(r.rows.isEmpty() && r.schedule.isEmpty());
    }

    void changesActOnlyOnTheTaskTheCallerSaw()
    {
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

    void deleteSparesAPlaylistAnotherTaskStillUses()
    {
        // Old files may hold two tasks with one name, and so one playlist.
        QVERIFY(store().RewriteTaskStore({task("同名"), task("同名")}));
        QVERIFY(store().WriteTaskPlaylist("同名", {"a.mp3"}));
        QVERIFY(store().DeleteTask(0, task("同名")).result.ok);
        QCOMPARE(store().ReadTaskPlaylist("同名"), TaskPlaylist{"a.mp3"});
    }

    void weeklyTaskWithNoDayIsStoredEmpty()
    {
        PlayTask none{QStringLiteral("空"), {}, {}, QStringLiteral("60000"), {}, QStringLiteral("循环播放"), {}};
        QVERIFY(store().AddTask(none, {}).result.ok);
        QCOMPARE(store().ReadTaskRows(), QList<PlayTask>{none});
        QVERIFY(readFileBytes(store().songFile()).contains("Time=\r\nDuration=\r\n"));
    }

    void countIsTheAuthorityOverItems()
    {
        QVERIFY(writeFileBytes(m_dir.filePath("P.ini"),
                 gbk(QStringLiteral("[歌曲]\r\n歌曲名称0=a\r\n歌曲名称1=b\r\n歌曲名称2=c\r\n歌曲名称3=d\r\n"
                                    "歌曲名称4=e\r\n[多媒体文件数量]\r\n数量=2\r\n"))));
        QCOMPARE(store().ReadTaskPlaylist("P"), (TaskPlaylist{"a", "b"}));
        QVERIFY(store().WriteTaskPlaylist("P", {"z"}));
        QCOMPARE(store().ReadTaskPlaylist("P"), TaskPlaylist{"z"});
        QCOMPARE(ProfileStore::readString(m_dir.filePath("P.ini"), "歌曲", "歌曲名称4"), QStringLiteral("e"));
        // Items missing below the count read as empty; a damaged count does not exhaust memory.
        QVERIFY(writeFileBytes(m_dir.filePath("Q.ini"), gbk(QStringLiteral("[多媒体文件数量]\r\n数量=3\r\n[歌曲]\r\n歌曲名称1=b\r\n"))));
        QCOMPARE(store().ReadTaskPlaylist("Q"), (TaskPlaylist{"", "b", ""}));
        QVERIFY(writeFileBytes(m_dir.filePath("R.ini"), gbk(QStringLiteral("[多媒体文件数量]\r\n数量=2000000000\r\n"))));
        QCOMPARE(store().ReadTaskPlaylist("R").size(), 100000);
        QVERIFY(store().ReadTaskPlaylist("missing").isEmpty());
    }

    void sectionsNotOfTheNumberedFormAreCountedButReadByName()
    {
        QVERIFY(writeFileBytes(store().songFile(),
                 gbk(QStringLiteral("[FileInfo0]\r\nName=甲\r\nTime=08:00:00\r\n[手工]\r\nname=乙\r\n"
                                    "TIME=09:00:00\r\ntype=10000\r\n"))));
        const auto rows = store().ReadTaskRows();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].Name, QStringLiteral("甲"));
        QCOMPARE(rows[1], PlayTask{});
        const auto schedule = store().LoadScheduleTable();
        QCOMPARE(schedule.size(), 2);
        QCOMPARE(schedule[1].Name, QStringLiteral("乙"));
        QCOMPARE(schedule[1].Time, QStringLiteral("09:00:00"));
        QCOMPARE(schedule[1].Type, QStringLiteral("10000"));
        QVERIFY(store().RewriteTaskStore(rows));
        QCOMPARE(ProfileStore::sectionNames(store().songFile()), (QStringList{"FileInfo0", "FileInfo1"}));
    }

    void longAndDoubleByteValuesComeBackWhole()
    {
        PlayTask t = task(QString(80, QChar(u'长')) + QStringLiteral("x"));
        t.Type = QString(200, QLatin1Char('9'));
        const TaskPlaylist items{QStringLiteral("/媒体/") + QString(150, QChar(u'歌')) + QStringLiteral(".mp3"),
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
    }

    void tenThousandTasksRoundTrip()
    {
        QList<PlayTask> rows;
        for (int i = 0; i < 10000; ++i)
            rows << task(QStringLiteral("任务%1").arg(i), QStringLiteral("%1:00:00").arg(i % 24, 2, 10, QChar('0')));
        QVERIFY(store().RewriteTaskStore(rows));
        QCOMPARE(store().ReadTaskRows(), rows);
        QCOMPARE(store().LoadScheduleTable(), rows);
    }

    void namesThatWouldLeaveTheDirectoryAreRefused()
    {
        QTemporaryDir outer;
        const QString inner = outer.filePath("store");
        QVERIFY(QDir().mkpath(inner));
        TaskStore s(inner);
        for (const QString &name : {QStringLiteral("../x"), QStringLiteral("a/b"), QStringLiteral(".."),
                                    QStringLiteral("a\\b"), QString(), QStringLiteral("x") + QChar(u'\0')}) {
            QVERIFY(!s.WriteTaskPlaylist(name, {"a.mp3"}).ok);
            QVERIFY(!s.DeleteTaskPlaylist(name).ok);
            QVERIFY(!s.AddTask(task(name), {}).result.ok);
            QString error;
            QVERIFY(s.ReadTaskPlaylist(name, &error).isEmpty());
            QVERIFY(!error.isEmpty());
        }
        QVERIFY(!QFile::exists(outer.filePath("x.ini")));
        QCOMPARE(QDir(outer.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"store"});
        QCOMPARE(QDir(inner).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    void failuresAreReportedAndLoseNothing()
    {
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

    void unreadableTaskFileIsNeverTakenForAnEmptyOne()
    {
        TaskStore s(m_dir.path());
        QVERIFY(QDir(m_dir.path()).mkdir("song.ini"));
        auto r = s.AddTask(task("A"), {});
        QVERIFY(!r.result.ok);
        QVERIFY(QFileInfo(s.songFile()).isDir());
    }
};

QTEST_GUILESS_MAIN(TestTaskStore)
#include "test_task_store.moc"
