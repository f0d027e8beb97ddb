#pragma once

#include <QString>

// The embedded player: it is handed one location at a time and plays it at once.
class MediaPlayer {
public:
    enum class State {
        Idle,    // nothing loaded, stopped, or the item ended or failed to open
        Opening, // loading or buffering; counts as busy for a bounded time
        Playing,
        Paused,
    };

    virtual ~MediaPlayer() = default;
    // Opens a file path or a network address and starts playing it.
    virtual void open(const QString &location) = 0;
    // Stops the current item; state() is Idle and position() 0 afterwards.
    virtual void close() = 0;
    // Seconds into the current item; exactly 0 when nothing plays.
    virtual double position() const = 0;
    virtual State state() const = 0;
    // The last item ended because no sound output could be opened (the sound server gone or
    // not there yet), not through any fault of its own. open() and close() clear it.
    virtual bool soundOutputLost() const { return false; }
    // The sound output for the items opened from now on ("pulse/<sink>"); empty for the
    // system's default. An item already playing keeps its output.
    virtual void setAudioDevice(const QString &device) { (void)device; }
    // The same, and the item playing now moves there too (a campus server lost mid-item).
    virtual void moveAudio(const QString &device) { setAudioDevice(device); }
};
