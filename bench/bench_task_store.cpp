// The cost of one task change (rewrite + reload) and of filling the table, by task count.
#include "store/TaskStore.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QList<PlayTask> makeRows(int count) {
    QList<PlayTask> rows;
    for (int i = 0; i < count; ++i)
        rows << PlayTask{QStringLiteral("早操音乐%1").arg(i),
                         QStringLiteral("08:30:00"),
                         QStringLiteral("08:45:00"),
                         QStringLiteral("60000"),
                         QStringLiteral("周一周三周五"),
                         QStringLiteral("顺序播放"),
                         QString()};
    return rows;
}

void RewriteAndReload(benchmark::State &state) {
    QTemporaryDir dir;
    TaskStore store(dir.path());
    const QList<PlayTask> rows = makeRows(int(state.range(0)));
    for (auto _ : state) {
        if (!store.RewriteTaskStore(rows))
            state.SkipWithError("rewrite failed");
        benchmark::DoNotOptimize(store.LoadScheduleTable());
    }
    state.SetComplexityN(state.range(0));
}

void ReadTaskRows(benchmark::State &state) {
    QTemporaryDir dir;
    TaskStore store(dir.path());
    store.RewriteTaskStore(makeRows(int(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(store.ReadTaskRows());
    state.SetComplexityN(state.range(0));
}

// What a user waits for after OK in a dialog: the whole change, playlist included.
void ModifyOneTask(benchmark::State &state) {
    QTemporaryDir dir;
    TaskStore store(dir.path());
    QList<PlayTask> rows = makeRows(int(state.range(0)));
    store.RewriteTaskStore(rows);
    const int row = int(rows.size() / 2);
    PlayTask current = rows[row];
    for (auto _ : state) {
        PlayTask changed = current;
        changed.Type = changed.Type == QLatin1String("60000") ? QStringLiteral("30000")
                                                              : QStringLiteral("60000");
        auto result =
            store.ModifyTask(row, current, changed, {QStringLiteral("/srv/音乐/早操.mp3")});
        if (!result.result)
            state.SkipWithError("modify failed");
        current = changed;
    }
    state.SetComplexityN(state.range(0));
}

} // namespace

BENCHMARK(RewriteAndReload)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(ReadTaskRows)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(ModifyOneTask)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK_MAIN();
