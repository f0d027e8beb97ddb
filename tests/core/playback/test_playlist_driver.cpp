#include "FakePlayback.h"
#include "playback/ItemDisplayName.h"
#include "playback/PlaylistDriver.h"

#include <QMap>
#include <QSignalSpy>
#include <QTest>

namespace {

PlayTask task(const QString &name, const QString &mode, const QString &volume = "30000") {
    PlayTask t;
    t.Name = name;
    t.Time = "08:00:00";
    t.Duration = "08:30:00";
    t.Type = volume;
    t.Device = TaskText::EveryDay;
    t.Recurrence = mode;
    return t;
}

const QString Blanks(16, u' ');

struct Rig {
    FakePlayer player;
    FakeVolume volume;
    QMap<QString, TaskPlaylist> lists{{"bell", {"/m/A.mp3", "/m/B.mp3", "/m/C.mp3"}},
                                      {"news", {"http://radio.example/live.mp3"}},
                                      {"empty", {}}};
    PlaylistDriver driver{player, volume, [this](const QString &name) { return lists[name]; }};

    // One step after the item playing now has ended.
    void next() {
        player.finish();
        driver.PlaylistStep();
    }
};

} // namespace

class TestPlaylistDriver : public QObject {
    Q_OBJECT
private slots:
    void startLoadsListClosesAndWaitsForFirstStep();
    void sequentialPassEndsWithLastItemPlayingOut();
    void loopKeepsRotating();
    void randomNeverReorders();
    void loopToSequentialGivesFullPass();
    void busyPlayerHoldsTheList();
    void failedItemIsReplacedAtNextStep();
    void itemCutOffBySoundLossIsTriedAgain();
    void soundLossOfTheLastItemKeepsTheTaskGoing();
    void itemAppliesTaskVolumeEveryTime();
    void oddVolumeTextsStayInRange();
    void stopKeepsListAndLabel();
    void secondTaskReplacesFirst();
    void emptyPlaylistPlaysNothing();
    void closedGateHoldsTheStep();
    void displayNames_data();
    void displayNames();
};

void TestPlaylistDriver::startLoadsListClosesAndWaitsForFirstStep() {
    Rig rig;
    QSignalSpy list(&rig.driver, &PlaylistDriver::listChanged);
    rig.driver.StartTask(task("bell", TaskText::Sequential));
    QCOMPARE(rig.driver.items(), rig.lists["bell"]);
    QCOMPARE(list.count(), 1);
    QCOMPARE(rig.player.closes, 1);
    QVERIFY(rig.player.opened.isEmpty());
    QVERIFY(rig.driver.isStepping());
    QCOMPARE(rig.driver.state().taskName, QString("bell"));
    QCOMPARE(rig.driver.state().volume, 30000);
    QCOMPARE(rig.driver.state().itemsStarted, 0);
}

void TestPlaylistDriver::sequentialPassEndsWithLastItemPlayingOut() {
    Rig rig;
    rig.driver.StartTask(task("bell", TaskText::Sequential));
    rig.driver.PlaylistStep();
    QCOMPARE(rig.player.current, QString("/m/A.mp3"));
    QCOMPARE(rig.driver.items(), QStringList({"/m/B.mp3", "/m/C.mp3", "/m/A.mp3"}));
    QCOMPARE(rig.driver.selectedRow(), 0);
    rig.next();
    rig.next();
    QCOMPARE(rig.player.opened, QStringList({"/m/A.mp3", "/m/B.mp3", "/m/C.mp3"}));
    QCOMPARE(rig.driver.items(), rig.lists["bell"]);
    QCOMPARE(rig.driver.selectedRow(), 0);

    // The pass is over at the next step: C is not cut and nothing follows it. The pass ends
    // when C has ended, as the player reports it.
    QSignalSpy ended(&rig.driver, &PlaylistDriver::sequentialPassEnded);
    rig.driver.PlaylistStep();
    QVERIFY(!rig.driver.isStepping());
    QCOMPARE(rig.player.current, QString("/m/C.mp3"));
    QCOMPARE(rig.player.closes, 1);
    rig.driver.playerWentIdle(); // a report while C still plays
    QCOMPARE(ended.size(), 0);
    QVERIFY(rig.driver.isTaskActive());
    rig.player.finish();
    rig.driver.playerWentIdle();
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.first().first().toString(), QString("bell"));
    QVERIFY(!rig.driver.isTaskActive());
    rig.driver.PlaylistStep(); // a stray step would restart the pass from the top
    QCOMPARE(rig.player.opened.size(), 4);
    QCOMPARE(rig.driver.state().itemsStarted, 1);

    // Stopped (or replaced) while its last item plays, the pass ends then.
    rig.next();
    rig.next();
    rig.driver.PlaylistStep();
    QCOMPARE(rig.player.current, QString("/m/C.mp3"));
    QCOMPARE(ended.size(), 1);
    rig.driver.StopPlayback();
    QCOMPARE(ended.size(), 2);
    rig.driver.playerWentIdle();
    QCOMPARE(ended.size(), 2);
}

