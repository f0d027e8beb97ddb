#include "MpvPlayer.h"

#include "MidiRenderer.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QTemporaryFile>
#include <QThread>

#include <mpv/client.h>

#include <clocale>

namespace {

enum ObservedProperty : uint64_t { kPause = 1, kPausedForCache, kTimePos, kDuration };

void setOption(mpv_handle *mpv, const char *name, const QString &value) {
    mpv_set_option_string(mpv, name, value.toUtf8().constData());
}

} // namespace

// Shared by the player and its worker: the file goes when both are done with it.
struct MidiRendering {
    QTemporaryFile wav{QDir::tempPath() + QStringLiteral("/horalet-midi-XXXXXX.wav")};
    std::atomic_bool cancel{false};
};

MpvPlayer::Options MpvPlayer::defaultOptions() {
    Options options;
    options.videoOutput = qEnvironmentVariable("HORALET_MPV_VO", QStringLiteral("libmpv"));
    options.audioOutput = qEnvironmentVariable("HORALET_MPV_AO");
    return options;
}

MpvPlayer::MpvPlayer(const Options &options, QObject *parent)
    : QObject(parent), m_options(options) {
    m_stallTimer.setSingleShot(true);
    m_stallTimer.setInterval(m_options.openingLimitMs);
    connect(&m_stallTimer, &QTimer::timeout, this, &MpvPlayer::giveUp);

    // libmpv refuses to start unless numbers are formatted the C way; Qt set the user's locale.
    std::setlocale(LC_NUMERIC, "C");
    m_mpv = mpv_create();
    if (!m_mpv)
        return;

    const QString vo =
        m_options.videoOutput.isEmpty() ? QStringLiteral("libmpv") : m_options.videoOutput;
    m_rendersVideo = vo == QLatin1String("libmpv");
    setOption(m_mpv, "vo", vo);
    if (!m_options.audioOutput.isEmpty())
        setOption(m_mpv, "ao", m_options.audioOutput);
    // Nothing outside the program may change what plays: no user config, scripts, key bindings
    // or on-screen controller, no youtube-dl lookups of a location.
    for (auto [name, value] : {std::pair{"config", "no"},
                               {"load-scripts", "no"},
                               {"load-stats-overlay", "no"},
                               {"load-osd-console", "no"},
                               {"load-auto-profiles", "no"},
                               {"ytdl", "no"},
                               {"input-default-bindings", "no"},
                               {"input-vo-keyboard", "no"},
                               {"osc", "no"},
                               {"terminal", "no"},
                               {"force-window", "no"},
                               {"fullscreen", "no"},
                               // An idle core with no item is the "nothing plays" state.
                               {"idle", "yes"},
                               {"keep-open", "no"},
                               // Items end when their sound has been heard, not earlier.
                               {"gapless-audio", "no"},
                               {"pulse-buffer", "native"},
                               {"audio-client-name", "Horalet"},
                               {"network-timeout", "20"},
                               // The picture is drawn on the GUI thread, which must not wait.
                               {"video-timing-offset", "0"},
                               // No hardware decoding, so no probing for its drivers.
                               {"hwdec", "no"},
                               {"gpu-hwdec-interop", "no"}})
        mpv_set_option_string(m_mpv, name, value);

    if (mpv_initialize(m_mpv) < 0) {
        mpv_terminate_destroy(m_mpv);
        m_mpv = nullptr;
        return;
    }
    mpv_observe_property(m_mpv, kPause, "pause", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, kPausedForCache, "paused-for-cache", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, kTimePos, "time-pos", MPV_FORMAT_DOUBLE);
    mpv_observe_property(m_mpv, kDuration, "duration", MPV_FORMAT_DOUBLE);

    // Called on libmpv's threads: only schedule the drain, once per burst of events.
    mpv_set_wakeup_callback(
        m_mpv,
        [](void *self) {
            auto *player = static_cast<MpvPlayer *>(self);
            if (player->m_drainQueued.exchange(true))
                return;
            QMetaObject::invokeMethod(
                player, [player] { player->drainEvents(); }, Qt::QueuedConnection);
        },
        this);
}

