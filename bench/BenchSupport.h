#pragma once

#include "playback/MasterVolume.h"
#include "playback/MediaPlayer.h"
#include "scheduler/FakeClock.h"

// Stand-ins for the outside world, so a benchmark measures the scheduler alone.
class SilentPlayer final : public MediaPlayer {
public:
    void open(const QString &) override { m_state = State::Playing; }
    void close() override { m_state = State::Idle; }
    double position() const override { return 0.0; }
    State state() const override { return m_state; }

private:
    State m_state = State::Idle;
};

class SilentVolume final : public MasterVolume {
public:
    Reading GetMasterVolume() override { return {0, QString()}; }
    void SetMasterVolume(int) override {}
};
