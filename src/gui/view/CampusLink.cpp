#include "CampusLink.h"

#include "campus/CampusOutput.h"
#include "campus/CampusPipe.h"
#include "platform/CampusSink.h"
#include "platform/MpvPlayer.h"
#include "platform/PulseMasterVolume.h"
#include "platform/SnapcastClient.h"
#include "playback/MasterVolumeWorker.h"
#include "playback/PlaylistDriver.h"
#include "playlog/PlayLogRecorder.h"

#include <QDataStream>
#include <QFile>
#include <QPointer>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>

namespace {

// How long the rooms may take to answer a test tone's routing.
constexpr int AuditionRouteMs = 3000;
// How long the rooms may take to be set back when the campus is switched off.
constexpr int RestoreMs = 3000;

// One and a half seconds of 880 Hz, mono 16-bit at 48 kHz, as a WAV file.
QByteArray toneWav() {
    constexpr int Rate = 48000;
    constexpr int Frames = Rate * 3 / 2;
    QByteArray pcm;
    pcm.reserve(Frames * 2);
    for (int i = 0; i < Frames; ++i) {
        // Faded in and out over 20 ms, so the tone does not click.
        const double fade = std::min({1.0, i / 960.0, (Frames - i) / 960.0});
        const auto sample = static_cast<qint16>(
            std::lround(12000.0 * fade * std::sin(2.0 * M_PI * 880.0 * i / Rate)));
        pcm.append(static_cast<char>(sample & 0xff));
        pcm.append(static_cast<char>((sample >> 8) & 0xff));
    }
    QByteArray wav;
    QDataStream out(&wav, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + pcm.size());
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(Rate) << quint32(Rate * 2)
        << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(pcm.size());
    out.writeRawData(pcm.constData(), static_cast<int>(pcm.size()));
    return wav;
}

} // namespace

CampusLink::CampusLink(MediaPlayer &player, MasterVolume &localVolume, QObject *parent)
    : QObject(parent), m_sink(std::make_unique<CampusSink>()),
      m_sinkVolume(std::make_unique<MasterVolumeWorker>(
          std::make_unique<PulseMasterVolume>(2000, CampusSink::sinkName()))) {
    m_worker.setMaxThreadCount(1); // loads and unloads in the order asked
    m_control = new SnapcastClient(this);
    m_output = new CampusOutput(player, localVolume, *m_sinkVolume, *m_control, this);
    m_output->setCampusDevice(CampusSink::deviceName());
    // Its words say what came and that the connection was dropped.
    connect(m_control, &CampusControl::protocolFault, this, &CampusLink::notice);
    connect(m_control, &CampusControl::roomsChanged, this, &CampusLink::followServerPipe);
    connect(m_control, &CampusControl::connectionChanged, this, &CampusLink::followServerPipe);
    connect(m_output, &CampusOutput::stateChanged, this, &CampusLink::stateChanged);
    connect(m_output, &CampusOutput::serverBack, this, &CampusLink::notice);
    connect(m_output, &CampusOutput::outputChanged, this,
            [this] { emit outputChanged(m_output->outputName()); });
    // Only the output the volume acts on now counts.
    auto *watch = new PulseVolumeWatch(this);
    connect(watch, &PulseVolumeWatch::sinkChanged, this,
            [this](const QString &sink, bool isDefault) {
                if (m_output->playsOnCampus() ? sink == CampusSink::sinkName() : isDefault)
                    emit outputVolumeChanged();
            });
}

QString CampusLink::stateText() const {
    return m_output->stateText();
}

CampusLink::~CampusLink() {
    m_worker.waitForDone();
    m_sink->unload();
}

MasterVolume &CampusLink::output() {
    return *m_output;
}

void CampusLink::apply(const CampusConfig &config) {
    const bool wasOn = m_applied && m_applied->enabled;
    m_output->setConfig(config);
    CampusConfig::Server server = config.server();
    if (!server.enabled)
        server = CampusConfig::Server{};
    const quint64 serial = ++m_applySerial;
    if (wasOn && !server.enabled && m_output->hasChangedRooms() && m_control->isConnected()) {
        // Switched off: the rooms muted for the bells are left as they were found, then the
        // connection is let go.
        m_output->restoreRooms(RestoreMs, this, [this, serial](bool ok, const QString &failure) {
            if (!ok)
                emit notice(QStringLiteral("未能恢复终端原来的静音状态：") + failure);
            if (serial == m_applySerial)
                m_control->setServer(QString(), 0);
        });
    } else {
        if (wasOn && !server.enabled && m_output->hasChangedRooms())
            emit notice(QStringLiteral("未能恢复终端原来的静音状态：未连接广播服务器；"
                                       "再次启用并连接后取消校园广播即可恢复"));
        // Pointed again at what is stored (a connection test may have pointed it elsewhere);
        // the same server again keeps its connection.
        m_control->setServer(server.enabled ? server.address : QString(),
                             server.enabled ? server.controlPort : 0);
    }
    // The sink only when its own settings changed, so a playing task is not cut off.
    if (!m_applied || m_applied->enabled != server.enabled || m_applied->pipe != server.pipe ||
        m_applied->pipeGroup != server.pipeGroup) {
        m_applied = server;
        m_pipeNotRead.reset();
        if (!server.enabled)
            applySink(false);
    }
    followServerPipe();
}