void TestPlaylistDriver::loopKeepsRotating() {
    Rig rig;
    rig.driver.StartTask(task("bell", TaskText::Loop));
    QCOMPARE(rig.driver.playMode(), PlayMode::Loop);
    rig.driver.PlaylistStep();
    for (int i = 0; i < 7; ++i)
        rig.next();
    QCOMPARE(rig.player.opened, QStringList({"/m/A.mp3", "/m/B.mp3", "/m/C.mp3", "/m/A.mp3",
                                             "/m/B.mp3", "/m/C.mp3", "/m/A.mp3", "/m/B.mp3"}));
    QVERIFY(rig.driver.isStepping());
    QCOMPARE(rig.driver.state().itemsStarted, 0);
}

void TestPlaylistDriver::randomNeverReorders() {
    Rig rig;
    rig.driver.setRandomSeed(7);
    QSignalSpy selection(&rig.driver, &PlaylistDriver::selectionChanged);
    rig.driver.StartTask(task("bell", TaskText::Random));
    QSet<QString> chosen;
    bool repeated = false;
    rig.driver.PlaylistStep();
    for (int i = 0; i < 40; ++i) {
        const QString item = rig.player.current;
        QCOMPARE(rig.driver.items().at(rig.driver.selectedRow()), item);
        chosen.insert(item);
        rig.next();
        repeated = repeated || rig.player.current == item;
        QCOMPARE(rig.driver.items(), rig.lists["bell"]);
    }
    QCOMPARE(chosen.size(), 3);
    QVERIFY(repeated); // the same item may come twice in a row
    QVERIFY(rig.driver.isStepping());
}

void TestPlaylistDriver::loopToSequentialGivesFullPass() {
    Rig rig;
    rig.driver.StartTask(task("bell", TaskText::Loop));
    rig.driver.PlaylistStep();
    rig.next(); // A, B in loop mode
    rig.driver.setPlayMode(PlayMode::Sequential);
    for (int i = 0; i < 3; ++i)
        rig.next();
    QCOMPARE(rig.player.opened,
             QStringList({"/m/A.mp3", "/m/B.mp3", "/m/C.mp3", "/m/A.mp3", "/m/B.mp3"}));
    QVERIFY(rig.driver.isStepping());
    rig.next();
    QVERIFY(!rig.driver.isStepping());
    QCOMPARE(rig.player.opened.size(), 5);
}

void TestPlaylistDriver::busyPlayerHoldsTheList() {
    Rig rig;
    rig.driver.StartTask(task("news", TaskText::Loop));
    rig.player.openState = MediaPlayer::State::Opening;
    rig.driver.PlaylistStep();
    // A stream still connecting is not replaced, nor is a paused item.
    rig.driver.PlaylistStep();
    rig.driver.PlaylistStep();
    rig.player.setState(MediaPlayer::State::Paused);
    rig.driver.PlaylistStep();
    QCOMPARE(rig.player.opened.size(), 1);
}

void TestPlaylistDriver::failedItemIsReplacedAtNextStep() {
    Rig rig;
    rig.driver.StartTask(task("bell", TaskText::Sequential));
    rig.player.openState = MediaPlayer::State::Idle; // e.g. a missing file
    rig.driver.PlaylistStep();
    rig.driver.PlaylistStep();
    rig.driver.PlaylistStep();
    rig.driver.PlaylistStep();
    QCOMPARE(rig.player.opened, rig.lists["bell"]);
    QVERIFY(!rig.driver.isStepping());
}

