#include "campus/CampusConfig.h"
#include "store/TaskStore.h"
#include "tasktable/TaskTableModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
PlayTask task(const QString &name, const QString &time = QStringLiteral("08:00:00")) {
    return {name,
            time,
            QStringLiteral("08:30:00"),
            QStringLiteral("60000"),
            QStringLiteral("每天"),
            QStringLiteral("顺序播放"),
            QString()};
}

QStringList rowTexts(const TaskTableModel &model, int row) {
    QStringList texts;
    for (int column = 0; column < model.columnCount(); ++column)
        texts << model.data(model.index(row, column)).toString();
    return texts;
}
} // namespace

class TestTaskTableModel : public QObject {
    Q_OBJECT
private slots:
    void columnsHaveTheTableTitlesAndWidths() {
        TaskTableModel model;
        QCOMPARE(model.columnCount(), 6);
        const QStringList titles = {"播放任务名称", "开始时间", "结束时间",
                                    "音量",         "播放日期", "播放模式"};
        const QList<int> widths = {150, 160, 160, 80, 228, 90};
        for (int column = 0; column < 6; ++column) {
            QCOMPARE(model.headerData(column, Qt::Horizontal).toString(), titles.at(column));
            QCOMPARE(TaskTableModel::columnWidth(column), widths.at(column));
            QCOMPARE(model.headerData(column, Qt::Horizontal, Qt::TextAlignmentRole)
                             .value<Qt::Alignment>() &
                         Qt::AlignHorizontal_Mask,
                     Qt::AlignLeft);
        }
        QVERIFY(!model.headerData(6, Qt::Horizontal).isValid());
        QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
    }

    void cellsShowTheStoredTextUnchangedAndNotesIsDropped() {
        TaskTableModel model;
        QAbstractItemModelTester tester(&model);
        // Texts the program never produces must still show as stored, untouched.
        const PlayTask odd{QStringLiteral(" 名 称 "),
                           QStringLiteral("2012-05-01 08:30:00"),
                           QStringLiteral("25:99:99"),
                           QStringLiteral("音量abc"),
                           QString(),
                           QStringLiteral("随机播放"),
                           QStringLiteral("note")};
        model.AppendTaskRow(odd);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(rowTexts(model, 0), QStringList({" 名 称 ", "2012-05-01 08:30:00", "25:99:99",
                                                  "音量abc", "", "随机播放"}));
        QCOMPARE(model.task(0), odd);
        QVERIFY(!model.data(model.index(0, 6)).isValid());
    }

    void rowsThatWillNotPlaySayWhy() {
        TaskTableModel model;
        model.setMarkIcon(QStringLiteral("mark")); // stands for the GUI's icon
        PlayTask same = task("same", "08:30:00");  // ends at its own start second
        PlayTask weeklyNoDay = task("none", QString());
        weeklyNoDay.Duration.clear();
        model.setTasks({task("fine"), same, weeklyNoDay});

        for (int row : {0, 2})
            for (int column = 0; column < model.columnCount(); ++column) {
                QVERIFY(!model.data(model.index(row, column), Qt::DecorationRole).isValid());
                QVERIFY(!model.data(model.index(row, column), Qt::ToolTipRole).isValid());
            }
        QCOMPARE(model.data(model.index(1, 0), Qt::DecorationRole).toString(), QString("mark"));
        QVERIFY(!model.data(model.index(1, 3), Qt::DecorationRole).isValid());
        for (int column = 0; column < model.columnCount(); ++column)
            QCOMPARE(model.data(model.index(1, column), Qt::ToolTipRole).toString(),
                     QString("开始时间和结束时间相同,此任务不会播放,请修改结束时间."));
        // The cells still show what is stored.
        QCOMPARE(rowTexts(model, 1).mid(0, 3), (QStringList{"same", "08:30:00", "08:30:00"}));

        // A hand-edited name Windows cannot hold plays on; a rename is suggested.
        model.setTasks({task("aux.mp3")});
        QVERIFY(model.data(model.index(0, 0), Qt::ToolTipRole).toString().contains("Windows"));

        // A stored volume that is not a number from 0 to 65535 marks its cell and says what
        // it plays at; blanks around a number play as the number and are no fault.
        const std::pair<const char *, const char *> volumes[] = {
            {"abc", "音量“abc”不是 0 到 65535 之间的数字，播放时按 0 处理，听不到声音"},
            {"６００００", "音量“６００００”是全角数字，播放时按 0 处理，听不到声音"},
            {"70000", "音量“70000”不是 0 到 65535 之间的数字，播放时按 65535 处理"},
            {" 60000", nullptr},
            {"0", nullptr},
        };
        for (const auto &[volume, note] : volumes) {
            PlayTask stored = task("v");
            stored.Type = QString::fromUtf8(volume);
            model.setTasks({stored});
            const QModelIndex cell = model.index(0, TaskTableModel::VolumeColumn);
            QCOMPARE(model.data(cell).toString(), stored.Type);
            if (!note) {
                QVERIFY(!model.data(cell, Qt::DecorationRole).isValid());
                QVERIFY(!model.data(cell, Qt::ToolTipRole).isValid());
                continue;
            }
            QCOMPARE(model.data(cell, Qt::DecorationRole).toString(), QString("mark"));
            QCOMPARE(model.data(cell, Qt::ToolTipRole).toString(), QString::fromUtf8(note));
            QCOMPARE(model.data(model.index(0, 0), Qt::DecorationRole).toString(), QString("mark"));
            QVERIFY(!model.data(model.index(0, 1), Qt::DecorationRole).isValid());
        }
    }

