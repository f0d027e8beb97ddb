// The backup menu driven as the user does it, with the folder chooser answered by the test,
// on the real frame and form.
#include "BellDuringWork.h"
#include "BoxAnswerer.h"
#include "ShownHolidays.h"
#include "TestFiles.h"
#include "app/MainFrame.h"
#include "dialogs/WorkProgress.h"
#include "scheduler/FakeClock.h"
#include "scheduler/ScheduleDriver.h"
#include "store/HolidayList.h"
#include "store/OptionFlags.h"
#include "store/ProfileStore.h"
#include "store/ShutdownTimeFile.h"
#include "store/TaskStore.h"
#include "tasktable/TaskChanges.h"
#include "tasktable/TaskTableModel.h"
#include "view/BackupCommands.h"
#include "view/CommandIds.h"
#include "view/HoraletView.h"
#include "view/PlayPanel.h"
#include "view/SettingsPanel.h"
#include "widgets/GroupCheck.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include <atomic>

namespace {

void put(const QString &path, const QByteArray &bytes) {
    QVERIFY(writeFileBytes(path, bytes));
}

template <typename T> T *control(const QWidget &view, const char *name) {
    T *found = view.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

PlayTask task(const QString &name, const QString &start, const QString &end,
              const QString &rule = TaskText::EveryDay) {
    return {name, start, end, QStringLiteral("30000"), rule, TaskText::Sequential, {}};
}

// A store as the program leaves it: tasks with playlists, holidays, flags, shutdown time.
struct StoreContent {
    QList<PlayTask> tasks;
    QStringList holidays;
    QList<OptionFlags::Flag> flags;
    QString shutdownTime;

    void writeTo(const QString &dir) const {
        TaskStore store(dir);
        QVERIFY(store.RewriteTaskStore(tasks));
        for (const PlayTask &t : tasks)
            QVERIFY(store.WriteTaskPlaylist(t.Name, {QStringLiteral("/music/") + t.Name + ".mp3"}));
        HolidayList list(dir);
        for (const QString &date : holidays)
            list.add(date);
        OptionFlags stored(dir);
        for (OptionFlags::Flag flag : flags)
            QVERIFY(stored.set(flag, true));
        QVERIFY(ShutdownTimeFile::store(dir, shutdownTime));
    }
};

const StoreContent kRunning{
    {task(QStringLiteral("早操"), QStringLiteral("07:00:00"), QStringLiteral("07:10:00"))},
    {QStringLiteral("2026-01-01")},
    {OptionFlags::Monday},
    QStringLiteral("22:00:00"),
};

const StoreContent kBackedUp{
    {task(QStringLiteral("上课铃"), QStringLiteral("08:00:00"), QStringLiteral("08:00:30")),
     task(QStringLiteral("放学"), QStringLiteral("17:00:00"), QStringLiteral("17:05:00"),
          QStringLiteral("周一周五"))},
    {QStringLiteral("2026-05-01"), QStringLiteral("2026-10-01")},
    {OptionFlags::Wednesday, OptionFlags::Saturday, OptionFlags::ShutdownEnabled},
    QStringLiteral("18:30:00"),
};

// The program started on a store, with its folder chooser answered by the test.
struct Program {
    explicit Program(const QString &directory, bool realChooser = false) : frame(directory) {
        frame.view()->OnInitialUpdate();
        frame.show();
        if (!QTest::qWaitForWindowExposed(&frame))
            qWarning("frame not exposed");
        if (realChooser)
            return;
        frame.view()->backupCommands()->setFolderChooser(
            [this](QWidget *parent, const QString &title) {
                titles << title;
                parents << parent;
                return answer;
            });
    }
    void run(int id) {
        QAction *action = frame.action(id);
        QVERIFY(action && action->isEnabled());
        action->trigger();
    }

    CMainFrame frame;
    QString answer;
    QStringList titles;
    QList<QWidget *> parents;
};

} // namespace

class TestBackupCommands : public QObject {
    Q_OBJECT

private slots:
    void cancellingCopiesNothingAndSaysNothing() {
        QTemporaryDir store, target;
        kRunning.writeTo(store.path());
        BoxAnswerer boxes;
        Program program(store.path());
        program.answer.clear();
        program.run(CommandId::Backup);
        program.run(CommandId::Import);
        QTest::qWait(100);
        QVERIFY(boxes.shown.isEmpty());
        QCOMPARE(program.titles,
                 (QStringList{QStringLiteral("您要备份定时播放任务到下列哪个目录?,请选择"),
                              QStringLiteral("请选择定时播放任务存放的目录")}));
        QCOMPARE(program.parents.first(), program.frame.view());
        QVERIFY(QDir(target.path()).isEmpty());
    }

