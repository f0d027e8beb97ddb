#include "BellDuringWork.h"
#include "dialogs/TaskDlgBase.h"
#include "playlog/PlayLog.h"
#include "scheduler/FakeClock.h"
#include "scheduler/ScheduleDriver.h"
#include "store/ProfileStore.h"
#include "tasktable/TaskTableModel.h"
#include "view/HoraletView.h"
#include "view/ListCtrlCl.h"
#include "view/PlayPanel.h"
#include "view/TaskEditing.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include <atomic>

// The editing commands as the main form offers them: its buttons reach the filters and the
// dialogs, and every change replaces the schedule the scheduler scans.
class TestTaskEditingView : public QObject {
    Q_OBJECT

private slots:
    void formButtonsEditTheScheduleAtOnce() {
        QTemporaryDir dir;
        const TaskStore store(dir.path());
        const PlayTask daily{"daily", "08:00:00", "08:30:00", "60000", "每天", "顺序播放", {}};
        const PlayTask friday{"friday", "08:00:00", "08:30:00", "60000", "周五", "顺序播放", {}};
        QVERIFY(TaskChanges(store).add(daily, {}).ok);
        QVERIFY(TaskChanges(store).add(friday, {}).ok);

        FakeClock clock;
        clock.set(QDateTime(QDate(2012, 4, 30), QTime(7, 0))); // a Monday
        CHoraletView view(dir.path());
        view.setClock(&clock);
        view.OnInitialUpdate();
        TaskEditing *editing = view.taskEditing();
        QVERIFY(editing);
        QStringList told;
        QStringList asked;
        editing->setPrompts({[&](QWidget *, const QString &text, const QString &) {
                                 asked << text;
                                 return true;
                             },
                             [&](QWidget *, const QString &text) { told << text; }});
        editing->setDialogRunner([](CTaskDlgBase &dialog) {
            dialog.findChild<QLineEdit *>("nameEdit1004")->setText("new");
            dialog.findChild<QTimeEdit *>("endPicker1044")->setTime(QTime(7, 30));
            QTest::mouseClick(dialog.findChild<QPushButton *>("okButton1"), Qt::LeftButton);
        });
        auto button = [&](const char *name) {
            QTest::mouseClick(view.findChild<QPushButton *>(name), Qt::LeftButton);
        };
        TaskTableModel *model = view.taskModel();

        button("todayButton1016");
        QCOMPARE(model->tasks(), QList<PlayTask>{daily});
        button("allButton1002");
        QCOMPARE(model->rowCount(), 2);

        button("newButton1019");
        QCOMPARE(view.scheduleTable().size(), 3);
        QCOMPARE(view.scheduleTable().last().Name, QStringLiteral("new"));
        QCOMPARE(view.scheduleTable().last().Time, QStringLiteral("07:00:00"));

        view.taskTable()->selectionModel()->clear();
        button("modifyButton1021");
        QCOMPARE(told, QStringList{"修改定时播放任务：修改时请先选择一行."});

        view.taskTable()->selectRow(1);
        button("deleteButton1022");
        QCOMPARE(asked, QStringList{"确定要删除吗?"});
        QCOMPARE(view.scheduleTable().size(), 2);
        QCOMPARE(view.scheduleTable()[1].Name, QStringLiteral("new"));
        QCOMPARE(store.ReadTaskRows(), view.scheduleTable());
    }

