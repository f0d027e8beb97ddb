#include "CampusSink.h"

#include "PulseConnection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <pulse/error.h>
#include <pulse/introspect.h>

#include <sys/stat.h>

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
// missing pipe itself, but it opens whatever is there: a regular file would be overwritten
// with sound for as long as the campus is on.
QString pipeProblem(const QString &pipe) {
    if (pipe.isEmpty() || !QDir::isAbsolutePath(pipe))
        return QStringLiteral("广播管道的路径必须是完整路径（以 / 开头）：%1").arg(pipe);
    for (const QChar c : pipe) {
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("广播管道的路径含有控制字符");
    }
    const QByteArray path = QFile::encodeName(pipe);
    struct stat link {};
    if (::lstat(path.constData(), &link) == 0) {
        struct stat target {};
        // A link is judged by what it points to; a dangling one cannot be opened either.
        if (::stat(path.constData(), &target) != 0 || !S_ISFIFO(target.st_mode))
            return QStringLiteral("广播管道的路径已被其他文件占用（不是管道文件）：%1").arg(pipe);
        return {};
    }
    if (!QFileInfo(QFileInfo(pipe).absolutePath()).isDir())
        return QStringLiteral("广播管道所在的文件夹不存在：%1").arg(QFileInfo(pipe).absolutePath());
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

bool CampusSink::load(const QString &pipe, QString *error) {
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (const QString problem = pipeProblem(pipe); !problem.isEmpty())
        return fail(problem);

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
