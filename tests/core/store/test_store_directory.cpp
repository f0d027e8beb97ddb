#include "store/ProfileStore.h"
#include "store/StoreDirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestStoreDirectory : public QObject {
    Q_OBJECT

private slots:
    void init() {
        qunsetenv("HORALET_STORE_DIR");
        QFile::remove(QCoreApplication::applicationDirPath() + "/portable");
    }
    void cleanup() { init(); }

    void chosenInOrderOfPrecedence() {
        QTemporaryDir data;
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
        QCOMPARE(StoreDirectory::resolve(), data.filePath("horalet"));
        QVERIFY(QFileInfo(data.filePath("horalet")).isDir());

        QFile portable(QCoreApplication::applicationDirPath() + "/portable");
        QVERIFY(portable.open(QIODevice::WriteOnly));
        portable.close();
        QCOMPARE(StoreDirectory::resolve(), QCoreApplication::applicationDirPath());

        QTemporaryDir explicitDir;
        const QString nested = explicitDir.filePath("a/b");
        qputenv("HORALET_STORE_DIR", nested.toLocal8Bit());
        QCOMPARE(StoreDirectory::resolve(), nested);
        QVERIFY(QFileInfo(nested).isDir());
    }

    void uncreatableDirectoryIsReported() {
        QTemporaryDir dir;
        QFile blocker(dir.filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("HORALET_STORE_DIR", dir.filePath("file/sub").toLocal8Bit());
        QString error;
        QVERIFY(StoreDirectory::resolve(&error).isEmpty());
        QVERIFY(error.contains(dir.filePath("file/sub")));
    }

    void oneInstancePerDirectory() {
        QTemporaryDir dir;
        InstanceLock first(dir.path());
        QVERIFY(first.acquire());
        InstanceLock second(dir.path());
        QCOMPARE(second.tryAcquire(), InstanceLock::Outcome::HeldByOther);
        QVERIFY(second.failure().isEmpty());
        QVERIFY(!first.lockPath().endsWith(".ini"));

        QTemporaryDir other;
        InstanceLock elsewhere(other.path());
        QVERIFY(elsewhere.acquire());
    }

    // Only this directory is read-only: writes elsewhere go on.
    void readOnlyMarkRefusesWritesIntoItsDirectory() {
        QTemporaryDir dir, other;
        const QString reason = StoreDirectory::probeWritable(dir.path());
        QVERIFY2(reason.isEmpty(), qPrintable(reason)); // a directory we can write
        StoreDirectory::markReadOnly(dir.path() + QStringLiteral("/."),
                                     QStringLiteral("数据目录不可写：x"));
        const StoreResult refused = ProfileStore::writeString(dir.filePath("a.ini"), "s", "k", "v");
        const StoreResult deleted = ProfileStore::deleteFile(dir.filePath("a.ini"));
        const StoreResult elsewhere =
            ProfileStore::writeString(other.filePath("a.ini"), "s", "k", "v");
        StoreDirectory::markReadOnly(dir.path(), QString());
        QVERIFY(refused.error.startsWith(QStringLiteral("数据目录不可写：x")));
        QVERIFY(deleted.error.startsWith(QStringLiteral("数据目录不可写：x")));
        QVERIFY(!QFile::exists(dir.filePath("a.ini")));
        QVERIFY(elsewhere.ok);
        QVERIFY(ProfileStore::writeString(dir.filePath("a.ini"), "s", "k", "v").ok);
    }

    void lockOfAKilledInstanceIsTakenOver() {
        QTemporaryDir dir;
        QProcess holder;
        holder.start(QStringLiteral(LOCK_HOLDER), {dir.path()});
        QVERIFY(holder.waitForReadyRead(10000));
        QCOMPARE(holder.readAll().trimmed(), QByteArray("locked"));
        InstanceLock mine(dir.path());
        QVERIFY(!mine.acquire());
        holder.kill();
        QVERIFY(holder.waitForFinished());
        QVERIFY(mine.acquire());
    }
};

QTEST_GUILESS_MAIN(TestStoreDirectory)
#include "test_store_directory.moc"
