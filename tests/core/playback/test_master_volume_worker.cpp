// The master volume on its own thread: what must still come in order, and what may be dropped.
#include "FakePlayback.h"
#include "SlowVolume.h"
#include "playback/MasterVolumeWorker.h"
#include "playback/PlaylistDriver.h"

#include <QTest>
#include <QThread>

namespace {

PlayTask bell() {
    return {"bell", "08:00:00", "08:30:00", "30000", TaskText::EveryDay, TaskText::Sequential, {}};
}

// Owns the worker, which owns the backend; the test keeps a handle on the backend.
struct Rig {
    SlowVolume *slow = new SlowVolume;
    MasterVolumeWorker worker{std::unique_ptr<MasterVolume>(slow)};
    FakePlayer player;
    PlaylistDriver driver{player, worker, [](const QString &) {
                              return TaskPlaylist{"/m/A.wav", "/m/B.wav"};
                          }};
    ~Rig() { slow->open(); } // lets the worker finish what it holds
};

} // namespace

class TestMasterVolumeWorker : public QObject {
    Q_OBJECT
private slots:
    void setsCoalesceAndTheLatestWins() {
        Rig rig;
        int served = 0;
        rig.worker.SetMasterVolume(1000); // taken at once, hangs in the server
        QTRY_COMPARE(rig.slow->calls(), 1);
        rig.worker.SetMasterVolume(2000);
        rig.worker.SetMasterVolumeThen(3000, this, [&] { ++served; });
        rig.worker.SetMasterVolume(4000);
        QVERIFY(rig.slow->writes().isEmpty());
        rig.slow->open();
        QTRY_COMPARE(rig.slow->writes(), (QList<int>{1000, 4000}));
        // The later value served the one waiting for 3000: it is at least as new.
        QTRY_COMPARE(served, 1);
        QVERIFY(!rig.slow->calledFrom(std::this_thread::get_id()));
    }

    void readsAnswerOnTheCallersThreadUnlessItIsGone() {
        Rig rig;
        rig.slow->setLevel(12345);
        int answered = -1;
        auto *gone = new QObject;
        rig.worker.GetMasterVolumeThen(gone, [](MasterVolume::Reading) { QFAIL("gone"); });
        rig.worker.GetMasterVolumeThen(this, [&](MasterVolume::Reading reading) {
            QVERIFY(QThread::currentThread() == thread());
            answered = reading.value;
        });
        delete gone;
        QCOMPARE(answered, -1); // not before the server answers
        rig.slow->open();
        QTRY_COMPARE(answered, 12345);
        QCOMPARE(rig.slow->reads(), 2);
        // The blocking form, for callers that may wait.
        QCOMPARE(rig.worker.GetMasterVolume().value, 12345);
    }

    void itemStartsOnlyOnceItsVolumeIsSet() {
        Rig rig;
        rig.driver.StartTask(bell());
        rig.driver.PlaylistStep();
        QTRY_COMPARE(rig.slow->calls(), 1);
        QVERIFY(rig.player.opened.isEmpty());
        QVERIFY(rig.driver.isItemWaiting());
        // The next step finds the item still waiting: no second item takes its place.
        rig.driver.PlaylistStep();
        QVERIFY(rig.player.opened.isEmpty());
        rig.slow->open();
        QTRY_COMPARE(rig.player.opened, QStringList{"/m/A.wav"});
        QCOMPARE(rig.slow->writes(), QList<int>{30000});
        QVERIFY(!rig.driver.isItemWaiting());
    }

    void stopOrAnotherTaskCancelsTheWaitingItem() {
        Rig rig;
        rig.driver.StartTask(bell());
        rig.driver.PlaylistStep();
        rig.driver.StopPlayback();
        QVERIFY(!rig.driver.isItemWaiting());
        rig.driver.StartTask(bell());
        rig.driver.PlaylistStep(); // waits for the same set as the cancelled item
        rig.slow->open();
        QTRY_COMPARE(rig.player.opened, QStringList{"/m/A.wav"});
        QTest::qWait(50);
        QCOMPARE(rig.player.opened, QStringList{"/m/A.wav"}); // the cancelled one never opens
    }
};

QTEST_GUILESS_MAIN(TestMasterVolumeWorker)
#include "test_master_volume_worker.moc"
