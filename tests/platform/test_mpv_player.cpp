// Real libmpv playback without a sound card or a display (ao=null, vo=null). libmpv plays in
// real time even then, so items are short; every wait is bounded.
#include "GeneratedMedia.h"
#include "campus/CampusOutput.h"
#include "campus/FakeCampusControl.h"
#include "platform/CampusSink.h"
#include "platform/MidiRenderer.h"
#include "platform/MpvPlayer.h"
#include "platform/PulseMasterVolume.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>

using State = MediaPlayer::State;

namespace {

// A format-0 file of one track, 96 ticks a quarter.
QByteArray midiFile(const QByteArray &track) {
    return "MThd" + QByteArray::fromHex("00000006000000010060") + "MTrk" +
           QByteArray::fromHex(QByteArray::number(track.size(), 16).rightJustified(8, '0')) + track;
}

// One note of one second on a piano: a format-0 file, 96 ticks a quarter at 120 bpm.
QByteArray oneNoteMidi() {
    const QByteArray track = QByteArray::fromHex("00c000"     // program 0
                                                 "00903c64"   // note on C4
                                                 "8140803c40" // 192 ticks later, note off
                                                 "00ff2f00"); // end of track
    return midiFile(track);
}

// Minutes of eight-note chords: seconds of rendering work.
QByteArray denseMidi(int seconds) {
    QByteArray track;
    for (int step = 0; step < seconds * 8; ++step) {
        for (int ch = 0; ch < 8; ++ch)
            track += QByteArray::fromHex("00") + char(0x90 | ch) + char(40 + ch * 4) + char(90);
        for (int ch = 0; ch < 8; ++ch) // a 16th at 96 ticks a quarter is 24 ticks
            track += QByteArray::fromHex(ch == 0 ? "18" : "00") + char(0x80 | ch) +
                     char(40 + ch * 4) + char(0);
    }
    track += QByteArray::fromHex("00ff2f00");
    return midiFile(track);
}

QByteArray rmiWrap(const QByteArray &midi) {
    QByteArray data = "data" + le32(midi.size()) + midi;
    if (midi.size() & 1)
        data += '\0';
    return "RIFF" + le32(4 + data.size()) + "RMID" + data;
}

void writeBytes(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

MpvPlayer::Options headless() {
    MpvPlayer::Options options;
    options.videoOutput = QStringLiteral("null");
    options.audioOutput = QStringLiteral("null");
    return options;
}

// A local web server started by the test; the port is the first line it prints.
class LocalServer {
public:
    ~LocalServer() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    bool start(const QStringList &arguments, const QRegularExpression &portPattern) {
        m_process.setProgram(QStringLiteral("/usr/bin/python3"));
        m_process.setArguments(arguments);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start();
        QByteArray seen;
        for (int i = 0; i < 50 && m_port == 0; ++i) {
            if (!m_process.waitForReadyRead(200) && m_process.state() == QProcess::NotRunning)
                break;
            seen += m_process.readAll();
            const auto match = portPattern.match(QString::fromUtf8(seen));
            if (match.hasMatch())
                m_port = match.captured(1).toInt();
        }
        return m_port != 0;
    }
    QString url(const QString &file) const {
        return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_port).arg(file);
    }

private:
    QProcess m_process;
    int m_port = 0;
};

// Reads a pipe as the campus server would, counting the samples that are clearly sound.
class PipeListener {
public:
    explicit PipeListener(const QString &path) {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
        if (m_fd >= 0)
            m_thread = std::thread([this] { run(); });
    }
    ~PipeListener() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool listening() const { return m_fd >= 0; }
    long loudSamples() const { return m_loud; }
    long bytes() const { return m_bytes; }

private:
    void run() {
        QByteArray carry; // s16le: a read may end inside a sample
        char buffer[16384];
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                continue;
            m_bytes += n;
            carry.append(buffer, n);
            const qsizetype whole = carry.size() & ~qsizetype(1);
            for (qsizetype i = 0; i < whole; i += 2) {
                if (std::abs(qFromLittleEndian<qint16>(carry.constData() + i)) > 1000)
                    ++m_loud;
            }
            carry.remove(0, whole);
        }
    }