    // A change whose write takes long (a slow disk, a huge store) must not hold up the
    // schedule: the task due meanwhile starts at its second, and the change then lands.
    void aTaskDueWhileAChangeIsWrittenStartsAtItsSecond() {
        QTemporaryDir dir;
        const TaskStore store(dir.path());
        const PlayTask bell{"上课铃", "08:00:00", "08:00:05", "30000", "每天", "顺序播放", {}};
        const PlayTask noon{"午休", "12:00:00", "12:30:00", "30000", "每天", "顺序播放", {}};
        QVERIFY(TaskChanges(store).add(bell, {"/nonexistent/bell.mp3"}).ok);
        QVERIFY(TaskChanges(store).add(noon, {}).ok);

        // The clock reaches the bell's second only once the write has begun.
        BellDuringWork rig(dir.path(), bell.Name);
        CHoraletView &view = rig.view;
        QList<QDateTime> &starts = rig.starts;
        QSemaphore &started = rig.started;
        std::atomic<bool> &writing = rig.busy;
        bool startedDuringWrite = false;
        ProfileStore::setSlowWrite([&] {
            writing = true;
            startedDuringWrite = started.tryAcquire(1, 10000);
        });
        view.taskEditing()->setPrompts(
            {[](QWidget *, const QString &, const QString &) { return true; }, {}});
        view.taskTable()->selectRow(1);
        view.taskEditing()->DeleteTask();
        ProfileStore::setSlowWrite({});

        QVERIFY(startedDuringWrite);
        QCOMPARE(starts, QList<QDateTime>{QDateTime(QDate(2026, 12, 8), QTime(8, 0, 0))});
        QCOMPARE(store.ReadTaskRows(), QList<PlayTask>{bell});
        QCOMPARE(view.scheduleTable(), QList<PlayTask>{bell});
    }

    // The task being played, edited: renamed it plays on under its new name, its new end
    // ends this run, an end already passed stops it at the next second.
    void aPlayingTaskFollowsItsEdit() {
        QTemporaryDir dir;
        const TaskStore store(dir.path());
        const PlayTask bell{"早操", "08:00:00", "08:30:00", "30000", "每天", "循环播放", {}};
        QVERIFY(TaskChanges(store).add(bell, {"/nonexistent/bell.mp3"}).ok);
        FakeClock clock(QDateTime(QDate(2026, 12, 8), QTime(7, 59, 59)));
        CHoraletView view(dir.path());
        view.setClock(&clock);
        view.OnInitialUpdate();
        ScheduleDriver &scheduler = view.playPanel()->scheduler();
        const PlaylistDriver &playback = view.playPanel()->playback();
        const auto tickAt = [&](const QTime &time) {
            clock.set(QDateTime(QDate(2026, 12, 8), time).addMSecs(5));
            scheduler.tick();
        };
        const auto modify = [&](const QString &name, const QTime &end) {
            view.taskEditing()->setDialogRunner([&](CTaskDlgBase &dialog) {
                auto *edit = dialog.findChild<QLineEdit *>("nameEdit1004");
                edit->clear();
                edit->insert(name);
                dialog.findChild<QTimeEdit *>("endPicker1044")->setTime(end);
                QTest::mouseClick(dialog.findChild<QPushButton *>("okButton1"), Qt::LeftButton);
            });
            view.taskTable()->selectRow(0);
            view.taskEditing()->ModifyTask();
        };
        tickAt(QTime(8, 0, 0));
        QVERIFY(playback.isTaskActive());

        modify("早读", QTime(8, 40));
        QCOMPARE(view.scheduleTable().constFirst().Name, QStringLiteral("早读"));
        tickAt(QTime(8, 0, 1));
        tickAt(QTime(8, 30, 0)); // the old end: a step of the clock, yet no end of this run
        QVERIFY(playback.isTaskActive());
        QCOMPARE(playback.state().taskName, QStringLiteral("早读"));

        modify("早读", QTime(8, 20));
        tickAt(QTime(8, 30, 1));
        QVERIFY(!playback.isTaskActive());
        const QString month =
            QDir(PlayLog::folderIn(dir.path())).filePath(QStringLiteral("2026-12.csv"));
        QStringList edits;
        for (const PlayLogRow &row : PlayLog::read(month))
            if (row.event == PlayLogEvent::TaskEdited || row.event == PlayLogEvent::EndReached)
                edits << row.time.mid(11) + u'|' + row.event + u'|' + row.task + u'|' + row.note;
        QCOMPARE(edits,
                 (QStringList{
                     "08:00:00|任务已修改|早读|播放中改名（原名“早操”），继续播放；"
                     "结束时间改为 2026-12-08 08:40:00，本次播放到那时停止",
                     "08:30:00|任务已修改|早读|结束时间改为 2026-12-08 08:20:00，已过，立即停止",
                     "08:30:01|到达结束时间|早读|结束时间改为 2026-12-08 08:20:00，已过"}));
    }
};

QTEST_MAIN(TestTaskEditingView)
#include "test_task_editing_view.moc"
