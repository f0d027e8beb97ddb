// Where a task is heard, decided at its start: the rooms of its zones, or this machine.
#include "FakeCampusControl.h"
#include "campus/CampusOutput.h"
#include "playback/FakePlayback.h"
#include "playback/MasterVolumeWorker.h"
#include "playback/PlaylistDriver.h"
#include "playback/SlowVolume.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Device = QStringLiteral("pulse/horalet_campus");
const QString Unreachable = QStringLiteral("广播服务器不可用，已在本机播放");

PlayTask task(const QString &name) {
    return {name, "08:00:00", "08:30:00", "30000", TaskText::EveryDay, TaskText::Sequential, {}};
}

CampusRooms threeRooms() {
    return {{"room1", "一号楼", true, 100, false},
            {"room2", "二号楼", true, 100, true},
            {"room3", "操场", true, 80, false}};
}

// The player and the driver as the program has them; the campus sink's volume hangs until
// the test opens it, the machine's own is a plain recorder.
struct Rig {
    QTemporaryDir dir;
    CampusConfig config{dir.path()};
    FakePlayer player;
    FakeVolume local;
    SlowVolume *slow = new SlowVolume;
    MasterVolumeWorker campus{std::unique_ptr<MasterVolume>(slow)};
    FakeCampusControl control;
    CampusOutput output{player, local, campus, control};
    PlaylistDriver driver{player, output, [](const QString &) {
                              return TaskPlaylist{"/m/A.wav", "/m/B.wav"};
                          }};
    QSignalSpy routed{&output, &CampusOutput::routed};
    QSignalSpy playsLocally{&output, &CampusOutput::playsLocally};
    QSignalSpy status{&output, &CampusOutput::statusChanged};

    Rig() {
        CampusConfig::Server server;
        server.enabled = true;
        QVERIFY(config.setServer(server).ok);
        QVERIFY(config.setZone(QStringLiteral("教学楼"), {"room1", "room2"}).ok);
        QVERIFY(config.setZone(QStringLiteral("操场"), {"room3"}).ok);
        QVERIFY(config.setTaskZones(QStringLiteral("上课铃"), {QStringLiteral("教学楼")}).ok);
        control.roomList = threeRooms();
        output.setConfig(config);
        output.setSinkState(true);
        output.setCampusDevice(Device);
    }
    ~Rig() { slow->open(); }

    // The task's start second and its first step.
    void start(const QString &name) {
        output.routeTask(name);
        driver.StartTask(task(name));
        driver.PlaylistStep();
    }
    QString lastStatus() const {
        return status.isEmpty() ? QString() : status.last().at(0).toString();
    }
};

} // namespace