MpvPlayer::~MpvPlayer() {
    emit shuttingDown();
    if (m_midi)
        m_midi->cancel = true;
    for (QThread *worker : findChildren<QThread *>())
        worker->wait();
    if (m_mpv) {
        mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
        mpv_terminate_destroy(m_mpv);
    }
}

void MpvPlayer::setAudioDevice(const QString &device) {
    m_audioDevice = device;
}

void MpvPlayer::moveAudio(const QString &device) {
    m_audioDevice = device;
    if (!m_mpv || !m_active || m_itemDevice == device)
        return;
    // libmpv reopens its output on the new device and goes on where it was.
    m_itemDevice = device;
    const QByteArray name = device.isEmpty() ? QByteArrayLiteral("auto") : device.toUtf8();
    mpv_set_property_string(m_mpv, "audio-device", name.constData());
    m_appliedDevice = device;
}

void MpvPlayer::open(const QString &location) {
    close();
    m_location = location;
    m_itemDevice = m_audioDevice;
    if (!m_mpv || location.isEmpty())
        return;
    // A file that is not there has ended before it began; libmpv would take a moment to say so.
    if (!location.contains(QLatin1String("://")) && !QFileInfo::exists(location)) {
        emit itemFailed(location, QStringLiteral("文件不存在"));
        return;
    }
    if (MidiRenderer::isMidiLocation(location))
        renderMidi(location);
    else
        load(location);
}

void MpvPlayer::renderMidi(const QString &location) {
    auto job = std::make_shared<MidiRendering>();
    if (!job->wav.open()) {
        emit itemFailed(location, QStringLiteral("无法建立 MIDI 转换的临时文件"));
        return; // cannot be played: Idle at once, as any failed item
    }
    const QString wavPath = job->wav.fileName();
    const QString font =
        m_options.soundFont.isEmpty() ? MidiRenderer::findSoundFont() : m_options.soundFont;
    auto ok = std::make_shared<std::atomic_bool>(false);
    // Rendering a long piece takes seconds: not on the thread that keeps the schedule.
    QThread *worker = QThread::create([job, ok, location, wavPath, font] {
        *ok = MidiRenderer::renderToWav(location, wavPath, font, nullptr, &job->cancel);
    });
    worker->setParent(this);
    connect(worker, &QThread::finished, this, [this, worker, job, ok] {
        worker->deleteLater();
        midiRendered(job, *ok);
    });
    m_midi = job;
    m_rendering = true;
    m_active = true;
    m_started = false;
    m_paused = false;
    m_buffering = false;
    updateState(); // Opening while it renders
    worker->start();
}

void MpvPlayer::midiRendered(const std::shared_ptr<MidiRendering> &job, bool ok) {
    if (job != m_midi || !m_rendering)
        return; // closed or replaced meanwhile
    m_rendering = false;
    if (ok) {
        load(job->wav.fileName());
    } else {
        emit itemFailed(m_location, QStringLiteral("MIDI 无法转换为声音（缺少音色库或文件损坏）"));
        endItem();
    }
}

QString MpvPlayer::failureText(int mpvError) {
    QString what;
    switch (mpvError) {
    case MPV_ERROR_LOADING_FAILED:
        what = QStringLiteral("无法打开或读取（文件不存在、无法访问或网络地址连不上）");
        break;
    case MPV_ERROR_UNKNOWN_FORMAT:
        what = QStringLiteral("无法识别的文件格式");
        break;
    case MPV_ERROR_NOTHING_TO_PLAY:
        what = QStringLiteral("其中没有可以播放的声音或图像");
        break;
    case MPV_ERROR_AO_INIT_FAILED:
        what = QStringLiteral("无法打开声音输出");
        break;
    case MPV_ERROR_VO_INIT_FAILED:
        what = QStringLiteral("无法打开视频输出");
        break;
    case MPV_ERROR_UNSUPPORTED:
        what = QStringLiteral("不支持的媒体");
        break;
    case MPV_ERROR_NOMEM:
        what = QStringLiteral("内存不足");
        break;
    default:
        what = QStringLiteral("播放失败");
        break;
    }
    const QString original = QString::fromUtf8(mpv_error_string(mpvError));
    qInfo().noquote() << QStringLiteral("libmpv: %1 (%2)").arg(original).arg(mpvError);
    return what + QStringLiteral("（") + original + QStringLiteral("）");
}

