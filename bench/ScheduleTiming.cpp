// Runs the real second-aligned driver on the system clock for a while and reports how late
// each pass ran after its second began, and how many seconds were caught up or lost.
// Usage: horalet_schedule_timing [minutes] [--log]   (default 10; fractions allowed)
// With --log every pass also writes a row to a play log in a temporary store, the worst case
// of the log: far more events than a real day has.

#include "BenchSupport.h"
#include "playback/PlaylistDriver.h"
#include "playlog/PlayLog.h"
#include "scheduler/ScheduleDriver.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const double minutes = argc > 1 ? QString(argv[1]).toDouble() : 10.0;
    if (minutes <= 0) {
        std::fprintf(stderr, "usage: %s [minutes]\n", argv[0]);
        return 2;
    }

    SystemClock clock;
    SilentPlayer player;
    SilentVolume volume;
    PlaylistDriver playback(player, volume, nullptr);
    ScheduleDriver driver(clock, playback);
    // A realistic table: 100 tasks, none due, so every pass scans them all.
    ScheduleTable table;
    for (int i = 0; i < 100; ++i) {
        PlayTask t;
        t.Name = QString::number(i);
        t.Time = QString("%1:00:00").arg(i % 24, 2, 10, QChar('0'));
        t.Duration = "xx";
        t.Device = "周八";
        table << t;
    }
    driver.setSchedule(table);

    const bool withLog = QCoreApplication::arguments().contains(QStringLiteral("--log"));
    QTemporaryDir store;
    PlayLog log(store.path());
    if (withLog) {
        QObject::connect(&driver, &ScheduleDriver::passRan, [&](const QDateTime &second, qint64) {
            log.append(second, PlayLogEvent::CaughtUp, QStringLiteral("基准"), {},
                       QStringLiteral("每秒一行"));
        });
        std::printf("play log on: a row every pass, in %s\n", qPrintable(log.folder()));
    }

    std::vector<qint64> lateness;
    std::vector<qint64> done; // when the pass and whatever it logged were over
    QObject::connect(&driver, &ScheduleDriver::passRan, [&](const QDateTime &second, qint64 ms) {
        lateness.push_back(ms);
        const QDateTime now = QDateTime::currentDateTime();
        done.push_back(second.msecsTo(QDateTime(now.date(), now.time(), Qt::UTC)));
    });
    QTimer::singleShot(static_cast<int>(minutes * 60000), &app, &QCoreApplication::quit);
    driver.start();
    app.exec();

    if (lateness.empty())
        return 1;
    std::vector<qint64> sorted = lateness;
    std::sort(sorted.begin(), sorted.end());
    const auto pick = [&](double q) {
        return sorted.at(std::min(sorted.size() - 1, static_cast<size_t>(q * sorted.size())));
    };
    const ScheduleDriver::Stats &s = driver.stats();
    std::printf("ran %.1f min: %lld passes\n", minutes, static_cast<long long>(s.passes));
    std::printf("lateness after the second boundary (ms): median %lld, p99 %lld, max %lld\n",
                static_cast<long long>(pick(0.5)), static_cast<long long>(pick(0.99)),
                static_cast<long long>(sorted.back()));
    std::sort(done.begin(), done.end());
    std::printf("pass over after the second boundary (ms): median %lld, p99 %lld, max %lld\n",
                static_cast<long long>(done.at(done.size() / 2)),
                static_cast<long long>(done.at(std::min(done.size() - 1, done.size() * 99 / 100))),
                static_cast<long long>(done.back()));
    std::printf("seconds caught up: %lld, lost to jumps: %lld, backward steps: %lld, "
                "restarts: %lld\n",
                static_cast<long long>(s.caughtUp), static_cast<long long>(s.skipped),
                static_cast<long long>(s.backwardSteps), static_cast<long long>(s.restarts));
    const qint64 expected = static_cast<qint64>(minutes * 60);
    std::printf("seconds expected about %lld, checked %lld\n", static_cast<long long>(expected),
                static_cast<long long>(s.passes));
    return 0;
}
