#include "PulseLevelWatch.h"

#include "PulseConnection.h"

#include <QPointer>

#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/volume.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <string>

// Everything the server's thread touches. Callbacks run on that thread and hand their news
// to the watch's thread as queued calls that carry the session's serial: news of a session
// stopped meanwhile is dropped there.
struct PulseLevelWatch::Session {
    QPointer<PulseLevelWatch> guard;
    quint64 serial = 0;
    std::string wanted; // empty: the default output
    std::string sink;   // resolved name
    uint32_t sinkIndex = PA_INVALID_INDEX;
    pa_threaded_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    pa_stream *stream = nullptr;
    std::atomic<bool> failedOnce{false};

    void post(std::function<void(PulseLevelWatch &)> what) {
        QPointer<PulseLevelWatch> target = guard;
        const quint64 mine = serial;
        if (!target)
            return;
        QMetaObject::invokeMethod(
            target.data(),
            [target, mine, what = std::move(what)] {
                if (target && target->m_serial == mine)
                    what(*target);
            },
            Qt::QueuedConnection);
    }
    void fail(const QString &reason) {
        if (failedOnce.exchange(true))
            return;
        post([reason](PulseLevelWatch &w) { emit w.failed(reason); });
    }
    QString sinkText() const { return QString::fromStdString(sink.empty() ? wanted : sink); }
};

namespace {

using Session = PulseLevelWatch::Session;

void onRead(pa_stream *stream, size_t, void *data) {
    auto *s = static_cast<Session *>(data);
    double peak = -1;
    const void *bytes = nullptr;
    size_t length = 0;
    while (pa_stream_readable_size(stream) > 0) {
        if (pa_stream_peek(stream, &bytes, &length) < 0 || length == 0)
            break;
        // A hole (no data for a while) is no level; a slice is a peak per sample.
        if (bytes) {
            const auto *values = static_cast<const float *>(bytes);
            for (size_t i = 0; i < length / sizeof(float); ++i)
                peak = std::max(peak, double(std::fabs(values[i])));
        }
        pa_stream_drop(stream);
    }
    if (peak >= 0)
        s->post([peak](PulseLevelWatch &w) { emit w.level(peak); });
}

void onStreamState(pa_stream *stream, void *data) {
    auto *s = static_cast<Session *>(data);
    if (pa_stream_get_state(stream) == PA_STREAM_FAILED)
        s->fail(QStringLiteral("无法监听声音输出“%1”").arg(s->sinkText()));
}

void tellOutput(Session *s, const pa_sink_info *info) {
    OutputState state;
    state.known = true;
    state.sink = QString::fromUtf8(info->name);
    state.muted = info->mute != 0;
    state.volume = double(pa_cvolume_max(&info->volume)) / PA_VOLUME_NORM;
    s->post([state](PulseLevelWatch &w) { emit w.outputChanged(state); });
}

void listen(Session *s, const pa_sink_info *info) {
    s->sink = info->name;
    s->sinkIndex = info->index;
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, PulseLevelWatch::PeaksPerSecond, 1};
    s->stream = pa_stream_new(s->context, "Horalet level", &format, nullptr);
    if (!s->stream) {
        s->fail(QStringLiteral("无法监听声音输出“%1”").arg(s->sinkText()));
        return;
    }
    pa_stream_set_read_callback(s->stream, onRead, s);
    pa_stream_set_state_callback(s->stream, onStreamState, s);
    // One peak per fragment: the server sends a few bytes a few times a second.
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.fragsize = sizeof(float);
    const auto flags = pa_stream_flags_t(PA_STREAM_PEAK_DETECT | PA_STREAM_ADJUST_LATENCY |
                                         PA_STREAM_DONT_MOVE | PA_STREAM_DONT_INHIBIT_AUTO_SUSPEND);
    if (pa_stream_connect_record(s->stream, info->monitor_source_name, &attr, flags) < 0)
        s->fail(QStringLiteral("无法监听声音输出“%1”").arg(s->sinkText()));
}

void onSinkInfo(pa_context *, const pa_sink_info *info, int eol, void *data) {
    auto *s = static_cast<Session *>(data);
    if (eol < 0) {
        s->fail(QStringLiteral("找不到声音输出“%1”").arg(s->sinkText()));
        return;
    }
    if (!info)
        return;
    tellOutput(s, info);
    if (!s->stream)
        listen(s, info);
}

void onServerInfo(pa_context *context, const pa_server_info *info, void *data) {
    auto *s = static_cast<Session *>(data);
    if (!info || !info->default_sink_name) {
        s->fail(QStringLiteral("声音服务器没有默认输出"));
        return;
    }
    s->sink = info->default_sink_name;
    if (pa_operation *op =
            pa_context_get_sink_info_by_name(context, s->sink.c_str(), onSinkInfo, s))
        pa_operation_unref(op);
}

