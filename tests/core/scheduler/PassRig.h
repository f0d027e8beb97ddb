#pragma once

#include "FakeClock.h"
#include "playback/FakePlayback.h"
#include "playback/PlaylistDriver.h"
#include "scheduler/ScheduleDriver.h"

#include <QObject>
#include <QRandomGenerator>

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

// Timetables of every shape (02-29 ends, over the new year, single days, overlapping), one
// that cannot be read, and tasks bound to them, to a missing one or to none.
inline SeasonGate randomSeasons(QRandomGenerator &rng, const ScheduleTable &tasks) {
    QList<Timetables::Timetable> timetables;
    const auto monthDay = [&rng] {
        if (rng.bounded(6) == 0)
            return QStringLiteral("02-29");
        const int month = 1 + rng.bounded(12);
        return QDate(2024, month, 1 + rng.bounded(QDate(2024, month, 1).daysInMonth()))
            .toString(QStringLiteral("MM-dd"));
    };
    for (int i = 0, n = 1 + rng.bounded(4); i < n; ++i) {
        const QString from = monthDay();
        const QString text = from + u'~' + (rng.bounded(5) == 0 ? from : monthDay());
        timetables.append({QStringLiteral("表%1").arg(i), text, SeasonRange::parse(text)});
    }
    timetables.append({QStringLiteral("坏表"), QStringLiteral("13-01~02-30"), std::nullopt});
    QHash<QString, QString> bound;
    for (const PlayTask &t : tasks) {
        const int pick = rng.bounded(int(timetables.size()) + 3);
        if (pick < timetables.size())
            bound.insert(t.Name, timetables[pick].name);
        else if (pick == timetables.size())
            bound.insert(t.Name, QStringLiteral("无此表"));
    }
    return SeasonGate(timetables, bound);
}
