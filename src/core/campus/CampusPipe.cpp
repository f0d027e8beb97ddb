#include "CampusPipe.h"

#include "tasktable/DisplayText.h"

#include <QDir>
#include <QStringList>

namespace CampusPipe {

namespace {

constexpr qsizetype kShownPath = 80;

bool isPipeSource(const CampusStream &stream) {
    return stream.scheme == QLatin1String("pipe") && !stream.path.isEmpty();
}

} // namespace

const CampusStream *readerOf(const CampusStreams &streams, const QString &pipe) {
    if (pipe.isEmpty())
        return nullptr;
    const QString wanted = QDir::cleanPath(pipe);
    for (const CampusStream &stream : streams)
        if (isPipeSource(stream) && QDir::cleanPath(stream.path) == wanted)
            return &stream;
    return nullptr;
}

QString notRead(const CampusStreams &streams, const QString &pipe) {
    if (readerOf(streams, pipe))
        return {};
    QStringList read;
    for (const CampusStream &stream : streams)
        if (isPipeSource(stream))
            read << DisplayText::shown(stream.path, kShownPath);
    read.removeDuplicates();
    const QString text =
        QStringLiteral("服务器没有读取管道 %1").arg(DisplayText::shown(pipe, kShownPath));
    if (read.isEmpty())
        return text + QStringLiteral("（服务器没有管道音源）");
    return text + QStringLiteral("（服务器读取的管道：%1）").arg(read.join(QStringLiteral("、")));
}

QString notPlaying(const CampusStreams &streams, const QString &pipe) {
    const CampusStream *reader = readerOf(streams, pipe);
    if (!reader)
        return notRead(streams, pipe);
    if (reader->status == QLatin1String("playing"))
        return {};
    return QStringLiteral("服务器的音频流“%1”没有收到声音（服务器没有读取管道 %2）")
        .arg(reader->id, DisplayText::shown(pipe, kShownPath));
}

} // namespace CampusPipe
