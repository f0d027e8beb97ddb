// Backup and import of the store's files, on temporary folders.
#include "TestFiles.h"
#include "store/StoreTransfer.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using StoreTransfer::Direction;

namespace {

const QString kSong = QStringLiteral("song.ini");
const QString kDone[] = {StoreTransfer::doneMessage(Direction::Backup),
                         StoreTransfer::doneMessage(Direction::Import)};

void put(const QString &path, const QByteArray &bytes) {
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QVERIFY(writeFileBytes(path, bytes));
}

// Every entry below dir ("sub/" for folders) with the files' bytes.
QMap<QString, QByteArray> snapshot(const QString &dir) {
    QMap<QString, QByteArray> tree;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString name = QDir(dir).relativeFilePath(it.filePath());
        if (it.fileInfo().isSymLink())
            tree.insert(name, "-> " + QFile::encodeName(it.fileInfo().symLinkTarget()));
        else if (it.fileInfo().isDir())
            tree.insert(name + QLatin1Char('/'), {});
        else
            tree.insert(name, readFileBytes(it.filePath()));
    }
    return tree;
}

// A small store: tasks, a playlist, holidays, flags, and things that are not store files.
void fillStore(const QString &dir, const QByteArray &tag) {
    put(dir + "/song.ini", "[FileInfo0]\r\nName=早操" + tag + "\r\n");
    put(dir + "/早操.ini", "[歌曲]\r\n歌曲名称0=/music/" + tag + ".mp3\r\n");
    put(dir + "/date.ini", "[Holiday]\r\nDate0=2026-10-01" + tag + "\r\n");
    put(dir + "/notes.txt", "not a store file");
    put(dir + "/播放记录/2026-12.csv", "时间,事件");
}

} // namespace

class TestStoreTransfer : public QObject {
    Q_OBJECT

private slots:
    void backupTwiceReplacesAndLeavesTheStoreAlone() {
        QTemporaryDir store, target;
        fillStore(store.path(), "a");
        QVERIFY(StoreTransfer::run(Direction::Backup, store.path(), target.path()).report.ok());
        QCOMPARE(readFileBytes(target.filePath(kSong)), readFileBytes(store.filePath(kSong)));

        fillStore(store.path(), "b");
        const auto before = snapshot(store.path());
        const StoreTransfer::Outcome second =
            StoreTransfer::run(Direction::Backup, store.path(), target.path());
        QVERIFY(second.report.ok());
        QVERIFY(!second.refused);
        QVERIFY(!second.storeChanged);
        QCOMPARE(second.message, kDone[0]);
        QCOMPARE(snapshot(store.path()), before);
        // Only the .ini files, each replaced by the newer copy.
        const auto copied = snapshot(target.path());
        QCOMPARE(copied.keys(),
                 (QStringList{QStringLiteral("date.ini"), kSong, QStringLiteral("早操.ini")}));
        for (auto it = copied.cbegin(); it != copied.cend(); ++it)
            QCOMPARE(it.value(), before.value(it.key()));
    }

    void importAddsAndReplacesButNeverDeletes() {
        QTemporaryDir store, backup;
        fillStore(store.path(), "old");
        put(store.filePath("复选控制.ini"), "[复选控制]\r\n周一=1\r\n");
        put(backup.filePath(kSong), "[FileInfo0]\r\nName=new\r\n");
        put(backup.filePath("new.ini"), "[歌曲]\r\n");
        const QByteArray keptDate = readFileBytes(store.filePath("date.ini"));

        const StoreTransfer::Outcome outcome =
            StoreTransfer::run(Direction::Import, store.path(), backup.path());
        QVERIFY(outcome.report.ok());
        QVERIFY(outcome.storeChanged);
        QVERIFY2(outcome.message.startsWith(kDone[1] + "\n已导入 2 个文件。"),
                 qPrintable(outcome.message));
        QCOMPARE(readFileBytes(store.filePath(kSong)), QByteArray("[FileInfo0]\r\nName=new\r\n"));
        QCOMPARE(readFileBytes(store.filePath("new.ini")), QByteArray("[歌曲]\r\n"));
        QCOMPARE(readFileBytes(store.filePath("date.ini")), keptDate);
        QVERIFY(QFile::exists(store.filePath("早操.ini")));
        QVERIFY(QFile::exists(store.filePath("复选控制.ini")));
        QVERIFY(QFile::exists(store.filePath("notes.txt")));
        // No temporary file is left behind.
        const QStringList hidden = QDir(store.path()).entryList(QDir::Hidden | QDir::Files);
        QVERIFY2(hidden.filter(QStringLiteral(".horalet-")).isEmpty(),
                 qPrintable(hidden.join(' ')));
    }

