#include "PulseMasterVolume.h"

#include "PulseConnection.h"

#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/volume.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <utility>

namespace {

constexpr int kScaleMax = 65535;

const QString kOpenFailed = QStringLiteral("mixerOpen() failed");
const QString kLineFailed = QStringLiteral("mixerGetLineInfo() failed");
const QString kControlFailed = QStringLiteral("mixerGetLineControls() failed");
const QString kReadFailed = QStringLiteral("mixerGetControlDetails() failed");

struct ServerQuery {
    bool done = false;
    bool ok = false;
    std::string defaultSink;
};

void onServerInfo(pa_context *, const pa_server_info *info, void *data) {
    auto *query = static_cast<ServerQuery *>(data);
    if (info && info->default_sink_name) {
        query->defaultSink = info->default_sink_name;
        query->ok = true;
    }
    query->done = true;
}

struct SinkQuery {
    bool done = false;
    bool found = false;
    int error = 0;
    pa_cvolume volume{};
};

void onSinkInfo(pa_context *context, const pa_sink_info *info, int eol, void *data) {
    auto *query = static_cast<SinkQuery *>(data);
    if (eol < 0) {
        query->error = pa_context_errno(context);
        query->done = true;
        return;
    }
    if (info) {
        query->found = true;
        query->volume = info->volume;
    }
    if (eol > 0)
        query->done = true;
}

void onSuccess(pa_context *, int, void *data) {
    *static_cast<bool *>(data) = true;
}

// The output and its volume, or the text of the step that failed.
struct Output {
    QString failure;
    std::string sink;
    pa_cvolume volume{};
};

// The named sink, or the default output when no name is given.
Output findOutput(PulseConnection &connection, const QString &named) {
    Output out;
    if (!connection.open()) {
        out.failure = kOpenFailed;
        return out;
    }
    std::string name = named.toStdString();
    if (name.empty()) {
        ServerQuery server;
        if (!connection.wait(
                pa_context_get_server_info(connection.context(), onServerInfo, &server),
                [&] { return server.done; }) ||
            !server.ok || server.defaultSink.empty()) {
            out.failure = kLineFailed;
            return out;
        }
        name = server.defaultSink;
    }
    SinkQuery sink;
    const bool answered = connection.wait(
        pa_context_get_sink_info_by_name(connection.context(), name.c_str(), onSinkInfo, &sink),
        [&] { return sink.done; });
    if (answered && !sink.found && (sink.error == 0 || sink.error == PA_ERR_NOENTITY)) {
        out.failure = kLineFailed;
        return out;
    }
    if (!answered || !sink.found) {
        out.failure = kReadFailed;
        return out;
    }
    if (sink.volume.channels == 0 || !pa_cvolume_valid(&sink.volume)) {
        out.failure = kControlFailed;
        return out;
    }
    out.sink = name;
    out.volume = sink.volume;
    return out;
}

} // namespace

PulseMasterVolume::PulseMasterVolume(int timeoutMs, QString sink)
    : m_timeoutMs(timeoutMs), m_sink(std::move(sink)) {}

uint32_t PulseMasterVolume::toPulse(int value) {
    const uint64_t v = static_cast<uint64_t>(std::clamp(value, 0, kScaleMax));
    return static_cast<uint32_t>((v * PA_VOLUME_NORM + kScaleMax / 2) / kScaleMax);
}

int PulseMasterVolume::fromPulse(uint32_t volume) {
    if (volume >= PA_VOLUME_NORM)
        return kScaleMax;
    return static_cast<int>((static_cast<uint64_t>(volume) * kScaleMax + PA_VOLUME_NORM / 2) /
                            PA_VOLUME_NORM);
}

MasterVolume::Reading PulseMasterVolume::GetMasterVolume() {
    PulseConnection connection(m_timeoutMs);
    const Output output = findOutput(connection, m_sink);
    if (!output.failure.isEmpty())
        return {-1, output.failure};
    // Channels set apart (a balance) read as the loudest, the level the output plays at.
    return {fromPulse(pa_cvolume_max(&output.volume)), QString()};
}

