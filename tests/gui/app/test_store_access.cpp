// A store the program cannot write, or a task file it cannot read: the program still starts,
// tells the user the truth, plays what it can and changes nothing. Permissions mean nothing
// to root, so the scenarios run in a child of this test as an unprivileged user (setpriv).
#include "TestFiles.h"
#include "app/MainFrame.h"
#include "app/StartupGuard.h"
#include "dialogs/TaskDlgBase.h"
#include "scheduler/FakeClock.h"
#include "store/ProfileStore.h"
#include "tasktable/TaskChanges.h"
#include "tasktable/TaskTableModel.h"
#include "view/CommandIds.h"
#include "view/HoraletView.h"
#include "view/ListCtrlCl.h"
#include "view/PlayPanel.h"
#include "view/TaskEditing.h"

#include <QDir>
#include <QLineEdit>
#include <QLockFile>
#include <QMap>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;
const char *const kChildVariable = "HORALET_STORE_ACCESS_CHILD";
const PlayTask kMorning{QStringLiteral("早操"),
                        QStringLiteral("08:00:00"),
                        QStringLiteral("08:30:00"),
                        QStringLiteral("60000"),
                        QStringLiteral("每天"),
                        QStringLiteral("顺序播放"),
                        {}};

QByteArray gbk(const QString &text) {
    return Gbk::encode(text).value();
}

// Every file of the directory with its bytes, mode and owner.
QMap<QString, QString> snapshot(const QString &directory) {
    QMap<QString, QString> files;
    const QDir dir(directory);
    for (const QString &name :
         dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (name == QStringLiteral("播放记录")) // the play log is written beside the store
            continue;
        struct stat info {};
        ::lstat(QFile::encodeName(dir.filePath(name)).constData(), &info);
        const QByteArray bytes = readFileBytes(dir.filePath(name));
        files.insert(name, QStringLiteral("%1 %2 %3")
                               .arg(info.st_mode, 0, 8)
                               .arg(info.st_uid)
                               .arg(QString::fromLatin1(bytes.toHex())));
    }
    return files;
}

QMessageBox *noticeStartingWith(const QWidget &frame, const QString &start) {
    for (QMessageBox *box : frame.findChildren<QMessageBox *>())
        if (box->text().startsWith(start))
            return box;
    return nullptr;
}

} // namespace

class TestStoreAccess : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_rootDir;
    QString m_store;

    void prepare(uid_t storeOwner) {
        m_rootDir = std::make_unique<QTemporaryDir>();
        QTemporaryDir &root = *m_rootDir;
        QVERIFY(::chmod(QFile::encodeName(root.path()).constData(), 0755) == 0);
        m_store = root.filePath(QStringLiteral("store"));
        QVERIFY(QDir().mkpath(m_store));
        QVERIFY(writeFileBytes(
            m_store + "/song.ini",
            gbk(QStringLiteral("[FileInfo0]\r\nName=早操\r\nTime=08:00:00\r\nDuration=08:30:00\r\n"
                               "Type=60000\r\nDevice=每天\r\nRecurrence=顺序播放\r\nNotes=\r\n"))));
        QVERIFY(writeFileBytes(
            m_store + QStringLiteral("/早操.ini"),
            gbk(QStringLiteral(
                "[歌曲]\r\n歌曲名称0=/音乐/铃.mp3\r\n[多媒体文件数量]\r\n数量=1\r\n"))));
        QVERIFY(writeFileBytes(m_store + "/date.ini", "[The number of date]\r\nquantity=0\r\n"));
        for (const char *own : {"home", "runtime"}) {
            const QByteArray path = QFile::encodeName(root.filePath(QString::fromLatin1(own)));
            QVERIFY(::mkdir(path.constData(), 0700) == 0);
            QVERIFY(::chown(path.constData(), kNobody, kNobody) == 0);
        }
        QVERIFY(::chown(QFile::encodeName(m_store).constData(), storeOwner, storeOwner) == 0);
    }

    // Runs one child slot of this test as nobody and hands back its exit code.
    void runAsNobody(const char *slot) {
        const QTemporaryDir &root = *m_rootDir;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kChildVariable), QStringLiteral("1"));
        env.insert(QStringLiteral("HORALET_STORE_DIR"), m_store);
        env.insert(QStringLiteral("HOME"), root.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.filePath(QStringLiteral("runtime")));
        // No sound server and no session bus: both fail at once instead of being looked for.
        env.insert(QStringLiteral("PULSE_SERVER"),
                   QStringLiteral("unix:") + root.filePath("no-pulse"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QStringLiteral("unix:path=") + root.filePath("no-bus"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QStringLiteral("setpriv"),
                    {QStringLiteral("--reuid=%1").arg(kNobody),
                     QStringLiteral("--regid=%1").arg(kNobody), QStringLiteral("--clear-groups"),
                     QCoreApplication::applicationFilePath(), QString::fromLatin1(slot)});
        QVERIFY(child.waitForFinished(60000));
        const QByteArray output = child.readAll();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 output.constData());
        QVERIFY2(output.contains("PASS   : TestStoreAccess::" + QByteArray(slot) + "()"),
                 output.constData());
    }

    static bool inChild() { return qEnvironmentVariableIsSet(kChildVariable); }