    int m_fd = -1;
    std::atomic_bool m_stop{false};
    std::atomic_long m_loud{0};
    std::atomic_long m_bytes{0};
    std::thread m_thread;
};

QJsonArray pactlJson(const QString &what) {
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"),
                {QStringLiteral("-f"), QStringLiteral("json"), QStringLiteral("list"), what});
    pactl.waitForFinished(5000);
    return QJsonDocument::fromJson(pactl.readAllStandardOutput()).array();
}

// The sink our stream plays into now; empty while there is none.
QString horaletSink() {
    int index = -1;
    for (const QJsonValue input : pactlJson(QStringLiteral("sink-inputs"))) {
        if (input[QLatin1String("properties")][QLatin1String("application.name")].toString() ==
            QLatin1String("Horalet"))
            index = input[QLatin1String("sink")].toInt();
    }
    for (const QJsonValue sink : pactlJson(QStringLiteral("sinks"))) {
        if (index >= 0 && sink[QLatin1String("index")].toInt() == index)
            return sink[QLatin1String("name")].toString();
    }
    return {};
}

} // namespace

class TestMpvPlayer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void localFilePlaysToItsEndAndReadsZero();
    void soundReachesPulseAudio();
    void campusTasksAreHeardThroughTheCampusPipe();
    void closeAndReplaceAreExact();
    void pauseHoldsTheItem();
    void unplayableItemsEndAtOnce();
    void networkItemPlays();
    void slowStreamStaysBusyWhileItConnects();
    void stalledStreamIsGivenUpAfterTheLimit();
    void streamStuckBufferingIsGivenUpAfterTheLimit();
    void midiItemsPlay();
    void midiDataIsFoundInRiffFiles();
    void midiRenderingGivesWayToTheNextItem();

private:
    QTemporaryDir m_dir;
    QString m_tone;
    QString m_longTone;
};

void TestMpvPlayer::initTestCase() {
    QVERIFY(m_dir.isValid());
    // Rendered MIDI goes to the temporary folder; keep other runs' files out of the count.
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("tmp")));
    qputenv("TMPDIR", m_dir.filePath(QStringLiteral("tmp")).toUtf8());
    QCOMPARE(QDir::tempPath(), m_dir.filePath(QStringLiteral("tmp")));
    m_tone = m_dir.filePath(QStringLiteral("tone.wav"));
    m_longTone = m_dir.filePath(QStringLiteral("long tone.wav"));
    QVERIFY(writeTone(m_tone, 2.0));
    QVERIFY(writeTone(m_longTone, 30.0));
}

void TestMpvPlayer::localFilePlaysToItsEndAndReadsZero() {
    MpvPlayer player(headless());
    QVERIFY(player.isValid());
    QCOMPARE(player.state(), State::Idle);
    QCOMPARE(player.position(), 0.0);

    double furthest = 0;
    QList<State> states;
    connect(&player, &MpvPlayer::positionChanged, this,
            [&](double s) { furthest = qMax(furthest, s); });
    connect(&player, &MpvPlayer::stateChanged, this, [&](State s) { states << s; });

    player.open(m_tone);
    QVERIFY(player.state() != State::Idle); // busy from the moment it is handed over
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0.5, 5000);
    QVERIFY(qAbs(player.duration() - 2.0) < 0.05);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Idle, 10000);
    QCOMPARE(player.position(), 0.0);
    // The item was heard to its end: a look-ahead to a next file would end it ~0.4 s early.
    QVERIFY2(furthest > 1.7, qPrintable(QString::number(furthest)));
    QCOMPARE(states, (QList<State>{State::Opening, State::Playing, State::Idle}));

    // Nothing arrives late to undo the end.
    QTest::qWait(300);
    QCOMPARE(player.state(), State::Idle);
    QCOMPARE(player.position(), 0.0);
}

// What PulseAudio lists as playing now.
QString sinkInputs() {
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("sink-inputs")});
    pactl.waitForFinished(5000);
    return QString::fromUtf8(pactl.readAllStandardOutput());
}