void PulseMasterVolume::SetMasterVolume(int value) {
    PulseConnection connection(m_timeoutMs);
    const Output output = findOutput(connection, m_sink);
    if (!output.failure.isEmpty())
        return;
    pa_cvolume volume = output.volume;
    pa_cvolume_set(&volume, volume.channels, toPulse(value));
    // Waiting for the answer means the level is in place when the call returns.
    bool done = false;
    connection.wait(pa_context_set_sink_volume_by_name(connection.context(), output.sink.c_str(),
                                                       &volume, onSuccess, &done),
                    [&] { return done; });
}

// The subscription's state, shared with the PulseAudio thread; its callbacks run there and
// hand what they learn to the watch's own thread.
struct PulseVolumeWatch::Loop {
    pa_threaded_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    PulseVolumeWatch *owner = nullptr;
    std::string defaultSink; // on the PulseAudio thread only
    std::atomic<bool> failed{false};

    ~Loop() {
        if (loop)
            pa_threaded_mainloop_stop(loop);
        if (context) {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        if (loop)
            pa_threaded_mainloop_free(loop);
    }

    void tell(const std::string &sink) {
        const QString name = QString::fromStdString(sink);
        const bool isDefault = sink == defaultSink;
        QMetaObject::invokeMethod(
            owner, [owner = owner, name, isDefault] { emit owner->sinkChanged(name, isDefault); },
            Qt::QueuedConnection);
    }

    static void onServer(pa_context *, const pa_server_info *info, void *data) {
        auto *self = static_cast<Loop *>(data);
        if (!info || !info->default_sink_name)
            return;
        const std::string name = info->default_sink_name;
        if (name == self->defaultSink)
            return;
        self->defaultSink = name;
        self->tell(name);
    }
    static void onSink(pa_context *, const pa_sink_info *info, int eol, void *data) {
        if (eol == 0 && info && info->name)
            static_cast<Loop *>(data)->tell(info->name);
    }
    static void onEvent(pa_context *context, pa_subscription_event_type_t type, uint32_t index,
                        void *data) {
        const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
        if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
            pa_operation_unref(pa_context_get_server_info(context, onServer, data));
        } else if (facility == PA_SUBSCRIPTION_EVENT_SINK && kind != PA_SUBSCRIPTION_EVENT_REMOVE) {
            pa_operation_unref(pa_context_get_sink_info_by_index(context, index, onSink, data));
        }
    }
    static void onState(pa_context *context, void *data) {
        auto *self = static_cast<Loop *>(data);
        switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY: {
            pa_context_set_subscribe_callback(context, onEvent, data);
            const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK |
                                                                  PA_SUBSCRIPTION_MASK_SERVER);
            pa_operation_unref(pa_context_subscribe(context, mask, nullptr, nullptr));
            pa_operation_unref(pa_context_get_server_info(context, onServer, data));
            break;
        }
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            self->failed = true;
            break;
        default:
            break;
        }
    }
};

PulseVolumeWatch::PulseVolumeWatch(QObject *parent) : QObject(parent) {
    m_retry.setInterval(2000);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (!m_loop || m_loop->failed)
            connectNow();
    });
    m_retry.start();
    connectNow();
}

PulseVolumeWatch::~PulseVolumeWatch() = default;

void PulseVolumeWatch::connectNow() {
    m_loop.reset();
    auto loop = std::make_unique<Loop>();
    loop->owner = this;
    loop->loop = pa_threaded_mainloop_new();
    if (!loop->loop)
        return;
    loop->context = pa_context_new(pa_threaded_mainloop_get_api(loop->loop), "Horalet");
    if (!loop->context)
        return;
    pa_context_set_state_callback(loop->context, Loop::onState, loop.get());
    // Never starts a server of its own; one that is not there is looked for again later.
    if (pa_context_connect(loop->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(loop->loop) < 0) {
        loop->failed = true;
    }
    m_loop = std::move(loop);
}
