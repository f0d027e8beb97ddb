#pragma once
// Media the tests write themselves: tones as 16-bit PCM WAV.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

#include <cmath>

inline QByteArray le32(quint32 v) {
    QByteArray b(4, '\0');
    qToLittleEndian<quint32>(v, b.data());
    return b;
}

inline QByteArray le16(quint16 v) {
    QByteArray b(2, '\0');
    qToLittleEndian<quint16>(v, b.data());
    return b;
}

// The bytes of a WAV file of a 440 Hz tone, 16-bit PCM (mono at 22050 Hz unless told).
inline QByteArray toneWav(double seconds, int rate = 22050, int channels = 1) {
    const int frames = int(seconds * rate);
    QByteArray pcm;
    pcm.reserve(frames * 2 * channels);
    for (int i = 0; i < frames; ++i) {
        const QByteArray sample = le16(quint16(qint16(8000 * std::sin(2 * M_PI * 440 * i / rate))));
        for (int c = 0; c < channels; ++c)
            pcm += sample;
    }
    const QByteArray wav = "RIFF" + le32(36 + pcm.size()) + "WAVEfmt " + le32(16) + le16(1) +
                           le16(channels) + le32(rate) + le32(rate * 2 * channels) +
                           le16(2 * channels) + le16(16) + "data" + le32(pcm.size());
    return wav + pcm;
}

// toneWav() into a file; false when it cannot be written.
inline bool writeTone(const QString &path, double seconds, int rate = 22050, int channels = 1) {
    const QByteArray bytes = toneWav(seconds, rate, channels);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