// The sound server goes away under an item: the same item again at each step, at the task's
// volume and without counting as the next one, until it plays.
void TestPlaylistDriver::itemCutOffBySoundLossIsTriedAgain() {
    Rig rig;
    rig.driver.StartTask(task("bell", TaskText::Sequential, "20000"));
    rig.driver.PlaylistStep();
    rig.player.loseOutput();
    rig.volume.level = 65535; // a restarted server comes back at its own level
    rig.player.openState = MediaPlayer::State::Idle;
    rig.driver.PlaylistStep(); // still no server: the item fails again at once
    rig.player.outputLost = true;
    rig.player.openState = MediaPlayer::State::Playing;
    rig.driver.PlaylistStep(); // back
    QCOMPARE(rig.player.opened, QStringList({"/m/A.mp3", "/m/A.mp3", "/m/A.mp3"}));
    QCOMPARE(rig.volume.level, 20000);
    QCOMPARE(rig.driver.selectedRow(), 0);
    rig.next();
    rig.next();
    QCOMPARE(rig.player.opened.mid(3), QStringList({"/m/B.mp3", "/m/C.mp3"}));
    rig.next();
    QVERIFY(!rig.driver.isStepping());
    // An item that fails for its own sake is not tried again.
    rig.driver.StartTask(task("bell", TaskText::Sequential));
    rig.player.openState = MediaPlayer::State::Idle;
    rig.driver.PlaylistStep();
    rig.driver.PlaylistStep();
    QCOMPARE(rig.player.opened.mid(5), QStringList({"/m/A.mp3", "/m/B.mp3"}));
}

void TestPlaylistDriver::soundLossOfTheLastItemKeepsTheTaskGoing() {
    Rig rig;
    rig.driver.StartTask(task("news", TaskText::Sequential));
    rig.driver.PlaylistStep();
    rig.player.loseOutput();
    rig.driver.PlaylistStep();
    QVERIFY(rig.driver.isStepping());
    QCOMPARE(rig.player.opened.size(), 2);
    // Stopped at the task's end: nothing is tried again after it.
    rig.driver.StopPlayback();
    rig.player.outputLost = true;
    rig.driver.resumeStepping();
    rig.driver.PlaylistStep();
    QCOMPARE(rig.player.opened.size(), 2);
}

void TestPlaylistDriver::itemAppliesTaskVolumeEveryTime() {
    Rig rig;
    QSignalSpy shown(&rig.driver, &PlaylistDriver::volumeShown);
    QSignalSpy label(&rig.driver, &PlaylistDriver::currentLabelChanged);
    QSignalSpy caption(&rig.driver, &PlaylistDriver::captionChanged);
    rig.driver.StartTask(task("bell", TaskText::Loop, "30000"));
    QVERIFY(rig.volume.writes.isEmpty()); // nothing before the first item
    rig.driver.PlaylistStep();
    QCOMPARE(rig.volume.level, 30000);
    rig.volume.SetMasterVolume(5000); // the user moves the slider during the item
    rig.next();
    QCOMPARE(rig.volume.level, 30000);
    QCOMPARE(shown.count(), 2);
    QCOMPARE(shown.last().at(0).toInt(), 30000);
    QCOMPARE(label.last().at(0).toString(), QString("bell"));
    QCOMPARE(caption.last().at(0).toString(), Blanks + "B" + Blanks);
    QCOMPARE(rig.driver.state().captionText, Blanks + "B" + Blanks);
}

void TestPlaylistDriver::oddVolumeTextsStayInRange() {
    const QList<QPair<QString, int>> cases = {
        {" +40000", 40000}, {"abc", 0}, {"-5", 0}, {"99999", 65535}, {"20000dB", 20000}};
    for (const auto &[text, applied] : cases) {
        Rig rig;
        rig.driver.StartTask(task("bell", TaskText::Loop, text));
        rig.driver.PlaylistStep();
        QCOMPARE(rig.volume.level, applied);
    }
}

