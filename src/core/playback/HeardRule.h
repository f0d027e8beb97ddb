#pragma once

#include "LevelWatch.h"

#include <QString>
#include <QStringList>

#include <optional>

// Whether a task was heard: after its first item is handed to the player, a peak above the
// floor within the window, followed by a second more of output (or by the end of its item),
// is "heard" (with how long the first peak took); a window that stays below it is "not
// heard"; sound that comes later is "heard late". Times are milliseconds of any steady clock.
class HeardRule {
public:
    static constexpr double FloorDbfs = -50.0;
    static constexpr qint64 WindowMs = 5000;
    // Below this share of its full level an output counts as turned down.
    static constexpr double QuietVolume = 0.05;
    // How long the output must go on sending after a first peak for it to count.
    static constexpr qint64 ConfirmMs = 1000;

    enum class State { Idle, Listening, Heard, NotHeard, HeardLate };
    enum class Outcome { None, Heard, NotHeard, HeardLate };
    struct Event {
        Outcome outcome = Outcome::None;
        qint64 delayMs = 0; // from the hand-over to the first peak above the floor
    };

    static double floorPeak(); // FloorDbfs as a share of full scale

    // The first item of a task is handed over; later calls until reset() do nothing.
    void handOver(qint64 atMs);
    void reset() { *this = HeardRule(); }

    // A peak measured at `atMs`. A sample past the window while still listening (and no
    // sound waiting to be confirmed) decides "not heard" first.
    Event sample(qint64 atMs, double peak);
    // Decides "not heard" once the window has passed in silence. Nothing yet while a first
    // peak waits for its confirmation and the output still sends: ask again.
    Event check(qint64 atMs);
    // The player's item ended: a peak waiting for its confirmation counts.
    Event itemEnded();

    State state() const { return m_state; }
    bool listening() const { return m_state == State::Listening; }
    // Still something to decide: listening, or waiting for late sound.
    bool open() const { return m_state == State::Listening || m_state == State::NotHeard; }
    qint64 deadline() const { return m_handedOver + WindowMs; }

    // Whole seconds a first signal came late; 0 means on time.
    static int lateSeconds(qint64 delayMs) { return int(delayMs / 1000); }

    // The output's warning at a task's start: muted or turned down; empty when neither.
    static QString outputWarning(const OutputState &output);

    // Whether slices of output kept coming since the hand-over. None at all, or none for a
    // while, is an output that does not run (a pipe nobody reads fills and stalls its sink),
    // not measured silence.
    enum class Flow { None, Stalled, Flowing };
    static constexpr qint64 StallMs = 1000;
    Flow flow(qint64 atMs) const;

    // What the program knows about a silent task, most telling first. `known` are the
    // reasons others found (the volume could not be read, the server does not read the
    // pipe, the stream is idle); `playerPlaying` whether the player says it plays.
    static QStringList reasons(const OutputState &output, bool playerPlaying,
                               const QStringList &known, Flow flow);

private:
    State m_state = State::Idle;
    qint64 m_handedOver = 0;
    Event confirm();

    int m_samples = 0;
    qint64 m_lastSample = 0;
    std::optional<qint64> m_candidate; // the first peak above the floor, not yet confirmed
};
