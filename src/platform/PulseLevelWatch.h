#pragma once

#include "playback/LevelWatch.h"

#include <memory>

// The level of a PulseAudio sink (also PipeWire through pipewire-pulse): a record stream on
// the sink's monitor with the server's peak detection, at a low rate, so the server sends a
// few peaks a second and no sound. Runs on a main loop thread of its own from start() to
// stop(); start() and stop() never wait for the server.
class PulseLevelWatch final : public LevelWatch {
    Q_OBJECT
public:
    static constexpr int PeaksPerSecond = 20;

    explicit PulseLevelWatch(QObject *parent = nullptr);
    ~PulseLevelWatch() override;

    void start(const QString &sink) override;
    void stop() override;

    // The sink's state now (empty: the default output), read at once on the caller's thread;
    // not known when the server does not answer within the time.
    static OutputState outputNow(const QString &sink, int timeoutMs = 2000);

    struct Session;

private:
    std::unique_ptr<Session> m_session;
    quint64 m_serial = 0;
};