void CampusLink::followServerPipe() {
    // A server not reached says nothing new: what was decided stands.
    if (!m_applied || !m_applied->enabled || !m_control->isConnected())
        return;
    const QString notRead = CampusPipe::notRead(m_control->streams(), m_applied->pipe);
    if (m_pipeNotRead == notRead)
        return;
    m_pipeNotRead = notRead;
    if (notRead.isEmpty()) {
        applySink(true);
        return;
    }
    applySink(false);
    m_output->setSinkState(false, notRead);
    emit notice(notRead);
}

void CampusLink::applySink(bool enabled) {
    const quint64 serial = ++m_sinkSerial;
    if (!enabled)
        m_output->setSinkState(false);
    m_worker.start([this, serial, enabled, pipe = m_applied->pipe, group = m_applied->pipeGroup] {
        QString failure;
        bool loaded = false;
        if (enabled)
            loaded = m_sink->load(pipe, group, &failure);
        else
            m_sink->unload();
        // Only the latest request's outcome is told; the worker runs them in order.
        QMetaObject::invokeMethod(
            this,
            [this, serial, enabled, loaded, failure] {
                if (serial != m_sinkSerial || !enabled)
                    return;
                m_output->setSinkState(loaded, failure);
                if (!loaded)
                    emit notice(QStringLiteral("无法建立校园广播的声音输出：") + failure);
            },
            Qt::QueuedConnection);
    });
}

void CampusLink::watch(PlaylistDriver &playback, PlayLogRecorder &log) {
    m_playback = &playback;
    connect(&playback, &PlaylistDriver::taskStarted, m_output, &CampusOutput::routeTask);
    connect(&playback, &PlaylistDriver::taskEnded, m_output, &CampusOutput::taskEnded);
    connect(m_output, &CampusOutput::retaken, &log,
            [&log](const QString &task, const CampusRoute &route) {
                log.campus(task, QStringLiteral("广播服务器已恢复，余下部分在校园广播播放：") +
                                     route.logText);
            });
    connect(m_output, &CampusOutput::retaken, this,
            [this](const QString &task, const CampusRoute &route) {
                emit notice(QStringLiteral("“%1”已回到校园广播播放：%2").arg(task, route.logText));
            });
    connect(
        m_output, &CampusOutput::routed, &log,
        [&log](const QString &task, const CampusRoute &route) { log.campus(task, route.logText); });
    // Whatever the server sent that dropped the connection stays on record.
    connect(m_control, &CampusControl::protocolFault, &log,
            [&log](const QString &reason) { log.campus(QString(), reason); });
    connect(m_output, &CampusOutput::playsLocally, &log,
            [&log](const QString &task, const QString &reason) { log.campus(task, reason); });
    connect(m_output, &CampusOutput::routed, this,
            [this](const QString &task, const CampusRoute &route) {
                emit notice(QStringLiteral("“%1”在校园广播播放：%2").arg(task, route.logText));
            });
    connect(m_output, &CampusOutput::playsLocally, this,
            [this](const QString &, const QString &reason) {
                emit notice(reason);
                // A sink that could not be loaded (the sound server was not up yet) or was
                // dropped with a restarted one is loaded again, so the next task can reach the
                // rooms.
                if (m_applied && m_applied->enabled && m_pipeNotRead && m_pipeNotRead->isEmpty() &&
                    !m_output->sinkLoaded())
                    applySink(true);
            });
}

QString CampusLink::toneFile() {
    if (!m_toneDir) {
        m_toneDir = std::make_unique<QTemporaryDir>();
        QFile file(m_toneDir->filePath(QStringLiteral("试听.wav")));
        if (!m_toneDir->isValid() || !file.open(QIODevice::WriteOnly) ||
            file.write(toneWav()) < 0) {
            m_toneDir.reset();
            return QString();
        }
    }
    return m_toneDir->filePath(QStringLiteral("试听.wav"));
}

void CampusLink::audition(const QStringList &rooms) {
    if (m_playback && m_playback->isTaskActive()) {
        emit notice(QStringLiteral("正在播放任务，请在任务结束后再试听"));
        return;
    }
    const QString tone = toneFile();
    if (tone.isEmpty()) {
        emit notice(QStringLiteral("无法生成试听的提示音"));
        return;
    }
    QStringList others;
    const QSet<QString> chosen(rooms.cbegin(), rooms.cend());
    for (const CampusRoom &room : m_control->rooms())
        if (!chosen.contains(room.id))
            others.append(room.id);
    m_output->routeRooms(
        rooms, others, AuditionRouteMs, this, [this, tone](bool ok, const QString &failure) {
            if (!ok) {
                emit notice(QStringLiteral("试听失败：") + failure);
                return;
            }
            // Rooms just switched on would lose the tone's start.
            QTimer::singleShot(CampusOutput::RoomsSettleMs, this, [this, tone] { playTone(tone); });
        });
}

void CampusLink::playTone(const QString &tone) {
    if (m_playback && m_playback->isTaskActive())
        return; // a bell came first: the rooms are its
    if (!m_tonePlayer) {
        MpvPlayer::Options options = MpvPlayer::defaultOptions();
        options.videoOutput = QStringLiteral("null");
        m_tonePlayer = new MpvPlayer(options, this);
        m_tonePlayer->setAudioDevice(CampusSink::deviceName());
    }
    m_tonePlayer->open(tone);
}