    // The folder dialog the user meets, answered through its own controls.
    void theFolderDialogOffersANewFolderAndIsResizable() {
        QTemporaryDir store, target;
        kRunning.writeTo(store.path());
        BoxAnswerer boxes;
        Program program(store.path(), true);
        QString title;
        bool newFolderButton = false;
        bool foldersOnly = false;
        QSize grown;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            poll.stop();
            title = dialog->windowTitle();
            auto *button = dialog->findChild<QAbstractButton *>(QStringLiteral("newFolderButton"));
            newFolderButton = button && button->isVisible() && button->isEnabled();
            foldersOnly = dialog->fileMode() == QFileDialog::Directory &&
                          dialog->testOption(QFileDialog::ShowDirsOnly);
            const QSize before = dialog->size();
            dialog->resize(before + QSize(120, 90));
            grown = dialog->size() - before;
            dialog->setDirectory(target.path());
            dialog->selectFile(target.path());
            QMetaObject::invokeMethod(dialog, "accept");
        });
        poll.start(10);
        program.run(CommandId::Backup);
        QCOMPARE(title, QStringLiteral("您要备份定时播放任务到下列哪个目录?,请选择"));
        QVERIFY(newFolderButton);
        QVERIFY(foldersOnly);
        QCOMPARE(grown, QSize(120, 90));
        QTRY_COMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown[0].text, QStringLiteral("已备份定时播放任务"));
        QVERIFY(QFile::exists(target.filePath(QStringLiteral("song.ini"))));
    }

    void backupCopiesTheStoreAndSaysSo() {
        QTemporaryDir store, target;
        kRunning.writeTo(store.path());
        BoxAnswerer boxes;
        Program program(store.path());
        program.answer = target.path();
        program.run(CommandId::Backup);
        QTRY_COMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown[0].text, QStringLiteral("已备份定时播放任务"));
        QCOMPARE(boxes.shown[0].caption, QStringLiteral("Horalet"));
        QCOMPARE(boxes.shown[0].icon, QMessageBox::Information);
        QCOMPARE(boxes.shown[0].buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
        for (const QString &name : QDir(store.path()).entryList({"*.ini"}, QDir::Files))
            QCOMPARE(readFileBytes(target.filePath(name)), readFileBytes(store.filePath(name)));
        QCOMPARE(QDir(target.path()).entryList({"*.ini"}, QDir::Files).size(), 5);
    }

    void importTakesEffectAtOnce() {
        QTemporaryDir store, backup;
        kRunning.writeTo(store.path());
        kBackedUp.writeTo(backup.path());
        BoxAnswerer boxes;
        Program program(store.path());
        CHoraletView &view = *program.frame.view();
        QSignalSpy reloaded(&view, &CHoraletView::storeReloaded);
        QSignalSpy shutdownTime(view.settingsPanel(), &SettingsPanel::shutdownTimeChanged);
        QCOMPARE(view.taskModel()->tasks(), kRunning.tasks);
        control<QTimeEdit>(view, "shutdownTime1044")->setTime(QTime(23, 45)); // not stored

        program.answer = backup.path();
        program.run(CommandId::Import);
        QTRY_COMPARE(boxes.shown.size(), 1);
        const qsizetype files = QDir(backup.path()).entryList({"*.ini"}, QDir::Files).size();
        QVERIFY2(boxes.shown[0].text.startsWith(
                     QStringLiteral("已导入定时播放任务，导入的任务和设置已立即生效。\n"
                                    "已导入 %1 个文件。")
                         .arg(files)),
                 qPrintable(boxes.shown[0].text));
        QVERIFY(boxes.shown[0].text.contains(QStringLiteral("导入前的数据已保存在")));
        QCOMPARE(boxes.shown[0].icon, QMessageBox::Information);
        QCOMPARE(reloaded.size(), 1);

        // What the program holds is what the imported files say.
        QCOMPARE(view.taskModel()->tasks(), kBackedUp.tasks);
        QCOMPARE(view.scheduleTable(), kBackedUp.tasks);
        const SettingsPanel &settings = *view.settingsPanel();
        QCOMPARE(settings.holidayDates(), kBackedUp.holidays);
        QCOMPARE(shownHolidays(view), kBackedUp.holidays);
        QCOMPARE(settings.weekdaysOff(),
                 (std::array<bool, 7>{false, false, false, true, false, false, true}));
        QCOMPARE(settings.dayGate().weekdayOff, settings.weekdaysOff());
        QVERIFY(!control<QCheckBox>(view, "weekdayMonday1045")->isChecked());
        QVERIFY(control<QCheckBox>(view, "weekdayWednesday1047")->isChecked());
        QVERIFY(control<QCheckBox>(view, "weekdaySaturday1050")->isChecked());
        QVERIFY(control<QCheckBox>(view, "shutdownCheck1076")->isChecked());
        QVERIFY(settings.shutdownEnabled());
        QCOMPARE(settings.shutdownTime(), QStringLiteral("18:30:00"));
        QCOMPARE(control<QTimeEdit>(view, "shutdownTime1044")->time(), QTime(18, 30));
        QCOMPARE(shutdownTime.size(), 1);
        QCOMPARE(shutdownTime[0][0].toString(), QStringLiteral("18:30:00"));

        // The next clicks start from the imported files, not from what was held before.
        click(control<CGroupCheck>(view, "holidayCheck1121"));
        control<QDateEdit>(view, "holidayDate1006")->setDate(QDate(2026, 12, 25));
        click(control<QPushButton>(view, "addHolidayButton1082"));
        QTRY_COMPARE(boxes.shown.size(), 2);
        HolidayList stored(store.path());
        stored.load();
        QCOMPARE(stored.dates(), kBackedUp.holidays + QStringList{QStringLiteral("2026-12-25")});
        click(control<QCheckBox>(view, "weekdaySunday1051"));
        OptionFlags flags(store.path());
        flags.load();
        QVERIFY(flags.isSet(OptionFlags::Wednesday));
        QVERIFY(flags.isSet(OptionFlags::Sunday));
        QVERIFY(!flags.isSet(OptionFlags::Monday));
        QVERIFY(flags.isSet(OptionFlags::ShutdownEnabled));
        QCOMPARE(ShutdownTimeFile::load(store.path()), QStringLiteral("18:30:00"));
        // song.ini is the imported one.
        QCOMPARE(TaskStore(store.path()).ReadTaskRows(), kBackedUp.tasks);
        QCOMPARE(boxes.shown.size(), 2);

        // Where no time is stored before or after, the picker shows its default again, not
        // the moment of the import.
        QTemporaryDir bare, timeless;
        StoreContent{kRunning.tasks, {}, {}, {}}.writeTo(bare.path());
        StoreContent{kBackedUp.tasks, {}, {}, {}}.writeTo(timeless.path());
        Program second(bare.path());
        auto *picker = control<QTimeEdit>(*second.frame.view(), "shutdownTime1044");
        QCOMPARE(picker->time(), QTime(0, 0));
        picker->setTime(QTime(23, 45));
        second.answer = timeless.path();
        second.run(CommandId::Import);
        QTRY_COMPARE(boxes.shown.size(), 3);
        QCOMPARE(picker->time(), QTime(0, 0));
        QVERIFY(second.frame.view()->settingsPanel()->shutdownTime().isEmpty());
    }

    void theStoreItselfAndFailuresAreToldInsteadOfSuccess() {
        QTemporaryDir store, backup;
        kRunning.writeTo(store.path());
        BoxAnswerer boxes;
        Program program(store.path());
        const auto storeFiles = QDir(store.path()).entryList(QDir::Files | QDir::Hidden);

        program.answer = store.path();
        program.run(CommandId::Backup);
        QTRY_COMPARE(boxes.shown.size(), 1);
        program.run(CommandId::Import);
        QTRY_COMPARE(boxes.shown.size(), 2);
        for (const Shown &shown : boxes.shown) {
            QVERIFY2(shown.text.contains(store.path()), qPrintable(shown.text));
            QVERIFY(!shown.text.startsWith(QStringLiteral("已")));
            QCOMPARE(shown.caption, QStringLiteral("Horalet"));
        }
        QCOMPARE(QDir(store.path()).entryList(QDir::Files | QDir::Hidden), storeFiles);

        // A folder where an imported file belongs: the rest arrives, the failure is named.
        kBackedUp.writeTo(backup.path());
        QVERIFY(QFile::remove(store.filePath(QStringLiteral("date.ini"))));
        QVERIFY(QDir(store.path()).mkpath(QStringLiteral("date.ini/keep")));
        program.answer = backup.path();
        program.run(CommandId::Import);
        QTRY_COMPARE(boxes.shown.size(), 3);
        QVERIFY2(boxes.shown[2].text.contains(store.filePath(QStringLiteral("date.ini"))),
                 qPrintable(boxes.shown[2].text));
        QVERIFY(boxes.shown[2].text.contains(QStringLiteral("未能导入")));
        QCOMPARE(boxes.shown[2].icon, QMessageBox::Warning);
        QCOMPARE(program.frame.view()->taskModel()->tasks(), kBackedUp.tasks);
    }

    // A copy to or from a slow medium runs beside the schedule: the bell due meanwhile
    // starts at its second. Stopped from its window, an import leaves the store as it was.
    void aSlowImportDelaysNoBellAndStopsCleanly() {
        QTemporaryDir store, backup;
        const PlayTask bell{"上课铃", "08:00:00", "08:00:05", "30000", "每天", "顺序播放", {}};
        QVERIFY(TaskChanges(TaskStore(store.path())).add(bell, {"/nonexistent/bell.mp3"}).ok);
        kBackedUp.writeTo(backup.path());
        // The clock reaches the bell's second only once the copy has begun.
        BellDuringWork rig(store.path(), bell.Name);
        CHoraletView &view = rig.view;
        BoxAnswerer boxes;
        QList<QDateTime> &starts = rig.starts;
        QSemaphore &started = rig.started;
        std::atomic<bool> &copying = rig.busy;
        BackupCommands &commands = *view.backupCommands();
        commands.setFolderChooser([&](QWidget *, const QString &) { return backup.path(); });
        bool startedDuringCopy = false;
        commands.setPace([&] {
            if (!copying.exchange(true))
                startedDuringCopy = started.tryAcquire(1, 10000);
        });
        commands.Import();
        QVERIFY(startedDuringCopy);
        QCOMPARE(starts, QList<QDateTime>{QDateTime(QDate(2026, 12, 8), QTime(8, 0, 0))});
        QTRY_COMPARE(boxes.shown.size(), 1);
        QVERIFY(boxes.shown[0].text.startsWith(QStringLiteral("已导入定时播放任务")));
        QCOMPARE(view.scheduleTable(), kBackedUp.tasks);

        // Stopped from the window the long copy shows: nothing changed, no copy left over.
        const QStringList entries = QDir(store.path()).entryList(QDir::AllEntries | QDir::Hidden);
        QMap<QString, QByteArray> files;
        for (const QString &name : QDir(store.path()).entryList({"*.ini"}, QDir::Files))
            files.insert(name, readFileBytes(store.filePath(name)));
        put(backup.filePath("新.ini"), "new");
        std::atomic<bool> stopAsked = false;
        int windows = 0;
        commands.setProgressWatcher([&](WorkProgress &progress) {
            ++windows;
            progress.requestCancel();
            stopAsked = true;
        });
        commands.setPace([&] {
            for (int i = 0; i < 1000 && !stopAsked; ++i)
                QThread::msleep(10);
        });
        commands.Import();
        QCOMPARE(windows, 1);
        QTRY_COMPARE(boxes.shown.size(), 2);
        QVERIFY2(boxes.shown[1].text.contains(QStringLiteral("导入已取消")),
                 qPrintable(boxes.shown[1].text));
        QCOMPARE(QDir(store.path()).entryList(QDir::AllEntries | QDir::Hidden), entries);
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            QCOMPARE(readFileBytes(store.filePath(it.key())), it.value());
        QCOMPARE(view.scheduleTable(), kBackedUp.tasks);
    }

private:
    static void click(QAbstractButton *button) {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }
};

QTEST_MAIN(TestBackupCommands)
#include "test_backup_commands.moc"