class TestCampusOutput : public QObject {
    Q_OBJECT
private slots:
    void itemWaitsForTheRoomsThenPlaysOnTheCampusSink() {
        Rig rig;
        QSignalSpy delivery(&rig.output, &CampusOutput::deliveryChanged);
        rig.control.streamList = {{"horalet", "idle", "pipe", "/tmp/snapfifo"},
                                  {"radio", "playing", "pipe", "/tmp/radio"}};
        rig.start(QStringLiteral("上课铃"));
        QVERIFY(rig.output.notDelivered().isEmpty()); // nothing on the campus sink yet
        QCOMPARE(rig.control.requests.size(), 1);
        const auto &request = rig.control.requests.first();
        QCOMPARE(request.unmute, (QStringList{"room1", "room2"}));
        QCOMPARE(request.mute, QStringList{"room3"});
        QCOMPARE(request.timeoutMs, CampusOutput::RouteTimeoutMs);
        // Nothing is heard, and no volume set anywhere, before the rooms have answered.
        QTest::qWait(50);
        QVERIFY(rig.player.opened.isEmpty());
        QCOMPARE(rig.slow->calls(), 0);
        QVERIFY(rig.local.writes.isEmpty());

        rig.control.answer(0, true);
        QCOMPARE(rig.player.device, Device);
        QVERIFY(rig.output.playsOnCampus());
        QCOMPARE(rig.routed.size(), 1);
        QCOMPARE(rig.routed.first().at(0).toString(), QStringLiteral("上课铃"));
        QCOMPARE(rig.routed.first().at(1).value<CampusRoute>().unmute,
                 (QStringList{"room1", "room2"}));
        QCOMPARE(rig.lastStatus(), QStringLiteral("校园广播：教学楼"));
        // Then the task's volume on the campus sink, and only then the item.
        QTRY_COMPARE(rig.slow->calls(), 1);
        QVERIFY(rig.player.opened.isEmpty());
        rig.slow->open();
        QTRY_COMPARE(rig.player.opened, QStringList{"/m/A.wav"});
        QCOMPARE(rig.slow->writes(), QList<int>{30000});
        QVERIFY(rig.local.writes.isEmpty());
        QVERIFY(rig.playsLocally.isEmpty());

        // The next item needs no new decision, and the level is read where the task plays.
        rig.slow->setLevel(30000);
        rig.local.level = 5;
        rig.player.finish();
        rig.driver.PlaylistStep();
        QTRY_COMPARE(rig.player.opened.size(), 2);
        QCOMPARE(rig.control.requests.size(), 1);
        QCOMPARE(rig.output.GetMasterVolume().value, 30000);
        QVERIFY(rig.local.writes.isEmpty());

        // The sink carries the sound either way; only the server's source for the pipe tells
        // whether it goes on to the rooms. Idle since the routing: not delivered.
        const QString idle = QStringLiteral(
            "服务器的音频流“horalet”没有收到声音（服务器没有读取管道 /tmp/snapfifo）");
        QCOMPARE(rig.output.notDelivered(), idle);
        QCOMPARE(delivery.size(), 1);
        rig.control.streamList[0].status = QStringLiteral("playing");
        emit rig.control.roomsChanged();
        QVERIFY(rig.output.notDelivered().isEmpty());
        rig.control.streamList.removeFirst();
        emit rig.control.roomsChanged();
        QCOMPARE(
            rig.output.notDelivered(),
            QStringLiteral("服务器没有读取管道 /tmp/snapfifo（服务器读取的管道：/tmp/radio）"));
        emit rig.control.roomsChanged();
        QCOMPARE(delivery.size(), 3); // told on a change only
        // Heard here again: this machine's output is judged by itself.
        rig.output.taskEnded();
        QVERIFY(rig.output.notDelivered().isEmpty());
        QCOMPARE(delivery.size(), 4);
        QCOMPARE(delivery.last().first().toString(), QString());
    }