void TestMpvPlayer::soundReachesPulseAudio() {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        QSKIP("needs the private PulseAudio daemon of the test fixtures");
    MpvPlayer::Options options = headless();
    options.audioOutput = QStringLiteral("pulse");
    MpvPlayer player(options);
    player.open(m_tone);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(sinkInputs().contains(QStringLiteral("\"Horalet\"")), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Idle, 10000);
    QCOMPARE(player.position(), 0.0);
    // Its sound has been played out when it counts as ended, not cut or still queued.
    QVERIFY(!sinkInputs().contains(QStringLiteral("\"Horalet\"")));
}

void TestMpvPlayer::campusTasksAreHeardThroughTheCampusPipe() {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        QSKIP("needs the private PulseAudio daemon of the test fixtures");
    // A player fixed to no output stays there, whatever device it is told.
    {
        MpvPlayer silent(headless());
        silent.setAudioDevice(CampusSink::deviceName());
        silent.open(m_tone);
        QTRY_VERIFY_WITH_TIMEOUT(silent.position() > 0.3, 5000);
        QVERIFY(horaletSink().isEmpty());
    }

    const QString pipe = m_dir.filePath(QStringLiteral("snapfifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    PipeListener room(pipe);
    QVERIFY(room.listening());
    CampusSink sink;
    QString error;
    QVERIFY2(sink.load(pipe, {}, &error), qPrintable(error));

    QTemporaryDir settings;
    CampusConfig config(settings.path());
    CampusConfig::Server server;
    server.enabled = true;
    QVERIFY(config.setServer(server).ok);
    PulseMasterVolume local;
    PulseMasterVolume campus(2000, CampusSink::sinkName());
    local.SetMasterVolume(12345);
    MpvPlayer::Options options = headless();
    options.audioOutput = QStringLiteral("pulse");
    MpvPlayer player(options);
    FakeCampusControl control;
    control.roomList = {{QStringLiteral("room1"), QStringLiteral("一号楼"), true, 100, false}};
    CampusOutput output(player, local, campus, control);
    output.setConfig(config);
    output.setSinkState(sink.isLoaded());
    output.setCampusDevice(CampusSink::deviceName());

    // The sink runs on its own clock: before any task, the pipe carries silence.
    QTRY_VERIFY_WITH_TIMEOUT(room.bytes() > 48000, 5000);
    QCOMPARE(room.loudSamples(), 0L);

    output.routeTask(QStringLiteral("上课铃"));
    QCOMPARE(control.requests.size(), 1);
    control.answer(0, true);
    output.SetMasterVolumeThen(50000, this, [&] { player.open(m_tone); });
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(horaletSink(), CampusSink::sinkName(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(room.loudSamples() > 48000, 5000);
    QCOMPARE(campus.GetMasterVolume().value, 50000);
    QCOMPARE(local.GetMasterVolume().value, 12345);
    // Ends on time as on any other output.
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Idle, 10000);

    // The server is gone: the next task is heard on this machine, the rooms hear nothing.
    control.connected = false;
    output.routeTask(QStringLiteral("下课铃"));
    QTest::qWait(300); // the tail of the last item, still in the pipe
    const long heard = room.loudSamples();
    output.SetMasterVolumeThen(40000, this, [&] { player.open(m_tone); });
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(horaletSink(), QStringLiteral("horalet_null"), 3000);
    QCOMPARE(local.GetMasterVolume().value, 40000);
    QCOMPARE(campus.GetMasterVolume().value, 50000);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Idle, 10000);
    QCOMPARE(room.loudSamples(), heard);

    // The server lost under an item heard in the rooms: the item itself goes on here, at the
    // task's level, within 2 s; back before it ends, the rooms have it again.
    control.connected = true;
    output.setRoomsSettleMs(200);
    output.routeTask(QStringLiteral("午间广播"));
    control.answer(1, true);
    output.SetMasterVolumeThen(30000, this, [&] { player.open(m_longTone); });
    QTRY_COMPARE_WITH_TIMEOUT(horaletSink(), CampusSink::sinkName(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 1.0, 5000);
    QElapsedTimer lost;
    lost.start();
    control.connected = false;
    emit control.connectionChanged(false);
    QTRY_COMPARE_WITH_TIMEOUT(horaletSink(), QStringLiteral("horalet_null"), 2000);
    qInfo("moved here %lld ms after the loss", lost.elapsed());
    QCOMPARE(local.GetMasterVolume().value, 30000);
    const double at = player.position();
    QVERIFY(at > 1.0);
    QCOMPARE(player.state(), State::Playing);
    control.connected = true;
    emit control.connectionChanged(true);
    QCOMPARE(control.requests.size(), 3);
    control.answer(2, true);
    QTRY_COMPARE_WITH_TIMEOUT(horaletSink(), CampusSink::sinkName(), 3000);
    QVERIFY(player.position() >= at); // the same item, going on
    player.close();
    output.taskEnded();
    local.SetMasterVolume(65535);
}

void TestMpvPlayer::closeAndReplaceAreExact() {
    MpvPlayer player(headless());
    player.open(m_longTone);
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0.2, 5000);

    player.close();
    QCOMPARE(player.state(), State::Idle);
    QCOMPARE(player.position(), 0.0);
    QTest::qWait(300); // the stop's own end event must not matter
    QCOMPARE(player.state(), State::Idle);
    QCOMPARE(player.position(), 0.0);

    // A new item replaces a playing one; the old one's end belongs to the old one.
    player.open(m_longTone);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 5000);
    player.open(m_tone);
    QCOMPARE(player.location(), m_tone);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 5000);
    QTest::qWait(300);
    QCOMPARE(player.state(), State::Playing);
    QVERIFY(player.position() < 1.5); // the short item, from its start
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(player.duration() - 2.0) < 0.05, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Idle, 10000);
}