void TestPlaylistDriver::stopKeepsListAndLabel() {
    Rig rig;
    rig.driver.StartTask(task("bell", TaskText::Loop));
    rig.driver.PlaylistStep();
    const QStringList list = rig.driver.items();
    rig.driver.StopPlayback();
    QVERIFY(rig.player.current.isEmpty());
    QVERIFY(!rig.driver.isStepping());
    QCOMPARE(rig.driver.items(), list);
    QCOMPARE(rig.driver.state().currentLabel, QString("bell"));
    QCOMPARE(rig.driver.state().captionText, Blanks + "A" + Blanks);
}

void TestPlaylistDriver::secondTaskReplacesFirst() {
    Rig rig;
    rig.driver.StartTask(task("bell", TaskText::Sequential));
    rig.driver.PlaylistStep();
    rig.driver.StartTask(task("news", TaskText::Random, "20000"));
    QCOMPARE(rig.driver.items(), rig.lists["news"]);
    QVERIFY(rig.player.current.isEmpty());
    QCOMPARE(rig.driver.playMode(), PlayMode::Random);
    rig.driver.PlaylistStep();
    QCOMPARE(rig.player.current, QString("http://radio.example/live.mp3"));
    QCOMPARE(rig.volume.level, 20000);
    QCOMPARE(rig.driver.state().currentLabel, QString("news"));

    // An unknown mode text leaves the live mode as it was.
    rig.driver.StartTask(task("bell", "odd"));
    QCOMPARE(rig.driver.playMode(), PlayMode::Random);
}

void TestPlaylistDriver::emptyPlaylistPlaysNothing() {
    Rig rig;
    rig.driver.StartTask(task("bell", TaskText::Loop));
    rig.driver.PlaylistStep();
    rig.driver.StartTask(task("empty", TaskText::Loop));
    QVERIFY(rig.player.current.isEmpty());
    rig.driver.PlaylistStep();
    rig.driver.PlaylistStep();
    QCOMPARE(rig.player.opened.size(), 1);
    QVERIFY(rig.driver.items().isEmpty());
}

void TestPlaylistDriver::closedGateHoldsTheStep() {
    Rig rig;
    bool open = false;
    rig.driver.setStepGate([&open] { return open; });
    rig.driver.StartTask(task("bell", TaskText::Loop));
    rig.driver.stepIfDayOpen();
    QVERIFY(rig.player.opened.isEmpty());
    open = true;
    rig.driver.stepIfDayOpen();
    QCOMPARE(rig.player.opened.size(), 1);
}

void TestPlaylistDriver::displayNames_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("name");
    QTest::newRow("windows path") << R"(D:\music\song.mp3)"
                                  << "song";
    QTest::newRow("linux path") << "/home/pat/音乐/早操.mp3"
                                << "早操";
    QTest::newRow("mixed separators") << R"(C:/bells\ring/上课.wav)"
                                      << "上课";
    QTest::newRow("leading backslash") << R"(\a.mp3)"
                                       << R"(\a)";
    QTest::newRow("leading slash") << "/a.mp3"
                                   << "/a";
    QTest::newRow("bare name") << "tune.wma"
                               << "tune";
    QTest::newRow("short rest") << "/m/abc"
                                << "";
    QTest::newRow("exactly four") << "/m/.mp3"
                                  << "";
    QTest::newRow("address keeps slashes") << "http://radio.example/live/a.mp3"
                                           << "http://radio.example/live/a";
    QTest::newRow("address with backslash") << R"(mms://host\stream.asf)"
                                            << "stream";
    QTest::newRow("wide characters") << "/m/𝄞乐曲𝄞.ogg"
                                     << "𝄞乐曲𝄞";
    QTest::newRow("wide extension") << "/m/ab𝄞𝄞𝄞𝄞"
                                    << "ab";
    QTest::newRow("empty") << ""
                           << "";
}

void TestPlaylistDriver::displayNames() {
    QFETCH(QString, item);
    QFETCH(QString, name);
    QCOMPARE(ItemDisplayName(item), name);
}

QTEST_GUILESS_MAIN(TestPlaylistDriver)
#include "test_playlist_driver.moc"