    void failuresPlayOnThisMachine_data() {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("status");
        QTest::newRow("switched off") << "off" << QString() << QString();
        QTest::newRow("sink not loaded")
            << "sink"
            << QStringLiteral("校园广播的声音输出不可用，已在本机播放（无法连接声音服务器）")
            << QStringLiteral("校园广播的声音输出不可用，已在本机播放");
        QTest::newRow("sink gone under the task")
            << "lost" << QStringLiteral("校园广播的声音输出不可用，已在本机播放（播放时无法打开）")
            << QStringLiteral("校园广播的声音输出不可用，已在本机播放");
        QTest::newRow("not connected") << "unconnected" << Unreachable << Unreachable;
        // The sink waits for the server to be seen reading its pipe: the server is the reason.
        QTest::newRow("not connected, no sink yet")
            << "unconnected, no sink" << Unreachable << Unreachable;
        QTest::newRow("no room of the zone online")
            << "rooms offline"
            << QStringLiteral(
                   "分区内没有在线的终端，已在本机播放（教学楼 0/2 在线；未连接：一号楼、二号楼）")
            << QStringLiteral("分区内没有在线的终端，已在本机播放");
        QTest::newRow("rooms refuse")
            << "refused" << Unreachable + QStringLiteral("（连接已断开）") << Unreachable;
        QTest::newRow("never answers")
            << "silent" << Unreachable + QStringLiteral("（服务器未应答）") << Unreachable;
    }
    void failuresPlayOnThisMachine() {
        QFETCH(QString, failure);
        QFETCH(QString, reason);
        QFETCH(QString, status);
        Rig rig;
        // The task before it played on the campus: nothing of that may stick.
        rig.start(QStringLiteral("上课铃"));
        rig.control.answer(0, true);
        rig.slow->open();
        QTRY_COMPARE(rig.player.opened.size(), 1);
        rig.local.level = 4242;

        if (failure == "off") {
            CampusConfig::Server server;
            server.enabled = false;
            QVERIFY(rig.config.setServer(server).ok);
            rig.output.setConfig(rig.config);
        } else if (failure == "sink") {
            rig.output.setSinkState(false, QStringLiteral("无法连接声音服务器"));
        } else if (failure == "unconnected") {
            rig.control.connected = false;
        } else if (failure == "unconnected, no sink") {
            rig.control.connected = false;
            rig.output.setSinkState(false);
        } else if (failure == "rooms offline") {
            // The other zone's room still online must not count for this task.
            rig.control.roomList[0].connected = false;
            rig.control.roomList[1].connected = false;
        }
        if (failure == "lost") {
            // The item could not be heard on the campus sink; the driver tries it again.
            rig.player.loseOutput();
            rig.driver.PlaylistStep();
            QCOMPARE(rig.player.opened, (QStringList{"/m/A.wav", "/m/A.wav"}));
        } else {
            rig.start(QStringLiteral("上课铃"));
        }
        if (failure == "refused") {
            QCOMPARE(rig.control.requests.size(), 2);
            rig.control.answer(1, false, QStringLiteral("连接已断开"));
        } else if (failure == "silent") {
            QCOMPARE(rig.control.requests.size(), 2);
            QVERIFY(rig.player.opened.size() == 1);
            // The connection never calls back: the bell still sounds, here.
            QTRY_VERIFY_WITH_TIMEOUT(rig.player.opened.size() == 2,
                                     CampusOutput::RouteTimeoutMs + 3000);
        } else {
            QCOMPARE(rig.control.requests.size(), 1); // not asked at all
        }

        QCOMPARE(rig.player.opened.size(), 2);
        QCOMPARE(rig.player.device, QString());
        QVERIFY(!rig.output.playsOnCampus());
        // Switched off or its sink gone while the first task still played in the rooms: the
        // rest of it moved here, at its level.
        const bool moved =
            failure == "off" || failure == "sink" || failure == "unconnected, no sink";
        QCOMPARE(rig.local.writes, moved ? (QList<int>{30000, 30000}) : QList<int>{30000});
        QCOMPARE(rig.player.playingOn, QString());
        QCOMPARE(rig.slow->writes(), QList<int>{30000}); // the first task's only
        QCOMPARE(rig.output.GetMasterVolume().value, 30000);
        QCOMPARE(rig.routed.size(), 1);
        if (reason.isEmpty()) {
            QVERIFY(rig.playsLocally.isEmpty());
        } else {
            QCOMPARE(rig.playsLocally.size(), 1);
            QCOMPARE(rig.playsLocally.first().at(0).toString(), QStringLiteral("上课铃"));
            QCOMPARE(rig.playsLocally.first().at(1).toString(), reason);
        }
        QCOMPARE(rig.lastStatus(), status);
        // A sink that stopped taking sound is to be loaded again before the next task.
        QCOMPARE(rig.output.sinkLoaded(),
                 failure != "sink" && failure != "lost" && failure != "unconnected, no sink");
    }

