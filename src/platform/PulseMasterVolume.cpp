#include "PulseMasterVolume.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/volume.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace {

constexpr int kScaleMax = 65535;

const QString kOpenFailed = QStringLiteral("mixerOpen() failed");
const QString kLineFailed = QStringLiteral("mixerGetLineInfo() failed");
const QString kControlFailed = QStringLiteral("mixerGetLineControls() failed");
const QString kReadFailed = QStringLiteral("mixerGetControlDetails() failed");

// One short-lived client connection on a private main loop, driven on the caller's thread.
class Connection {
public:
    explicit Connection(int timeoutMs)
        : m_deadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {
        m_loop = pa_mainloop_new();
        if (m_loop)
            m_context = pa_context_new(pa_mainloop_get_api(m_loop), "Horalet");
    }
    ~Connection() {
        if (m_context) {
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
        }
        if (m_loop)
            pa_mainloop_free(m_loop);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    pa_context *context() const { return m_context; }

    // Never starts a server of its own: no server is a failure to report.
    bool open() {
        if (!m_context ||
            pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return false;
        return runUntil([this] { return pa_context_get_state(m_context) == PA_CONTEXT_READY; });
    }

    // Runs the loop until done() holds; false when the server goes away or time runs out.
    template <typename Done> bool runUntil(Done done) {
        while (!done()) {
            const pa_context_state_t state = pa_context_get_state(m_context);
            if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED)
                return false;
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                m_deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            if (pa_mainloop_prepare(m_loop, static_cast<int>(left.count())) < 0 ||
                pa_mainloop_poll(m_loop) < 0 || pa_mainloop_dispatch(m_loop) < 0)
                return false;
        }
        return true;
    }

    // Waits for an operation; false when it could not be started or did not finish.
    template <typename Done> bool wait(pa_operation *operation, Done done) {
        if (!operation)
            return false;
        const bool finished = runUntil(done);
        if (!finished)
            pa_operation_cancel(operation);
        pa_operation_unref(operation);
        return finished;
    }

private:
    pa_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    std::chrono::steady_clock::time_point m_deadline;
};

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

// The default output and its volume, or the text of the step that failed.
struct Output {
    QString failure;
    std::string sink;
    pa_cvolume volume{};
};

Output findOutput(Connection &connection) {
    Output out;
    if (!connection.open()) {
        out.failure = kOpenFailed;
        return out;
    }
    ServerQuery server;
    if (!connection.wait(pa_context_get_server_info(connection.context(), onServerInfo, &server),
                         [&] { return server.done; }) ||
        !server.ok || server.defaultSink.empty()) {
        out.failure = kLineFailed;
        return out;
    }
    SinkQuery sink;
    const bool answered =
        connection.wait(pa_context_get_sink_info_by_name(
                            connection.context(), server.defaultSink.c_str(), onSinkInfo, &sink),
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
    out.sink = server.defaultSink;
    out.volume = sink.volume;
    return out;
}

} // namespace

PulseMasterVolume::PulseMasterVolume(int timeoutMs) : m_timeoutMs(timeoutMs) {}

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
    Connection connection(m_timeoutMs);
    const Output output = findOutput(connection);
    if (!output.failure.isEmpty())
        return {-1, output.failure};
    // Channels set apart (a balance) read as the loudest, the level the output plays at.
    return {fromPulse(pa_cvolume_max(&output.volume)), QString()};
}

void PulseMasterVolume::SetMasterVolume(int value) {
    Connection connection(m_timeoutMs);
    const Output output = findOutput(connection);
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
