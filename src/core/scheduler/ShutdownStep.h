#pragma once

#include "ClockTexts.h"

#include <QObject>
#include <QString>
#include <QTime>
#include <QTimer>

#include <functional>
#include <optional>

class PlaylistDriver;
class PowerControl;
class ScheduleDriver;

// The timed shutdown, run last in each second that passes the day gate. The stored time is
// compared as a time of day, so a hand-edited "7:30:00" fires at 07:30:00. When the power-off
// is refused, the schedule and the playlist go on from where they stopped; it is never
// retried for the same second.
class ShutdownStep : public QObject {
    Q_OBJECT
public:
    struct Setting {
        bool enabled = false; // box 1076
        QString timeText;     // the time in force, as stored ("HH:MM:SS"; empty: none)
    };
    using SettingSource = std::function<Setting()>;

    // When a granted power-off has not ended the program after this long, the machine is
    // not going down after all: the schedule goes on rather than miss the next bells.
    static constexpr int StillRunningMs = 120000;

    ShutdownStep(ScheduleDriver &schedule, PlaylistDriver &playback, PowerControl &power,
                 SettingSource setting, QObject *parent = nullptr);

    // The driver's shutdown hook.
    void check(const ClockTexts &now);
    // Tells once (per stored text) when the time in force is not a time of day.
    void review();

    // A step between stopping the schedule and requesting the power-off (the wake alarm). It
    // calls `proceed` exactly once when it is over, whatever came of it.
    using BeforePowerOff = std::function<void(std::function<void()> proceed)>;
    void setBeforePowerOff(BeforePowerOff step) { m_beforePowerOff = std::move(step); }

    void setStillRunningInterval(int ms) { m_stillRunning.setInterval(ms); }
    bool hasFired() const { return m_fired; }
    int requests() const { return m_requests; }

signals:
    // Just before the power-off is requested; player and timers are stopped already and stay
    // so until the answer.
    void poweringOff();
    // The request was refused; the schedule goes on. The reason is for the user.
    void powerOffFailed(const QString &reason);
    // The request was granted, yet the program still runs StillRunningMs later.
    void stillRunning();
    // A text for the status line.
    void notice(const QString &text);

private:
    std::optional<QTime> timeOf(const QString &text);
    void answered(bool granted, const QString &why);
    void goOn(bool playlistWasStepping);
    void requestPowerOff();

    ScheduleDriver &m_schedule;
    PlaylistDriver &m_playback;
    PowerControl &m_power;
    SettingSource m_setting;
    BeforePowerOff m_beforePowerOff;
    bool m_parsedValid = false;
    QString m_parsedText;
    std::optional<QTime> m_parsed;
    QString m_toldText;
    QTimer m_stillRunning;
    bool m_fired = false;
    bool m_wasStepping = false;
    int m_requests = 0;
};
