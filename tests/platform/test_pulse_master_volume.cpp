// The master volume and the campus sink against a real PulseAudio daemon (the "pulse" ctest
// fixture).
#include "platform/CampusSink.h"
#include "platform/PulseLevelWatch.h"
#include "platform/PulseMasterVolume.h"
#include "playback/HeardRule.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <pulse/volume.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <grp.h>

namespace {

QString pactl(const QStringList &arguments) {
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return QStringLiteral("pactl failed: ") +
               QString::fromLocal8Bit(process.readAllStandardError());
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The raw per-channel values pactl reports for the default sink, e.g. {30000, 30000}.
QList<uint> sinkChannels() {
    const QString out =
        pactl({QStringLiteral("get-sink-volume"), QStringLiteral("@DEFAULT_SINK@")});
    QList<uint> values;
    static const QRegularExpression channel(QStringLiteral(R"(:\s*(\d+)\s*/\s*\d+%)"));
    auto it = channel.globalMatch(out.section(QLatin1Char('\n'), 0, 0));
    while (it.hasNext())
        values.append(it.next().captured(1).toUInt());
    return values;
}

void setSinkChannels(const QStringList &values) {
    pactl(QStringList{QStringLiteral("set-sink-volume"), QStringLiteral("@DEFAULT_SINK@")} +
          values);
}

// The modules that hold a sink of the campus sink's name, one line each with its arguments.
QStringList campusModules() {
    QStringList found;
    const QStringList lines =
        pactl({QStringLiteral("list"), QStringLiteral("modules"), QStringLiteral("short")})
            .split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.contains(QStringLiteral("sink_name=") + CampusSink::sinkName()))
            found << line;
    }
    return found;
}

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
}

// Points the client at another server for the life of the guard.
class ServerOverride {
public:
    explicit ServerOverride(const QByteArray &server) : m_saved(qgetenv("PULSE_SERVER")) {
        qputenv("PULSE_SERVER", server);
    }
    ~ServerOverride() { qputenv("PULSE_SERVER", m_saved); }

private:
    QByteArray m_saved;
};

