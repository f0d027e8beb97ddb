#include "MediaProbe.h"

#include "MidiRenderer.h"

#include <QFile>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace MediaProbe {

QString probe(const QString &path) {
    if (MidiRenderer::isMidiLocation(path)) {
        // MIDI is rendered by the synthesiser, not opened by FFmpeg: its header tells.
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("文件无法读取");
        return file.read(4) == "MThd" ? QString() : QStringLiteral("不是 MIDI 文件");
    }
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)quiet;
    AVFormatContext *context = nullptr;
    const QByteArray name = QFile::encodeName(path);
    if (avformat_open_input(&context, name.constData(), nullptr, nullptr) < 0)
        return QStringLiteral("无法作为音频或视频打开");
    QString reason;
    if (avformat_find_stream_info(context, nullptr) < 0)
        reason = QStringLiteral("无法读取媒体信息");
    else if (av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) < 0 &&
             av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) < 0)
        reason = QStringLiteral("没有声音或图像");
    avformat_close_input(&context);
    return reason;
}

} // namespace MediaProbe