void onEvent(pa_context *context, pa_subscription_event_type_t type, uint32_t index, void *data) {
    auto *s = static_cast<Session *>(data);
    if (index != s->sinkIndex)
        return;
    const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (kind == PA_SUBSCRIPTION_EVENT_REMOVE) {
        s->fail(QStringLiteral("声音输出“%1”已不存在").arg(s->sinkText()));
        return;
    }
    if (pa_operation *op = pa_context_get_sink_info_by_index(context, index, onSinkInfo, s))
        pa_operation_unref(op);
}

void onContextState(pa_context *context, void *data) {
    auto *s = static_cast<Session *>(data);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY: {
        pa_context_set_subscribe_callback(context, onEvent, s);
        if (pa_operation *op =
                pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SINK, nullptr, nullptr))
            pa_operation_unref(op);
        pa_operation *op =
            s->wanted.empty()
                ? pa_context_get_server_info(context, onServerInfo, s)
                : pa_context_get_sink_info_by_name(context, s->wanted.c_str(), onSinkInfo, s);
        if (op)
            pa_operation_unref(op);
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        s->fail(QStringLiteral("无法连接声音服务器"));
        break;
    default:
        break;
    }
}

} // namespace

PulseLevelWatch::PulseLevelWatch(QObject *parent) : LevelWatch(parent) {}

PulseLevelWatch::~PulseLevelWatch() {
    stop();
}

void PulseLevelWatch::start(const QString &sink) {
    stop();
    auto s = std::make_unique<Session>();
    s->guard = this;
    s->serial = ++m_serial;
    s->wanted = sink.toStdString();
    s->loop = pa_threaded_mainloop_new();
    if (s->loop)
        s->context = pa_context_new(pa_threaded_mainloop_get_api(s->loop), "Horalet");
    Session *raw = s.get();
    m_session = std::move(s);
    if (!raw->context) {
        raw->fail(QStringLiteral("无法连接声音服务器"));
        return;
    }
    pa_context_set_state_callback(raw->context, onContextState, raw);
    // Never starts a server of its own.
    if (pa_context_connect(raw->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(raw->loop) < 0)
        raw->fail(QStringLiteral("无法连接声音服务器"));
}

void PulseLevelWatch::stop() {
    if (!m_session)
        return;
    ++m_serial; // whatever is still on its way is dropped
    Session *s = m_session.get();
    if (s->loop)
        pa_threaded_mainloop_stop(s->loop);
    if (s->stream) {
        pa_stream_set_read_callback(s->stream, nullptr, nullptr);
        pa_stream_set_state_callback(s->stream, nullptr, nullptr);
        pa_stream_disconnect(s->stream);
        pa_stream_unref(s->stream);
    }
    if (s->context) {
        pa_context_set_state_callback(s->context, nullptr, nullptr);
        pa_context_set_subscribe_callback(s->context, nullptr, nullptr);
        pa_context_disconnect(s->context);
        pa_context_unref(s->context);
    }
    if (s->loop)
        pa_threaded_mainloop_free(s->loop);
    m_session.reset();
}

OutputState PulseLevelWatch::outputNow(const QString &sink, int timeoutMs) {
    PulseConnection connection(timeoutMs);
    if (!connection.open())
        return {};
    struct Read {
        bool done = false;
        std::string name;
        OutputState state;
    } read;
    read.name = sink.toStdString();
    if (read.name.empty()) {
        const bool answered =
            connection.wait(pa_context_get_server_info(
                                connection.context(),
                                [](pa_context *, const pa_server_info *info, void *data) {
                                    auto *r = static_cast<Read *>(data);
                                    if (info && info->default_sink_name)
                                        r->name = info->default_sink_name;
                                    r->done = true;
                                },
                                &read),
                            [&] { return read.done; });
        if (!answered || read.name.empty())
            return {};
        read.done = false;
    }
    connection.wait(pa_context_get_sink_info_by_name(
                        connection.context(), read.name.c_str(),
                        [](pa_context *, const pa_sink_info *info, int eol, void *data) {
                            auto *r = static_cast<Read *>(data);
                            if (info) {
                                r->state.known = true;
                                r->state.sink = QString::fromUtf8(info->name);
                                r->state.muted = info->mute != 0;
                                r->state.volume =
                                    double(pa_cvolume_max(&info->volume)) / PA_VOLUME_NORM;
                            }
                            if (eol != 0)
                                r->done = true;
                        },
                        &read),
                    [&] { return read.done; });
    return read.state;
}