    void importReplacesEachFileWholeAndSongIniLast() {
        QTemporaryDir store, backup;
        put(store.filePath(kSong), "old tasks");
        put(backup.filePath(kSong), "new tasks");
        for (const char *name : {"a.ini", "z.ini", "Song.INI.ini", "周五.ini"})
            put(backup.filePath(QString::fromUtf8(name)), name);
        // A reader that opened the old file goes on reading all of it: the new file took the
        // old one's place by a rename, the old one was never cut or overwritten in place.
        QFile reader(store.filePath(kSong));
        QVERIFY(reader.open(QIODevice::ReadOnly));

        const StoreTransfer::CopyReport report =
            StoreTransfer::copyIniEntries(backup.path(), store.path());
        QVERIFY(report.ok());
        QCOMPARE(report.copied.size(), 5);
        QCOMPARE(QFileInfo(report.copied.last()).fileName(), kSong);
        QCOMPARE(reader.readAll(), QByteArray("old tasks"));
        QCOMPARE(readFileBytes(store.filePath(kSong)), QByteArray("new tasks"));
    }

    void onlyIniEntriesAreCopied() {
        QTemporaryDir source, target;
        for (const char *name : {"a.ini", "B.INI", ".hidden.ini", "c.ini.bak", "d.txt", "ini",
                                 "e.ini~", "plain/f.ini"})
            put(source.filePath(QString::fromUtf8(name)), name);
        QVERIFY(StoreTransfer::copyIniEntries(source.path(), target.path()).ok());
        // Matched without regard to case, as on the system the files may come from.
        QCOMPARE(snapshot(target.path()).keys(),
                 (QStringList{QStringLiteral(".hidden.ini"), QStringLiteral("B.INI"),
                              QStringLiteral("a.ini")}));
        QCOMPARE(readFileBytes(target.filePath("B.INI")), QByteArray("B.INI"));
    }

    void aFolderNamedLikeAnIniFileIsCopiedWhole() {
        QTemporaryDir source, target;
        put(source.filePath("x.ini/y.ini"), "y");
        put(source.filePath("x.ini/z.txt"), "z");
        put(source.filePath("x.ini/w.ini/v.ini"), "v");
        put(source.filePath("x.ini/other/u.ini"), "u");
        QVERIFY(StoreTransfer::copyIniEntries(source.path(), target.path()).ok());
        QCOMPARE(snapshot(target.path()).keys(),
                 (QStringList{QStringLiteral("x.ini/"), QStringLiteral("x.ini/w.ini/"),
                              QStringLiteral("x.ini/w.ini/v.ini"), QStringLiteral("x.ini/y.ini")}));
        QCOMPARE(readFileBytes(target.filePath("x.ini/w.ini/v.ini")), QByteArray("v"));
    }

    void aFolderNeverTakesThePlaceOfAStoreFile() {
        QTemporaryDir store, backup;
        put(backup.filePath("SONG.ini/inner.ini"), "a folder where the tasks belong");
        put(backup.filePath("date.ini/inner.ini"), "a folder where the holidays belong");
        put(backup.filePath("早操.ini"), "list");
        put(backup.filePath("sub.ini/song.ini"), "deeper down it is just a file");
        const StoreTransfer::Outcome outcome =
            StoreTransfer::run(Direction::Import, store.path(), backup.path());
        QCOMPARE(outcome.report.failures.size(), 2);
        QVERIFY(outcome.message.contains(backup.filePath("SONG.ini")));
        QVERIFY(outcome.message.contains(backup.filePath("date.ini")));
        QCOMPARE(snapshot(store.path()).keys(),
                 (QStringList{QStringLiteral("sub.ini/"), QStringLiteral("sub.ini/song.ini"),
                              QStringLiteral("早操.ini")}));
        // A backup carries such a folder like any other.
        QTemporaryDir target;
        QVERIFY(StoreTransfer::run(Direction::Backup, backup.path(), target.path()).report.ok());
        QVERIFY(QFile::exists(target.filePath("SONG.ini/inner.ini")));
    }

    void aMissingDestinationIsMade() {
        QTemporaryDir source, target;
        put(source.filePath(kSong), "tasks");
        const QString deep = target.filePath("new/deeper");
        QVERIFY(StoreTransfer::run(Direction::Backup, source.path(), deep).report.ok());
        QCOMPARE(readFileBytes(deep + "/song.ini"), QByteArray("tasks"));
    }