    // 分区 shows only while the campus is on, after 作息表 when both show; the six stored
    // columns never move.
    void zoneColumnFollowsTheCampusBesideTheTimetables() {
        QTemporaryDir dir;
        TaskTableModel model;
        QAbstractItemModelTester tester(&model);
        model.setTasks({task("上课铃"), task("放学铃")});
        CampusConfig campus(dir.path());
        QVERIFY(campus.setTaskZones("上课铃", {"教学楼", "操场"}));
        QVERIFY(campus.setZone("教学楼", {"room1"}));
        model.setCampus(campus);
        QCOMPARE(model.columnCount(), 6);
        QCOMPARE(model.zoneColumn(), -1);

        CampusConfig::Server on;
        on.enabled = true;
        QVERIFY(campus.setServer(on));
        model.setCampus(campus);
        QCOMPARE(model.columnCount(), 7);
        QCOMPARE(model.headerData(6, Qt::Horizontal).toString(), QStringLiteral("分区"));
        QCOMPARE(rowTexts(model, 0).mid(5), (QStringList{"顺序播放", "教学楼、操场（不存在）"}));
        QCOMPARE(rowTexts(model, 1).at(6), TaskTableModel::AllRooms);
        QVERIFY(model.data(model.index(0, 0), Qt::ToolTipRole).toString().contains("操场"));

        Timetables timetables(dir.path());
        QVERIFY(timetables.setTimetable("夏季", *SeasonRange::parse(u"05-01~09-30")));
        QVERIFY(timetables.setTaskTimetable("放学铃", "夏季"));
        model.setSeasons(timetables);
        QCOMPARE(model.columnCount(), 8);
        QCOMPARE(model.headerData(6, Qt::Horizontal).toString(), QStringLiteral("作息表"));
        QCOMPARE(model.headerData(7, Qt::Horizontal).toString(), QStringLiteral("分区"));
        QCOMPARE(rowTexts(model, 1).mid(6), (QStringList{"夏季", "全部"}));
        QCOMPARE(rowTexts(model, 0).mid(6), (QStringList{"全年", "教学楼、操场（不存在）"}));

        QVERIFY(timetables.removeTimetable("夏季") && timetables.setTaskTimetable("放学铃", ""));
        model.setSeasons(timetables);
        QCOMPARE(model.zoneColumn(), 6);
        QCOMPARE(rowTexts(model, 0).at(6), QStringLiteral("教学楼、操场（不存在）"));
        on.enabled = false;
        QVERIFY(campus.setServer(on));
        model.setCampus(campus);
        QCOMPARE(model.columnCount(), 6);
        QVERIFY(!model.data(model.index(0, 0), Qt::ToolTipRole).isValid());
    }

    void appendAddsRowsAtTheEndAndRefillsReplaceThem() {
        TaskTableModel model;
        QAbstractItemModelTester tester(&model);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.AppendTaskRow(task("A"));
        model.AppendTaskRow(task("B"));
        model.AppendTaskRow(task("C"));
        QCOMPARE(inserted.size(), 3);
        QCOMPARE(inserted.last().at(1).toInt(), 2);
        QCOMPARE(model.data(model.index(2, 0)).toString(), QStringLiteral("C"));

        model.removeTaskRow(1);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.task(1).Name, QStringLiteral("C"));
        model.removeTaskRow(5); // no such row: nothing happens
        model.removeTaskRow(-1);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.task(7), PlayTask{});

        model.setTasks({task("X")});
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.task(0).Name, QStringLiteral("X"));
        model.DeleteAllItems();
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!model.data(model.index(0, 0)).isValid());
    }

    // The fill the main window does at start-up, from a code page 936 (GBK) song.ini with CRLF.
    void filledFromAGbkSongIniInSectionOrder() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QFile::copy(QStringLiteral(HORALET_TEST_DATA "/main-window/song.ini"),
                            dir.filePath(QStringLiteral("song.ini"))));
        TaskTableModel model;
        for (const PlayTask &row : TaskStore(dir.path()).ReadTaskRows())
            model.AppendTaskRow(row);

        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(rowTexts(model, 0),
                 QStringList({"早操铃声", "08:00:00", "08:30:00", "60000", "每天", "顺序播放"}));
        QCOMPARE(rowTexts(model, 1).at(4), QStringLiteral("周一周五"));
        QCOMPARE(rowTexts(model, 2),
                 QStringList({"五一晚会", "2012-05-01 08:30:00", "2012-05-01 09:00:00", "65535",
                              "指定的一天", "随机播放"}));
        QCOMPARE(rowTexts(model, 3).at(0), QStringLiteral("午休音乐 Lunch"));
        QCOMPARE(rowTexts(model, 3).at(3), QStringLiteral("0"));
    }
};

QTEST_GUILESS_MAIN(TestTaskTableModel)
#include "test_task_table_model.moc"
