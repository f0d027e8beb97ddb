#pragma once

#include "playback/MasterVolume.h"

#include <QObject>

class QLabel;
class QSlider;
class QWidget;

// The "系统音量:" row: the slider sets the system's master volume as it moves, the label
// shows the number. The mixer is the authority; nothing is held here.
class VolumePanel : public QObject {
    Q_OBJECT
public:
    VolumePanel(QSlider *slider, QLabel *label, MasterVolume &volume, QWidget *dialogParent);

    // Start-up: the slider takes the current system volume once the server answers (unless
    // a volume was set meanwhile). A failed read is shown to the user and leaves slider
    // and label at 0.
    void synchronise();
    // A volume set elsewhere (a task's item starting) shown on slider and label.
    void showVolume(int value);

private:
    void onSliderMoved(int position);
    void showReading(const MasterVolume::Reading &reading);

    QSlider *m_slider;
    QLabel *m_label;
    MasterVolume &m_volume;
    QWidget *m_dialogParent;
    bool m_moved = false;
};