    // Root may write anywhere, so the failures here are things in the way.
    void everyFailureIsReportedByNameAndTheRestIsCopied() {
        QTemporaryDir source, target;
        put(source.filePath(kSong), "tasks");
        put(source.filePath("date.ini"), "dates");
        put(source.filePath("早操.ini"), "list");
        put(source.filePath("sub.ini/inner.ini"), "inner");
        put(target.filePath("song.ini/keep.txt"), "a folder where song.ini goes");
        put(target.filePath("sub.ini"), "a file where a folder goes");

        const StoreTransfer::Outcome outcome =
            StoreTransfer::run(Direction::Backup, source.path(), target.path());
        QVERIFY(!outcome.refused);
        QCOMPARE(outcome.report.failures.size(), 2);
        QCOMPARE(outcome.report.copied.size(), 2);
        QVERIFY(!outcome.message.contains(kDone[0]));
        QVERIFY2(outcome.message.contains(target.filePath(kSong)), qPrintable(outcome.message));
        QVERIFY2(outcome.message.contains(target.filePath("sub.ini")), qPrintable(outcome.message));
        QVERIFY(outcome.message.contains(QStringLiteral("未能备份")));
        QCOMPARE(readFileBytes(target.filePath("date.ini")), QByteArray("dates"));
        QCOMPARE(readFileBytes(target.filePath("sub.ini")),
                 QByteArray("a file where a folder goes"));
        QVERIFY(QFileInfo(target.filePath(kSong)).isDir());
    }

