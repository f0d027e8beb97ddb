#pragma once

#include "playback/HeardWatch.h"

#include <QDateTime>
#include <QObject>

class CampusOutput;
class Clock;
class LevelWatch;
class MpvPlayer;
class PlayLogRecorder;
class PlaylistDriver;
class QAbstractButton;
class ScheduleDriver;

// Whether each task was heard, in the running program: the level watch on the sink the task
// plays to (this machine's output, or the campus sink once the task is routed to the rooms),
// the rule's news into the play log and out to the status line.
class HeardLink : public QObject {
    Q_OBJECT
public:
    HeardLink(const Clock &clock, QObject *parent = nullptr);
    ~HeardLink() override;

    // Connect before the campus routes the task: a task starts on this machine's output.
    void watch(ScheduleDriver &schedule, PlaylistDriver &playback, MpvPlayer &player,
               QAbstractButton &stopButton, PlayLogRecorder &log);
    void followCampus(CampusOutput &campus);

    // Reasons found elsewhere for a silent output (the campus server not reading its pipe, a
    // volume that cannot be read) are given to it here.
    HeardWatch &heard() { return *m_heard; }

    // For the check of what will play: why the output tasks play to now (the campus sink
    // while the campus is on) would not be heard; run on the check's worker.
    static std::function<QString()> outputReader(bool campus);

signals:
    // For the status line and the tray; `warning` when the user should look.
    void notice(const QString &text, bool warning);

private:
    const Clock &m_clock;
    LevelWatch *m_levels = nullptr;
    HeardWatch *m_heard = nullptr;
    QDateTime m_startSecond; // of the task the schedule started last
};
