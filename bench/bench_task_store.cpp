// The cost of one task change (rewrite + reload) and of filling the table, by task count;
// the settings files beside it at sizes no school reaches (hand-made files).
#include "campus/CampusConfig.h"
#include "campus/CampusRouting.h"
#include "store/MakeupWorkdays.h"
#include "store/ProfileStore.h"
#include "store/TaskStore.h"
#include "store/Timetables.h"
#include "tasktable/TaskTableModel.h"

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

// A calendar's import of make-up days: n days at once, one write.
void MakeupSetAll(benchmark::State &state) {
    QList<std::pair<QString, int>> days;
    for (int i = 0; i < state.range(0); ++i)
        days.append({QDate(1900, 1, 1).addDays(i).toString(Qt::ISODate), 6});
    for (auto _ : state) {
        QTemporaryDir dir;
        MakeupWorkdays makeup(dir.path());
        if (!makeup.setAll(days))
            state.SkipWithError("setAll failed");
    }
    state.SetComplexityN(state.range(0));
}

// What the 作息表 dialog works out on opening: n one-day timetables (a day of the year each,
// round and round), and a task bound to each.
void TimetableDialogRows(benchmark::State &state) {
    QTemporaryDir dir;
    QByteArray file = *Gbk::encode(QStringLiteral("[作息表]\r\n"));
    QByteArray tasks = *Gbk::encode(QStringLiteral("[任务作息表]\r\n"));
    for (int i = 0; i < state.range(0); ++i) {
        const QByteArray day = QDate(2024, 1, 1).addDays(i % 366).toString("MM-dd").toLatin1();
        file += "T" + QByteArray::number(i) + '=' + day + '~' + day + "\r\n";
        tasks += "task" + QByteArray::number(i) + "=T" + QByteArray::number(i) + "\r\n";
    }
    ProfileStore::writeFileAtomically(dir.filePath(Timetables::fileName()), file + tasks);
    Timetables timetables(dir.path());
    timetables.load();
    for (auto _ : state) {
        benchmark::DoNotOptimize(timetables.overlaps(3));
        benchmark::DoNotOptimize(timetables.taskCounts());
    }
    state.SetComplexityN(state.range(0));
}

// 广播分区.ini with one zone of n room ids and a task of n zones: read at start...
QString campusStore(QTemporaryDir &dir, int n) {
    QByteArray ids, zones;
    for (int i = 0; i < n; ++i) {
        ids += "room" + QByteArray::number(i) + ',';
        zones += "zone" + QByteArray::number(i) + ',';
    }
    ProfileStore::writeFileAtomically(dir.filePath(CampusConfig::fileName()),
                                      "[" + *Gbk::encode(QStringLiteral("分区")) +
                                          "]\r\nall=" + ids + "\r\nzone1=room1\r\n[" +
                                          *Gbk::encode(QStringLiteral("任务分区")) +
                                          "]\r\nbell=all\r\nmany=" + zones + "all\r\n");
    return dir.path();
}

void CampusLoad(benchmark::State &state) {
    QTemporaryDir dir;
    const QString path = campusStore(dir, int(state.range(0)));
    for (auto _ : state) {
        CampusConfig config(path);
        config.load();
        benchmark::DoNotOptimize(config.zones());
    }
    state.SetComplexityN(state.range(0));
}

// ...and routed at the bell, with a server that lists a thousand of the rooms, a tenth of
// them away: nearly every id of the zone is a room not connected.
void CampusRouteAtTheBell(benchmark::State &state) {
    QTemporaryDir dir;
    CampusConfig config(campusStore(dir, int(state.range(0))));
    config.load();
    CampusRooms rooms;
    for (int i = 0; i < 1000; ++i)
        rooms.append({QStringLiteral("room%1").arg(i), QString(), i % 10 != 0, 100, false});
    for (auto _ : state) {
        benchmark::DoNotOptimize(routeFor(config, QStringLiteral("bell"), rooms));
        benchmark::DoNotOptimize(routeFor(config, QStringLiteral("many"), rooms));
    }
    state.SetComplexityN(state.range(0));
}

// The table's 分区 column at start: n zones, and a task that names every one of them.
void CampusTableColumn(benchmark::State &state) {
    QTemporaryDir dir;
    QByteArray zones, all;
    for (int i = 0; i < state.range(0); ++i) {
        zones += "zone" + QByteArray::number(i) + "=room" + QByteArray::number(i) + "\r\n";
        all += "zone" + QByteArray::number(i) + ',';
    }
    ProfileStore::writeFileAtomically(
        dir.filePath(CampusConfig::fileName()),
        *Gbk::encode(QStringLiteral("[服务器]\r\n启用=1\r\n[分区]\r\n")) + zones +
            *Gbk::encode(QStringLiteral("[任务分区]\r\n")) + "many=" + all + "\r\n");
    CampusConfig config(dir.path());
    config.load();
    TaskTableModel model;
    model.AppendTaskRow(makeRows(1).constFirst());
    model.AppendTaskRow({QStringLiteral("many"), QStringLiteral("08:00:00"),
                         QStringLiteral("08:00:30"), QStringLiteral("60000"),
                         QStringLiteral("每天"), QStringLiteral("顺序播放"), QString()});
    for (auto _ : state) {
        model.setCampus(config);
        benchmark::DoNotOptimize(model.data(model.index(1, model.columnCount() - 1)));
    }
    state.SetComplexityN(state.range(0));
}

} // namespace

BENCHMARK(CampusTableColumn)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(MakeupSetAll)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(TimetableDialogRows)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(CampusLoad)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(CampusRouteAtTheBell)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(RewriteAndReload)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(ReadTaskRows)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(ModifyOneTask)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK_MAIN();
