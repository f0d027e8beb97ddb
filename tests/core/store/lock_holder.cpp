// Takes the instance lock of a directory and holds it until killed.
#include "store/StoreDirectory.h"

#include <QCoreApplication>
#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    InstanceLock lock(QString::fromLocal8Bit(argv[1]));
    std::puts(lock.acquire() ? "locked" : "refused");
    std::fflush(stdout);
    for (;;)
        ::pause();
}
