#include "TaskSets.h"
#include "campus/CampusConfig.h"
#include "store/TaskStore.h"
#include "store/Timetables.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <csignal>

class TestStoreCrashSafety : public QObject {
    Q_OBJECT

private slots:
    // A power cut or a kill at any moment of a rewrite leaves the old or the new task set.
    void killedWriterLeavesOldOrNewFile() {
        constexpr int kTasks = 1500;
        const QList<PlayTask> sets[2] = {taskSet(0, kTasks), taskSet(1, kTasks)};
        QTemporaryDir dir;
        TaskStore store(dir.path());
        int seen[2] = {0, 0};
        for (int round = 0; round < 60; ++round) {
            QProcess writer;
            writer.start(QStringLiteral(STORE_REWRITER), {dir.path(), QString::number(kTasks)});
            QVERIFY(writer.waitForStarted());
            QVERIFY(writer.waitForReadyRead(10000));
            // "ready <µs of one rewrite>": the kill lands anywhere in the next three rewrites.
            const qint64 rewriteUs = std::max<qint64>(
                1000, writer.readLine().trimmed().split(' ').value(1).toLongLong());
            QThread::usleep(
                unsigned(QRandomGenerator::global()->bounded(qint64(100), 3 * rewriteUs)));
            ::kill(pid_t(writer.processId()), SIGKILL);
            QVERIFY(writer.waitForFinished());
            const QList<PlayTask> rows = store.ReadTaskRows();
            const bool old = rows == sets[0];
            QVERIFY2(old || rows == sets[1],
                     qPrintable(QStringLiteral("round %1: %2 rows").arg(round).arg(rows.size())));
            ++seen[old ? 0 : 1];
        }
        // Both outcomes occur, so the kills really landed between and during rewrites.
        QVERIFY(seen[0] > 0 && seen[1] > 0);
    }

    // Adds, renames and deletes killed at random moments never leave a task whose playlist
    // is missing (it would then silently play nothing) or whose timetable or zones are not its
    // own; an entry of no task left by the kill is gone after the next change.
    void killedChangesLeaveNoTaskWithoutItsPlaylist() {
        QTemporaryDir dir;
        TaskStore store(dir.path());
        int tasksChecked = 0;
        for (int round = 0; round < 120; ++round) {
            QProcess writer;
            writer.start(QStringLiteral(STORE_REWRITER), {dir.path(), QStringLiteral("changes")});
            QVERIFY(writer.waitForStarted());
            QVERIFY(writer.waitForReadyRead(10000));
            QThread::usleep(QRandomGenerator::global()->bounded(100, 30000));
            ::kill(pid_t(writer.processId()), SIGKILL);
            QVERIFY(writer.waitForFinished());
            QString error;
            const QList<PlayTask> rows = store.ReadTaskRows(&error);
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QVERIFY(!rows.isEmpty());
            for (const PlayTask &task : rows) {
                const TaskPlaylist items = store.ReadTaskPlaylist(task.Name);
                QVERIFY2(items == TaskPlaylist{task.Name + QStringLiteral(".mp3")},
                         qPrintable(QStringLiteral("round %1: task %2 has %3 items")
                                        .arg(round)
                                        .arg(task.Name)
                                        .arg(items.size())));
                ++tasksChecked;
            }
            Timetables timetables(dir.path());
            timetables.load();
            CampusConfig campus(dir.path());
            campus.load();
            for (const PlayTask &task : rows) {
                const int n = QStringView(task.Name).mid(2).toString().remove(u'改').toInt();
                QCOMPARE(timetables.timetableOf(task.Name),
                         n % 2 ? QStringLiteral("夏季") : QString());
                QCOMPARE(campus.zonesOf(task.Name),
                         (n % 3 != 2 ? QStringList{"教学楼", "操场"} : QStringList()));
            }
            const auto next = store.DeleteTask(0, rows.constFirst());
            QVERIFY(next.result);
            timetables.load();
            campus.load();
            QStringList entries = timetables.taskTimetables().keys() + campus.taskZones().keys();
            for (const QString &entry : std::as_const(entries))
                QVERIFY2(
                    std::any_of(next.rows.cbegin(), next.rows.cend(),
                                [&](const PlayTask &t) { return t.Name == entry; }),
                    qPrintable(QStringLiteral("round %1: stale entry %2").arg(round).arg(entry)));
        }
        QVERIFY(tasksChecked > 120);
    }
};

QTEST_GUILESS_MAIN(TestStoreCrashSafety)
#include "test_store_crash_safety.moc"
