#pragma once

#include "playback/MasterVolume.h"

#include <QObject>

class QLabel;
class QSlider;
class QWidget;

// The "系统音量:" row: the slider sets the master volume of the output in use as it moves,
// the label shows the number and another label which output that is (本机, or 校园广播 while
// a task plays in the rooms). The mixer is the authority; nothing is held here: a change made
// outside the program is shown as it comes.
class VolumePanel : public QObject {
    Q_OBJECT
public:
    VolumePanel(QSlider *slider, QLabel *label, MasterVolume &volume, QWidget *dialogParent,
                QLabel *outputLabel = nullptr);

    // Start-up: the slider takes the current system volume once the server answers (unless
    // a volume was set meanwhile). A failed read is shown to the user and leaves slider
    // and label at 0.
    void synchronise();
    // A volume set elsewhere (a task's item starting) shown on slider and label.
    void showVolume(int value);
    // The volume acts on another output now ("本机", "校园广播"): its level is shown.
    void setOutput(const QString &name);
    // The output's level was changed by someone else: read and shown, unless the slider is
    // held (the user's value wins).
    void outsideChange();

private:
    void onSliderMoved(int position);
    void showReading(const MasterVolume::Reading &reading, bool tellFailure);
    void read(bool tellFailure);

    QSlider *m_slider;
    QLabel *m_label;
    QLabel *m_outputLabel;
    MasterVolume &m_volume;
    QWidget *m_dialogParent;
    bool m_moved = false;
};
