// Opening the play log viewer on a month of flood: time until the newest rows are shown and
// the peak memory; then the oldest rows and one task's rows.
// Usage: bench_play_log_viewer [rows] (offscreen; 1,500,000 rows by default)

#include "dialogs/PlayLogDlg.h"
#include "playlog/PlayLog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A month as a misbehaving server leaves it: a fault every ~0.6 s, a school day's bells
// in between.
bool writeMonth(const QString &path, int rows) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk = PlayLog::headerBytes();
    const QDateTime start(QDate(2026, 12, 1), QTime(0, 0));
    for (int i = 0; i < rows; ++i) {
        const QString time =
            start.addMSecs(qint64(i) * 600).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (i % 500 == 0)
            chunk += PlayLog::rowBytes({time,
                                        PlayLogEvent::TaskStart,
                                        QStringLiteral("课间铃%1").arg(i / 500 % 40),
                                        {},
                                        QStringLiteral("音量 40000，顺序播放")});
        else
            chunk += PlayLog::rowBytes({time,
                                        PlayLogEvent::Campus,
                                        {},
                                        {},
                                        QStringLiteral("广播服务器的应答无法识别，已断开连接")});
        if (chunk.size() > (1 << 20)) {
            if (file.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return file.write(chunk) == chunk.size();
}

} // namespace

int main(int argc, char *argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1500000;
    QTemporaryDir dir;
    if (!QDir().mkpath(PlayLog::folderIn(dir.path())) ||
        !writeMonth(QDir(PlayLog::folderIn(dir.path())).filePath(QStringLiteral("2026-12.csv")),
                    rows))
        return 1;
    const long before = peakKiB();
    QElapsedTimer timer;
    timer.start();
    CPlayLogDlg dialog(dir.path());
    dialog.show();
    QApplication::processEvents();
    const qint64 openMs = timer.elapsed();
    std::printf("rows %d: open %lld ms, peak memory %ld MiB (before opening %ld MiB)\n", rows,
                static_cast<long long>(openMs), peakKiB() / 1024, before / 1024);
    timer.restart();
    dialog.table()->scrollToBottom();
    QApplication::processEvents();
    const qint64 bottomMs = timer.elapsed();
    timer.restart();
    dialog.taskBox()->setCurrentIndex(1);
    QApplication::processEvents();
    std::printf("oldest rows shown in %lld ms; one task's %d rows in %lld ms; peak %ld MiB\n",
                static_cast<long long>(bottomMs), dialog.table()->model()->rowCount(),
                static_cast<long long>(timer.elapsed()), peakKiB() / 1024);
    return 0;
}
