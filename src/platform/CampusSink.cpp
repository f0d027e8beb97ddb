#include "CampusSink.h"

#include "PulseConnection.h"
#include "tasktable/DisplayText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <pulse/error.h>
#include <pulse/introspect.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kNoServer = QStringLiteral("无法连接声音服务器（PulseAudio）");

// The value of a module argument in double quotes: the server's parser takes a backslash as
// an escape there, so a path with blanks or quotes arrives as it was written.
QByteArray quoted(const QString &value) {
    QByteArray out = "\"";
    for (const char c : value.toUtf8()) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// Why the module must not be pointed at this path; empty when it may. The module creates a
// missing pipe itself (open to every account), and it opens whatever is there: a regular
// file would be overwritten with sound for as long as the campus is on.
QString pathProblem(const QString &pipe) {
    if (pipe.isEmpty() || !QDir::isAbsolutePath(pipe))
        return QStringLiteral("广播管道的路径必须是完整路径（以 / 开头）：%1").arg(pipe);
    for (const QChar c : pipe) {
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("广播管道的路径含有控制字符");
    }
    return {};
}

QString modeText(mode_t mode) {
    return QStringLiteral("0%1").arg(mode & 07777, 3, 8, QLatin1Char('0'));
}

QString userName(uid_t uid) {
    if (const passwd *user = ::getpwuid(uid))
        return QString::fromLocal8Bit(user->pw_name);
    return QString::number(uid);
}

QString groupName(gid_t gid) {
    if (const group *g = ::getgrgid(gid))
        return QString::fromLocal8Bit(g->gr_name);
    return QString::number(gid);
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Whether a pipe as it stands may carry the bells: ours, and open to no other account but
// the named group's. A pipe another account may open lets it swallow a bell or speak to every
// room; one it already has open would stay so whatever its mode is made now, so it is refused,
// not mended.
QString fifoProblem(const QString &pipe, const struct stat &st, std::optional<gid_t> group) {
    const QString shown = DisplayText::shown(pipe, 80);
    if (!S_ISFIFO(st.st_mode))
        return QStringLiteral("广播管道的路径已被其他文件占用（不是管道文件）：%1").arg(pipe);
    const QString advice = QStringLiteral("请删除它，再让本程序重新建立（见帮助）");
    if (st.st_uid != ::geteuid())
        return QStringLiteral("广播管道 %1 属于其他用户（%2），可能被他人读写，已拒绝使用；%3")
            .arg(shown, userName(st.st_uid), advice);
    if (st.st_mode & S_IRWXO)
        return QStringLiteral("广播管道 %1 允许所有用户读写（权限 %2），已拒绝使用；%3")
            .arg(shown, modeText(st.st_mode), advice);
    if ((st.st_mode & S_IRWXG) && (!group || st.st_gid != *group))
        return QStringLiteral("广播管道 %1 允许用户组“%2”读写（权限 %3），已拒绝使用；%4")
            .arg(shown, groupName(st.st_gid), modeText(st.st_mode), advice);
    return {};
}

struct OwnerQuery {
    bool done = false;
    bool found = false;
    uint32_t module = PA_INVALID_INDEX;
};

void onSinkOwner(pa_context *, const pa_sink_info *info, int eol, void *data) {
    auto *query = static_cast<OwnerQuery *>(data);
    if (info) {
        query->found = true;
        query->module = info->owner_module;
    }
    if (eol != 0)
        query->done = true;
}

struct IndexReply {
    bool done = false;
    uint32_t index = PA_INVALID_INDEX;
};

void onIndex(pa_context *, uint32_t index, void *data) {
    auto *reply = static_cast<IndexReply *>(data);
    reply->index = index;
    reply->done = true;
}

struct SuccessReply {
    bool done = false;
    bool ok = false;
};

void onSuccess(pa_context *, int success, void *data) {
    auto *reply = static_cast<SuccessReply *>(data);
    reply->ok = success != 0;
    reply->done = true;
}

bool unloadModule(PulseConnection &connection, uint32_t module) {
    SuccessReply reply;
    return connection.wait(
               pa_context_unload_module(connection.context(), module, onSuccess, &reply),
               [&] { return reply.done; }) &&
           reply.ok;
}

QString serverError(PulseConnection &connection) {
    return QString::fromUtf8(pa_strerror(pa_context_errno(connection.context())));
}

} // namespace

QString CampusSink::preparePipe(const QString &pipe, const QString &groupText) {
    if (const QString problem = pathProblem(pipe); !problem.isEmpty())
        return problem;
    std::optional<gid_t> group;
    if (!groupText.isEmpty()) {
        const struct group *g = ::getgrnam(groupText.toLocal8Bit().constData());
        if (!g)
            return QStringLiteral("管道用户组“%1”不存在").arg(groupText);
        group = g->gr_gid;
    }
    const QString folder = QFileInfo(pipe).absolutePath();
    struct stat dir {};
    if (::stat(QFile::encodeName(folder).constData(), &dir) != 0 || !S_ISDIR(dir.st_mode))
        return QStringLiteral("广播管道所在的文件夹不存在：%1").arg(folder);
    // Anyone could put a pipe of their own in its place (a folder like /tmp keeps others'
    // hands off what is ours by its sticky bit).
    if ((dir.st_mode & S_IWOTH) && !(dir.st_mode & S_ISVTX))
        return QStringLiteral(
                   "广播管道所在的文件夹 %1 任何用户都可改动，管道可能被替换，已拒绝使用")
            .arg(folder);

    const QByteArray path = QFile::encodeName(pipe);
    struct stat link {};
    if (::lstat(path.constData(), &link) != 0) {
        if (errno != ENOENT)
            return QStringLiteral("无法读取广播管道 %1：%2").arg(pipe, systemError());
        // Made here, never by the module: it would make it open to every account.
        if (::mkfifo(path.constData(), 0600) != 0 && errno != EEXIST)
            return QStringLiteral("无法建立广播管道 %1：%2").arg(pipe, systemError());
        if (group) {
            if (::chown(path.constData(), static_cast<uid_t>(-1), *group) != 0)
                return QStringLiteral(
                           "无法把广播管道 %1 交给用户组“%2”：%3（本程序的用户须属于该组）")
                    .arg(pipe, groupText, systemError());
            ::chmod(path.constData(), 0660);
        }
        if (::lstat(path.constData(), &link) != 0)
            return QStringLiteral("无法建立广播管道 %1：%2").arg(pipe, systemError());
    }
    struct stat target = link;
    if (S_ISLNK(link.st_mode)) {
        // A link is judged by what it points to, and only when it is ours or the system's.
        if (link.st_uid != ::geteuid() && link.st_uid != 0)
            return QStringLiteral("广播管道 %1 是其他用户（%2）建立的链接，已拒绝使用")
                .arg(pipe, userName(link.st_uid));
        if (::stat(path.constData(), &target) != 0)
            return QStringLiteral("广播管道的路径已被其他文件占用（不是管道文件）：%1").arg(pipe);
    }
    return fifoProblem(pipe, target, group);
}

QString CampusSink::writeTestSignal(const QString &pipe, const QString &group, bool write) {
    if (const QString problem = preparePipe(pipe, group); !problem.isEmpty() || !write)
        return problem;
    // Opened for reading too, as the module opens it: no wait for a reader, and a server that
    // is reading between two of its reads is not taken for one that reads nothing.
    const int fd = ::open(QFile::encodeName(pipe).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("无法打开广播管道 %1：%2").arg(pipe, systemError());
    struct stat opened {};
    // What was opened is what was judged, not something put in its place meanwhile.
    if (::fstat(fd, &opened) != 0 || !S_ISFIFO(opened.st_mode) || opened.st_uid != ::geteuid()) {
        ::close(fd);
        return QStringLiteral("广播管道 %1 在检查后被替换，已拒绝使用").arg(pipe);
    }
    // s16le stereo at 48 kHz, ±4 of 32767 (about -78 dB): enough for the server to see sound,
    // too little for anyone to hear it. Pieces of PIPE_BUF bytes are written whole, so they
    // never split a frame of the sink's own sound should it write meanwhile.
    constexpr int Frames = 48000 / 2;
    constexpr qsizetype Piece = PIPE_BUF;
    QByteArray pcm(Frames * 4, Qt::Uninitialized);
    for (int i = 0; i < Frames; ++i) {
        const qint16 sample = (i / 24) % 2 ? 4 : -4; // 1 kHz
        for (int c = 0; c < 2; ++c) {
            pcm[i * 4 + c * 2] = static_cast<char>(sample & 0xff);
            pcm[i * 4 + c * 2 + 1] = static_cast<char>((sample >> 8) & 0xff);
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    qsizetype written = 0;
    while (written < pcm.size()) {
        const ssize_t n =
            ::write(fd, pcm.constData() + written, std::min(Piece, pcm.size() - written));
        if (n > 0) {
            written += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            const QString error = systemError();
            ::close(fd);
            return QStringLiteral("无法写入广播管道 %1：%2").arg(pipe, error);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd out{fd, POLLOUT, 0};
        ::poll(&out, 1, static_cast<int>(left.count()));
    }
    ::close(fd);
    if (written == 0)
        return QStringLiteral("服务器没有读取管道 %1（管道已满，没有程序从中读取）")
            .arg(DisplayText::shown(pipe, 80));
    return {};
}

QString CampusSink::sinkName() {
    return QStringLiteral("horalet_campus");
}

QString CampusSink::deviceName() {
    return QStringLiteral("pulse/") + sinkName();
}

CampusSink::CampusSink(int timeoutMs) : m_timeoutMs(timeoutMs) {}

CampusSink::~CampusSink() {
    unload();
}

bool CampusSink::load(const QString &pipe, const QString &group, QString *error) {
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (const QString problem = preparePipe(pipe, group); !problem.isEmpty())
        return fail(problem);
    // Held open until the module holds it: a server that opened the pipe meanwhile and found
    // no writer would take it as ended, and wait a good while before it reads again.
    const int holder = ::open(QFile::encodeName(pipe).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    const auto release = qScopeGuard([holder] {
        if (holder >= 0)
            ::close(holder);
    });

    PulseConnection connection(m_timeoutMs);
    if (!connection.open())
        return fail(kNoServer);

    // Ours from before (a crash, or a load without an unload) would keep the name taken.
    const QByteArray name = sinkName().toUtf8();
    const auto owner = [&](OwnerQuery *query) {
        return connection.wait(pa_context_get_sink_info_by_name(
                                   connection.context(), name.constData(), onSinkOwner, query),
                               [&] { return query->done; });
    };
    OwnerQuery stale;
    if (!owner(&stale))
        return fail(kNoServer);
    m_module = InvalidModule;
    if (stale.found) {
        if (stale.module == PA_INVALID_INDEX || !unloadModule(connection, stale.module))
            return fail(QStringLiteral("声音服务器上已有同名的输出 %1，无法卸下").arg(sinkName()));
        // The server frees the unloaded sink a moment after it answers; a sink made before
        // that would get another name ("….2"), which no item and no volume would reach.
        for (;;) {
            OwnerQuery left;
            if (!owner(&left))
                return fail(kNoServer);
            if (!left.found)
                break;
            if (!connection.pause(10))
                return fail(QStringLiteral("声音服务器上同名的输出 %1 没有卸下").arg(sinkName()));
        }
    }

    // Timed by the clock, not by the reader: with no one reading the pipe (the campus server
    // stopped, or reading another path) the sound is dropped instead of holding every item
    // played into the sink forever.
    const QByteArray arguments =
        "file=" + quoted(pipe) + " sink_name=" + name +
        " format=s16le rate=48000 channels=2 use_system_clock_for_timing=yes"
        " sink_properties='device.description=\"Horalet 校园广播\"'";
    IndexReply loaded;
    if (!connection.wait(pa_context_load_module(connection.context(), "module-pipe-sink",
                                                arguments.constData(), onIndex, &loaded),
                         [&] { return loaded.done; }))
        return fail(kNoServer);
    if (loaded.index == PA_INVALID_INDEX)
        return fail(QStringLiteral("声音服务器未能建立校园广播的输出（module-pipe-sink，%1）：%2")
                        .arg(pipe, serverError(connection)));
    // Under its own name, or it is of no use (the name taken meanwhile by another program).
    OwnerQuery made;
    if (!owner(&made) || !made.found || made.module != loaded.index) {
        unloadModule(connection, loaded.index);
        return fail(QStringLiteral("声音服务器上的输出名称 %1 已被占用").arg(sinkName()));
    }
    m_module = loaded.index;
    return true;
}

void CampusSink::unload() {
    if (m_module == InvalidModule)
        return;
    const uint32_t module = m_module;
    // Whether or not the server answers, the module is no longer ours to unload: a server that
    // went away took it along, and a later load removes one left by name.
    m_module = InvalidModule;
    PulseConnection connection(m_timeoutMs);
    if (connection.open())
        unloadModule(connection, module);
}
