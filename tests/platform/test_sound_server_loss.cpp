// The sound server gone under a playing task and back, and not there at all when the task
// starts: a private PulseAudio (killed and started again), real libmpv, the real mixer and
// the playlist driver as the program wires them.
#include "GeneratedMedia.h"
#include "platform/MpvPlayer.h"
#include "platform/PulseMasterVolume.h"
#include "playback/MasterVolumeWorker.h"
#include "playback/PlaylistDriver.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

PlayTask task(const QString &name, int volume) {
    return {name,
            QStringLiteral("08:00:00"),
            QStringLiteral("08:30:00"),
            QString::number(volume),
            TaskText::EveryDay,
            TaskText::Sequential,
            QString()};
}

// Streams of this process in the sound server now.
int ourStreams() {
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("sink-inputs")});
    if (!pactl.waitForFinished(10000) || pactl.exitCode() != 0)
        return 0;
    const QByteArray ours = "application.process.id = \"" +
                            QByteArray::number(QCoreApplication::applicationPid()) + '"';
    return int(pactl.readAllStandardOutput().count(ours));
}

int sinkVolume() {
    return PulseMasterVolume().GetMasterVolume().value;
}

} // namespace

class TestSoundServerLoss : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir{QStringLiteral("/tmp/horalet-loss-XXXXXX")};
    QString m_pulseDir;
    QString m_tone;
    QMap<QString, TaskPlaylist> m_lists;

    bool startServer() {
        QProcess start;
        start.setProcessChannelMode(QProcess::ForwardedChannels);
        start.start(QStringLiteral(HORALET_SOURCE_DIR "/tests/fixtures/pulse-start.sh"),
                    {m_pulseDir});
        return start.waitForFinished(30000) && start.exitCode() == 0;
    }
    void stopServer() {
        QProcess::execute(QStringLiteral(HORALET_SOURCE_DIR "/tests/fixtures/pulse-stop.sh"),
                          {m_pulseDir});
    }

    struct Rig {
        explicit Rig(const QMap<QString, TaskPlaylist> &lists)
            : player(options()), volume(std::make_unique<PulseMasterVolume>()),
              driver(player, volume, [&lists](const QString &name) { return lists[name]; }) {
            // Steps are taken by the test alone.
            driver.setStepGate([] { return false; });
        }
        static MpvPlayer::Options options() {
            MpvPlayer::Options o;
            o.videoOutput = QStringLiteral("null");
            o.audioOutput = QStringLiteral("pulse");
            return o;
        }
        bool playing() {
            return QTest::qWaitFor(
                [&] { return player.state() == MediaPlayer::State::Playing && ourStreams() > 0; },
                15000);
        }
        bool lost() {
            return QTest::qWaitFor(
                [&] {
                    return player.state() == MediaPlayer::State::Idle && !driver.isItemWaiting() &&
                           player.soundOutputLost();
                },
                15000);
        }
        MpvPlayer player;
        MasterVolumeWorker volume;
        PlaylistDriver driver;
    };

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_pulseDir = m_dir.filePath(QStringLiteral("pulse"));
        QVERIFY(startServer());
        qputenv("PULSE_SERVER", "unix:" + m_pulseDir.toUtf8() + "/native");
        m_tone = m_dir.filePath(QStringLiteral("tone.wav"));
        QVERIFY(writeTone(m_tone, 60.0));
        m_lists = {{QStringLiteral("上课铃"), {m_tone}}, {QStringLiteral("下课铃"), {m_tone}}};
    }
    void cleanupTestCase() { stopServer(); }

    void theTaskPlaysAgainOnceTheServerIsBack() {
        Rig rig(m_lists);
        rig.driver.StartTask(task(QStringLiteral("上课铃"), 20000));
        rig.driver.PlaylistStep();
        QVERIFY(rig.playing());
        QCOMPARE(sinkVolume(), 20000);

        stopServer();
        QVERIFY(rig.lost());
        // Still gone at the next step: the item is tried, and fails again.
        rig.driver.PlaylistStep();
        QVERIFY(rig.lost());
        QVERIFY(rig.driver.isStepping());

        QVERIFY(startServer());
        QCOMPARE(sinkVolume(), 65535); // a new server at its own level
        rig.driver.PlaylistStep();
        QVERIFY(rig.playing());
        QCOMPARE(rig.player.location(), m_tone);
        QCOMPARE(sinkVolume(), 20000);

        // The next task, at its second and at its volume.
        rig.driver.StartTask(task(QStringLiteral("下课铃"), 40000));
        rig.driver.PlaylistStep();
        QVERIFY(rig.playing());
        QCOMPARE(sinkVolume(), 40000);
        rig.driver.StopPlayback();
    }

    void aTaskStartedWithoutAServerPlaysWhenItComes() {
        stopServer();
        Rig rig(m_lists);
        rig.driver.StartTask(task(QStringLiteral("上课铃"), 30000));
        rig.driver.PlaylistStep();
        QVERIFY(rig.lost());
        QVERIFY(startServer());
        rig.driver.PlaylistStep();
        QVERIFY(rig.playing());
        QCOMPARE(sinkVolume(), 30000);
        rig.driver.StopPlayback();
    }
};

QTEST_GUILESS_MAIN(TestSoundServerLoss)
#include "test_sound_server_loss.moc"
