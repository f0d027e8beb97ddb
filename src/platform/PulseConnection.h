#pragma once

#include <pulse/context.h>
#include <pulse/mainloop.h>
#include <pulse/operation.h>

#include <chrono>
#include <thread>

// One short-lived client connection to the PulseAudio server on a private main loop, driven on
// the caller's thread. Every wait ends at the deadline set when it was made, so a server that
// hangs costs at most the timeout.
class PulseConnection {
public:
    explicit PulseConnection(int timeoutMs)
        : m_deadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {
        m_loop = pa_mainloop_new();
        if (m_loop)
            m_context = pa_context_new(pa_mainloop_get_api(m_loop), "Horalet");
    }
    ~PulseConnection() {
        if (m_context) {
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
        }
        if (m_loop)
            pa_mainloop_free(m_loop);
    }
    PulseConnection(const PulseConnection &) = delete;
    PulseConnection &operator=(const PulseConnection &) = delete;

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

    // Gives the server a moment between two questions; false once time is up.
    bool pause(int ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return std::chrono::steady_clock::now() < m_deadline;
    }

private:
    pa_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    std::chrono::steady_clock::time_point m_deadline;
};
