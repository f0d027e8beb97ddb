#pragma once

#include "FakeClock.h"
#include "playback/FakePlayback.h"
#include "playback/PlaylistDriver.h"
#include "scheduler/ScheduleDriver.h"

#include <QObject>

// The real schedule driver and playlist driver on a fake clock, recording which task
// started at which second.
struct PassRig {
    FakeClock clock;
    FakePlayer player;
    FakeVolume volume;
    PlaylistDriver playback{player, volume, [](const QString &) { return TaskPlaylist(); }};
    ScheduleDriver driver{clock, playback};
    QList<std::pair<QString, QDateTime>> started;

    PassRig() {
        QObject::connect(&playback, &PlaylistDriver::taskStarted, [this](const QString &name) {
            const QDateTime now = clock.now();
            started.append(
                {name, QDateTime(now.date(), QTime(now.time().hour(), now.time().minute(),
                                                   now.time().second()))});
        });
    }

    // One wake-up of the timer a few ms into the second.
    void wakeAt(const QDateTime &second) {
        clock.set(second.addMSecs(5));
        driver.tick();
    }
    // Every second from..to, as the timer lives through them.
    void live(const QDateTime &from, const QDateTime &to) {
        for (QDateTime t = from; t <= to; t = t.addSecs(1))
            wakeAt(t);
    }
    QStringList startedNames() const {
        QStringList names;
        for (const auto &[name, at] : started)
            names << name;
        return names;
    }
};

inline PlayTask makeTask(const QString &name, const QString &start, const QString &end,
                         const QString &days = TaskText::EveryDay) {
    PlayTask t;
    t.Name = name;
    t.Time = start;
    t.Duration = end;
    t.Type = QStringLiteral("30000");
    t.Device = days;
    t.Recurrence = TaskText::Sequential;
    return t;
}
