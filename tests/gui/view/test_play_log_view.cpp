#include "platform/GeneratedMedia.h"
#include "platform/MpvPlayer.h"
#include "playlog/PlayLog.h"
#include "scheduler/FakeClock.h"
#include "store/TaskStore.h"
#include "store/Timetables.h"
#include "tasktable/TaskTableModel.h"
#include "view/HoraletView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

PlayTask morning() {
    PlayTask task;
    task.Name = QStringLiteral("早操");
    task.Time = QStringLiteral("08:00:00");
    task.Duration = QStringLiteral("08:30:00");
    task.Type = QStringLiteral("30000");
    task.Device = TaskText::EveryDay;
    task.Recurrence = TaskText::Sequential;
    return task;
}

QStringList eventsIn(const QString &path) {
    QStringList out;
    for (const PlayLogRow &row : PlayLog::read(path))
        out << row.event + QLatin1Char('|') + row.task + QLatin1Char('|') + row.item;
    return out;
}

} // namespace

class TestPlayLogView : public QObject {
    Q_OBJECT
private slots:
    void logAndNextTaskFromStartToExit();
    void preflightMarksTheRowLogsAndClears();
};

void TestPlayLogView::logAndNextTaskFromStartToExit() {
    QTemporaryDir dir;
    const TaskStore store(dir.path());
    QVERIFY(store.RewriteTaskStore({morning()}));
    // A file of 25 months ago goes at start-up; one of 24 months ago stays.
    QVERIFY(QDir().mkpath(PlayLog::folderIn(dir.path())));
    const QString old = QDir(PlayLog::folderIn(dir.path())).filePath("2024-11.csv");
    const QString kept = QDir(PlayLog::folderIn(dir.path())).filePath("2024-12.csv");
    for (const QString &path : {old, kept}) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QString month = QDir(PlayLog::folderIn(dir.path())).filePath("2026-12.csv");

    FakeClock clock(QDateTime(QDate(2026, 12, 8), QTime(7, 48, 0)));
    {
        CHoraletView view(dir.path());
        view.setClock(&clock);
        QSignalSpy next(&view, &CHoraletView::nextTaskChanged);
        view.OnInitialUpdate();
        QVERIFY(!QFile::exists(old));
        QVERIFY(QFile::exists(kept));
        QCOMPARE(view.nextTaskText(), QStringLiteral("下一个：早操 08:00:00（还有 12 分钟）"));
        QCOMPARE(eventsIn(month), QStringList{"程序启动||"});

        auto *player = view.findChild<MpvPlayer *>();
        QVERIFY(player);
        emit player->itemFailed(QStringLiteral("/m/gone.mp3"), QStringLiteral("文件不存在"));
        view.findChild<QAbstractButton *>(QStringLiteral("stopButton1061"))->click();

        // A change of the tasks is a change of what comes next.
        view.setScheduleTable({});
        QCOMPARE(next.last().at(0).toString(), QStringLiteral("下一个：无"));
    }
    QCOMPARE(eventsIn(month),
             (QStringList{"程序启动||", "项目失败||/m/gone.mp3", "手动停止||", "程序退出||"}));
}

void TestPlayLogView::preflightMarksTheRowLogsAndClears() {
    QTemporaryDir dir;
    const TaskStore store(dir.path());
    const QString missing = dir.filePath("铃声.wav");
    QVERIFY(store.RewriteTaskStore({morning()}));
    QVERIFY(store.WriteTaskPlaylist("早操", {missing}));
    FakeClock clock(QDateTime(QDate(2026, 12, 8), QTime(7, 48, 0)));
    CHoraletView view(dir.path());
    view.setClock(&clock);
    QSignalSpy caption(&view, &CHoraletView::preflightChanged);
    view.OnInitialUpdate();
    QVERIFY(caption.wait(10000));
    QCOMPARE(caption.last().at(0).toString(), QStringLiteral("今天有 1 个播放任务的文件有问题"));
    const QModelIndex first = view.taskModel()->index(0, 0);
    QCOMPARE(view.taskModel()->data(first, Qt::ToolTipRole).toString(),
             QStringLiteral("文件不存在：") + missing);
    QVERIFY(!view.taskModel()->data(first, Qt::DecorationRole).isNull());
    const QString month = QDir(PlayLog::folderIn(dir.path())).filePath("2026-12.csv");
    QVERIFY(eventsIn(month).contains("文件问题|早操|" + missing));

    // The file put in place: the next check clears the mark and the caption.
    QFile file(missing);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(toneWav(1.0, 8000));
    file.close();
    view.runPreflight();
    QVERIFY(caption.wait(10000));
    QCOMPARE(caption.last().at(0).toString(), QString());
    QVERIFY(view.taskModel()->data(first, Qt::ToolTipRole).isNull());
    QCOMPARE(eventsIn(month).count("文件问题|早操|" + missing), 1);

    // A task whose timetable was deleted, and one whose volume is no number: neither is a
    // file problem, each is told and counted as what it is, and marked once.
    PlayTask lesson = morning();
    lesson.Name = QStringLiteral("上课");
    lesson.Time = QStringLiteral("09:00:00");
    PlayTask mute = morning();
    mute.Name = QStringLiteral("午休");
    mute.Time = QStringLiteral("12:00:00");
    mute.Type = QStringLiteral("abc");
    QVERIFY(store.RewriteTaskStore({morning(), lesson, mute}));
    QVERIFY(store.WriteTaskPlaylist("上课", {missing}));
    QVERIFY(store.WriteTaskPlaylist("午休", {missing}));
    Timetables timetables(dir.path());
    QVERIFY(timetables.setTaskTimetable("上课", "冬季"));
    view.reloadFromStore();
    QVERIFY(caption.wait(10000));
    QCOMPARE(caption.last().at(0).toString(),
             QStringLiteral("今天有 1 个播放任务不会播放：作息表‘冬季’不存在；"
                            "今天有 1 个播放任务会无声（音量不是 0 到 65535 之间的数字）"));
    QCOMPARE(view.taskModel()->data(view.taskModel()->index(1, 0), Qt::ToolTipRole).toString(),
             QStringLiteral("作息表‘冬季’不存在，此任务不会播放"));
    QCOMPARE(view.taskModel()->data(view.taskModel()->index(2, 3), Qt::ToolTipRole).toString(),
             QStringLiteral("音量“abc”不是 0 到 65535 之间的数字，播放时按 0 处理，听不到声音"));
    const QStringList events = eventsIn(month);
    QVERIFY(events.contains("作息表问题|上课|"));
    QVERIFY(events.contains("音量问题|午休|"));
    QVERIFY(!events.contains("文件问题|上课|"));
}

QTEST_MAIN(TestPlayLogView)
#include "test_play_log_view.moc"