// A socket that takes connections into its backlog and never says a word.
class SilentSocket {
public:
    explicit SilentSocket(const QString &path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(),
                    std::min<size_t>(name.size(), sizeof(address.sun_path) - 1));
        m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (m_fd >= 0 &&
            (::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 ||
             ::listen(m_fd, 4) != 0)) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~SilentSocket() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool listening() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace

class TestPulseMasterVolume : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY2(!qgetenv("PULSE_SERVER").isEmpty(), "run through ctest: needs the pulse fixture");
        setSinkChannels({QStringLiteral("65536")});
    }
    // The sink is shared with the tests that come after: left at full level, not muted.
    void cleanup() {
        pactl({QStringLiteral("set-sink-mute"), QStringLiteral("@DEFAULT_SINK@"),
               QStringLiteral("0")});
        setSinkChannels({QStringLiteral("65536")});
    }

    void everyValueMapsBackToItself() {
        QCOMPARE(PulseMasterVolume::toPulse(0), PA_VOLUME_MUTED);
        QCOMPARE(PulseMasterVolume::toPulse(65535), PA_VOLUME_NORM);
        uint32_t previous = 0;
        for (int v = 0; v <= 65535; ++v) {
            const uint32_t pa = PulseMasterVolume::toPulse(v);
            if (PulseMasterVolume::fromPulse(pa) != v || (v > 0 && pa <= previous))
                QFAIL(qPrintable(QStringLiteral("value %1 -> %2 -> %3")
                                     .arg(v)
                                     .arg(pa)
                                     .arg(PulseMasterVolume::fromPulse(pa))));
            previous = pa;
        }
        // Out of scale: clamped, never wrapped around.
        QCOMPARE(PulseMasterVolume::toPulse(-1), PA_VOLUME_MUTED);
        QCOMPARE(PulseMasterVolume::toPulse(70000), PA_VOLUME_NORM);
        QCOMPARE(PulseMasterVolume::fromPulse(PA_VOLUME_NORM * 3 / 2), 65535);
    }

    void setIsSeenByTheServerAndReadBack() {
        PulseMasterVolume volume;
        volume.SetMasterVolume(30000);
        QCOMPARE(sinkChannels(), (QList<uint>{30000, 30000}));
        const MasterVolume::Reading reading = volume.GetMasterVolume();
        QCOMPARE(reading.value, 30000);
        QVERIFY(reading.failure.isEmpty());
    }

    void changeMadeOutsideIsReadBack() {
        PulseMasterVolume volume;
        // Told as it happens, as the default output's change.
        PulseVolumeWatch watch;
        QSignalSpy changes(&watch, &PulseVolumeWatch::sinkChanged);
        QTRY_VERIFY(!changes.isEmpty()); // the default output, as found
        changes.clear();
        setSinkChannels({QStringLiteral("20000")});
        QTRY_VERIFY(!changes.isEmpty());
        const QString defaultSink = pactl({QStringLiteral("get-default-sink")}).trimmed();
        QCOMPARE(changes.first().at(0).toString(), defaultSink);
        QCOMPARE(changes.first().at(1).toBool(), true);
        QCOMPARE(volume.GetMasterVolume().value, PulseMasterVolume::fromPulse(20000));
        setSinkChannels({QStringLiteral("50%")});
        QCOMPARE(volume.GetMasterVolume().value, 32768);
        // Channels apart read as the loudest; a set brings them together again.
        setSinkChannels({QStringLiteral("10000"), QStringLiteral("40000")});
        QCOMPARE(volume.GetMasterVolume().value, PulseMasterVolume::fromPulse(40000));
        volume.SetMasterVolume(25000);
        const uint expected = PulseMasterVolume::toPulse(25000);
        QCOMPARE(sinkChannels(), (QList<uint>{expected, expected}));
    }

    void extremesRoundTripAndZeroDoesNotMute() {
        PulseMasterVolume volume;
        volume.SetMasterVolume(0);
        QCOMPARE(volume.GetMasterVolume().value, 0);
        QCOMPARE(sinkChannels(), (QList<uint>{0, 0}));
        QVERIFY(pactl({QStringLiteral("get-sink-mute"), QStringLiteral("@DEFAULT_SINK@")})
                    .contains(QLatin1String("no")));
        volume.SetMasterVolume(65535);
        QCOMPARE(volume.GetMasterVolume().value, 65535);
        QCOMPARE(sinkChannels(), (QList<uint>{PA_VOLUME_NORM, PA_VOLUME_NORM}));
    }

    void campusSinkReplacesAStaleOneAndHasAVolumeOfItsOwn() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // A blank and a quote in the path: the module must get it as it is.
        const QString pipe = dir.filePath(QStringLiteral("snap \"fifo\""));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        // Left by a run that crashed, writing a pipe of its own.
        const QString stalePipe = dir.filePath(QStringLiteral("stale"));
        QVERIFY(!pactl({QStringLiteral("load-module"), QStringLiteral("module-pipe-sink"),
                        QStringLiteral("file=") + stalePipe,
                        QStringLiteral("sink_name=") + CampusSink::sinkName()})
                     .startsWith(QLatin1String("pactl failed")));
        QCOMPARE(campusModules().size(), 1);

        PulseMasterVolume defaultSink;
        PulseMasterVolume campus(2000, CampusSink::sinkName());
        {
            CampusSink sink;
            QString error;
            QVERIFY2(sink.load(pipe, {}, &error), qPrintable(error));
            QVERIFY(sink.isLoaded());
            const QStringList modules = campusModules();
            QCOMPARE(modules.size(), 1);
            // The server lists the argument as it was given: quoted, the quote escaped.
            const QString given = QStringLiteral("file=\"%1/snap \\\"fifo\\\"\" ").arg(dir.path());
            QVERIFY2(modules.first().contains(given), qPrintable(modules.first()));

            // The campus sink's level is set and read apart from the machine's own.
            campus.SetMasterVolume(20000);
            const MasterVolume::Reading read = campus.GetMasterVolume();
            QVERIFY2(read.failure.isEmpty(), qPrintable(read.failure));
            QCOMPARE(read.value, 20000);
            QCOMPARE(sinkChannels(), (QList<uint>{PA_VOLUME_NORM, PA_VOLUME_NORM}));
            defaultSink.SetMasterVolume(40000);
            QCOMPARE(campus.GetMasterVolume().value, 20000);

            sink.unload();
            QVERIFY(!sink.isLoaded());
            QVERIFY(campusModules().isEmpty());
            const MasterVolume::Reading gone = campus.GetMasterVolume();
            QCOMPARE(gone.value, -1);
            QCOMPARE(gone.failure, QStringLiteral("mixerGetLineInfo() failed"));
            QCOMPARE(defaultSink.GetMasterVolume().value, 40000);

            QVERIFY2(sink.load(pipe, {}, &error), qPrintable(error));
            QCOMPARE(campusModules().size(), 1);
        }
        // Whatever it loaded goes with it.
        QVERIFY(campusModules().isEmpty());
    }

    void campusSinkWritesOnlyIntoAPipe() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString regular = dir.filePath(QStringLiteral("notes.txt"));
        QFile file(regular);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep me");
        file.close();
        const QString link = dir.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(regular, link));

        CampusSink sink;
        const QStringList refused{regular, link, QStringLiteral("snapfifo"),
                                  dir.filePath(QStringLiteral("no such folder/snapfifo")),
                                  dir.path()};
        for (const QString &path : refused) {
            QString error;
            QVERIFY2(!sink.load(path, {}, &error), qPrintable(path));
            QVERIFY2(!error.isEmpty() && error.contains(QChar(u'管')), qPrintable(error));
            QVERIFY(!sink.isLoaded());
        }
        QVERIFY(campusModules().isEmpty());
        QCOMPARE(readAll(regular), QByteArray("keep me"));

        // A pipe that is not there yet is made here, for this account alone (the module would
        // make it open to every account), or for the group named for the server.
        const QString fresh = dir.filePath(QStringLiteral("fresh"));
        QString error;
        QVERIFY2(sink.load(fresh, {}, &error), qPrintable(error));
        struct stat made {};
        QCOMPARE(::stat(QFile::encodeName(fresh).constData(), &made), 0);
        QVERIFY(S_ISFIFO(made.st_mode));
        QCOMPARE(made.st_mode & 07777, mode_t(0600));
        QCOMPARE(made.st_uid, ::geteuid());
        sink.unload();
        QVERIFY(campusModules().isEmpty());
        const group *nogroup = ::getgrnam("nogroup");
        QVERIFY(nogroup);
        const QString shared = dir.filePath(QStringLiteral("shared"));
        QCOMPARE(CampusSink::preparePipe(shared, QStringLiteral("nogroup")), QString());
        QCOMPARE(::stat(QFile::encodeName(shared).constData(), &made), 0);
        QCOMPARE(made.st_mode & 07777, mode_t(0660));
        QCOMPARE(made.st_gid, nogroup->gr_gid);
        QCOMPARE(CampusSink::preparePipe(dir.filePath("other"), QStringLiteral("no-such-group")),
                 QStringLiteral("管道用户组“no-such-group”不存在"));

        // A pipe another account could open is refused, with why: owned by another, open to
        // all, open to a group not named, or in a folder anyone may change. Nothing is loaded.
        const auto fifo = [&](const QString &name, mode_t mode, uid_t owner) {
            const QString path = dir.filePath(name);
            const QByteArray native = QFile::encodeName(path);
            if (::mkfifo(native.constData(), 0600) != 0 || ::chmod(native.constData(), mode) != 0 ||
                ::chown(native.constData(), owner, static_cast<gid_t>(-1)) != 0)
                qFatal("cannot make %s", native.constData());
            return path;
        };
        const struct {
            QString path;
            QString group;
            const char *reason;
        } unsafe[] = {
            {fifo("foreign", 0600, 65534), {}, "属于其他用户（nobody）"},
            {fifo("open", 0666, ::geteuid()), {}, "允许所有用户读写（权限 0666）"},
            {fifo("readable", 0604, ::geteuid()), {}, "允许所有用户读写（权限 0604）"},
            {fifo("grouped", 0660, ::geteuid()), {}, "允许用户组“root”读写（权限 0660）"},
            {fifo("grouped2", 0660, ::geteuid()), QStringLiteral("nogroup"),
             "允许用户组“root”读写"},
        };
        for (const auto &pipe : unsafe) {
            QVERIFY2(!sink.load(pipe.path, pipe.group, &error), qPrintable(pipe.path));
            QVERIFY2(error.contains(QString::fromUtf8(pipe.reason)) && error.contains("已拒绝使用"),
                     qPrintable(error));
            QCOMPARE(CampusSink::writeTestSignal(pipe.path, pipe.group), error);
        }
        QVERIFY(campusModules().isEmpty());
        const QString open = dir.filePath(QStringLiteral("open folder"));
        QVERIFY(QDir().mkdir(open));
        QCOMPARE(::chmod(QFile::encodeName(open).constData(), 0777), 0);
        QVERIFY(!sink.load(open + QStringLiteral("/snapfifo"), {}, &error));
        QVERIFY2(error.contains("任何用户都可改动"), qPrintable(error));
        QVERIFY(!QFile::exists(open + QStringLiteral("/snapfifo")));

        // The connection test's signal: whole frames far below hearing, into a pipe someone
        // reads; a pipe no one reads (full) is said to be so.
        int reader = ::open(QFile::encodeName(fresh).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        QByteArray heard;
        std::thread drain([&] {
            char buffer[8192];
            for (int idle = 0; idle < 50;) {
                const ssize_t n = ::read(reader, buffer, sizeof buffer);
                if (n > 0) {
                    heard.append(buffer, n);
                    idle = 0;
                } else {
                    ++idle;
                    ::usleep(20000);
                }
            }
        });
        QCOMPARE(CampusSink::writeTestSignal(fresh, {}), QString());
        drain.join();
        ::close(reader);
        QCOMPARE(heard.size(), 48000 / 2 * 4);
        const auto *samples = reinterpret_cast<const qint16 *>(heard.constData());
        QVERIFY(std::all_of(samples, samples + heard.size() / 2,
                            [](qint16 v) { return v == 4 || v == -4; }));
        const int filler = ::open(QFile::encodeName(fresh).constData(), O_RDWR | O_NONBLOCK);
        const QByteArray block(4096, '\0');
        while (::write(filler, block.constData(), block.size()) > 0) {
        }
        QCOMPARE(CampusSink::writeTestSignal(fresh, {}),
                 QStringLiteral("服务器没有读取管道 %1（管道已满，没有程序从中读取）").arg(fresh));
        ::close(filler);

        QTemporaryDir none;
        ServerOverride server("unix:" + QFile::encodeName(none.filePath(QStringLiteral("x"))));
        QVERIFY(!sink.load(fresh, {}, &error));
        QCOMPARE(error, QStringLiteral("无法连接声音服务器（PulseAudio）"));
    }

    void noServerFailsAtTheFirstStep() {
        QTemporaryDir dir;
        ServerOverride server("unix:" + QFile::encodeName(dir.filePath(QStringLiteral("none"))));
        PulseMasterVolume volume;
        const MasterVolume::Reading reading = volume.GetMasterVolume();
        QCOMPARE(reading.value, -1);
        QCOMPARE(reading.failure, QStringLiteral("mixerOpen() failed"));
        volume.SetMasterVolume(1000); // silent, and nothing to check but that it returns
    }

    void serverThatNeverAnswersTimesOut() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("silent"));
        SilentSocket silent(path);
        QVERIFY(silent.listening());
        ServerOverride server("unix:" + QFile::encodeName(path));
        PulseMasterVolume volume(300);
        const MasterVolume::Reading reading = volume.GetMasterVolume();
        QCOMPARE(reading.value, -1);
        QCOMPARE(reading.failure, QStringLiteral("mixerOpen() failed"));
    }

    void serverWithoutOutputFailsAtTheLine() {
        // A second daemon of our own with no sink at all.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString config = dir.filePath(QStringLiteral("bare.pa"));
        const QString socket = dir.filePath(QStringLiteral("native"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("load-module module-native-protocol-unix auth-anonymous=1 socket=" +
                   QFile::encodeName(socket) + "\n");
        file.close();
        QDir(dir.path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(dir.filePath(QStringLiteral("run")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), dir.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), dir.filePath(QStringLiteral("run")));
        env.remove(QStringLiteral("PULSE_SERVER"));
        QProcess daemon;
        daemon.setProcessEnvironment(env);
        daemon.start(QStringLiteral("pulseaudio"),
                     {QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                      QStringLiteral("-n"), QStringLiteral("-F"), config,
                      QStringLiteral("--log-target=stderr")});
        QVERIFY(daemon.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket), 10000);

        ServerOverride server("unix:" + QFile::encodeName(socket));
        PulseMasterVolume volume;
        MasterVolume::Reading reading;
        // The socket exists a moment before the daemon accepts on it.
        QTRY_VERIFY_WITH_TIMEOUT((reading = volume.GetMasterVolume()).failure !=
                                     QStringLiteral("mixerOpen() failed"),
                                 10000);
        QCOMPARE(reading.value, -1);
        QCOMPARE(reading.failure, QStringLiteral("mixerGetLineInfo() failed"));

        daemon.terminate();
        QVERIFY(daemon.waitForFinished(10000));
    }
    // The level watch hears a tone on the default sink, sees the sink muted by hand (its
    // monitor then carries silence) and turned down, and leaves nothing behind once stopped.
    void levelWatchHearsTheSinkAndSeesItMuted() {
        PulseLevelWatch watch;
        double loudest = 0;
        OutputState output;
        QStringList failures;
        connect(&watch, &LevelWatch::level, this, [&](double peak) { loudest = peak; });
        connect(&watch, &LevelWatch::outputChanged, this,
                [&](const OutputState &state) { output = state; });
        connect(&watch, &LevelWatch::failed, this,
                [&](const QString &reason) { failures << reason; });

        watch.start(QString());
        QTRY_VERIFY_WITH_TIMEOUT(output.known, 5000);
        QCOMPARE(output.sink, QStringLiteral("horalet_null"));
        QVERIFY(!output.muted);
        QCOMPARE(output.volume, 1.0);
        // Nothing plays: whatever comes is silence.
        QTest::qWait(600);
        QVERIFY(loudest < HeardRule::floorPeak());

        const QString sine =
            pactl({QStringLiteral("load-module"), QStringLiteral("module-sine"),
                   QStringLiteral("sink=horalet_null"), QStringLiteral("frequency=440")})
                .trimmed();
        QVERIFY2(sine.toUInt() > 0, qPrintable(sine));
        QTRY_VERIFY_WITH_TIMEOUT(loudest > 0.1, 5000);

        pactl({QStringLiteral("set-sink-mute"), QStringLiteral("@DEFAULT_SINK@"),
               QStringLiteral("1")});
        QTRY_VERIFY_WITH_TIMEOUT(output.muted, 5000);
        QVERIFY(PulseLevelWatch::outputNow(QString()).muted); // as the check of what will play
        QTRY_VERIFY_WITH_TIMEOUT(loudest < HeardRule::floorPeak(), 5000);
        pactl({QStringLiteral("set-sink-mute"), QStringLiteral("@DEFAULT_SINK@"),
               QStringLiteral("0")});
        setSinkChannels({QStringLiteral("1966")}); // 3 %
        QTRY_VERIFY_WITH_TIMEOUT(!output.muted && output.volume < 0.05, 5000);
        QCOMPARE(HeardRule::outputWarning(output),
                 QStringLiteral("声音输出“horalet_null”的音量只有 3%"));
        QVERIFY(failures.isEmpty());

        // Stopped, it records nothing more and no stream of it is left on the server.
        const QStringList listOutputs{QStringLiteral("list"), QStringLiteral("source-outputs"),
                                      QStringLiteral("short")};
        const QString ours = QStringLiteral("float32le 1ch 20Hz");
        QVERIFY2(pactl(listOutputs).contains(ours), qPrintable(pactl(listOutputs)));
        watch.stop();
        const QString outputs = pactl(listOutputs);
        pactl({QStringLiteral("unload-module"), sine});
        QVERIFY2(!outputs.contains(ours), qPrintable(outputs));
        loudest = -1;
        QTest::qWait(300);
        QCOMPARE(loudest, -1.0);

        // A sink that is not there is said so.
        QVERIFY(!PulseLevelWatch::outputNow(QStringLiteral("no_such_sink")).known);
        watch.start(QStringLiteral("no_such_sink"));
        QTRY_COMPARE_WITH_TIMEOUT(failures, QStringList{"找不到声音输出“no_such_sink”"}, 5000);
        watch.stop();
    }
};

QTEST_GUILESS_MAIN(TestPulseMasterVolume)
#include "test_pulse_master_volume.moc"
