#include "BenchSupport.h"
#include "playback/PlaylistDriver.h"
#include "scheduler/ScheduleDriver.h"
#include "scheduler/SchedulePass.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace {

// Tasks spread over the day, none due at the measured second.
ScheduleTable makeTable(int count) {
    ScheduleTable table;
    const QStringList days = {TaskText::EveryDay, "周一周三周五", TaskText::OneDay, "周二"};
    for (int i = 0; i < count; ++i) {
        PlayTask t;
        t.Name = QString("任务%1").arg(i);
        const QTime start = QTime(6, 0).addSecs(i % 36000);
        const QString day = days.at(i % days.size());
        const QString prefix = day == TaskText::OneDay ? QString("2031-05-01 ") : QString();
        t.Time = prefix + start.toString("HH:mm:ss");
        t.Duration = prefix + start.addSecs(600).toString("HH:mm:ss");
        t.Type = "30000";
        t.Device = day;
        t.Recurrence = TaskText::Sequential;
        table << t;
    }
    return table;
}

// Gate, end check and start check on the texts of one second.
void BM_PassChecks(benchmark::State &state) {
    const ScheduleIndex index(makeTable(static_cast<int>(state.range(0))));
    QStringList holidays;
    for (int i = 0; i < 20; ++i)
        holidays << QDate(2026, 1, 1).addDays(i * 17).toString("yyyy-MM-dd");
    DayGate gate;
    gate.setHolidays(holidays);
    const ClockTexts texts = ClockTexts::of(QDateTime(QDate(2026, 12, 7), QTime(23, 59, 30)));
    for (auto _ : state) {
        const int weekday = Weekday::of(2026, 341);
        bool open = gate.admits(weekday, texts.date);
        benchmark::DoNotOptimize(open);
        benchmark::DoNotOptimize(index.dueEnd(texts));
        benchmark::DoNotOptimize(index.dueStart(texts, Weekday::name(weekday)));
    }
}
BENCHMARK(BM_PassChecks)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

// One wake-up of the driver as it runs: clock reading, texts, gate, checks, re-arming.
void BM_DriverTick(benchmark::State &state) {
    FakeClock clock;
    SilentPlayer player;
    SilentVolume volume;
    PlaylistDriver playback(player, volume, nullptr);
    ScheduleDriver driver(clock, playback);
    driver.setSchedule(makeTable(static_cast<int>(state.range(0))));
    QDateTime t(QDate(2026, 12, 7), QTime(0, 0, 0, 5));
    for (auto _ : state) {
        t = t.addSecs(1);
        clock.set(t);
        driver.tick();
    }
}
BENCHMARK(BM_DriverTick)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The wake-up after the program was held up for a whole day: every start and end second of
// that day is checked in order (the tasks start and stop in turn), on the GUI thread.
void BM_DayLongStall(benchmark::State &state) {
    FakeClock clock(QDateTime(QDate(2026, 12, 7), QTime(0, 0, 0, 5)));
    SilentPlayer player;
    SilentVolume volume;
    PlaylistDriver playback(player, volume, nullptr);
    ScheduleDriver driver(clock, playback);
    driver.setSchedule(makeTable(static_cast<int>(state.range(0))));
    driver.start();
    for (auto _ : state) {
        clock.pass(86400 * 1000);
        driver.tick();
    }
    state.counters["passes/stall"] =
        double(driver.stats().caughtUp) / double(std::max<qint64>(1, driver.stats().stalls));
}
BENCHMARK(BM_DayLongStall)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv); // the driver arms a QTimer
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
