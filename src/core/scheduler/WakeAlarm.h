#pragma once

#include "SchedulePass.h"
#include "store/PlayTask.h"
#include "store/WakeAlarmFile.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class Clock;
class WakeAlarmControl;

// Power-on for the bells: before the machine powers off or sleeps, its wake alarm is set to
// the next task's start minus the lead time, by the rule the status bar uses for what plays
// next. An alarm of ours that has passed is cleared after a wake-up and at start-up.
class WakeAlarm : public QObject {
    Q_OBJECT
public:
    // The helper refuses a time less than a minute ahead; this leaves it time to start.
    static constexpr qint64 MinAheadSeconds = 90;
    // A task further ahead than this gets no alarm.
    static constexpr qint64 MaxAheadDays = 365;

    struct Plan {
        std::optional<QDateTime> wakeAt; // nothing: no alarm, `why` says why
        QString task;                    // the task it wakes for
        QDateTime taskStart;
        QString why;
    };
    static Plan plan(const ScheduleTable &table, const QDateTime &now, const DayGate &gate,
                     int leadMinutes);
    // "下次开机：明天 07:55", or why there is none.
    static QString describe(const Plan &plan, const QDateTime &now);

    using SettingSource = std::function<WakeAlarmFile::Setting()>;
    using TableSource = std::function<const ScheduleTable &()>;
    using GateSource = std::function<DayGate()>;

    WakeAlarm(WakeAlarmControl &control, const Clock &clock, QString storeDirectory,
              SettingSource setting, TableSource table, GateSource gate, QObject *parent = nullptr);

    bool available() const;
    // The plan for now, by the setting in force.
    Plan currentPlan() const;
    // Sets the alarm when the setting is on; `done` runs when that has been tried, whatever
    // came of it (the shutdown goes ahead either way).
    void arm(const std::function<void()> &done);
    // logind's PrepareForSleep: true before a sleep (arms), false after it (clears a passed
    // alarm). `done` runs when the step is over.
    void prepareForSleep(bool start, const std::function<void()> &done = {});
    // Clears the alarm of ours once it has passed; nothing when none stands or it is ahead.
    void clearPassed(const std::function<void()> &done = {});

signals:
    // Each for the play log and the status line.
    void alarmSet(const QDateTime &wakeAt, const QString &note);
    void alarmCleared(const QString &note);
    void noAlarm(const QString &why);
    // The helper refused, or the user cancelled the authorisation.
    void failed(const QString &reason);

private:
    WakeAlarmControl &m_control;
    const Clock &m_clock;
    QString m_directory;
    SettingSource m_setting;
    TableSource m_table;
    GateSource m_gate;
};