    void aReadOnlyDestinationIsReportedWithTheFileNames_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("backup into a read-only folder") << QStringLiteral("backup");
        QTest::newRow("import into a read-only store") << QStringLiteral("import");
    }
    void aReadOnlyDestinationIsReportedWithTheFileNames() {
        QFETCH(QString, command);
        if (::geteuid() != 0)
            QSKIP("needs root to run the copy as another user");
        QTemporaryDir store, folder;
        const bool backup = command == QLatin1String("backup");
        const QString from = backup ? store.path() : folder.path();
        const QString to = backup ? folder.path() : store.path();
        put(from + "/song.ini", "[FileInfo0]\r\nName=tasks\r\n");
        put(from + "/date.ini", "dates");
        put(to + "/date.ini", "old dates");
        // Readable by all, writable by none but root; the copy runs as "nobody".
        QVERIFY(::chmod(QFile::encodeName(from).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(from + "/song.ini").constData(), 0644) == 0);
        QVERIFY(::chmod(QFile::encodeName(from + "/date.ini").constData(), 0644) == 0);
        QVERIFY(::chmod(QFile::encodeName(to).constData(), 0555) == 0);
        const auto before = snapshot(to);

        QProcess child;
        child.start(QStringLiteral("setpriv"),
                    {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                     QStringLiteral("--clear-groups"), QStringLiteral(STORE_TRANSFER_TOOL), command,
                     store.path(), folder.path()});
        QVERIFY(child.waitForFinished(30000));
        const QString message = QString::fromUtf8(child.readAllStandardOutput());
        // An import refuses at once: not even the copy of the store as it was can be made.
        QVERIFY2(child.exitCode() == (backup ? 1 : 2),
                 qPrintable(message + QString::fromLocal8Bit(child.readAllStandardError())));
        if (backup)
            QVERIFY2(message.contains(to + "/song.ini") && message.contains(to + "/date.ini"),
                     qPrintable(message));
        else
            QVERIFY2(message.startsWith(QStringLiteral("没有导入")) && message.contains(to),
                     qPrintable(message));
        QVERIFY(!message.contains(kDone[0]) && !message.contains(kDone[1]));
        QCOMPARE(snapshot(to), before);
    }

    void theStoreItselfIsRefused() {
        QTemporaryDir store, elsewhere;
        fillStore(store.path(), "a");
        QVERIFY(QDir(store.path()).mkdir("inside"));
        QVERIFY(QFile::link(store.path(), elsewhere.filePath("link-to-store")));
        const auto before = snapshot(store.path());

        const QString refused[][2] = {
            {QStringLiteral("backup"), store.path()},
            {QStringLiteral("backup"), store.path() + QStringLiteral("/")},
            {QStringLiteral("backup"), store.filePath("inside")},
            {QStringLiteral("backup"), store.filePath("inside/not-yet")},
            {QStringLiteral("backup"), elsewhere.filePath("link-to-store")},
            {QStringLiteral("import"), store.path()},
            {QStringLiteral("import"), elsewhere.filePath("link-to-store")},
        };
        for (const auto &[command, folder] : refused) {
            const Direction direction =
                command == QLatin1String("backup") ? Direction::Backup : Direction::Import;
            const StoreTransfer::Outcome outcome =
                StoreTransfer::run(direction, store.path(), folder);
            QVERIFY2(outcome.refused, qPrintable(command + ' ' + folder));
            QVERIFY(!outcome.storeChanged);
            QVERIFY(outcome.message.contains(store.path()));
            QVERIFY(outcome.report.copied.isEmpty());
        }
        QCOMPARE(snapshot(store.path()), before);

        // An import from a folder inside the store is an ordinary import.
        put(store.filePath("inside/extra.ini"), "extra");
        const auto fromInside =
            StoreTransfer::run(Direction::Import, store.path(), store.filePath("inside"));
        QVERIFY(!fromInside.refused);
        QCOMPARE(readFileBytes(store.filePath("extra.ini")), QByteArray("extra"));
    }

    void aFolderIsNeverCopiedIntoItself() {
        QTemporaryDir top;
        // The store is itself a folder named like a store file, inside the folder imported.
        const QString store = top.filePath("data.ini");
        put(store + "/song.ini", "[FileInfo0]\r\nName=current\r\n");
        put(top.filePath("song.ini"), "[FileInfo0]\r\nName=imported\r\n");
        QVERIFY(QFile::link(top.path(), top.filePath("loop.ini")));

        const StoreTransfer::Outcome outcome =
            StoreTransfer::run(Direction::Import, store, top.path());
        QCOMPARE(readFileBytes(store + "/song.ini"),
                 QByteArray("[FileInfo0]\r\nName=imported\r\n"));
        // The store inside is refused; the link is not even followed.
        QCOMPARE(outcome.report.failures.size(), 1);
        QCOMPARE(outcome.report.skipped.size(), 1);
        QVERIFY(outcome.message.contains(top.filePath("data.ini")));
        QVERIFY(outcome.message.contains(top.filePath("loop.ini") + "”是符号链接"));
        QVERIFY(!QFileInfo::exists(store + "/data.ini"));

        // A link back to a folder being copied is left out, not followed for ever.
        QTemporaryDir source, target;
        put(source.filePath("sub.ini/a.ini"), "a");
        QVERIFY(QFile::link(source.path(), source.filePath("sub.ini/up.ini")));
        const StoreTransfer::CopyReport report =
            StoreTransfer::copyIniEntries(source.path(), target.path());
        QVERIFY(report.ok());
        QCOMPARE(report.skipped.size(), 1);
        QVERIFY(report.skipped.first().contains(source.filePath("sub.ini/up.ini")));
        QCOMPARE(readFileBytes(target.filePath("sub.ini/a.ini")), QByteArray("a"));
    }

    void nothingToCopyIsNotCalledDone() {
        QTemporaryDir store, empty;
        put(empty.filePath("readme.txt"), "no tasks here");
        const StoreTransfer::Outcome imported =
            StoreTransfer::run(Direction::Import, store.path(), empty.path());
        QVERIFY(imported.report.ok());
        QVERIFY(imported.report.copied.isEmpty());
        QVERIFY(imported.message.contains(empty.path()));
        QVERIFY(imported.message != kDone[1]);

        const StoreTransfer::Outcome missing =
            StoreTransfer::run(Direction::Import, store.path(), empty.filePath("gone"));
        QVERIFY(missing.refused);
        QVERIFY(missing.message.contains(empty.filePath("gone")));
    }

    // What may lie in a folder handed to the program: a pipe, links to a device and to a
    // private file, a file too large to be a store file. Each is listed and left alone; the
    // copy runs in a child with bounded memory and time, so a pipe opened or a device read
    // would fail the test instead of hanging it.
    void onlyRegularFilesAreCopied_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("import") << QStringLiteral("import");
        QTest::newRow("backup") << QStringLiteral("backup");
    }
    void onlyRegularFilesAreCopied() {
        QFETCH(QString, command);
        QTemporaryDir store, folder, elsewhere;
        const bool backup = command == QLatin1String("backup");
        const QString from = backup ? store.path() : folder.path();
        const QString to = backup ? folder.path() : store.path();
        put(from + "/song.ini", "[FileInfo0]\r\nName=早操\r\n");
        put(from + "/own.ini", "private but handed over");
        QVERIFY(::chmod(QFile::encodeName(from + "/own.ini").constData(), 0600) == 0);
        const QString secret = elsewhere.filePath("secret");
        put(secret, "password=hunter2");
        QVERIFY(::chmod(QFile::encodeName(secret).constData(), 0600) == 0);
        QVERIFY(::mkfifo(QFile::encodeName(from + "/pipe.ini").constData(), 0644) == 0);
        QVERIFY(QFile::link("/dev/zero", from + "/zero.ini"));
        QVERIFY(QFile::link(secret, from + "/secret.ini"));
        QVERIFY(QFile::link(elsewhere.path(), from + "/linked.ini"));
        QFile huge(from + "/huge.ini");
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(StoreTransfer::MaxFileBytes + 1)); // sparse: no disk is used
        huge.close();

        QProcess child;
        child.setChildProcessModifier([] {
#if !defined(__SANITIZE_ADDRESS__)
            const rlimit memory{512u << 20, 512u << 20};
            ::setrlimit(RLIMIT_AS, &memory);
#endif
            const rlimit cpu{20, 20};
            ::setrlimit(RLIMIT_CPU, &cpu);
        });
        child.start(QStringLiteral(STORE_TRANSFER_TOOL), {command, store.path(), folder.path()});
        const bool finished = child.waitForFinished(30000);
        if (!finished)
            child.kill();
        QVERIFY2(finished, "the copy hung");
        const QString message = QString::fromUtf8(child.readAllStandardOutput());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 qPrintable(message + QString::fromLocal8Bit(child.readAllStandardError())));

        QCOMPARE(QDir(to).entryList({"*.ini"}, QDir::AllEntries | QDir::System),
                 (QStringList{QStringLiteral("own.ini"), kSong}));
        // Copied with the permissions a new file of the destination gets, not the source's.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        struct stat copied {};
        QVERIFY(::stat(QFile::encodeName(to + "/own.ini").constData(), &copied) == 0);
        QCOMPARE(copied.st_mode & 0777, 0666 & ~mask);
        for (const char *name : {"pipe.ini", "zero.ini", "secret.ini", "linked.ini", "huge.ini"})
            QVERIFY2(message.contains(from + '/' + name), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("以下 5 项不是普通文件或太大，已跳过")),
                 qPrintable(message));
        QVERIFY(message.contains(QStringLiteral("管道")));
        QVERIFY(message.contains(QStringLiteral("太大")));
    }

    // Before the first file is replaced, the store's files are copied into a folder of
    // their own inside it; a task list that is none replaces nothing at all.
    void importKeepsTheStoreAsItWasAndRefusesNoTaskList() {
        QTemporaryDir store, backup;
        fillStore(store.path(), "old");
        QVERIFY(QFile::link("/dev/zero", store.filePath("zero.ini")));
        put(backup.filePath("早操.ini"), "new list");
        const auto before = snapshot(store.path());

        QByteArray garbage(1 << 20, '\0');
        for (int i = 0; i < garbage.size(); ++i)
            garbage[i] = char((unsigned(i) * 7919u + (unsigned(i) >> 5) * 104729u) & 0xffu);
        const QByteArray refusedLists[] = {garbage, "[Other]\r\nkey=1\r\n", QByteArray()};
        for (const QByteArray &bytes : refusedLists) {
            put(backup.filePath(kSong), bytes);
            const StoreTransfer::Outcome refused =
                StoreTransfer::run(Direction::Import, store.path(), backup.path());
            QVERIFY(refused.refused);
            QVERIFY(!refused.storeChanged);
            QVERIFY2(refused.message.contains(backup.filePath(kSong)) &&
                         refused.message.contains(QStringLiteral("不是播放任务文件")),
                     qPrintable(refused.message));
            QCOMPARE(snapshot(store.path()), before);
        }

        put(backup.filePath(kSong), "[FileInfo0]\r\nName=早操\r\nTime=08:00:00\r\n");
        const StoreTransfer::Outcome outcome =
            StoreTransfer::run(Direction::Import, store.path(), backup.path());
        QVERIFY(outcome.success());
        const QDir kept(outcome.keptCopy);
        QCOMPARE(kept.absolutePath().section('/', 0, -2), QDir(store.path()).absolutePath());
        QVERIFY2(QRegularExpression(QStringLiteral("^导入前备份-\\d{8}-\\d{6}$"))
                     .match(kept.dirName())
                     .hasMatch(),
                 qPrintable(kept.dirName()));
        QVERIFY(outcome.message.contains(outcome.keptCopy));
        // The kept copy holds every store file as it was, and nothing the store did not.
        const auto keptFiles = snapshot(outcome.keptCopy);
        QCOMPARE(keptFiles.keys(),
                 (QStringList{QStringLiteral("date.ini"), kSong, QStringLiteral("早操.ini")}));
        for (auto it = keptFiles.cbegin(); it != keptFiles.cend(); ++it)
            QCOMPARE(it.value(), before.value(it.key()));
        QCOMPARE(readFileBytes(store.filePath("早操.ini")), QByteArray("new list"));

        // Earlier kept copies: the newest ten and those of the last 30 days stay, the rest go;
        // a folder of another naming and a link to somewhere else are never touched.
        const QDateTime now = QDateTime::currentDateTime();
        QStringList young, old;
        for (int days : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 29, 31, 45, 400}) {
            const QString name = StoreTransfer::keptCopyPrefix() +
                                 now.addDays(-days).toString(QStringLiteral("yyyyMMdd-HHmmss"));
            QVERIFY(QDir(store.path()).mkdir(name));
            put(store.filePath(name + QStringLiteral("/song.ini")), "kept");
            (days < 30 ? young : old) << name;
        }
        const QString own = StoreTransfer::keptCopyPrefix() + QStringLiteral("我的");
        QVERIFY(QDir(store.path()).mkdir(own));
        QTemporaryDir elsewhere;
        put(elsewhere.filePath("song.ini"), "elsewhere");
        const QString link = StoreTransfer::keptCopyPrefix() + QStringLiteral("20000101-000000");
        QVERIFY(QFile::link(elsewhere.path(), store.filePath(link)));
        const StoreTransfer::Outcome again =
            StoreTransfer::run(Direction::Import, store.path(), backup.path());
        QVERIFY(again.success());
        QStringList expected = young + QStringList{QDir(outcome.keptCopy).dirName(),
                                                   QDir(again.keptCopy).dirName(), own, link};
        QStringList left = QDir(store.path())
                               .entryList({StoreTransfer::keptCopyPrefix() + u'*'},
                                          QDir::Dirs | QDir::NoDotAndDotDot);
        expected.sort();
        left.sort();
        QCOMPARE(left, expected);
        QCOMPARE(readFileBytes(elsewhere.filePath("song.ini")), QByteArray("elsewhere"));
        QCOMPARE(StoreTransfer::pruneKeptCopies(store.path(), now.addDays(60)), 4);
    }

    // Stopped between files: every file already replaced is put back, every one added is
    // gone, and the kept copy goes too. A stopped backup keeps what it wrote.
    void aStoppedImportLeavesTheStoreAsItWas() {
        QTemporaryDir store, backup;
        fillStore(store.path(), "old");
        put(backup.filePath(kSong), "[FileInfo0]\r\nName=新\r\n");
        for (int i = 0; i < 5; ++i)
            put(backup.filePath(QStringLiteral("新%1.ini").arg(i)), "new");
        put(backup.filePath("date.ini"), "[Holiday]\r\nDate0=2030-01-01\r\n");
        put(backup.filePath("sub.ini/inner.ini"), "inner");
        const auto before = snapshot(store.path());

        QList<std::pair<int, int>> told;
        const StoreTransfer::Outcome stopped = StoreTransfer::run(
            Direction::Import, store.path(), backup.path(),
            [&](int number, int total, const QString &) {
                told.append({number, total});
                return number < 9; // three store files kept, then five of the eight imported
            });
        QVERIFY2(stopped.report.cancelled, qPrintable(stopped.message));
        QVERIFY(!stopped.success());
        QCOMPARE(told.last(), std::make_pair(9, 11));
        QCOMPARE(told.size(), 9);
        QCOMPARE(snapshot(store.path()), before);
        QVERIFY2(stopped.message.contains(QStringLiteral("导入已取消")),
                 qPrintable(stopped.message));

        QTemporaryDir target;
        const StoreTransfer::Outcome backedUp =
            StoreTransfer::run(Direction::Backup, store.path(), target.path(),
                               [](int number, int, const QString &) { return number < 3; });
        QVERIFY(backedUp.report.cancelled);
        QCOMPARE(backedUp.report.copied.size(), 2);
        QVERIFY(backedUp.message.contains(QStringLiteral("备份已取消")));
    }
};

QTEST_GUILESS_MAIN(TestStoreTransfer)
#include "test_store_transfer.moc"
