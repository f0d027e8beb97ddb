#include "StoreDirectory.h"

#include "program/SystemErrors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QMutex>
#include <QStandardPaths>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

struct ReadOnlyMarks {
    QMutex mutex;
    QHash<QString, QString> reasons; // clean absolute directory -> reason
};

ReadOnlyMarks &readOnlyMarks() {
    static ReadOnlyMarks marks;
    return marks;
}

QString cleanDirectory(const QString &directory) {
    return QDir::cleanPath(QDir(directory).absolutePath());
}

QString errorText(int code) {
    switch (code) {
    case EACCES:
    case EPERM:
        return QStringLiteral("没有写入权限");
    case EROFS:
        return QStringLiteral("所在的文件系统是只读的");
    case ENOSPC:
        return QStringLiteral("磁盘已满");
    case EDQUOT:
        return QStringLiteral("已超出磁盘配额");
    default:
        return SystemErrors::text(code);
    }
}

QString notWritable(const QString &directory, const QString &why) {
    return QStringLiteral("数据目录不可写：%1（%2）").arg(QDir::toNativeSeparators(directory), why);
}

} // namespace

namespace StoreDirectory {

QString resolve(QString *error) {
    QString directory = qEnvironmentVariable("HORALET_STORE_DIR");
    if (directory.isEmpty()) {
        const QString beside = QCoreApplication::applicationDirPath();
        if (!beside.isEmpty() &&
            QFileInfo::exists(QDir(beside).filePath(QStringLiteral("portable"))))
            directory = beside;
    }
    if (directory.isEmpty()) {
        QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
        if (dataHome.isEmpty() || QDir::isRelativePath(dataHome))
            dataHome = QDir::homePath() + QStringLiteral("/.local/share");
        directory = dataHome + QStringLiteral("/horalet");
    }
    directory = QDir(directory).absolutePath();
    if (!QDir().mkpath(directory)) {
        if (error)
            *error = QStringLiteral("无法创建目录“%1”。").arg(directory);
        return {};
    }
    return directory;
}

QString filePath(const QString &directory, const QString &fileName) {
    return directory + QLatin1Char('/') + fileName;
}

void markReadOnly(const QString &directory, const QString &reason) {
    ReadOnlyMarks &marks = readOnlyMarks();
    const QMutexLocker lock(&marks.mutex);
    if (reason.isEmpty())
        marks.reasons.remove(cleanDirectory(directory));
    else
        marks.reasons.insert(cleanDirectory(directory), reason);
}

QString readOnlyReason(const QString &directory) {
    ReadOnlyMarks &marks = readOnlyMarks();
    const QMutexLocker lock(&marks.mutex);
    if (marks.reasons.isEmpty())
        return {};
    return marks.reasons.value(cleanDirectory(directory));
}

QString probeWritable(const QString &directory) {
    QByteArray probe = QFile::encodeName(cleanDirectory(directory)) + "/.horalet-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return notWritable(directory, errorText(errno));
    // Creating a name may still work on a full disk; a byte that reaches the disk will not.
    const bool written = ::write(fd, "x", 1) == 1 && ::fsync(fd) == 0;
    const int code = errno;
    ::close(fd);
    ::unlink(probe.constData());
    return written ? QString() : notWritable(directory, errorText(code));
}

} // namespace StoreDirectory

struct InstanceLock::Impl {
    QLockFile file;
    explicit Impl(const QString &path) : file(path) {}
};

InstanceLock::InstanceLock(const QString &directory)
    : m_directory(directory),
      m_path(StoreDirectory::filePath(directory, QStringLiteral(".horalet.lock"))) {}

InstanceLock::~InstanceLock() {
    delete m_impl;
}

InstanceLock::Outcome InstanceLock::tryAcquire() {
    m_failure.clear();
    if (!m_impl)
        m_impl = new Impl(m_path);
    // A lock left by a crashed process is taken over (QLockFile checks the holder's pid).
    m_impl->file.setStaleLockTime(0);
    if (m_impl->file.tryLock(0))
        return Outcome::Acquired;
    if (m_impl->file.error() == QLockFile::LockFailedError) {
        // Held, unless its holder on this machine is gone and the lock could not be taken
        // over because the directory cannot be written: that is no running instance.
        qint64 pid = 0;
        QString host, application;
        const bool dead = m_impl->file.getLockInfo(&pid, &host, &application) && pid > 0 &&
                          (host.isEmpty() || host == QSysInfo::machineHostName()) &&
                          ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
        if (!dead)
            return Outcome::HeldByOther;
        m_failure = StoreDirectory::probeWritable(m_directory);
        return m_failure.isEmpty() ? Outcome::HeldByOther : Outcome::NotWritable;
    }
    m_failure = StoreDirectory::probeWritable(m_directory);
    if (m_failure.isEmpty())
        m_failure = notWritable(
            m_directory, QStringLiteral("无法创建锁文件 %1").arg(QFileInfo(m_path).fileName()));
    return Outcome::NotWritable;
}