void TestMpvPlayer::pauseHoldsTheItem() {
    MpvPlayer player(headless());
    player.open(m_longTone);
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0.2, 5000);
    player.setPaused(true);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Paused, 2000);
    QTest::qWait(300); // sound already sent to the output still counts
    const double held = player.position();
    QTest::qWait(500);
    QCOMPARE(player.position(), held);
    QVERIFY(held > 0);

    // A new item plays at once even when the last one was paused.
    player.open(m_tone);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 5000);
}

void TestMpvPlayer::unplayableItemsEndAtOnce() {
    const QString notMedia = m_dir.filePath(QStringLiteral("notes.mp3"));
    writeBytes(notMedia, QByteArray(4096, 'x'));

    MpvPlayer player(headless());
    // A missing file ends the moment it is handed over, and stops what played before.
    player.open(m_longTone);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 5000);
    player.open(m_dir.filePath(QStringLiteral("missing.mp3")));
    QCOMPARE(player.state(), State::Idle);
    QTest::qWait(300);
    QCOMPARE(player.state(), State::Idle);
    QCOMPARE(player.position(), 0.0);

    QSignalSpy failed(&player, &MpvPlayer::itemFailed);
    for (const QString &location : {QStringLiteral("D:\\music\\bell.mp3"), notMedia,
                                    QStringLiteral("http://127.0.0.1:1/refused.mp3"), QString()}) {
        player.open(location);
        QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Idle, 3000);
        QCOMPARE(player.position(), 0.0);
    }
    // Why, in Chinese for the play log, with libmpv's own words kept after it.
    QTRY_VERIFY(failed.size() >= 3);
    for (const QList<QVariant> &failure : failed) {
        const QString reason = failure.at(1).toString();
        QVERIFY2(!reason.isEmpty() && reason.front().unicode() >= 0x2E80, qPrintable(reason));
    }
    const QString refused = failed.at(2).at(1).toString();
    QVERIFY2(refused.contains(QStringLiteral("（")) && refused.contains(QStringLiteral("failed")),
             qPrintable(refused));
    // A failed item leaves the player ready for the next one.
    player.open(m_tone);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 5000);
}

