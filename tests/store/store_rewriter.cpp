// Rewrites song.ini forever, alternating between two task sets, until it is killed.
#include "TaskSets.h"
#include "store/TaskStore.h"

#include <QCoreApplication>
#include <cstdio>


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
