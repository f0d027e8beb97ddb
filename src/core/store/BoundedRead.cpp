#include "BoundedRead.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace BoundedRead {

namespace {

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

Kind kindOf(mode_t mode) {
    if (S_ISREG(mode))
        return Kind::Regular;
    if (S_ISDIR(mode))
        return Kind::Folder;
    if (S_ISLNK(mode))
        return Kind::Link;
    if (S_ISFIFO(mode))
        return Kind::Pipe;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return Kind::Device;
    if (S_ISSOCK(mode))
        return Kind::Socket;
    return Kind::Other;
}

// Why the entry is not read, or empty when it is a regular file within the bound.
QString refusal(const QString &path, Kind kind, qint64 size, qint64 maxBytes) {
    if (kind != Kind::Regular)
        return QStringLiteral("“%1”是%2，不是普通文件，未读取。").arg(path, kindName(kind));
    if (size > maxBytes)
        return QStringLiteral("文件“%1”太大（%2，最多 %3），未读取。")
            .arg(path, sizeText(size), sizeText(maxBytes));
    return {};
}

} // namespace

Entry inspect(const QString &path, bool followLinks) {
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    Entry entry;
    if ((followLinks ? ::stat(name.constData(), &info) : ::lstat(name.constData(), &info)) != 0) {
        entry.error = errno;
        return entry;
    }
    entry.kind = kindOf(info.st_mode);
    entry.size = info.st_size;
    return entry;
}

QString kindName(Kind kind) {
    switch (kind) {
    case Kind::Missing:
        return QStringLiteral("不存在的文件");
    case Kind::Regular:
        return QStringLiteral("普通文件");
    case Kind::Folder:
        return QStringLiteral("文件夹");
    case Kind::Link:
        return QStringLiteral("符号链接");
    case Kind::Pipe:
        return QStringLiteral("管道（FIFO）");
    case Kind::Device:
        return QStringLiteral("设备文件");
    case Kind::Socket:
        return QStringLiteral("套接字");
    case Kind::Other:
        break;
    }
    return QStringLiteral("特殊文件");
}

QString sizeText(qint64 bytes) {
    static const char *const units[] = {"字节", "KiB", "MiB", "GiB", "TiB"};
    double value = double(bytes);
    int unit = 0;
    while (value >= 1024 && unit < 4) {
        value /= 1024;
        ++unit;
    }
    const QString number = unit == 0 || value >= 100 || value == int(value)
                               ? QString::number(qint64(value + (unit ? 0.5 : 0)))
                               : QString::number(value, 'f', 1);
    return number + QLatin1Char(' ') + QString::fromUtf8(units[unit]);
}

std::optional<QByteArray> read(const QString &path, qint64 maxBytes, bool followLinks,
                               QString *why) {
    auto refuse = [why](const QString &text) -> std::optional<QByteArray> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    const Entry look = inspect(path, followLinks);
    if (look.error != 0)
        return refuse(QStringLiteral("无法读取文件“%1”：%2").arg(path, systemError(look.error)));
    if (const QString no = refusal(path, look.kind, look.size, maxBytes); !no.isEmpty())
        return refuse(no);

    // Non-blocking: a pipe put in the file's place since the look cannot hold the open.
    const QByteArray name = QFile::encodeName(path);
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW);
    const int fd = ::open(name.constData(), flags);
    if (fd < 0) {
        const int code = errno;
        if (code == ELOOP)
            return refuse(refusal(path, Kind::Link, 0, maxBytes));
        return refuse(QStringLiteral("无法读取文件“%1”：%2").arg(path, systemError(code)));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int code = errno;
        ::close(fd);
        return refuse(QStringLiteral("无法读取文件“%1”：%2").arg(path, systemError(code)));
    }
    if (const QString no = refusal(path, kindOf(info.st_mode), info.st_size, maxBytes);
        !no.isEmpty()) {
        ::close(fd);
        return refuse(no);
    }
    // A file that grows while it is read is read up to one byte past the bound and refused.
    QByteArray bytes;
    bytes.resize(qsizetype(std::min<qint64>(info.st_size, maxBytes) + 1));
    qint64 done = 0;
    for (;;) {
        if (done == bytes.size()) {
            if (done > maxBytes) {
                ::close(fd);
                return refuse(refusal(path, Kind::Regular, done, maxBytes));
            }
            bytes.resize(qsizetype(std::min<qint64>(maxBytes + 1, done * 2)));
        }
        const ssize_t n = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int code = errno;
            ::close(fd);
            return refuse(QStringLiteral("无法读取文件“%1”：%2").arg(path, systemError(code)));
        }
        if (n == 0)
            break;
        done += n;
    }
    ::close(fd);
    bytes.truncate(qsizetype(done));
    return bytes;
}

Stored readStored(const QString &path, QByteArray *bytes, QString *why, qint64 maxBytes) {
    const Entry look = inspect(path, true);
    if (look.error == ENOENT || look.error == ENOTDIR)
        return Stored::Missing;
    std::optional<QByteArray> read = BoundedRead::read(path, maxBytes, true, why);
    if (!read)
        return Stored::Refused;
    *bytes = std::move(*read);
    return Stored::Whole;
}

} // namespace BoundedRead
