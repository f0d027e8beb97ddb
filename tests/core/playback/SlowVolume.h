#pragma once

#include "playback/MasterVolume.h"

#include <QList>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// A master volume whose every call hangs like a sound server that does not answer: until
// the test opens the gate, or for a fixed time. It records what reached it and from where.
class SlowVolume final : public MasterVolume {
public:
    explicit SlowVolume(std::chrono::milliseconds delay = std::chrono::milliseconds::max())
        : m_delay(delay) {}

    Reading GetMasterVolume() override {
        hang();
        const std::lock_guard lock(m_mutex);
        ++m_reads;
        return {m_level, QString()};
    }
    void SetMasterVolume(int value) override {
        hang();
        const std::lock_guard lock(m_mutex);
        m_writes << value;
        m_level = value;
    }

    void open() {
        {
            const std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    // Calls that have begun (and may still hang).
    int calls() {
        const std::lock_guard lock(m_mutex);
        return m_calls;
    }
    QList<int> writes() {
        const std::lock_guard lock(m_mutex);
        return m_writes;
    }
    int reads() {
        const std::lock_guard lock(m_mutex);
        return m_reads;
    }
    bool calledFrom(std::thread::id thread) {
        const std::lock_guard lock(m_mutex);
        return m_threads.contains(thread);
    }
    void setLevel(int level) {
        const std::lock_guard lock(m_mutex);
        m_level = level;
    }

private:
    void hang() {
        std::unique_lock lock(m_mutex);
        ++m_calls;
        m_threads << std::this_thread::get_id();
        if (m_delay == std::chrono::milliseconds::max())
            m_changed.wait(lock, [this] { return m_open; });
        else
            m_changed.wait_for(lock, m_delay, [this] { return m_open; });
    }

    const std::chrono::milliseconds m_delay;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
    int m_calls = 0;
    int m_reads = 0;
    int m_level = 20000;
    QList<int> m_writes;
    QList<std::thread::id> m_threads;
};
