// The player's stream plays at full level whatever the sound server saved for it: a private
// PulseAudio with module-stream-restore, a null sink, and its monitor recorded.
#include "GeneratedMedia.h"
#include "platform/MpvPlayer.h"
#include "platform/PulseMasterVolume.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <pulse/ext-stream-restore.h>
#include <pulse/mainloop.h>
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>

namespace {

const int Rate = 44100;

// The saved volumes of module-stream-restore: entry name -> average volume (0..PA_VOLUME_NORM).
QMap<QString, double> savedVolumes(const QByteArray &server) {
    QMap<QString, double> entries;
    pa_mainloop *loop = pa_mainloop_new();
    pa_context *context = pa_context_new(pa_mainloop_get_api(loop), "horalet-test");
    bool done = false;
    if (pa_context_connect(context, server.constData(), PA_CONTEXT_NOFLAGS, nullptr) >= 0) {
        while (pa_context_get_state(context) != PA_CONTEXT_READY &&
               PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            pa_mainloop_iterate(loop, 1, nullptr);
        struct Read {
            QMap<QString, double> *entries;
            bool *done;
        } read{&entries, &done};
        pa_operation *op = nullptr;
        if (pa_context_get_state(context) == PA_CONTEXT_READY)
            op = pa_ext_stream_restore_read(
                context,
                [](pa_context *, const pa_ext_stream_restore_info *info, int eol, void *data) {
                    auto *r = static_cast<Read *>(data);
                    if (eol) {
                        *r->done = true;
                        return;
                    }
                    if (info && info->volume.channels > 0)
                        r->entries->insert(QString::fromUtf8(info->name),
                                           pa_cvolume_avg(&info->volume));
                },
                &read);
        while (op && !done && PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            pa_mainloop_iterate(loop, 1, nullptr);
        if (op)
            pa_operation_unref(op);
        pa_context_disconnect(context);
    }
    pa_context_unref(context);
    pa_mainloop_free(loop);
    return entries;
}

QString run(const QString &program, const QStringList &args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Records the sink's monitor while `play` plays one item to its end; the tone's level is the
// median RMS of the 0.1 s chunks that hold it.
double recordedLevel(MpvPlayer &player, const QString &tone) {
    QProcess recorder;
    recorder.start("parec",
                   {"-d", "horalet_null.monitor", "--raw", "--format=s16le",
                    "--rate=" + QString::number(Rate), "--channels=1", "--latency-msec=20"});
    if (!recorder.waitForStarted(5000))
        return -1;
    QTest::qWait(300);
    player.open(tone);
    if (!QTest::qWaitFor([&] { return player.state() == MediaPlayer::State::Playing; }, 10000) ||
        !QTest::qWaitFor([&] { return player.state() == MediaPlayer::State::Idle; }, 15000))
        return -1;
    QTest::qWait(300);
    recorder.terminate();
    recorder.waitForFinished(3000);
    const QByteArray raw = recorder.readAllStandardOutput();
    const auto *samples = reinterpret_cast<const qint16 *>(raw.constData());
    const qsizetype count = raw.size() / 2, chunk = Rate / 10;
    QList<double> levels;
    for (qsizetype start = 0; start + chunk <= count; start += chunk) {
        double sum = 0;
        for (qsizetype i = start; i < start + chunk; ++i)
            sum += double(samples[i]) * samples[i];
        const double rms = std::sqrt(sum / chunk);
        if (rms > 50)
            levels << rms;
    }
    if (levels.size() < 5)
        return 0;
    std::sort(levels.begin(), levels.end());
    return levels.at(levels.size() / 2);
}

} // namespace

class TestStreamLevel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void savedLowVolumeDoesNotLowerTheTask();

private:
    QTemporaryDir m_dir{QStringLiteral("/tmp/horalet-restore-XXXXXX")};
    QString m_pulseDir;
};

void TestStreamLevel::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_pulseDir = m_dir.filePath("pulse");
    QProcess start;
    start.setProcessChannelMode(QProcess::ForwardedChannels);
    start.start(QStringLiteral(HORALET_SOURCE_DIR "/tests/fixtures/pulse-start.sh"),
                {m_pulseDir, "load-module module-stream-restore restore_device=false"});
    QVERIFY(start.waitForFinished(30000));
    QCOMPARE(start.exitCode(), 0);
    // Before the first client of this process: libpulse and libmpv read it when they connect.
    qputenv("PULSE_SERVER", "unix:" + m_pulseDir.toUtf8() + "/native");
    QVERIFY(writeTone(m_dir.filePath("tone.wav"), 2.0, Rate));
}

void TestStreamLevel::cleanupTestCase() {
    QProcess::execute(QStringLiteral(HORALET_SOURCE_DIR "/tests/fixtures/pulse-stop.sh"),
                      {m_pulseDir});
}

void TestStreamLevel::savedLowVolumeDoesNotLowerTheTask() {
    const QString tone = m_dir.filePath("tone.wav");
    PulseMasterVolume master;
    master.SetMasterVolume(40000); // the task's volume
    MpvPlayer::Options options;
    options.videoOutput = "null";
    options.audioOutput = "pulse";

    double plain = 0;
    {
        MpvPlayer player(options);
        QVERIFY(player.isValid());
        plain = recordedLevel(player, tone);
        QVERIFY2(plain > 300, qPrintable(QString::number(plain)));

        // The user lowers our stream to 30 % in the mixer; the sound server saves that.
        player.open(tone);
        QVERIFY(
            QTest::qWaitFor([&] { return player.state() == MediaPlayer::State::Playing; }, 10000));
        const QString index = run("pactl", {"list", "short", "sink-inputs"}).section('\t', 0, 0);
        QVERIFY(!index.isEmpty());
        QCOMPARE(QProcess::execute("pactl", {"set-sink-input-volume", index, "30%"}), 0);
        QVERIFY(QTest::qWaitFor([&] { return player.state() == MediaPlayer::State::Idle; }, 15000));
    }
    const auto saved = savedVolumes(qgetenv("PULSE_SERVER"));
    bool lowered = false;
    for (auto it = saved.cbegin(); it != saved.cend(); ++it)
        lowered = lowered || (it.key().startsWith("sink-input-by-") &&
                              std::abs(it.value() / PA_VOLUME_NORM - 0.30) < 0.02);
    QVERIFY2(lowered, qPrintable(QStringList(saved.keys()).join(", ")));

    // The next start of the program, and the next item of the same run: full level again.
    MpvPlayer player(options);
    const double restarted = recordedLevel(player, tone);
    const double nextItem = recordedLevel(player, tone);
    for (double level : {restarted, nextItem}) {
        const double db = 20 * std::log10(level / plain);
        QVERIFY2(std::abs(db) < 1.0, qPrintable(QStringLiteral("%1 dB").arg(db)));
    }
}

QTEST_MAIN(TestStreamLevel)
#include "test_stream_level.moc"