    void serverLostUnderATaskAndBack() {
        Rig rig;
        QSignalSpy back(&rig.output, &CampusOutput::serverBack);
        QSignalSpy retaken(&rig.output, &CampusOutput::retaken);
        QSignalSpy outputs(&rig.output, &CampusOutput::outputChanged);
        rig.output.setRoomsSettleMs(300);
        QCOMPARE(rig.output.stateText(), QStringLiteral("校园广播：已连接，3/3 终端在线"));
        rig.start(QStringLiteral("上课铃"));
        rig.control.answer(0, true);
        rig.slow->open();
        QTRY_COMPARE(rig.player.playingOn, Device);
        QCOMPARE(rig.output.outputName(), QStringLiteral("校园广播"));
        // Heard in the rooms: the server is asked again and again, so that one gone without a
        // word is found in time.
        QTRY_VERIFY(rig.control.refreshes.size() >= 2);
        QCOMPARE(rig.control.refreshes.first(), CampusOutput::HeartbeatTimeoutMs);

        // The server goes away mid-item: the item itself moves here, at the task's level.
        rig.control.connected = false;
        rig.control.failure = QStringLiteral("与广播服务器的连接已断开");
        for (CampusRoom &room : rig.control.roomList)
            room.connected = false;
        emit rig.control.connectionChanged(false);
        QTRY_COMPARE(rig.player.playingOn, QString());
        QCOMPARE(rig.player.opened.size(), 1);
        QCOMPARE(rig.local.writes, QList<int>{30000});
        QCOMPARE(rig.playsLocally.size(), 1);
        QCOMPARE(rig.playsLocally.first().at(1).toString(),
                 QStringLiteral("与广播服务器的连接已断开，余下部分在本机播放"));
        QCOMPARE(rig.output.outputName(), QStringLiteral("本机"));
        QCOMPARE(rig.output.stateText(),
                 QStringLiteral("校园广播：未连接（与广播服务器的连接已断开）"));
        QSignalSpy states(&rig.output, &CampusOutput::stateChanged);
        rig.output.setSinkState(false, QStringLiteral("无法连接声音服务器"));
        QCOMPARE(states.size(), 1);
        QCOMPARE(states.first().first().toString(),
                 QStringLiteral("校园广播：未连接（与广播服务器的连接已断开）；"
                                "声音输出不可用（无法连接声音服务器）"));
        rig.output.setSinkState(true);
        // The next item needs no answer from anyone.
        rig.player.finish();
        rig.driver.PlaylistStep();
        QTRY_COMPARE(rig.player.opened.size(), 2);
        QCOMPARE(rig.player.playingOn, QString());

        // Back, its rooms a moment later: told at once, the rooms taken back once they are.
        rig.control.connected = true;
        emit rig.control.connectionChanged(true);
        QCOMPARE(back.size(), 1);
        QCOMPARE(back.first().first().toString(), QStringLiteral("广播服务器已恢复连接"));
        QCOMPARE(rig.output.stateText(), QStringLiteral("校园广播：已连接，0/3 终端在线"));
        QCOMPARE(rig.control.requests.size(), 1);
        rig.control.roomList = threeRooms();
        emit rig.control.roomsChanged();
        QCOMPARE(rig.control.requests.size(), 2);
        QCOMPARE(rig.control.requests[1].unmute, (QStringList{"room1", "room2"}));
        QCOMPARE(rig.player.playingOn, QString()); // heard here until the rooms answer
        rig.control.answer(1, true);
        // Moved once the rooms can hear it, not while they are still finding the stream.
        QTest::qWait(100);
        QCOMPARE(rig.player.playingOn, QString());
        QTRY_COMPARE(rig.player.playingOn, Device);
        QCOMPARE(rig.slow->writes(), (QList<int>{30000, 30000}));
        QCOMPARE(retaken.size(), 1);
        QCOMPARE(rig.output.outputName(), QStringLiteral("校园广播"));
        QCOMPARE(outputs.size(), 3);

        // Lost again, and the task over before the server is back: nothing to take back,
        // and the volume is this machine's again.
        rig.control.connected = false;
        emit rig.control.connectionChanged(false);
        QTRY_COMPARE(rig.player.playingOn, QString());
        rig.driver.StopPlayback();
        rig.output.taskEnded();
        rig.control.connected = true;
        emit rig.control.connectionChanged(true);
        emit rig.control.roomsChanged();
        QCOMPARE(rig.control.requests.size(), 2);
        QCOMPARE(retaken.size(), 1);
        QCOMPARE(rig.output.outputName(), QStringLiteral("本机"));
        // Nothing heard in the rooms: nothing asked.
        const qsizetype asked = rig.control.refreshes.size();
        QTest::qWait(CampusOutput::HeartbeatMs * 3);
        QCOMPARE(rig.control.refreshes.size(), asked);
        rig.local.level = 777;
        QCOMPARE(rig.output.GetMasterVolume().value, 777);
    }

