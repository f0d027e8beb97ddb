#pragma once

#include "playback/HeardWatch.h"
#include "store/PlayTask.h"

#include <QDateTime>
#include <QObject>

class Clock;
class PlayLog;
class PlaylistDriver;
class ScheduleDriver;

// Writes what the schedule does into the play log as it happens. Events of a checked second
// carry that second; the others carry the clock's reading.
class PlayLogRecorder : public QObject {
    Q_OBJECT
public:
    PlayLogRecorder(PlayLog &log, const Clock &clock, QObject *parent = nullptr);

    void watch(ScheduleDriver &schedule, PlaylistDriver &playback);

    void programStarted();
    void programExiting();
    void manualStop();
    // The player gave up an item; reason in the player's words.
    void itemFailed(const QString &item, const QString &reason);
    void shutdownRequested(const QString &note = {});
    void shutdownRefused(const QString &reason);
    // The wake alarm set, cleared, not set, or refused: what and why in the note.
    void wakeAlarm(const QString &note);
    // Where a task's start was heard on the campus: its zones and rooms, or on this machine
    // and why.
    void campus(const QString &task, const QString &note);
    // A problem the check of what will play found with a task's files.
    void fileProblem(const QString &task, const QString &item, const QString &reason);

    // Whether a task's output was heard, or why it was not.
    void heard(const HeardNews &news);

    // The task the log holds as playing (empty when none).
    const QString &currentTask() const { return m_current; }

private:
    void write(const QDateTime &at, const QString &event, const QString &task = {},
               const QString &item = {}, const QString &note = {});
    QDateTime now() const;

    PlayLog &m_log;
    const Clock &m_clock;
    QString m_current;
};
