#include "WakeAlarmHelper.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <memory>
#include <unistd.h>

namespace {
const QString kHelperName = QStringLiteral("horalet-wakealarm");

QString lastLine(const QByteArray &output) {
    const QStringList lines =
        QString::fromLocal8Bit(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.constLast().trimmed();
}
} // namespace

QString WakeAlarmHelper::installedPath() {
    return QStringLiteral(HORALET_WAKEALARM_PATH);
}

QStringList WakeAlarmHelper::command(const QString &argument, bool asRoot,
                                     const QString &programDir) {
    if (asRoot) {
        const QFileInfo beside(QDir(programDir).filePath(kHelperName));
        if (!programDir.isEmpty() && beside.isFile() && beside.isExecutable())
            return {beside.absoluteFilePath(), argument};
        return {installedPath(), argument};
    }
    QString pkexec = QStringLiteral("/usr/bin/pkexec");
    if (!QFileInfo(pkexec).isExecutable())
        pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (pkexec.isEmpty())
        pkexec = QStringLiteral("pkexec");
    return {pkexec, installedPath(), argument};
}

QString WakeAlarmHelper::meaning(int exitCode, bool throughPkexec) {
    if (throughPkexec && exitCode == NotAuthorised)
        return QStringLiteral("没有得到设置开机时间的授权（已取消或不允许）");
    if (throughPkexec && exitCode == AuthorisationFailed)
        return QStringLiteral("无法请求管理员授权");
    switch (exitCode) {
    case Succeeded:
        return {};
    case BadArgument:
        return QStringLiteral("开机时间不在允许的范围内（1 分钟以后、366 天以内）");
    case NoClock:
        return QStringLiteral("这台计算机没有可设置唤醒的硬件时钟");
    case Refused:
        return QStringLiteral("硬件时钟拒绝了开机时间");
    default:
        return QStringLiteral("设置开机时间的程序出错（退出码 %1）").arg(exitCode);
    }
}

bool WakeAlarmHelper::hasWakeAlarm(const QString &rtcClassDir) {
    const QDir dir(rtcClassDir);
    const QStringList clocks =
        dir.entryList({QStringLiteral("rtc*")}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString &clock : clocks)
        if (QFileInfo::exists(dir.filePath(clock + QStringLiteral("/wakealarm"))))
            return true;
    return false;
}

WakeAlarmHelper::WakeAlarmHelper(QObject *parent) : QObject(parent) {}

void WakeAlarmHelper::set(qint64 epochSeconds, Done done) {
    run(QString::number(epochSeconds), std::move(done));
}

void WakeAlarmHelper::clear(Done done) {
    run(QStringLiteral("clear"), std::move(done));
}

void WakeAlarmHelper::run(const QString &argument, Done done) {
    const bool asRoot = geteuid() == 0;
    const QStringList line = command(argument, asRoot, QCoreApplication::applicationDirPath());
    auto *process = new QProcess(this);
    auto *timeout = new QTimer(process);
    timeout->setSingleShot(true);
    // Whichever comes first answers; the rest find nothing left to do.
    auto answer = std::make_shared<Done>(std::move(done));
    const auto reply = [process, answer](bool ok, const QString &message) {
        if (*answer) {
            const Done once = std::exchange(*answer, nullptr);
            once({ok, message});
        }
        process->deleteLater();
    };
    connect(process, &QProcess::finished, this,
            [process, reply, asRoot](int code, QProcess::ExitStatus status) {
                const QString out = lastLine(process->readAllStandardOutput());
                const QString err = lastLine(process->readAllStandardError());
                if (status == QProcess::NormalExit && code == Succeeded) {
                    reply(true, out);
                    return;
                }
                QString why = status == QProcess::NormalExit
                                  ? meaning(code, !asRoot)
                                  : QStringLiteral("设置开机时间的程序意外结束");
                if (!err.isEmpty())
                    why += QStringLiteral("（%1）").arg(err);
                reply(false, why);
            });
    connect(process, &QProcess::errorOccurred, this,
            [process, reply, program = line.first()](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart)
                    reply(false,
                          QStringLiteral("无法运行 %1（%2）").arg(program, process->errorString()));
            });
    connect(timeout, &QTimer::timeout, this, [process, reply] {
        reply(false, QStringLiteral("设置开机时间没有在 %1 秒内完成").arg(TimeoutMs / 1000));
        process->kill();
    });
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    timeout->start(TimeoutMs);
    process->start(line.first(), line.mid(1));
}