    void switchingOffLeavesTheRoomsAsFound() {
        Rig rig;
        rig.output.setStoreDirectory(rig.dir.path());
        const QString kept = rig.dir.filePath(RoomMemory::fileName());
        // room2 was muted by someone else before the program first touched it.
        rig.start(QStringLiteral("上课铃"));
        rig.control.answer(0, true);
        rig.control.roomList[1].muted = false;
        rig.control.roomList[2].muted = true;
        // A later task changes them again: what counts is how they were found.
        rig.start(QStringLiteral("全校通知"));
        QVERIFY(rig.output.hasChangedRooms());
        QVERIFY(QFile::exists(kept));

        // Switched off after a restart: the first state was kept in the store.
        FakePlayer player;
        FakeVolume volume;
        CampusOutput later(player, volume, volume, rig.control);
        later.setStoreDirectory(rig.dir.path());
        QVERIFY(later.hasChangedRooms());
        bool restored = false;
        later.restoreRooms(3000, this, [&](bool ok, const QString &) { restored = ok; });
        QCOMPARE(rig.control.requests.size(), 3);
        QCOMPARE(rig.control.requests[2].unmute, QStringList{"room3"});
        QCOMPARE(rig.control.requests[2].mute, QStringList{"room2"});
        QCOMPARE(rig.control.requests[2].timeoutMs, 3000);
        rig.control.answer(2, false, QStringLiteral("广播服务器无应答"));
        QVERIFY(!restored);
        QVERIFY(later.hasChangedRooms()); // still to be set back
        later.restoreRooms(3000, this, [&](bool ok, const QString &) { restored = ok; });
        rig.control.answer(3, true);
        QVERIFY(restored);
        QVERIFY(!later.hasChangedRooms());
        QVERIFY(!QFile::exists(kept));

        // Nothing changed since: nothing to ask, and said so at once.
        rig.control.roomList[1].muted = true;
        rig.control.roomList[2].muted = false;
        restored = false;
        later.restoreRooms(3000, this, [&](bool ok, const QString &) { restored = ok; });
        QTRY_VERIFY(restored);
        QCOMPARE(rig.control.requests.size(), 4);

        // Off: nothing to show in the status bar.
        CampusConfig::Server server;
        QVERIFY(rig.config.setServer(server).ok);
        rig.output.setConfig(rig.config);
        QCOMPARE(rig.output.stateText(), QString());
    }

    void aLateAnswerForAnEarlierTaskIsIgnored() {
        Rig rig;
        rig.start(QStringLiteral("上课铃"));
        rig.start(QStringLiteral("课间操"));
        QCOMPARE(rig.control.requests.size(), 2);
        rig.control.answer(0, true);
        // The first task's rooms said yes, but that task is over: the second still waits.
        QVERIFY(rig.routed.isEmpty());
        QVERIFY(rig.player.device.isEmpty());
        QVERIFY(!rig.output.playsOnCampus());
        QTest::qWait(50);
        QVERIFY(rig.player.opened.isEmpty());

        rig.control.answer(1, false, QStringLiteral("超时"));
        QTRY_COMPARE(rig.player.opened, QStringList{"/m/A.wav"});
        QCOMPARE(rig.local.writes, QList<int>{30000});
        QCOMPARE(rig.playsLocally.size(), 1);
        QCOMPARE(rig.playsLocally.first().at(0).toString(), QStringLiteral("课间操"));

        // The server is back: the next task is routed again.
        rig.start(QStringLiteral("上课铃"));
        rig.control.answer(2, true);
        rig.control.answer(1, false, QStringLiteral("超时")); // a stray repeat changes nothing
        QVERIFY(rig.output.playsOnCampus());
        QCOMPARE(rig.player.device, Device);
        QCOMPARE(rig.routed.size(), 1);
        QCOMPARE(rig.lastStatus(), QStringLiteral("校园广播：教学楼"));
    }
};

QTEST_GUILESS_MAIN(TestCampusOutput)
#include "test_campus_output.moc"
