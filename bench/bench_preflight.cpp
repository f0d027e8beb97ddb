// The check of what will play over a large store: 1,000 tasks due within a day, 5,000 local
// WAV files (five per task), every file opened as media. Prints the time and the peak memory.
// Usage: bench_preflight [tasks] [files per task]

#include "platform/GeneratedMedia.h"
#include "platform/MediaProbe.h"
#include "playlog/Preflight.h"
#include "store/TaskStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const int tasks = argc > 1 ? QString(argv[1]).toInt() : 1000;
    const int perTask = argc > 2 ? QString(argv[2]).toInt() : 5;
    QTemporaryDir dir;
    const TaskStore store(dir.path());
    const QByteArray sound = toneWav(1.0, 8000);
    ScheduleTable table;
    for (int t = 0; t < tasks; ++t) {
        TaskPlaylist items;
        for (int i = 0; i < perTask; ++i) {
            const QString path = dir.filePath(QStringLiteral("f%1_%2.wav").arg(t).arg(i));
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(sound) != sound.size())
                return 1;
            items << path;
        }
        PlayTask task;
        task.Name = QStringLiteral("任务%1").arg(t);
        task.Time = QStringLiteral("%1:%2:00")
                        .arg(t / 60 % 24, 2, 10, QChar('0'))
                        .arg(t % 60, 2, 10, QChar('0'));
        task.Duration = QStringLiteral("23:59:59");
        task.Device = TaskText::EveryDay;
        task.Recurrence = TaskText::Sequential;
        table << task;
        if (!store.WriteTaskPlaylist(task.Name, items))
            return 1;
    }
    const long before = peakKiB();
    QElapsedTimer timer;
    timer.start();
    const auto verdicts = Preflight::check(table, QDateTime::currentDateTime(), {}, store,
                                           [](const QString &p) { return MediaProbe::probe(p); });
    const qint64 ms = timer.elapsed();
    std::printf("%d tasks, %d files: checked in %lld ms, %zu with problems\n", tasks,
                tasks * perTask, static_cast<long long>(ms), static_cast<size_t>(verdicts.size()));
    std::printf("peak memory %ld KiB (%ld KiB before the check)\n", peakKiB(), before);
    return verdicts.isEmpty() ? 0 : 1;
}
