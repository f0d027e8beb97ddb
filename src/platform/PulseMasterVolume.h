#pragma once

#include "playback/MasterVolume.h"

#include <QString>

#include <cstdint>

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