private slots:
    void init() {
        if (!inChild() && ::geteuid() != 0)
            QSKIP("needs root, to run the program as another user");
    }

    void readOnlyStoreStillRingsTheBells() {
        if (inChild())
            QSKIP("parent only");
        prepare(0); // root's: nobody cannot write it
        // A lock left by a crashed instance, which nobody cannot take over here: no instance
        // is running all the same.
        const pid_t crashed = ::fork();
        if (crashed == 0) {
            QLockFile lock(m_store + QStringLiteral("/.horalet.lock"));
            ::_exit(lock.tryLock(0) ? 0 : 1);
        }
        int status = -1;
        QCOMPARE(::waitpid(crashed, &status, 0), crashed);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QVERIFY(QFile::exists(m_store + QStringLiteral("/.horalet.lock")));
        const auto before = snapshot(m_store);
        runAsNobody("childInReadOnlyStore");
        QCOMPARE(snapshot(m_store), before);
    }

    void unreadableTaskFileIsToldAndKept() {
        if (inChild())
            QSKIP("parent only");
        prepare(kNobody); // nobody may write the directory, but not read song.ini
        QVERIFY(::chmod(QFile::encodeName(m_store + "/song.ini").constData(), 0) == 0);
        const auto before = snapshot(m_store);
        runAsNobody("childWithUnreadableTaskFile");
        QCOMPARE(snapshot(m_store), before);
    }

    // Root reads through any permission; a directory in the file's place fails for all.
    void taskFileThatIsADirectoryIsToldAtStartUp() {
        if (inChild())
            QSKIP("parent only");
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("song.ini/keep")));
        CMainFrame frame(dir.path());
        frame.view()->OnInitialUpdate();
        QMessageBox *notice = noticeStartingWith(frame, QStringLiteral("播放任务文件无法读取"));
        QVERIFY(notice);
        QVERIFY(notice->text().contains(dir.filePath(QStringLiteral("song.ini"))));
        QVERIFY(!notice->isModal() || notice->windowModality() != Qt::ApplicationModal);
        QCOMPARE(frame.view()->taskModel()->rowCount(), 0);
        QVERIFY(frame.view()->playPanel()->scheduler().isRunning());
        QVERIFY(!TaskChanges(frame.view()->taskStore()).add(kMorning, {}).ok);
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("song.ini/keep"))).isDir());
    }

    void childInReadOnlyStore() {
        if (!inChild())
            QSKIP("run by readOnlyStoreStillRingsTheBells");
        const QString store = qEnvironmentVariable("HORALET_STORE_DIR");
        auto guard = StartupGuard::acquire(); // "already running" would be a blocking box
        QVERIFY(guard);
        QVERIFY2(guard->readOnlyReason.startsWith(QStringLiteral("数据目录不可写：") + store),
                 qPrintable(guard->readOnlyReason));

        FakeClock clock(QDateTime(QDate(2026, 12, 7), QTime(8, 0)));
        CMainFrame frame(guard->storeDirectory);
        CHoraletView *view = frame.view();
        view->setClock(&clock);
        view->OnInitialUpdate();
        frame.show();
        guard->tellReadOnly(&frame);
        QMessageBox *notice = noticeStartingWith(frame, QStringLiteral("数据目录不可写："));
        QVERIFY(notice);
        QVERIFY(notice->text().contains(QStringLiteral("只读")));

        // The table and the schedule work: the task due now has started.
        QCOMPARE(view->taskModel()->tasks(), QList<PlayTask>{kMorning});
        QCOMPARE(view->scheduleTable(), ScheduleTable{kMorning});
        QVERIFY(view->playPanel()->scheduler().isRunning());
        QCOMPARE(view->playPanel()->playback().state().taskName, kMorning.Name);
        QCOMPARE(view->playPanel()->playback().items(),
                 QStringList{QStringLiteral("/音乐/铃.mp3")});

        // Every change is refused with the true reason.
        QStringList told;
        TaskEditing *editing = view->taskEditing();
        editing->setPrompts({[](QWidget *, const QString &, const QString &) { return true; },
                             [&](QWidget *, const QString &text) { told << text; }});
        editing->setDialogRunner([&](CTaskDlgBase &dialog) {
            dialog.setNotice([&](QWidget *, const QString &text) { told << text; });
            dialog.findChild<QLineEdit *>(QStringLiteral("nameEdit1004"))
                ->setText(QStringLiteral("新任务"));
            dialog.findChild<QTimeEdit *>(QStringLiteral("endPicker1044"))->setTime(QTime(9, 0));
            QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("okButton1")),
                              Qt::LeftButton);
            dialog.reject();
        });
        QVERIFY(view->runCommand(CommandId::NewTask));
        view->taskTable()->selectRow(0);
        QVERIFY(view->runCommand(CommandId::DeleteTask));
        QCOMPARE(told.size(), 2);
        for (const QString &text : told)
            QVERIFY2(text.startsWith(QStringLiteral("数据目录不可写：") + store), qPrintable(text));
        QCOMPARE(view->taskModel()->tasks(), QList<PlayTask>{kMorning});
        QCOMPARE(view->scheduleTable(), ScheduleTable{kMorning});
    }

    void childWithUnreadableTaskFile() {
        if (!inChild())
            QSKIP("run by unreadableTaskFileIsToldAndKept");
        const QString store = qEnvironmentVariable("HORALET_STORE_DIR");
        auto guard = StartupGuard::acquire();
        QVERIFY(guard);
        QVERIFY(guard->readOnlyReason.isEmpty());

        CMainFrame frame(guard->storeDirectory);
        frame.view()->OnInitialUpdate();
        QMessageBox *notice = noticeStartingWith(frame, QStringLiteral("播放任务文件无法读取"));
        QVERIFY(notice);
        QVERIFY2(notice->text().contains(store + QStringLiteral("/song.ini")),
                 qPrintable(notice->text()));
        QVERIFY(frame.view()->playPanel()->scheduler().isRunning());

        // No change may rewrite the file it could not read.
        const TaskChangeOutcome added = TaskChanges(frame.view()->taskStore()).add(kMorning, {});
        QVERIFY(!added.ok);
        QVERIFY2(added.message.contains(store + QStringLiteral("/song.ini")),
                 qPrintable(added.message));
        QVERIFY(!added.touched);
    }
};

QTEST_MAIN(TestStoreAccess)
#include "test_store_access.moc"
