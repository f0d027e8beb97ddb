#include "playback/FakePlayback.h"
#include "scheduler/FakeClock.h"
#include "store/ProfileStore.h"
#include "store/TaskStore.h"
#include "view/HoraletView.h"
#include "view/PlayPanel.h"
#include "widgets/ScrollingText.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Blanks(16, u' ');

template <typename T> T *find(const QWidget &view, const char *name) {
    T *widget = view.findChild<T *>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no control %s", name);
    return widget;
}

QStringList entries(const QListWidget *list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

} // namespace

class TestPlayPanel : public QObject {
    Q_OBJECT
private slots:
    void scheduledTaskShowsOnThePanel();
    void radiosAndStopButtonDriveThePlayback();
    void unreadablePlaylistIsShownWithItsReason();
};

void TestPlayPanel::scheduledTaskShowsOnThePanel() {
    QTemporaryDir dir;
    const TaskStore store(dir.path());
    QVERIFY(store.WriteTaskPlaylist("早操", {"/音乐/一.mp3", "/音乐/二.mp3"}));
    CHoraletView view(dir.path());
    FakeClock clock;
    clock.set(QDateTime(QDate(2026, 12, 7), QTime(8, 0, 0, 4)));
    FakePlayer player;
    FakeVolume volume;
    PlayPanel panel(*view.form(), player, volume, view.taskStore(), clock);

    PlayTask task;
    task.Name = "早操";
    task.Time = "08:00:00";
    task.Duration = "08:30:00";
    task.Type = "30000";
    task.Device = TaskText::EveryDay;
    task.Recurrence = TaskText::Loop;
    const ScheduleTable table = {task};
    panel.startScheduler([&]() -> const ScheduleTable & { return table; },
                         [] { return DayGate(); });

    auto *list = find<QListWidget>(view, "playList1037");
    QCOMPARE(entries(list), QStringList({"/音乐/一.mp3", "/音乐/二.mp3"}));
    QVERIFY(find<QRadioButton>(view, "loopRadio1071")->isChecked());
    QVERIFY(find<QLineEdit>(view, "currentTask1043")->text().isEmpty());

    panel.playback().PlaylistStep();
    QCOMPARE(player.current, QString("/音乐/一.mp3"));
    QCOMPARE(entries(list), QStringList({"/音乐/二.mp3", "/音乐/一.mp3"}));
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(find<QLineEdit>(view, "currentTask1043")->text(), QString("早操"));
    auto *caption = find<CScrollingText>(view, "caption1125");
    QCOMPARE(caption->text(), Blanks + "一" + Blanks);
    QCOMPARE(caption->segmentCount(), 1);
    QCOMPARE(caption->GetSegment(0).color, QColor(0, 128, 255));
    // Each new text replaces the line's one segment.
    emit panel.playback().captionChanged(QStringLiteral("二"));
    QCOMPARE(caption->text(), QStringLiteral("二"));
    QCOMPARE(caption->segmentCount(), 1);
    QCOMPARE(volume.level, 30000);
}

void TestPlayPanel::radiosAndStopButtonDriveThePlayback() {
    QTemporaryDir dir;
    const TaskStore store(dir.path());
    QVERIFY(store.WriteTaskPlaylist("bell", {"/m/A.wav", "/m/B.wav"}));
    CHoraletView view(dir.path());
    FakeClock clock;
    FakePlayer player;
    FakeVolume volume;
    PlayPanel panel(*view.form(), player, volume, view.taskStore(), clock);
    find<QRadioButton>(view, "sequentialRadio1112")->setChecked(true);

    PlayTask task;
    task.Name = "bell";
    task.Recurrence = "unknown mode";
    panel.playback().StartTask(task);
    QCOMPARE(panel.playback().playMode(), PlayMode::Sequential);
    find<QRadioButton>(view, "randomRadio1110")->click();
    QCOMPARE(panel.playback().playMode(), PlayMode::Random);
    find<QRadioButton>(view, "loopRadio1071")->click();
    QCOMPARE(panel.playback().playMode(), PlayMode::Loop);

    panel.playback().PlaylistStep();
    QVERIFY(!player.current.isEmpty());
    find<QPushButton>(view, "stopButton1061")->click();
    QVERIFY(player.current.isEmpty());
    QVERIFY(!panel.playback().isStepping());
    QCOMPARE(find<QListWidget>(view, "playList1037")->count(), 2);
    QCOMPARE(find<QLineEdit>(view, "currentTask1043")->text(), QString("bell"));
}

// A task named like a store file has no playlist: it plays nothing and the caption says why.
void TestPlayPanel::unreadablePlaylistIsShownWithItsReason() {
    QTemporaryDir dir;
    QFile dates(dir.filePath("date.ini"));
    QVERIFY(dates.open(QIODevice::WriteOnly));
    // It looks like a playlist, so reading it as one would play an item.
    dates.write(Gbk::encode(QStringLiteral(
                                "[歌曲]\r\n歌曲名称0=/m/x.mp3\r\n[多媒体文件数量]\r\n数量=1\r\n"))
                    .value());
    dates.close();
    CHoraletView view(dir.path());
    FakeClock clock;
    FakePlayer player;
    FakeVolume volume;
    PlayPanel panel(*view.form(), player, volume, view.taskStore(), clock);
    PlayTask task;
    task.Name = "DATE";
    task.Recurrence = TaskText::Loop;
    panel.playback().StartTask(task);
    panel.playback().PlaylistStep();
    QVERIFY(player.opened.isEmpty());
    QCOMPARE(find<QListWidget>(view, "playList1037")->count(), 0);
    QVERIFY(find<CScrollingText>(view, "caption1125")->text().contains("date.ini"));
}

QTEST_MAIN(TestPlayPanel)
#include "test_play_panel.moc"
