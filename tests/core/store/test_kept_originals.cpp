#include "TestFiles.h"
#include "store/HolidayList.h"
#include "store/KeptOriginals.h"
#include "store/MakeupWorkdays.h"
#include "store/OptionFlags.h"
#include "store/ProfileStore.h"
#include "store/TaskStore.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

PlayTask task(const QString &name) {
    return {name,
            QStringLiteral("08:30:00"),
            QStringLiteral("08:45:00"),
            QStringLiteral("60000"),
            QStringLiteral("每天"),
            QStringLiteral("顺序播放"),
            QString()};
}

QByteArray gbk(const char *utf8) {
    return Gbk::encode(QString::fromUtf8(utf8)).value();
}

// The copies kept in dir, by name.
QStringList copies(const QString &dir) {
    return QDir(dir).entryList({QStringLiteral("*.bak-*")}, QDir::Files, QDir::Name);
}

} // namespace

class TestKeptOriginals : public QObject {
    Q_OBJECT

private slots:
    void aTaskFileTheRewriteWouldChangeIsKeptOnceBeforeIt() {
        QTemporaryDir dir;
        // A note line and an unknown key inside a task: the rewrite keeps neither.
        const QByteArray stored = "[FileInfo0]\r\nName=" + gbk("早操") +
                                  "\r\n; 手改\r\nTime=08:00:00\r\nDuration=08:10:00\r\n"
                                  "Type=60000\r\nDevice=" +
                                  gbk("每天") + "\r\nRecurrence=" + gbk("顺序播放") +
                                  "\r\nNotes=\r\nColour=red\r\n";
        QVERIFY(writeFileBytes(dir.filePath("song.ini"), stored));
        QSignalSpy kept(&KeptOriginals::Notices::instance(), &KeptOriginals::Notices::kept);
        const TaskStore store(dir.path());

        QVERIFY(store.AddTask(task(QStringLiteral("午休")), {}).result);
        const QStringList made = copies(dir.path());
        QCOMPARE(made.size(), 1);
        QVERIFY(made.first().startsWith(QLatin1String("song.ini.bak-")));
        QVERIFY(!made.first().endsWith(QLatin1String(".ini")));
        QCOMPARE(readFileBytes(dir.filePath(made.first())), stored);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept.first().at(1).toString(), dir.filePath(made.first()));
        QVERIFY(KeptOriginals::message(kept.first().at(0).toString(), kept.first().at(1).toString())
                    .contains(made.first()));

