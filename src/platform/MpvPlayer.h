#pragma once

#include "playback/MediaPlayer.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <memory>

struct mpv_handle;
struct mpv_event;
struct MidiRendering;

// The embedded player on libmpv. Events of the player thread are handled on the thread that
// owns this object, so state() and position() are plain reads of the last known state.
//
// One location is one item (a playlist address with all its entries). It counts as busy
// (Opening) while it connects or buffers, for at most the opening limit each time; after that the
// player gives it up and reports Idle. A MIDI item is Opening while its sound is rendered. A
// missing local file is Idle on return from open(); any other failure as soon as libmpv says so.
class MpvPlayer final : public QObject, public MediaPlayer {
    Q_OBJECT
public:
    struct Options {
        QString videoOutput; // "libmpv" renders into a PlayerPane; "null" plays without picture
        QString audioOutput; // empty: libmpv's own choice (PulseAudio first)
        int openingLimitMs = 20000;
        QString soundFont; // General MIDI font for MIDI items; empty: the system's
    };
    // HORALET_MPV_VO and HORALET_MPV_AO override the outputs (tests, headless machines).
    static Options defaultOptions();
    // Why an item failed, for the play log: in Chinese, libmpv's own words after it.
    static QString failureText(int mpvError);

    explicit MpvPlayer(const Options &options = defaultOptions(), QObject *parent = nullptr);
    ~MpvPlayer() override;

    // False when libmpv could not be started; every operation is then harmless and Idle.
    bool isValid() const { return m_mpv != nullptr; }

    void open(const QString &location) override;
    void close() override;
    double position() const override;
    State state() const override { return m_state; }
    bool soundOutputLost() const override { return m_outputLost; }
    // Applied when the next item is loaded; an output of another kind fixed by the options
    // (ao=null in tests and on headless machines) ignores it.
    void setAudioDevice(const QString &device) override;
    void moveAudio(const QString &device) override;

    // For the pane's own controls.
    double duration() const { return m_duration; }
    QString location() const { return m_location; }
    void setPaused(bool paused);
    void seek(double seconds);

    // For the video surface; null when libmpv is not running.
    mpv_handle *handle() const { return m_mpv; }
    bool rendersVideo() const { return m_rendersVideo; }

signals:
    void stateChanged(MediaPlayer::State state);
    void positionChanged(double seconds);
    void durationChanged(double seconds);
    // The picture's output came or went, or changed its size.
    void pictureChanged();
    // An item that could not be played, with the reason in words for the play log.
    void itemFailed(const QString &location, const QString &reason);
    // Emitted first thing in the destructor: a render context must be freed before the core.
    void shuttingDown();

private:
    void load(const QString &target);
    void renderMidi(const QString &location);
    void midiRendered(const std::shared_ptr<MidiRendering> &job, bool ok);
    void drainEvents();
    void handleEvent(const mpv_event &event);
    void endItem();
    void setStreamVolumeFull();
    void giveUp();
    void updateState();
    void setPosition(double seconds);

    mpv_handle *m_mpv = nullptr;
    Options m_options;
    bool m_rendersVideo = false;
    std::atomic_bool m_drainQueued{false};

    // The item: the playlist entries that belong to it (a redirect adds entries).
    bool m_active = false;
    bool m_started = false; // playback of the current entry has begun
    bool m_paused = false;
    bool m_buffering = false;
    bool m_outputLost = false;
    int64_t m_firstEntry = 0;
    int64_t m_lastEntry = 0;
    int64_t m_currentEntry = 0;
    QString m_location;
    QString m_audioDevice;   // for the items opened from now on; empty: libmpv's choice
    QString m_itemDevice;    // what the current item was opened with
    QString m_appliedDevice; // what libmpv was last told
    // A MIDI item: its sound is rendered on a worker thread, then played from a temporary file.
    std::shared_ptr<MidiRendering> m_midi;
    bool m_rendering = false;

    State m_state = State::Idle;
    double m_position = 0.0;
    double m_duration = 0.0;
    QTimer m_stallTimer;
};
