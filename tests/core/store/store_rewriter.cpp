// Changes the store forever until it is killed. "<dir> <count>": rewrites song.ini,
// alternating between two task sets. "<dir> changes": adds, renames and deletes tasks with
// their playlists, each task's playlist holding "<name>.mp3", the tasks of odd numbers in the
// timetable "夏季" and those of numbers not 2 mod 3 in the zones "教学楼" and "操场".
#include "TaskSets.h"
#include "store/TaskStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

namespace {

void ready() {
    std::puts("ready");
    std::fflush(stdout);
}

int changeForever(const TaskStore &store) {
    auto task = [](const QString &name) {
        return PlayTask{name,
                        QStringLiteral("08:00:00"),
                        QStringLiteral("08:30:00"),
                        QStringLiteral("60000"),
                        QStringLiteral("每天"),
                        QStringLiteral("顺序播放"),
                        QString()};
    };
    auto items = [](const QString &name) { return TaskPlaylist{name + QStringLiteral(".mp3")}; };
    for (unsigned n = 0;; ++n) {
        const QString name = QStringLiteral("任务%1").arg(n);
        const QStringList zones =
            n % 3 != 2 ? QStringList{QStringLiteral("教学楼"), QStringLiteral("操场")}
                       : QStringList();
        auto r = store.AddTask(task(name), items(name),
                               {n % 2 ? QStringLiteral("夏季") : QString(), zones});
        if (!r.result)
            return 1;
        if (n % 3 == 1) {
            const qsizetype last = r.rows.size() - 1;
            const QString renamed = name + QStringLiteral("改");
            r = store.ModifyTask(int(last), r.rows[last], task(renamed), items(renamed));
            if (!r.result)
                return 1;
        }
        if (r.rows.size() > 4 && !store.DeleteTask(0, r.rows[0]).result)
            return 1;
        if (n == 0)
            ready();
    }
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    TaskStore store(QString::fromLocal8Bit(argv[1]));
    if (QByteArray(argv[2]) == "changes")
        return changeForever(store);
    const int count = QByteArray(argv[2]).toInt();
    const QList<PlayTask> sets[2] = {taskSet(0, count), taskSet(1, count)};
    // The first rewrite's duration is told, so the killer can spread its kills over a few
    // rewrites however slow this build is.
    QElapsedTimer first;
    first.start();
    for (unsigned n = 0;; ++n) {
        if (!store.RewriteTaskStore(sets[n % 2]))
            return 1;
        if (n == 0) {
            std::printf("ready %lld\n", static_cast<long long>(first.nsecsElapsed() / 1000));
            std::fflush(stdout);
        }
    }
}
