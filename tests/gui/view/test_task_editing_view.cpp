#include "BellDuringWork.h"
#include "dialogs/TaskDlgBase.h"
#include "scheduler/FakeClock.h"
#include "scheduler/ScheduleDriver.h"
#include "store/ProfileStore.h"
#include "tasktable/TaskTableModel.h"
#include "view/HoraletView.h"
#include "view/ListCtrlCl.h"
#include "view/PlayPanel.h"
#include "view/TaskEditing.h"

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
};

QTEST_MAIN(TestTaskEditingView)
#include "test_task_editing_view.moc"
