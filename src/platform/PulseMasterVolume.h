#pragma once

#include "playback/MasterVolume.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>

// The master volume as the default output of the PulseAudio server (also PipeWire through
// pipewire-pulse), or as one sink named by the caller (the campus sink). Every call connects, acts
// and disconnects, as a mixer that is opened and closed per call; each call gives up after the
// timeout, so a hung server cannot freeze the interface.
class PulseMasterVolume final : public MasterVolume {
public:
    // An empty sink name follows the server's default output, wherever it is set.
    explicit PulseMasterVolume(int timeoutMs = 2000, QString sink = QString());

    Reading GetMasterVolume() override;
    void SetMasterVolume(int value) override;

    // 0..65535 <-> 0..PA_VOLUME_NORM, linear; every value maps back to itself. Values
    // outside the scale are clamped.
    static uint32_t toPulse(int value);
    static int fromPulse(uint32_t volume);

private:
    int m_timeoutMs;
    QString m_sink;
};

// Tells when a sink's volume or mute changes, whoever changed it (the desktop's mixer,
// pactl, this program), and when the default output is another sink: PulseAudio's
// subscription, on a thread of its own. A server that goes away or is not there yet is
// watched again once it is back.
class PulseVolumeWatch final : public QObject {
    Q_OBJECT
public:
    explicit PulseVolumeWatch(QObject *parent = nullptr);
    ~PulseVolumeWatch() override;

signals:
    // `sink` changed its level; `isDefault`: it is the server's default output. A new default
    // output is told as a change of that sink.
    void sinkChanged(const QString &sink, bool isDefault);

private:
    struct Loop;
    void connectNow();
    std::unique_ptr<Loop> m_loop;
    QTimer m_retry;
};
