#pragma once

#include "playback/MediaPlayer.h"

#include <QWidget>

class MpvPlayer;
class MpvVideoSurface;
class QLabel;
class QSlider;
class QToolButton;

// The player pane of the form: the picture (where the machine has OpenGL) and the player's own
// controls, play/pause, stop, a seek bar and the elapsed and total time. Never full screen.
class PlayerPane final : public QWidget {
    Q_OBJECT
public:
    explicit PlayerPane(MpvPlayer *player, QWidget *parent = nullptr);

    // "mm:ss / mm:ss", with hours in front once an item reaches an hour.
    static QString timeText(double elapsed, double total);

    // The picture's place in the pane: black and empty where there is no OpenGL (the items are
    // then only heard).
    QWidget *videoSurface() const { return m_video; }
    // The OpenGL window inside videoSurface(), or null without OpenGL.
    MpvVideoSurface *videoWindow() const { return m_surface; }
    QToolButton *playPauseButton() const { return m_playPause; }
    QToolButton *stopButton() const { return m_stop; }
    QSlider *seekBar() const { return m_seekBar; }
    QLabel *timeLabel() const { return m_time; }

private:
    void showState(MediaPlayer::State state);
    void showPosition(double seconds);
    void showDuration(double seconds);
    void playOrPause();

    MpvPlayer *m_player;
    QWidget *m_video = nullptr;
    MpvVideoSurface *m_surface = nullptr;
    QToolButton *m_playPause;
    QToolButton *m_stop;
    QSlider *m_seekBar;
    QLabel *m_time;
    bool m_showingPosition = false;
};
