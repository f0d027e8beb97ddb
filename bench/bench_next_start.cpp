// The task dialogs work out the next start of the task being edited every second and on
// every edit; this is what one answer costs.
#include "scheduler/NextStart.h"
#include "scheduler/NextTask.h"

#include <benchmark/benchmark.h>

namespace {

ScheduleTable makeTable(int count) {
    ScheduleTable table;
    const QStringList days = {TaskText::EveryDay, "周一周三周五", "周二", "周六"};
    for (int i = 0; i < count; ++i) {
        PlayTask t;
        t.Name = QStringLiteral("任务%1").arg(i);
        // Every tenth task shares the edited task's start second.
        const QTime start = i % 10 == 0 ? QTime(8, 0) : QTime(6, 0).addSecs(i % 36000);
        t.Time = start.toString("HH:mm:ss");
        t.Duration = start.addSecs(600).toString("HH:mm:ss");
        t.Device = days.at(i % days.size());
        t.Recurrence = TaskText::Sequential;
        table << t;
    }
    return table;
}

// A Sunday task with the Sunday box ticked, at a second others share, a year of holidays and
// make-up days ahead: it never plays, so the search walks past every listed day.
void BM_NextStart(benchmark::State &state) {
    ScheduleTable table = makeTable(static_cast<int>(state.range(0)));
    PlayTask edited = table.first();
    edited.Name = QStringLiteral("edited");
    edited.Device = QStringLiteral("周日");
    table.append(edited);
    DayGate gate;
    gate.weekdayOff[0] = true;
    const QDate first(2026, 12, 8);
    QStringList holidays;
    for (int i = 0; i < 365; i += 3)
        holidays << first.addDays(i).toString("yyyy-MM-dd");
    gate.setHolidays(holidays);
    for (int i = 1; i < 365; i += 7)
        gate.makeupDays.insert(first.addDays(i).toString("yyyy-MM-dd"), 1);
    const QDateTime from(first, QTime(9, 0));
    for (auto _ : state)
        benchmark::DoNotOptimize(NextStart::of(table, table.size() - 1, from, gate));
}
BENCHMARK(BM_NextStart)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

// 100,000 holidays, every `step` days from `first`.
DayGate holidaysFrom(const QDate &first, int step) {
    QStringList dates;
    for (int i = 0; i < 100000; ++i)
        dates << first.addDays(qint64(step) * i).toString("yyyy-MM-dd");
    DayGate gate;
    gate.setHolidays(dates);
    return gate;
}

void findNextTask(benchmark::State &state, const ScheduleTable &table, const DayGate &gate) {
    const QDateTime now(QDate(2026, 12, 8), QTime(9, 0));
    for (auto _ : state)
        benchmark::DoNotOptimize(NextTask::find(table, now, gate));
}

// The status bar's next task at start-up with 1,000 every-day tasks and 100,000 holidays, one
// a day from 1900: every day until 2173 is off, so the answer lies past all of them.
void BM_NextTaskDenseHolidays(benchmark::State &state) {
    findNextTask(state, makeTable(static_cast<int>(state.range(0))),
                 holidaysFrom(QDate(1900, 1, 1), 1));
}
BENCHMARK(BM_NextTaskDenseHolidays)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);

// 100,000 holidays every other day up to 2547 and 1,000 one-day tasks long past: no task
// ever plays again, and "never" must not cost a walk to 2547.
void BM_NextTaskNeverPlays(benchmark::State &state) {
    ScheduleTable table = makeTable(static_cast<int>(state.range(0)));
    for (qsizetype i = 0; i < table.size(); ++i)
        table[i].Time = QDate(2020, 1, 1).addDays(i).toString("yyyy-MM-dd ") + table[i].Time;
    findNextTask(state, table, holidaysFrom(QDate(2000, 1, 1), 2));
}
BENCHMARK(BM_NextTaskNeverPlays)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);

// Odd tasks in a summer timetable, even ones in a winter one, unless bound otherwise.
SeasonGate summerAndWinter(const ScheduleTable &table, const QHash<QString, QString> &others = {}) {
    QHash<QString, QString> bound;
    for (qsizetype i = 0; i < table.size(); ++i)
        bound.insert(table[i].Name, i % 2 ? QStringLiteral("夏季") : QStringLiteral("冬季"));
    bound.insert(others);
    return SeasonGate({{"夏季", "05-01~09-30", SeasonRange::parse(u"05-01~09-30")},
                       {"冬季", "10-01~04-30", SeasonRange::parse(u"10-01~04-30")},
                       {"闰日", "02-29~02-29", SeasonRange::parse(u"02-29~02-29")},
                       {"整年", "01-01~12-31", SeasonRange::parse(u"01-01~12-31")}},
                      bound);
}

// The worst a timetable makes of one answer: the edited task's holds only 02-29, and an
// every-day task before it at its second holds the whole year, so it never plays and the
// search walks the calendar's whole cycle of 400 years.
void BM_NextStartSeasonNeverHolds(benchmark::State &state) {
    ScheduleTable table = makeTable(static_cast<int>(state.range(0)));
    PlayTask edited = table.first();
    edited.Name = QStringLiteral("edited");
    table.append(edited);
    DayGate gate;
    gate.seasons = summerAndWinter(table, {{"edited", "闰日"}, {table.first().Name, "整年"}});
    const QDateTime from(QDate(2026, 12, 8), QTime(9, 0));
    for (auto _ : state)
        benchmark::DoNotOptimize(NextStart::of(table, table.size() - 1, from, gate));
}
BENCHMARK(BM_NextStartSeasonNeverHolds)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

// The status bar in winter with half the tasks in the summer set.
void BM_NextTaskSummerAndWinter(benchmark::State &state) {
    const ScheduleTable table = makeTable(static_cast<int>(state.range(0)));
    DayGate gate;
    gate.seasons = summerAndWinter(table);
    findNextTask(state, table, gate);
}
BENCHMARK(BM_NextTaskSummerAndWinter)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