void MpvPlayer::load(const QString &target) {
    // Told before the file is loaded, the output opens on the device from the first sample;
    // between items no output is open (gapless-audio=no), so nothing else moves.
    if (m_itemDevice != m_appliedDevice) {
        const QByteArray device =
            m_itemDevice.isEmpty() ? QByteArrayLiteral("auto") : m_itemDevice.toUtf8();
        mpv_set_property_string(m_mpv, "audio-device", device.constData());
        m_appliedDevice = m_itemDevice;
    }
    int flag = 0;
    mpv_set_property(m_mpv, "pause", MPV_FORMAT_FLAG, &flag);
    // Only the master volume the task sets decides the level: our own gain stays at 100.
    double full = 100.0;
    mpv_set_property(m_mpv, "volume", MPV_FORMAT_DOUBLE, &full);
    const QByteArray utf8 = target.toUtf8();
    const char *args[] = {"loadfile", utf8.constData(), "replace", nullptr};
    mpv_node result{};
    if (const int code = mpv_command_ret(m_mpv, args, &result); code < 0) {
        emit itemFailed(m_location, failureText(code));
        endItem();
        return;
    }
    // The entry id tells this item's events from those of the item it replaced.
    int64_t entry = 0;
    if (result.format == MPV_FORMAT_NODE_MAP) {
        for (int i = 0; i < result.u.list->num; ++i) {
            if (qstrcmp(result.u.list->keys[i], "playlist_entry_id") == 0 &&
                result.u.list->values[i].format == MPV_FORMAT_INT64)
                entry = result.u.list->values[i].u.int64;
        }
    }
    mpv_free_node_contents(&result);
    if (entry <= 0) {
        // Without its id the item's end could not be told apart: never report it as playing.
        const char *stop[] = {"stop", nullptr};
        mpv_command(m_mpv, stop);
        endItem();
        return;
    }

    m_active = true;
    m_started = false;
    m_paused = false;
    m_buffering = false;
    m_firstEntry = m_lastEntry = entry;
    m_currentEntry = 0;
    m_stallTimer.start();
    updateState();
}

void MpvPlayer::close() {
    m_outputLost = false;
    if (m_mpv && m_active) {
        const char *args[] = {"stop", nullptr};
        mpv_command(m_mpv, args);
    }
    endItem();
}

double MpvPlayer::position() const {
    return m_state == State::Idle ? 0.0 : m_position;
}

void MpvPlayer::setPaused(bool paused) {
    if (!m_mpv || !m_active)
        return;
    int flag = paused ? 1 : 0;
    mpv_set_property(m_mpv, "pause", MPV_FORMAT_FLAG, &flag);
}

void MpvPlayer::seek(double seconds) {
    if (!m_mpv || !m_started)
        return;
    const QByteArray target = QByteArray::number(seconds, 'f', 3);
    const char *args[] = {"seek", target.constData(), "absolute", nullptr};
    mpv_command_async(m_mpv, 0, args);
}

void MpvPlayer::drainEvents() {
    m_drainQueued = false;
    if (!m_mpv)
        return;
    for (;;) {
        mpv_event *event = mpv_wait_event(m_mpv, 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*event);
    }
}

