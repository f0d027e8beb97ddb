#pragma once

#include "playback/PlaylistDriver.h"
#include "scheduler/ScheduleDriver.h"

#include <QObject>

class Clock;
class MasterVolume;
class MediaPlayer;
class TaskStore;
namespace Ui {
class CHoraletView;
}

// The play panel of the form and the scheduler behind it: the play list box, the current
// task field, the stop button, the play-mode radios and the caption follow the playlist
// driver; the schedule driver starts and stops tasks on the clock's seconds.
class PlayPanel : public QObject {
    Q_OBJECT
public:
    PlayPanel(Ui::CHoraletView &form, MediaPlayer &player, MasterVolume &volume,
              const TaskStore &store, const Clock &clock, QObject *parent = nullptr);

    // The last step of start-up: from now on every second is checked. The sources are read
    // at every pass, so reloads of the tasks and changes of the boxes act at the next second.
    void startScheduler(ScheduleDriver::ScheduleSource schedule,
                        ScheduleDriver::DayGateSource dayGate);

    PlaylistDriver &playback() { return m_playback; }
    ScheduleDriver &scheduler() { return m_scheduler; }

private:
    void showList(const QStringList &items);
    void showSelection(int row);
    void showPlayMode(PlayMode mode);

    Ui::CHoraletView &m_form;
    PlaylistDriver m_playback;
    ScheduleDriver m_scheduler;
};
