#include "KeptOriginals.h"

#include "BoundedRead.h"
#include "ProfileStore.h"
#include "program/SystemErrors.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace KeptOriginals {

namespace {

QMutex checkedLock;
// Files already looked at in this run: after the first rewrite they hold what we wrote.
QSet<QString> checked;

QString systemError(int code) {
    return SystemErrors::text(code);
}

// A new file that is never an existing one, so a copy made earlier is never overwritten.
bool writeCopy(const QString &path, const QByteArray &bytes, QString *copyPath, QString *error) {
    struct stat info {};
    const mode_t mode =
        ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0644;
    const QString base = QFileInfo(path).absolutePath() + u'/' +
                         copyName(QFileInfo(path).fileName(), QDateTime::currentDateTime());
    for (int attempt = 1; attempt < 100; ++attempt) {
        const QString candidate = attempt == 1 ? base : base + QStringLiteral("-%1").arg(attempt);
        const QByteArray name = QFile::encodeName(candidate);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            *error = systemError(errno);
            return false;
        }
        const char *data = bytes.constData();
        qsizetype left = bytes.size();
        int code = 0;
        while (left > 0) {
            const ssize_t n = ::write(fd, data, size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                code = n < 0 ? errno : EIO;
                break;
            }
            data += n;
            left -= n;
        }
        if (!code && ::fsync(fd) != 0)
            code = errno;
        if (::close(fd) != 0 && !code)
            code = errno;
        if (code) {
            *error = systemError(code);
            ::unlink(name.constData());
            return false;
        }
        *copyPath = candidate;
        return true;
    }
    *error = QStringLiteral("同名副本过多");
    return false;
}

} // namespace

QByteArray profileRewrite(const QByteArray &stored) {
    return ProfileFile::fromBytes(stored).toBytes();
}

QString copyName(const QString &fileName, const QDateTime &when) {
    return fileName + QStringLiteral(".bak-") + when.toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

QString message(const QString &path, const QString &copyPath) {
    return QStringLiteral("“%1”中有程序无法原样保存的内容，改写前已将原文件另存为“%2”。")
        .arg(QFileInfo(path).fileName(), copyPath);
}

Notices &Notices::instance() {
    static Notices notices;
    return notices;
}

StoreResult beforeRewrite(const QString &path, const SameContent &sameContent) {
    const QString key = QFileInfo(path).absoluteFilePath();
    {
        QMutexLocker locker(&checkedLock);
        if (checked.contains(key))
            return StoreResult::success();
    }
    QByteArray stored;
    QString error;
    const BoundedRead::Stored read = BoundedRead::readStored(path, &stored, &error);
    if (read == BoundedRead::Stored::Refused)
        return StoreResult::failure(error + QStringLiteral("\n文件保持原样，更改未保存。"));
    QString copyPath;
    // Line ends are the one thing every rewrite may change without losing anything.
    if (read == BoundedRead::Stored::Whole && profileRewrite(stored) != sameContent(stored)) {
        if (!writeCopy(path, stored, &copyPath, &error))
            return StoreResult::failure(
                QStringLiteral("无法保存文件“%1”的原样副本：%2\n文件保持原样，更改未保存。")
                    .arg(path, error));
    }
    {
        QMutexLocker locker(&checkedLock);
        checked.insert(key);
    }
    if (!copyPath.isEmpty())
        emit Notices::instance().kept(path, copyPath);
    return StoreResult::success();
}

} // namespace KeptOriginals
