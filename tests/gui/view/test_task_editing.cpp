#include "campus/CampusConfig.h"
#include "dialogs/ModifyTaskDlg.h"
#include "dialogs/NewTaskDlg.h"
#include "scheduler/FakeClock.h"
#include "store/ProfileStore.h"
#include "store/Timetables.h"
#include "tasktable/TaskTableModel.h"
#include "view/ListCtrlCl.h"
#include "view/TaskEditing.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

namespace {

// Ends half an hour after it starts: a task may not end at its own start second.
QString halfHourLater(const QString &time) {
    for (const QString format : {"HH:mm:ss", "yyyy-MM-dd HH:mm:ss"}) {
        const QDateTime start = QDateTime::fromString(time, format);
        if (start.isValid())
            return start.addSecs(1800).toString(format);
    }
    return time;
}

PlayTask task(const QString &name, const QString &time, const QString &device,
              const QString &volume = "60000") {
    return {name, time, halfHourLater(time), volume, device, TaskText::Sequential, {}};
}

} // namespace

class TestTaskEditing : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TaskStore> m_store;
    FakeClock m_clock;
    std::unique_ptr<QWidget> m_window;
    CListCtrlCl *m_table = nullptr;
    TaskTableModel *m_model = nullptr;
    TaskEditing *m_editing = nullptr;
    ScheduleTable m_schedule;
    int m_schedulesHandedOn = 0;
    QStringList m_told;
    QStringList m_asked;
    bool m_answer = true;
    int m_dialogsRun = 0;
    std::function<void(CTaskDlgBase &)> m_inDialog;

    void start(const QList<PlayTask> &tasks) {
        for (const PlayTask &t : tasks)
            QVERIFY(TaskChanges(*m_store).add(t, {"/m/" + t.Name + ".mp3"}).ok);
        m_window = std::make_unique<QWidget>();
        m_table = new CListCtrlCl(m_window.get());
        m_table->resize(900, 400);
        m_model = new TaskTableModel(m_window.get());
        m_table->setModel(m_model);
        m_editing = new TaskEditing(
            m_table, m_model, *m_store, m_clock,
            [this](const ScheduleTable &table) {
                m_schedule = table;
                ++m_schedulesHandedOn;
            },
            m_window.get());
        m_editing->setPrompts({[this](QWidget *, const QString &text, const QString &caption) {
                                   m_asked << caption + ":" + text;
                                   return m_answer;
                               },
                               [this](QWidget *, const QString &text) { m_told << text; }});
        m_editing->setDialogRunner([this](CTaskDlgBase &dialog) {
            ++m_dialogsRun;
            dialog.setNotice([this](QWidget *, const QString &text) { m_told << text; });
            if (m_inDialog)
                m_inDialog(dialog);
        });
        m_window->resize(900, 400);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    QStringList shownNames() const {
        QStringList names;
        for (const PlayTask &t : m_model->tasks())
            names << t.Name;
        return names;
    }

    QStringList storedNames() const {
        QStringList names;
        for (const PlayTask &t : m_store->ReadTaskRows())
            names << t.Name;
        return names;
    }

    void clickRow(int row) {
        const QRect cell = m_table->visualRect(m_model->index(row, 0));
        QTest::mouseClick(m_table->viewport(), Qt::LeftButton, {}, cell.center());
    }

    void clickTitle(int column) {
        QHeaderView *header = m_table->horizontalHeader();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }

    // In the modify dialog: set the volume and press OK.
    void changeVolumeTo(const QString &volume) {
        m_inDialog = [volume](CTaskDlgBase &dialog) {
            auto *combo = dialog.findChild<QComboBox *>("volumeCombo1012");
            combo->setEditText(volume);
            // A nearly silent volume is asked about first: the user means it.
            dialog.setQuestion([](QWidget *, const QString &) { return true; });
            QTest::mouseClick(dialog.findChild<QPushButton *>("okButton1"), Qt::LeftButton);
        };
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<TaskStore>(m_dir->path());
        m_clock.set(QDateTime(QDate(2012, 4, 30), QTime(9, 0))); // a Monday
        m_schedule.clear();
        m_schedulesHandedOn = 0;
        m_told.clear();
        m_asked.clear();
        m_answer = true;
        m_dialogsRun = 0;
        m_inDialog = nullptr;
    }

    void cleanup() { m_window.reset(); }

    void filtersByTheClockAndAChangeShowsAllAgain() {
        start({task("mon", "08:00:00", "周一周五"), task("tue", "08:00:00", "周二"),
               task("may1", "2012-05-01 08:00:00", "指定的一天"),
               task("later", "2012-06-30 08:00:00", "指定的一天"), task("none", "", "")});
        QCOMPARE(shownNames(), (QStringList{"mon", "tue", "may1", "later", "none"}));
        m_editing->ShowTodayTasks();
        QCOMPARE(shownNames(), QStringList{"mon"});
        m_editing->ShowWeekTasks();
        QCOMPARE(shownNames(), (QStringList{"mon", "tue", "may1"}));
        m_editing->ShowMonthTasks();
        QCOMPARE(shownNames(), (QStringList{"mon", "tue", "may1"}));
        m_clock.set(QDateTime(QDate(2012, 5, 31), QTime(9, 0)));
        m_editing->ShowMonthTasks();
        QCOMPARE(shownNames(), (QStringList{"mon", "tue", "later"}));

        // A new task: the table shows all tasks with the new one selected, and the schedule
        // has it at once.
        m_inDialog = [](CTaskDlgBase &dialog) {
            dialog.findChild<QLineEdit *>("nameEdit1004")->setText("new");
            dialog.findChild<QTimeEdit *>("endPicker1044")->setTime(QTime(9, 30));
            QTest::mouseClick(dialog.findChild<QPushButton *>("okButton1"), Qt::LeftButton);
        };
        m_editing->NewTask();
        QCOMPARE(m_dialogsRun, 1);
        QCOMPARE(shownNames(), (QStringList{"mon", "tue", "may1", "later", "none", "new"}));
        QCOMPARE(m_editing->selectedTask()->task.Name, QStringLiteral("new"));
        QCOMPARE(m_schedule.size(), 6);
        QCOMPARE(m_schedule.last().Time, QStringLiteral("09:00:00"));
    }

    // The dialog offers the timetables (全年 first) and predicts by the one chosen; the choice
    // is stored with the task and follows its rename; the column and the today filter follow.
    void timetableChoiceGoesWithTheTask() {
        start({task("铃", "08:00:00", "每天"), task("操", "10:00:00", "每天")});
        Timetables timetables(m_dir->path());
        QVERIFY(timetables.setTimetable("夏季", *SeasonRange::parse(u"05-01~09-30")));
        QVERIFY(timetables.setTimetable("冬季", *SeasonRange::parse(u"10-01~04-30")));
        m_editing->setTimetablesSource([&]() -> const Timetables & { return timetables; });
        m_editing->setDayGateSource([&] {
            DayGate gate;
            gate.seasons = SeasonGate(timetables);
            return gate;
        });
        connect(m_editing, &TaskEditing::storeChanged, [&] {
            timetables.load();
            m_model->setSeasons(timetables);
        });
        QString offered, predicted;
        m_inDialog = [&](CTaskDlgBase &dialog) {
            auto *choice = dialog.findChild<QComboBox *>("timetableChoice");
            QVERIFY(choice);
            for (int i = 0; i < choice->count(); ++i)
                offered += choice->itemText(i) + (i == choice->currentIndex() ? "*" : "") + " ";
            choice->setCurrentIndex(choice->findText("夏季"));
            predicted = dialog.nextStartShown();
            QTest::mouseClick(dialog.findChild<QPushButton *>("okButton1"), Qt::LeftButton);
        };
        clickRow(0);
        m_editing->ModifyTask();
        QCOMPARE(offered, QStringLiteral("全年* 夏季 冬季 "));
        QVERIFY2(predicted.contains("2012-05-01"), qPrintable(predicted));
        QCOMPARE(timetables.timetableOf("铃"), QStringLiteral("夏季"));
        QCOMPARE(m_model->columnCount(), TaskTableModel::ColumnCount + 1);
        QCOMPARE(m_model->data(m_model->index(0, TaskTableModel::SeasonColumn)).toString(),
                 QStringLiteral("夏季"));
        QCOMPARE(m_model->data(m_model->index(1, TaskTableModel::SeasonColumn)).toString(),
                 QStringLiteral("全年"));
        m_editing->ShowTodayTasks(); // 30 April: winter's last day
        QCOMPARE(shownNames(), QStringList{"操"});

        // Renamed in the dialog with the choice left alone: the entry goes with the name.
        m_editing->ShowAllTasks();
        offered.clear();
        m_inDialog = [&](CTaskDlgBase &dialog) {
            auto *choice = dialog.findChild<QComboBox *>("timetableChoice");
            offered = choice->currentText();
            dialog.findChild<QLineEdit *>("nameEdit1004")->setText("上课铃");
            QTest::mouseClick(dialog.findChild<QPushButton *>("okButton1"), Qt::LeftButton);
        };
        clickRow(0);
        m_editing->ModifyTask();
        QCOMPARE(offered, QStringLiteral("夏季"));
        QCOMPARE(timetables.taskTimetables(), (QHash<QString, QString>{{"上课铃", "夏季"}}));
        // A timetable gone: the task stays bound to it, and the table says it never plays.
        QVERIFY(timetables.removeTimetable("夏季"));
        m_model->setSeasons(timetables);
        QCOMPARE(m_model->data(m_model->index(0, TaskTableModel::SeasonColumn)).toString(),
                 QStringLiteral("夏季（不存在）"));
        QVERIFY(m_model->data(m_model->index(0, 0), Qt::ToolTipRole)
                    .toString()
                    .contains("作息表‘夏季’不存在"));
    }

    // The 广播分区 choice shows only while the campus is on: 全部 alone by default, several
    // zones at once, a zone gone still shown; stored with the task and following its rename.
    void zoneChoiceGoesWithTheTaskWhileTheCampusIsOn() {
        start({task("铃", "08:00:00", "每天"), task("操", "10:00:00", "每天")});
        CampusConfig campus(m_dir->path());
        QVERIFY(campus.setZone("教学楼", {"room1", "room2"}));
        QVERIFY(campus.setZone("操场", {"room3"}));
        QVERIFY(campus.setTaskZones("铃", {"旧楼"}));
        m_editing->setCampusSource([&]() -> const CampusConfig & { return campus; });
        connect(m_editing, &TaskEditing::storeChanged, [&] {
            campus.load();
            m_model->setCampus(campus);
        });
        const auto menuOf = [](CTaskDlgBase &dialog) {
            auto *choice = dialog.findChild<QToolButton *>("zoneChoice");
            return choice ? choice->menu() : nullptr;
        };
        const auto tick = [](QMenu *menu, const QString &text) {
            for (QAction *action : menu->actions())
                if (action->text() == text)
                    action->trigger();
        };
        bool offered = true;
        m_inDialog = [&](CTaskDlgBase &dialog) {
            offered = menuOf(dialog) != nullptr;
            dialog.findChild<QLineEdit *>("nameEdit1004")->setText("上课铃");
            QTest::mouseClick(dialog.findChild<QPushButton *>("okButton1"), Qt::LeftButton);
        };
        // Switched off: no choice, and a rename still takes the entry along.
        clickRow(0);
        m_editing->ModifyTask();
        QVERIFY(!offered);
        campus.load();
        QCOMPARE(campus.taskZones(), (QHash<QString, QStringList>{{"上课铃", {"旧楼"}}}));

        CampusConfig::Server on;
        on.enabled = true;
        QVERIFY(campus.setServer(on));
        m_model->setCampus(campus);
        QStringList shown;
        m_inDialog = [&](CTaskDlgBase &dialog) {
            QMenu *menu = menuOf(dialog);
            QVERIFY(menu);
            for (QAction *action : menu->actions())
                shown << action->text() + (action->isChecked() ? "*" : "");
            tick(menu, "操场");
            tick(menu, "旧楼（不存在）");
            tick(menu, "教学楼");
            shown << dialog.findChild<QToolButton *>("zoneChoice")->text();
            QTest::mouseClick(dialog.findChild<QPushButton *>("okButton1"), Qt::LeftButton);
        };
        clickRow(0);
        m_editing->ModifyTask();
        QCOMPARE(shown, (QStringList{"全部", "教学楼", "操场", "旧楼（不存在）*", "教学楼、操场"}));
        QCOMPARE(campus.zonesOf("上课铃"), (QStringList{"教学楼", "操场"}));
        QCOMPARE(m_model->data(m_model->index(0, m_model->zoneColumn())).toString(),
                 QStringLiteral("教学楼、操场"));
        QCOMPARE(m_model->data(m_model->index(1, m_model->zoneColumn())).toString(),
                 QStringLiteral("全部"));

        // 全部 unticks every zone; a new task starts at 全部 and stores no entry.
        shown.clear();
        m_inDialog = [&](CTaskDlgBase &dialog) {
            tick(menuOf(dialog), "全部");
            QTest::mouseClick(dialog.findChild<QPushButton *>("okButton1"), Qt::LeftButton);
        };
        clickRow(0);
        m_editing->ModifyTask();
        m_inDialog = [&](CTaskDlgBase &dialog) {
            shown << dialog.findChild<QToolButton *>("zoneChoice")->text();
            dialog.findChild<QLineEdit *>("nameEdit1004")->setText("新");
            dialog.findChild<QTimeEdit *>("endPicker1044")->setTime(QTime(23, 30));
            QTest::mouseClick(dialog.findChild<QPushButton *>("okButton1"), Qt::LeftButton);
        };
        m_editing->NewTask();
        QCOMPARE(shown, QStringList{"全部"});
        QCOMPARE(storedNames(), (QStringList{"上课铃", "操", "新"}));
        QVERIFY(campus.taskZones().isEmpty());
    }

    void modifyAndDeleteActOnTheSelectedTaskAfterSortAndFilter() {
        start({task("c", "07:00:00", "每天", "10000"),
               task("a", "2012-04-30 08:00:00", "指定的一天"), task("b", "09:00:00", "周二")});
        clickRow(1); // "a"
        QCOMPARE(m_editing->selectedTask()->task.Name, QStringLiteral("a"));
        clickTitle(0);
        QCOMPARE(shownNames(), (QStringList{"a", "b", "c"}));
        // The highlight followed the task to its new place.
        QCOMPARE(m_table->selectionModel()->selectedRows().value(0).row(), 0);
        changeVolumeTo("20000");
        m_editing->ModifyTask();
        QCOMPARE(m_store->ReadTaskRows()[1].Type, QStringLiteral("20000"));
        QCOMPARE(m_store->ReadTaskRows()[0].Type, QStringLiteral("10000"));
        QCOMPARE(m_schedule[1].Type, QStringLiteral("20000"));
        // The change shows all tasks in file order, the changed one still selected.
        QCOMPARE(shownNames(), (QStringList{"c", "a", "b"}));
        QCOMPARE(m_editing->selectedTask()->section, 1);

        // Today (a Monday) shows c and a; b is no longer at the selected place.
        clickRow(2); // "b"
        m_editing->ShowTodayTasks();
        QCOMPARE(shownNames(), (QStringList{"c", "a"}));
        QVERIFY(!m_editing->selectedTask());
        m_editing->ModifyTask();
        m_editing->DeleteTask();
        QCOMPARE(m_dialogsRun, 1);
        QCOMPARE(m_told, (QStringList{"修改定时播放任务：修改时请先选择一行.",
                                      "删除定时播放任务：删除时请先选择一行."}));
        QVERIFY(m_asked.isEmpty());

        // Sort descending by start, select "c" at the bottom, filter again: delete removes c.
        clickTitle(1);
        clickTitle(1);
        QCOMPARE(shownNames(), (QStringList{"a", "c"}));
        clickRow(1);
        m_editing->ShowTodayTasks();
        QCOMPARE(m_editing->selectedTask()->task.Name, QStringLiteral("c"));
        m_answer = false;
        m_editing->DeleteTask();
        QCOMPARE(m_asked, QStringList{"删除:确定要删除吗?"});
        QCOMPARE(storedNames(), (QStringList{"c", "a", "b"}));
        QCOMPARE(shownNames(), (QStringList{"c", "a"})); // the filter stays on No
        m_answer = true;
        m_editing->DeleteTask();
        QCOMPARE(storedNames(), (QStringList{"a", "b"}));
        QCOMPARE(shownNames(), (QStringList{"a", "b"}));
        QVERIFY(!QFile::exists(m_dir->filePath("c.ini")));
        QVERIFY(QFile::exists(m_dir->filePath("a.ini")));
        QCOMPARE(m_schedule.size(), 2);
        // Nothing is selected after a deletion, so a second delete cannot hit a neighbour.
        QVERIFY(!m_editing->selectedTask());
    }

    void doubleClickOpensTheClickedTask() {
        start({task("a", "08:00:00", "每天"), task("b", "09:00:00", "每天")});
        QString opened;
        m_inDialog = [&](CTaskDlgBase &dialog) {
            opened = dialog.findChild<QLineEdit *>("nameEdit1004")->text();
            QCOMPARE(dialog.playlist(), TaskPlaylist{"/m/b.mp3"});
        };
        const QRect cell = m_table->visualRect(m_model->index(1, 2));
        // A double click arrives as a click followed by the double-click event.
        QTest::mouseClick(m_table->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(m_table->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(opened, QStringLiteral("b"));
        QVERIFY(m_told.isEmpty());

        // A click below the last row selects nothing, so modify only asks for a row.
        QTest::mouseClick(m_table->viewport(), Qt::LeftButton, {},
                          QPoint(10, m_table->viewport()->height() - 5));
        m_editing->ModifyTask();
        QCOMPARE(m_dialogsRun, 1);
        QCOMPARE(m_told, QStringList{"修改定时播放任务：修改时请先选择一行."});
    }

    void threeClicksOnOneTitle() {
        start({task("x", "08:00:00", "每天", "60000"), task("y", "08:00:00", "每天", "0"),
               task("z", "08:00:00", "每天", "65535"), task("w", "08:00:00", "每天", "10000")});
        auto volumes = [this] {
            QStringList out;
            for (const PlayTask &t : m_model->tasks())
                out << t.Type;
            return out;
        };
        clickTitle(3);
        QCOMPARE(volumes(), (QStringList{"0", "10000", "60000", "65535"}));
        clickTitle(3);
        QCOMPARE(volumes(), (QStringList{"65535", "60000", "10000", "0"}));
        clickTitle(3);
        QCOMPARE(volumes(), (QStringList{"0", "10000", "60000", "65535"}));
        m_editing->ShowAllTasks();
        QCOMPARE(shownNames(), (QStringList{"x", "y", "z", "w"}));
    }

    void removeRowTakesItOffTheDisplayOnly() {
        start({task("a", "08:00:00", "每天"), task("b", "09:00:00", "每天")});
        m_editing->RemoveRow(); // no selection: nothing
        QCOMPARE(shownNames(), (QStringList{"a", "b"}));
        clickRow(0);
        m_editing->RemoveRow();
        QCOMPARE(shownNames(), QStringList{"b"});
        QCOMPARE(storedNames(), (QStringList{"a", "b"}));
        QCOMPARE(m_schedulesHandedOn, 0);
        m_editing->ShowAllTasks();
        QCOMPARE(shownNames(), (QStringList{"a", "b"}));
    }

    void aTaskChangedMeanwhileIsNotOverwritten() {
        start({task("a", "08:00:00", "每天"), task("b", "09:00:00", "每天")});
        clickRow(1);
        // Another copy of the program deletes "a"; "b" is now section 0.
        QVERIFY(TaskChanges(*m_store).remove(0, m_store->ReadTaskRows()[0]).ok);
        changeVolumeTo("1");
        m_editing->ModifyTask();
        QCOMPARE(m_told.size(), 1);
        QCOMPARE(m_store->ReadTaskRows(), QList<PlayTask>{task("b", "09:00:00", "每天")});
        QCOMPARE(shownNames(), QStringList{"b"}); // the table shows what the file holds

        // A playlist that cannot be read is not opened, so OK cannot empty it.
        m_told.clear();
        QVERIFY(QFile::remove(m_dir->filePath("b.ini")));
        QVERIFY(QDir(m_dir->path()).mkdir("b.ini"));
        m_editing->ShowAllTasks();
        clickRow(0);
        m_editing->ModifyTask();
        QCOMPARE(m_dialogsRun, 1);
        QCOMPARE(m_told.size(), 1);
    }

    // A task from an old file named like a store file: modify says why its list is empty and
    // lets the user rename it; keeping the name is refused and no store file is touched.
    void taskNamedLikeAStoreFileCanBeRenamed() {
        start({task("a", "08:00:00", "每天")});
        PlayTask date = task("Date", "09:00:00", "每天");
        date.Duration = "09:30:00";
        QVERIFY(m_store->RewriteTaskStore({task("a", "08:00:00", "每天"), date}));
        QVERIFY(m_store->WriteTaskPlaylist("a", {"/m/a.mp3"}));
        QVERIFY(QFile(m_dir->filePath("date.ini")).open(QIODevice::WriteOnly));
        m_editing->ShowAllTasks();
        clickRow(1);
        changeVolumeTo("1");
        m_editing->ModifyTask();
        QCOMPARE(m_dialogsRun, 1);
        QCOMPARE(m_told.size(), 2); // why the list is empty, then why OK is refused
        QVERIFY(m_told[0].contains("date.ini"));
        QCOMPARE(m_store->ReadTaskRows()[1].Type, QStringLiteral("60000"));
        QCOMPARE(QFileInfo(m_dir->filePath("date.ini")).size(), 0);

        m_told.clear();
        m_inDialog = [](CTaskDlgBase &dialog) {
            dialog.findChild<QLineEdit *>("nameEdit1004")->setText("日期");
            QTest::mouseClick(dialog.findChild<QPushButton *>("okButton1"), Qt::LeftButton);
        };
        m_editing->ModifyTask();
        QCOMPARE(m_told.size(), 1);
        QCOMPARE(storedNames(), (QStringList{"a", "日期"}));
        QCOMPARE(QFileInfo(m_dir->filePath("date.ini")).size(), 0);
        QVERIFY(QFile::exists(m_dir->filePath("日期.ini")));
    }
};

QTEST_MAIN(TestTaskEditing)
#include "test_task_editing.moc"
