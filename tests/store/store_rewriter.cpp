// Rewrites song.ini forever, alternating between two task sets, until it is killed.
#include "store/TaskStore.h"

#include <QCoreApplication>
#include <cstdio>

QList<PlayTask> taskSet(int which, int count)
{
    QList<PlayTask> rows;
    for (int i = 0; i < count + which; ++i)
        rows << PlayTask{QStringLiteral("任务%1-%2").arg(which).arg(i), QStringLiteral("08:00:00"),
                         QStringLiteral("08:30:00"), QString::number(which * 10000),
                         which ? QStringLiteral("每天") : QStringLiteral("周一周三周五"),
                         QStringLiteral("循环播放"), QString()};
    return rows;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    TaskStore store(QString::fromLocal8Bit(argv[1]));
    const int count = QByteArray(argv[2]).toInt();
    const QList<PlayTask> sets[2] = {taskSet(0, count), taskSet(1, count)};
    for (unsigned n = 0;; ++n) {
        if (!store.RewriteTaskStore(sets[n % 2]))
            return 1;
        if (n == 0) {
            std::puts("ready");
            std::fflush(stdout);
        }
    }
}