void MpvPlayer::handleEvent(const mpv_event &event) {
    const auto ours = [this](int64_t entry) {
        return m_active && entry >= m_firstEntry && entry <= m_lastEntry;
    };
    switch (event.event_id) {
    case MPV_EVENT_START_FILE: {
        const auto *start = static_cast<const mpv_event_start_file *>(event.data);
        if (ours(start->playlist_entry_id)) {
            m_currentEntry = start->playlist_entry_id;
            m_started = false;
            setPosition(0.0);
            updateState();
        }
        break;
    }
    case MPV_EVENT_AUDIO_RECONFIG:
        if (m_active)
            setStreamVolumeFull();
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        if (m_active && m_currentEntry != 0) {
            setStreamVolumeFull();
            m_started = true;
            updateState();
        }
        break;
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<const mpv_event_end_file *>(event.data);
        if (!ours(end->playlist_entry_id))
            break;
        if (end->reason == MPV_END_FILE_REASON_REDIRECT && end->playlist_insert_num_entries > 0) {
            // A playlist location (.m3u, .pls) unfolded into its entries: they are this item.
            m_lastEntry = end->playlist_insert_id + end->playlist_insert_num_entries - 1;
            m_firstEntry = end->playlist_insert_id;
            m_started = false;
            updateState();
        } else if ((end->reason == MPV_END_FILE_REASON_EOF ||
                    end->reason == MPV_END_FILE_REASON_ERROR) &&
                   end->playlist_entry_id < m_lastEntry) {
            // libmpv goes on with the next entry of the unfolded playlist.
            m_started = false;
            setPosition(0.0);
            updateState();
        } else {
            if (end->reason == MPV_END_FILE_REASON_ERROR)
                emit itemFailed(m_location, failureText(end->error));
            endItem();
            // libmpv ends an item whose sound has nowhere to go (the server gone mid-play,
            // or none yet); the item itself may be fine.
            m_outputLost =
                end->reason == MPV_END_FILE_REASON_ERROR && end->error == MPV_ERROR_AO_INIT_FAILED;
        }
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto *prop = static_cast<const mpv_event_property *>(event.data);
        const bool has = prop->data != nullptr;
        switch (event.reply_userdata) {
        case kPause:
            m_paused = has && prop->format == MPV_FORMAT_FLAG && *static_cast<int *>(prop->data);
            updateState();
            break;
        case kPausedForCache:
            m_buffering = has && prop->format == MPV_FORMAT_FLAG && *static_cast<int *>(prop->data);
            updateState();
            break;
        case kTimePos:
            if (m_started && has && prop->format == MPV_FORMAT_DOUBLE)
                setPosition(*static_cast<double *>(prop->data));
            break;
        case kDuration: {
            const double d =
                has && prop->format == MPV_FORMAT_DOUBLE ? *static_cast<double *>(prop->data) : 0;
            if (d != m_duration) {
                m_duration = d;
                emit durationChanged(d);
            }
            break;
        }
        }
        break;
    }
    case MPV_EVENT_VIDEO_RECONFIG:
        emit pictureChanged();
        break;
    default:
        break;
    }
}

void MpvPlayer::setStreamVolumeFull() {
    // The sound server may restore a lowered volume it saved for our stream
    // (module-stream-restore); without an audio output yet this fails and the next event retries.
    double full = 100.0;
    mpv_set_property_async(m_mpv, 0, "ao-volume", MPV_FORMAT_DOUBLE, &full);
}

void MpvPlayer::endItem() {
    m_active = false;
    m_started = false;
    m_buffering = false;
    m_firstEntry = m_lastEntry = m_currentEntry = 0;
    m_stallTimer.stop();
    m_rendering = false;
    if (m_midi) {
        m_midi->cancel = true;
        m_midi.reset();
    }
    setPosition(0.0);
    updateState();
}

void MpvPlayer::giveUp() {
    if (m_state == State::Opening) {
        emit itemFailed(m_location, QStringLiteral("打开超过 %1 秒仍未开始播放，已放弃")
                                        .arg(m_options.openingLimitMs / 1000));
        close();
    }
}

void MpvPlayer::updateState() {
    State next = State::Idle;
    if (m_active) {
        if (!m_started)
            next = State::Opening;
        else if (m_paused)
            next = State::Paused;
        else if (m_buffering)
            next = State::Opening;
        else
            next = State::Playing;
    }
    if (next == m_state)
        return;
    // The opening limit runs while an item waits for data, and only then.
    if (next == State::Opening && !m_rendering && !m_stallTimer.isActive())
        m_stallTimer.start();
    else if (next != State::Opening)
        m_stallTimer.stop();
    m_state = next;
    if (next == State::Idle)
        setPosition(0.0);
    emit stateChanged(next);
}

void MpvPlayer::setPosition(double seconds) {
    if (seconds == m_position)
        return;
    m_position = seconds;
    emit positionChanged(seconds);
}
