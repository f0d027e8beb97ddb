// Writes that fail midway (a full disk, a failing device) through the store's seam: every
// change says so, the files stay byte for byte as they were, and nothing in memory claims
// what they do not hold.
#include "TestFiles.h"
#include "store/HolidayList.h"
#include "store/MakeupWorkdays.h"
#include "store/OptionFlags.h"
#include "store/ProfileStore.h"
#include "store/ShutdownTimeFile.h"
#include "store/TaskStore.h"

#include <QDir>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Snapshot = QMap<QString, QByteArray>;

// Every file of the directory, hidden ones too: a temporary left behind shows here.
Snapshot snapshot(const QString &dir) {
    Snapshot files;
    for (const QString &name : QDir(dir).entryList(QDir::Files | QDir::Hidden))
        files.insert(name, readFileBytes(QDir(dir).filePath(name)));
    return files;
}

PlayTask task(const QString &name, const QString &time = QStringLiteral("08:30:00")) {
    return {name,
            time,
            QStringLiteral("08:45:00"),
            QStringLiteral("60000"),
            QStringLiteral("每天"),
            QStringLiteral("顺序播放"),
            QString()};
}

struct FaultGuard {
    explicit FaultGuard(ProfileStore::WriteFault fault) { ProfileStore::setWriteFault(fault); }
    ~FaultGuard() { ProfileStore::setWriteFault(std::nullopt); }
};

} // namespace

