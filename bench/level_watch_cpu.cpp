// What listening to the output costs: CPU of this process and of the sound server over a
// span with the level watch running on the default sink while a tone plays into it, the same
// span with the tone and no watch (a task playing before the watch existed), and with nothing
// playing and no watch (the watch is only started for a playing task).
// Needs a server: PULSE_SERVER=unix:<dir>/native; run through bench/level_watch_cpu.sh.
#include "platform/PulseLevelWatch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace {

double ownCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double serverCpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
    // After the command: state is field 3, utime 14 and stime 15 (1-based).
    return (fields.value(12).toLongLong() + fields.value(13).toLongLong()) /
           double(sysconf(_SC_CLK_TCK));
}

void span(const char *what, int seconds, qint64 server, int *peaks) {
    const double own0 = ownCpuSeconds();
    const double server0 = serverCpuSeconds(server);
    const int peaks0 = *peaks;
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    const double s = wall.elapsed() / 1000.0;
    std::printf("%-40s this process %6.3f%%, sound server %6.3f%% of one core, %5.1f peaks/s\n",
                what, 100 * (ownCpuSeconds() - own0) / s,
                100 * (serverCpuSeconds(server) - server0) / s, (*peaks - peaks0) / s);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? atoi(argv[1]) : 20;
    const qint64 server = argc > 2 ? atoll(argv[2]) : 0;
    int peaks = 0;
    PulseLevelWatch watch;
    QObject::connect(&watch, &LevelWatch::level, [&peaks](double) { ++peaks; });
    QObject::connect(&watch, &LevelWatch::failed, [](const QString &reason) {
        std::fprintf(stderr, "level watch failed: %s\n", qPrintable(reason));
    });

    span("nothing playing, no watch", seconds, server, &peaks);
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"),
                {QStringLiteral("load-module"), QStringLiteral("module-sine"),
                 QStringLiteral("frequency=440")});
    pactl.waitForFinished();
    const QString sine = QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
    span("tone playing, no watch", seconds, server, &peaks);
    watch.start(QString());
    span("tone playing, level watch running", seconds, server, &peaks);
    watch.stop();
    span("tone playing, watch stopped again", seconds, server, &peaks);
    QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("unload-module"), sine});
    return 0;
}