void TestMpvPlayer::networkItemPlays() {
    LocalServer server;
    QVERIFY(server.start({QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("http.server"),
                          QStringLiteral("0"), QStringLiteral("--bind"),
                          QStringLiteral("127.0.0.1"), QStringLiteral("--directory"), m_dir.path()},
                         QRegularExpression(QStringLiteral("port (\\d+)"))));
    MpvPlayer player(headless());
    player.open(server.url(QStringLiteral("tone.wav")));
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0.5, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Idle, 10000);
    QCOMPARE(player.position(), 0.0);

    // A playlist address (as radio stations give) is one item: it ends after its last entry.
    writeBytes(m_dir.filePath(QStringLiteral("station.m3u")), "tone.wav\ntone.wav\n");
    int ends = 0;
    int starts = 0;
    connect(&player, &MpvPlayer::stateChanged, this, [&](State s) {
        ends += s == State::Idle;
        starts += s == State::Playing;
    });
    player.open(server.url(QStringLiteral("station.m3u")));
    QTRY_COMPARE_WITH_TIMEOUT(ends, 1, 20000);
    QCOMPARE(starts, 2);
    QCOMPARE(player.state(), State::Idle);
}

void TestMpvPlayer::slowStreamStaysBusyWhileItConnects() {
    LocalServer server;
    QVERIFY(server.start({QStringLiteral(HORALET_SOURCE_DIR "/tests/platform/slow_http_server.py"),
                          m_dir.path(), QStringLiteral("5")},
                         QRegularExpression(QStringLiteral("^(\\d+)"))));
    MpvPlayer player(headless());
    player.open(server.url(QStringLiteral("tone.wav")));
    // Longer than one step of the playlist: the item must still count as busy.
    QTest::qWait(3500);
    QCOMPARE(player.state(), State::Opening);
    QCOMPARE(player.position(), 0.0);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Idle, 10000);
}

void TestMpvPlayer::stalledStreamIsGivenUpAfterTheLimit() {
    LocalServer server;
    QVERIFY(server.start({QStringLiteral(HORALET_SOURCE_DIR "/tests/platform/slow_http_server.py"),
                          m_dir.path(), QStringLiteral("-1")},
                         QRegularExpression(QStringLiteral("^(\\d+)"))));
    MpvPlayer::Options options = headless();
    options.openingLimitMs = 4000;
    MpvPlayer player(options);
    QList<State> states;
    connect(&player, &MpvPlayer::stateChanged, this, [&](State s) { states << s; });
    player.open(server.url(QStringLiteral("tone.wav")));
    QTest::qWait(1000);
    QCOMPARE(player.state(), State::Opening);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Idle, 10000);
    QCOMPARE(player.position(), 0.0);
    QCOMPARE(states, (QList<State>{State::Opening, State::Idle}));
}

void TestMpvPlayer::streamStuckBufferingIsGivenUpAfterTheLimit() {
    // The server sends about two seconds of a 48 kHz stereo tone, then nothing more.
    QVERIFY(writeTone(m_dir.filePath(QStringLiteral("wide.wav")), 10.0, 48000, 2));
    LocalServer server;
    QVERIFY(server.start({QStringLiteral(HORALET_SOURCE_DIR "/tests/platform/slow_http_server.py"),
                          m_dir.path(), QStringLiteral("0"), QStringLiteral("400000")},
                         QRegularExpression(QStringLiteral("^(\\d+)"))));
    MpvPlayer::Options options = headless();
    options.openingLimitMs = 4000;
    MpvPlayer player(options);
    QList<State> states;
    connect(&player, &MpvPlayer::stateChanged, this, [&](State s) { states << s; });
    player.open(server.url(QStringLiteral("wide.wav")));
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 10000);
    // Waiting for data mid-item counts as busy, with the position held.
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Opening, 10000);
    QVERIFY(player.position() > 1.0);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Idle, 15000);
    QCOMPARE(player.position(), 0.0);
    QCOMPARE(states, (QList<State>{State::Opening, State::Playing, State::Opening, State::Idle}));
}

