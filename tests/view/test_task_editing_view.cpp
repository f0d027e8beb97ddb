#include "dialogs/TaskDlgBase.h"
#include "scheduler/FakeClock.h"
#include "view/HoraletView.h"
#include "view/ListCtrlCl.h"
#include "view/TaskEditing.h"
#include "view/TaskTableModel.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

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
};

QTEST_MAIN(TestTaskEditingView)
#include "test_task_editing_view.moc"
