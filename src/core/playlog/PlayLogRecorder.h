#pragma once

#include "Preflight.h"
#include "playback/HeardWatch.h"
#include "store/PlayTask.h"

#include <QDateTime>
#include <QHash>
#include <QObject>

class Clock;
class PlayLog;
class PlaylistDriver;
class ScheduleDriver;

// Writes what the schedule does into the play log as it happens. Events of a checked second
// carry that second; the others carry the clock's reading.
//
// A row that repeats one already written (same event, task, item and note) within
// QuietSeconds of its last repeat is not written again but counted: the first stands in the
// log, then one row that tells how many followed, when the repeats stop or every
// SummarySeconds while they go on. A server that fails every second leaves a few rows an
// hour instead of thousands. Summaries carry the time they are written, so the file stays
// in order.
class PlayLogRecorder : public QObject {
    Q_OBJECT
public:
    static constexpr int QuietSeconds = 300;
    static constexpr int SummarySeconds = 600;

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
    // A problem the check of what will play found with a task: its files, its timetable or
    // its volume, each under its own event.
    void problemFound(const QString &task, const Preflight::Problem &problem);

    // Whether a task's output was heard, or why it was not.
    void heard(const HeardNews &news);

    // The task the log holds as playing (empty when none).
    const QString &currentTask() const { return m_current; }

    // Tells the count of repeats that have stopped by `at`; run each checked second.
    void summariseQuiet(const QDateTime &at);

private:
    struct Row {
        QString event;
        QString task;
        QString item;
        QString note;
        bool operator==(const Row &) const = default;
    };
    friend size_t qHash(const Row &row, size_t seed) {
        return qHashMulti(seed, row.event, row.task, row.item, row.note);
    }
    struct Repeats {
        QDateTime last;  // the latest time the row came
        QDateTime since; // the row or summary written last
        int count = 0;   // not yet told
    };

    void write(const QDateTime &at, const QString &event, const QString &task = {},
               const QString &item = {}, const QString &note = {});
    void writeSummary(const QDateTime &at, const Row &row, Repeats &repeats);
    QDateTime now() const;

    PlayLog &m_log;
    const Clock &m_clock;
    QString m_current;
    QHash<Row, Repeats> m_recent; // rows written or repeated within QuietSeconds
};