void TestMpvPlayer::midiItemsPlay() {
    if (MidiRenderer::findSoundFont().isEmpty())
        QSKIP("no General MIDI sound font installed (timgm6mb-soundfont)");
    const QString mid = m_dir.filePath(QStringLiteral("bell.MID"));
    const QString rmi = m_dir.filePath(QStringLiteral("bell.rmi"));
    const QString broken = m_dir.filePath(QStringLiteral("broken.mid"));
    writeBytes(mid, oneNoteMidi());
    writeBytes(rmi, rmiWrap(oneNoteMidi()));
    writeBytes(broken, QByteArray("MThd") + QByteArray(20, '\xff'));

    const QStringList before = QDir::temp().entryList({QStringLiteral("horalet-midi-*")});
    MpvPlayer player(headless());
    for (const QString &location : {mid, rmi}) {
        player.open(location);
        QCOMPARE(player.location(), location);
        QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 5000);
        // One second of note plus its release, rendered whole.
        QVERIFY2(player.duration() > 1.0 && player.duration() < 2.5,
                 qPrintable(QString::number(player.duration())));
        QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Idle, 10000);
    }
    player.open(broken);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Idle, 3000);
    // The rendered sound is temporary.
    QCOMPARE(QDir::temp().entryList({QStringLiteral("horalet-midi-*")}), before);
}

void TestMpvPlayer::midiDataIsFoundInRiffFiles() {
    const QByteArray midi = oneNoteMidi();
    QCOMPARE(MidiRenderer::midiData(midi), midi);
    QCOMPARE(MidiRenderer::midiData(rmiWrap(midi)), midi);
    // A chunk before the data chunk is stepped over, including its pad byte.
    QByteArray withInfo = rmiWrap(midi);
    withInfo.insert(12, "LIST" + le32(3) + "abc" + '\0');
    withInfo.replace(4, 4, le32(withInfo.size() - 8));
    QCOMPARE(MidiRenderer::midiData(withInfo), midi);
    // A data chunk that claims more than the file holds is refused, not over-read.
    QByteArray cut = rmiWrap(midi);
    cut.chop(10);
    QVERIFY(MidiRenderer::midiData(cut).isEmpty());
    QVERIFY(MidiRenderer::midiData(QByteArray("RIFF\x04\0\0\0WAVE", 12)).isEmpty());
    QVERIFY(MidiRenderer::midiData("ID3 not midi").isEmpty());

    QVERIFY(MidiRenderer::isMidiLocation(QStringLiteral("/music/Bell.MIDI")));
    QVERIFY(MidiRenderer::isMidiLocation(QStringLiteral("D:\\music\\bell.rmi")));
    QVERIFY(!MidiRenderer::isMidiLocation(QStringLiteral("/music/bell.mp3")));
    QVERIFY(!MidiRenderer::isMidiLocation(QStringLiteral("http://host/bell.mid")));
}

void TestMpvPlayer::midiRenderingGivesWayToTheNextItem() {
    if (MidiRenderer::findSoundFont().isEmpty())
        QSKIP("no General MIDI sound font installed (timgm6mb-soundfont)");
    const QString longPiece = m_dir.filePath(QStringLiteral("long.mid"));
    writeBytes(longPiece, denseMidi(600));
    const QStringList before = QDir::temp().entryList({QStringLiteral("horalet-midi-*")});

    MpvPlayer player(headless());
    player.open(longPiece);
    QCOMPARE(player.state(), State::Opening); // busy while its sound is being made
    player.close();
    QCOMPARE(player.state(), State::Idle);
    QTRY_COMPARE_WITH_TIMEOUT(QDir::temp().entryList({QStringLiteral("horalet-midi-*")}), before,
                              10000);

    // A rendering overtaken by the next item never takes the player back.
    player.open(longPiece);
    player.open(m_tone);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(QDir::temp().entryList({QStringLiteral("horalet-midi-*")}), before,
                              10000);
    QCOMPARE(player.location(), m_tone);
    QVERIFY(qAbs(player.duration() - 2.0) < 0.05);

    // Destroyed while rendering: it waits for its worker and leaves nothing behind.
    {
        MpvPlayer another(headless());
        another.open(longPiece);
    }
    QCOMPARE(QDir::temp().entryList({QStringLiteral("horalet-midi-*")}), before);
}

QTEST_GUILESS_MAIN(TestMpvPlayer)
#include "test_mpv_player.moc"