        // Once per file per run, and the copy is no task and no playlist.
        QVERIFY(store.AddTask(task(QStringLiteral("放学")), {}).result);
        QCOMPARE(copies(dir.path()).size(), 1);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(store.ReadTaskRows().size(), 3);
    }

    void aFileTheRewriteGivesBackIsNotCopied() {
        QTemporaryDir dir;
        const TaskStore store(dir.path());
        QVERIFY(store.RewriteTaskStore({task(QStringLiteral("早操"))}));
        // The same file with the line ends of an editor on this system.
        QByteArray lf = readFileBytes(store.songFile());
        lf.replace("\r\n", "\n");
        QVERIFY(writeFileBytes(store.songFile(), lf));
        QVERIFY(writeFileBytes(dir.filePath(OptionFlags::fileName()),
                               "[" + gbk("复选控制") + "]\r\n; note\r\n"));
        QSignalSpy kept(&KeptOriginals::Notices::instance(), &KeptOriginals::Notices::kept);

        QVERIFY(store.AddTask(task(QStringLiteral("午休")), {QStringLiteral("/a.mp3")}).result);
        OptionFlags flags(dir.path());
        QVERIFY(flags.set(OptionFlags::Monday, true));
        QVERIFY(copies(dir.path()).isEmpty());
        QCOMPARE(kept.size(), 0);
    }

    void deletingTheLastTaskKeepsAFileWithMoreThanTasks() {
        QTemporaryDir dir;
        const TaskStore store(dir.path());
        // Written elsewhere: this run has not rewritten the file yet.
        const QByteArray stored = "[FileInfo0]\r\nName=a\r\nTime=08:00:00\r\nExtra=1\r\n";
        QVERIFY(writeFileBytes(store.songFile(), stored));

        QVERIFY(store.DeleteTask(0, store.ReadTaskRows().first()).result);
        QVERIFY(!QFile::exists(store.songFile()));
        const QStringList made = copies(dir.path());
        QCOMPARE(made.size(), 1);
        QCOMPARE(readFileBytes(dir.filePath(made.first())), stored);
    }

    void holidayAndMakeupFilesKeepWhatTheRewriteDrops() {
        QTemporaryDir dir;
        // Dates beyond the count, out of order, and a section of someone else's.
        const QByteArray dates = "[Holiday]\r\nDate0=2026-10-02\r\nDate1=2026-10-01\r\n"
                                 "Date2=2026-10-03\r\n[The number of date]\r\nquantity=2\r\n"
                                 "[Mine]\r\nx=1\r\n";
        QVERIFY(writeFileBytes(dir.filePath(HolidayList::fileName()), dates));
        // The same date twice: the list holds it once.
        const QByteArray makeup = "[" + gbk("调休上班") + "]\r\n2026-09-28=" + gbk("周一") +
                                  "\r\n2026-09-28=" + gbk("周二") + "\r\n";
        QVERIFY(writeFileBytes(dir.filePath(MakeupWorkdays::fileName()), makeup));

        HolidayList holidays(dir.path());
        holidays.load();
        QCOMPARE(holidays.add(QStringLiteral("2026-12-25")), 2);
        MakeupWorkdays days(dir.path());
        days.load();
        QVERIFY(days.set(QStringLiteral("2026-10-11"), 6));

        const QStringList made = copies(dir.path());
        QCOMPARE(made.size(), 2);
        for (const QString &name : made) {
            const QByteArray expected = name.startsWith(HolidayList::fileName()) ? dates : makeup;
            QCOMPARE(readFileBytes(dir.filePath(name)), expected);
        }
    }

    void aMakeupFileInUtf8StaysUtf8() {
        QTemporaryDir dir;
        const QByteArray bom = "\xEF\xBB\xBF";
        QVERIFY(writeFileBytes(dir.filePath(MakeupWorkdays::fileName()),
                               bom + QStringLiteral("[调休上班]\r\n").toUtf8()));
        MakeupWorkdays days(dir.path());
        days.load();
        QVERIFY(days.set(QStringLiteral("2026-10-11"), 6));
        QCOMPARE(readFileBytes(dir.filePath(MakeupWorkdays::fileName())),
                 bom + QStringLiteral("[调休上班]\r\n2026-10-11=周六\r\n").toUtf8());
    }

    void aFileThatCannotBeReadIsNeverReplaced() {
        QTemporaryDir dir;
        // A folder in the file's place: nothing can be copied, so nothing is written.
        QVERIFY(QDir(dir.path()).mkdir(HolidayList::fileName()));
        HolidayList holidays(dir.path());
        holidays.load();
        StoreResult result;
        QCOMPARE(holidays.add(QStringLiteral("2026-12-25"), &result), -1);
        QVERIFY(!result);
        QVERIFY(result.error.contains(HolidayList::fileName()));
        QVERIFY(holidays.dates().isEmpty());
        QVERIFY(QFileInfo(dir.filePath(HolidayList::fileName())).isDir());
    }

    void aCopyNeverOverwritesAnEarlierOne() {
        QTemporaryDir dir;
        const QDateTime when(QDate(2026, 12, 8), QTime(4, 45, 12));
        QCOMPARE(KeptOriginals::copyName(QStringLiteral("date.ini"), when),
                 QStringLiteral("date.ini.bak-20261208-044512"));
        const QString path = dir.filePath(QStringLiteral("date.ini"));
        QVERIFY(writeFileBytes(path, "[Mine]\r\nx=1\r\n"));
        // Earlier copies of this second and the next, whichever the clock is at.
        const QDateTime now = QDateTime::currentDateTime();
        for (const QDateTime &at : {now, now.addSecs(1)})
            QVERIFY(writeFileBytes(
                dir.filePath(KeptOriginals::copyName(QStringLiteral("date.ini"), at)), "old"));

        QVERIFY(KeptOriginals::beforeRewrite(path, [](const QByteArray &) { return "new"; }));
        const QStringList made = copies(dir.path());
        QCOMPARE(made.size(), 3);
        int originals = 0;
        for (const QString &name : made)
            originals += readFileBytes(dir.filePath(name)) == "[Mine]\r\nx=1\r\n";
        QCOMPARE(originals, 1);
    }
};

QTEST_GUILESS_MAIN(TestKeptOriginals)
#include "test_kept_originals.moc"