class TestWriteFaults : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // A store with two tasks and their playlists, holidays, make-up days and settings.
    void fill() {
        for (const QString &name : QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(path(name));
        const TaskStore store(m_dir.path());
        QVERIFY(store.AddTask(task(QStringLiteral("早操")), {QStringLiteral("/a.mp3")}).result);
        QVERIFY(store
                    .AddTask(task(QStringLiteral("午休"), QStringLiteral("12:00:00")),
                             {QStringLiteral("/b.mp3"), QStringLiteral("/c.mp3")})
                    .result);
        HolidayList holidays(m_dir.path());
        QVERIFY(holidays.add(QStringLiteral("2026-10-01")) >= 0);
        MakeupWorkdays days(m_dir.path());
        QVERIFY(days.set(QStringLiteral("2026-09-27"), 1));
        QVERIFY(OptionFlags(m_dir.path()).set(OptionFlags::Monday, true));
        QVERIFY(ShutdownTimeFile::store(m_dir.path(), QStringLiteral("22:00:00")));
    }

    using Change = std::pair<const char *, std::function<StoreResult()>>;

    // Every kind of change, each checking that what it hands back matches the files.
    QList<Change> changes() const {
        const QString dir = m_dir.path();
        const QList<PlayTask> rows = TaskStore(dir).ReadTaskRows();
        return {
            {"add",
             [=] {
                 const auto r = TaskStore(dir).AddTask(task(QStringLiteral("放学")),
                                                       {QStringLiteral("/d.mp3")});
                 // What the table and the schedule get is what the files hold.
                 return r.rows == rows && r.schedule == rows ? r.result : StoreResult();
             }},
            {"modify",
             [=] {
                 const auto r = TaskStore(dir).ModifyTask(1, rows[1], task(QStringLiteral("午休")),
                                                          {QStringLiteral("/e.mp3")});
                 return r.rows == rows ? r.result : StoreResult();
             }},
            {"rename",
             [=] {
                 const auto r =
                     TaskStore(dir).ModifyTask(0, rows[0], task(QStringLiteral("早读")), {});
                 return r.rows == rows ? r.result : StoreResult();
             }},
            {"delete",
             [=] {
                 const auto r = TaskStore(dir).DeleteTask(0, rows[0]);
                 return r.rows == rows ? r.result : StoreResult();
             }},
            {"add holiday",
             [=] {
                 HolidayList holidays(dir);
                 holidays.load();
                 const QStringList before = holidays.dates();
                 StoreResult r;
                 const int at = holidays.add(QStringLiteral("2026-10-02"), &r);
                 return at == -1 && holidays.dates() == before ? r : StoreResult();
             }},
            {"remove holiday",
             [=] {
                 HolidayList holidays(dir);
                 holidays.load();
                 const QStringList before = holidays.dates();
                 const StoreResult r = holidays.removeAt(0);
                 return holidays.dates() == before ? r : StoreResult();
             }},
            {"make-up day",
             [=] {
                 MakeupWorkdays days(dir);
                 days.load();
                 const StoreResult r = days.set(QStringLiteral("2026-10-10"), 6);
                 return days.entries().size() == 1 ? r : StoreResult();
             }},
            {"option box",
             [=] {
                 OptionFlags flags(dir);
                 flags.load();
                 const StoreResult r = flags.set(OptionFlags::Monday, false);
                 return flags.isSet(OptionFlags::Monday) ? r : StoreResult();
             }},
            {"shutdown time",
             [=] { return ShutdownTimeFile::store(dir, QStringLiteral("23:00:00")); }},
        };
    }

private slots:
    void everyChangeFailsWholeAndLeavesTheFiles_data() {
        QTest::addColumn<int>("passing");
        QTest::addColumn<qint64>("afterBytes");
        QTest::newRow("nothing written") << 0 << qint64(0);
        QTest::newRow("cut after 10 bytes") << 0 << qint64(10);
        QTest::newRow("before the rename") << 0 << qint64(-1);
        // The playlist is written, then song.ini fails: the playlist goes back.
        QTest::newRow("second write cut") << 1 << qint64(7);
        QTest::newRow("second write before the rename") << 1 << qint64(-1);
    }
    void everyChangeFailsWholeAndLeavesTheFiles() {
        QFETCH(int, passing);
        QFETCH(qint64, afterBytes);
        fill();
        const Snapshot before = snapshot(m_dir.path());
        for (const auto &[what, change] : changes()) {
            StoreResult result;
            {
                FaultGuard fault({passing, afterBytes});
                result = change();
            }
            // A change of a single file has no second write to fail.
            const bool twoWrites = qstrcmp(what, "add") == 0 || qstrcmp(what, "modify") == 0 ||
                                   qstrcmp(what, "rename") == 0;
            if (passing > 0 && !twoWrites) {
                fill();
                continue;
            }
            QVERIFY2(!result.ok, what);
            QVERIFY2(!result.error.isEmpty(), what);
            // The system's reason in the user's words, not the C library's English.
            QVERIFY2(result.error.contains(QStringLiteral("磁盘空间不足")) ||
                         result.error.contains(QStringLiteral("输入/输出错误")),
                     qPrintable(result.error));
            QVERIFY2(!result.error.contains(QStringLiteral("No space")) &&
                         !result.error.contains(QStringLiteral("Input/output")),
                     qPrintable(result.error));
            QCOMPARE(snapshot(m_dir.path()), before);
        }
        QCOMPARE(ShutdownTimeFile::load(m_dir.path()), QStringLiteral("22:00:00"));
    }

    // The directory made read-only under the running program, as a user other than root (to
    // whom permissions mean nothing): every change is refused with the system's reason, a
    // hand-edited file among them, whose copy cannot be made either.
    void aStoreMadeReadOnlyWhileRunningRefusesEveryChange() {
        const char *const slot = "aStoreMadeReadOnlyWhileRunningRefusesEveryChange";
        if (!qEnvironmentVariableIsSet("HORALET_WRITE_FAULTS_CHILD")) {
            if (::geteuid() != 0)
                QSKIP("needs root, to run the case as another user");
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("HORALET_WRITE_FAULTS_CHILD"), QStringLiteral("1"));
            child.setProcessEnvironment(env);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(QStringLiteral("setpriv"),
                        {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                         QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath(),
                         QString::fromLatin1(slot)});
            QVERIFY(child.waitForFinished(60000));
            const QByteArray output = child.readAll();
            QVERIFY2(child.exitCode() == 0 &&
                         output.contains("PASS   : TestWriteFaults::" + QByteArray(slot)),
                     output.constData());
            return;
        }
        fill();
        QVERIFY(writeFileBytes(path(HolidayList::fileName()),
                               "[Holiday]\r\nDate0=2026-10-01\r\n; mine\r\n"
                               "[The number of date]\r\nquantity=1\r\n"));
        const Snapshot before = snapshot(m_dir.path());
        const QByteArray dir = QFile::encodeName(m_dir.path());
        QVERIFY(::chmod(dir.constData(), 0555) == 0);
        for (const auto &[what, change] : changes()) {
            const StoreResult result = change();
            QVERIFY2(!result.ok, what);
            QVERIFY2(!result.error.isEmpty(), what);
            QCOMPARE(snapshot(m_dir.path()), before);
        }
        QVERIFY(::chmod(dir.constData(), 0755) == 0);
    }

    // Without the fault the same store takes every change: the seam leaves nothing behind.
    void theStoreWorksAgainOnceTheFaultIsGone() {
        fill();
        {
            FaultGuard fault({0, 3});
            QVERIFY(!ShutdownTimeFile::store(m_dir.path(), QStringLiteral("23:00:00")));
        }
        QVERIFY(ShutdownTimeFile::store(m_dir.path(), QStringLiteral("23:00:00")));
        QCOMPARE(ShutdownTimeFile::load(m_dir.path()), QStringLiteral("23:00:00"));
        const TaskStore store(m_dir.path());
        QVERIFY(store.AddTask(task(QStringLiteral("放学")), {}).result);
        QCOMPARE(store.ReadTaskRows().size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestWriteFaults)
#include "test_write_faults.moc"
