#pragma once

#include "playback/MasterVolume.h"
#include "playback/MediaPlayer.h"

#include <QList>
#include <QStringList>

// A player that plays whatever it is given until told the item ended.
class FakePlayer final : public MediaPlayer {
public:
    void open(const QString &location) override {
        outputLost = false;
        opened << location;
        current = location;
        playingOn = device;
        m_state = openState;
    }
    void close() override {
        outputLost = false;
        ++closes;
        current.clear();
        m_state = State::Idle;
    }
    double position() const override { return m_state == State::Playing ? 1.5 : 0.0; }
    State state() const override { return m_state; }
    bool soundOutputLost() const override { return outputLost; }
    void setAudioDevice(const QString &device) override { this->device = device; }
    void moveAudio(const QString &device) override {
        this->device = device;
        if (!current.isEmpty())
            playingOn = device;
    }

    // The item ends because the sound server went away under it.
    void loseOutput() {
        finish();
        outputLost = true;
    }
    void finish() {
        current.clear();
        m_state = State::Idle;
    }
    void setState(State state) { m_state = state; }

    State openState = State::Playing; // what an opened item turns into
    QStringList opened;
    QString current;
    QString device;    // the output the next item opens on
    QString playingOn; // the output the current item plays on
    int closes = 0;
    bool outputLost = false;

private:
    State m_state = State::Idle;
};

class FakeVolume final : public MasterVolume {
public:
    Reading GetMasterVolume() override { return {level, QString()}; }
    void SetMasterVolume(int value) override {
        level = value;
        writes << value;
    }

    int level = 65535;
    QList<int> writes;
};
