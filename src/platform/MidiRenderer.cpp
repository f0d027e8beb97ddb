#include "MidiRenderer.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <fluidsynth.h>

#include <memory>
#include <vector>

namespace MidiRenderer {

namespace {

constexpr int kSampleRate = 44100;
constexpr int kChannels = 2;
constexpr int kBlockFrames = 4096;
// Notes ring on after the last event; without a tail the file ends in a click.
constexpr int kTailFrames = kSampleRate;
// A broken or looping file must not fill the disk (30 minutes are about 320 MB).
constexpr qint64 kMaxFrames = qint64(kSampleRate) * 60 * 30;

struct FluidDeleter {
    void operator()(fluid_settings_t *p) const { delete_fluid_settings(p); }
    void operator()(fluid_synth_t *p) const { delete_fluid_synth(p); }
    void operator()(fluid_player_t *p) const { delete_fluid_player(p); }
};
template <class T> using FluidPtr = std::unique_ptr<T, FluidDeleter>;

quint32 readLe32(const char *p) {
    return qFromLittleEndian<quint32>(p);
}

QByteArray wavHeader(qint64 frames) {
    const quint32 dataBytes = quint32(frames * kChannels * 2);
    QByteArray h(44, '\0');
    char *p = h.data();
    auto put32 = [](char *at, quint32 v) { qToLittleEndian<quint32>(v, at); };
    auto put16 = [](char *at, quint16 v) { qToLittleEndian<quint16>(v, at); };
    memcpy(p, "RIFF", 4);
    put32(p + 4, 36 + dataBytes);
    memcpy(p + 8, "WAVEfmt ", 8);
    put32(p + 16, 16);
    put16(p + 20, 1); // PCM
    put16(p + 22, kChannels);
    put32(p + 24, kSampleRate);
    put32(p + 28, kSampleRate * kChannels * 2);
    put16(p + 32, kChannels * 2);
    put16(p + 34, 16);
    memcpy(p + 36, "data", 4);
    put32(p + 40, dataBytes);
    return h;
}

void quietFluidSynth() {
    // Failures come back as results; FluidSynth's own chatter stays off the terminal.
    [[maybe_unused]] static const bool done = [] {
        fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
        fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
        fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
        return true;
    }();
}

bool fail(QString *error, const QString &text) {
    if (error)
        *error = text;
    return false;
}

} // namespace

bool isMidiLocation(const QString &location) {
    if (location.contains(QLatin1String("://")))
        return false;
    const QString suffix = QFileInfo(location).suffix().toLower();
    return suffix == QLatin1String("mid") || suffix == QLatin1String("midi") ||
           suffix == QLatin1String("rmi");
}

QString findSoundFont() {
    const QString fromEnv = qEnvironmentVariable("HORALET_SOUNDFONT");
    if (!fromEnv.isEmpty())
        return QFileInfo::exists(fromEnv) ? fromEnv : QString();
    for (const char *path :
         {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/default-GM.sf2",
          "/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/soundfonts/default.sf2"}) {
        if (QFileInfo::exists(QString::fromLatin1(path)))
            return QString::fromLatin1(path);
    }
    return {};
}

QByteArray midiData(const QByteArray &bytes) {
    if (bytes.startsWith("MThd"))
        return bytes;
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "RMID")
        return {};
    // RIFF chunks: 4-byte id, 32-bit little-endian size, data padded to an even length.
    const qint64 end = qMin<qint64>(bytes.size(), 8 + qint64(readLe32(bytes.constData() + 4)));
    qint64 at = 12;
    while (at + 8 <= end) {
        const qint64 size = readLe32(bytes.constData() + at + 4);
        if (bytes.mid(at, 4) == "data") {
            if (at + 8 + size > bytes.size())
                return {};
            QByteArray data = bytes.mid(at + 8, size);
            return data.startsWith("MThd") ? data : QByteArray();
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

bool renderToWav(const QString &midiPath, const QString &wavPath, const QString &soundFont,
                 QString *error, const std::atomic_bool *cancel) {
    QFile in(midiPath);
    if (!in.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("cannot read %1").arg(midiPath));
    const QByteArray midi = midiData(in.readAll());
    if (midi.isEmpty())
        return fail(error, QStringLiteral("%1 holds no MIDI data").arg(midiPath));
    if (soundFont.isEmpty())
        return fail(error, QStringLiteral("no General MIDI sound font installed"));

    quietFluidSynth();
    FluidPtr<fluid_settings_t> settings(new_fluid_settings());
    if (!settings)
        return fail(error, QStringLiteral("FluidSynth failed to start"));
    fluid_settings_setnum(settings.get(), "synth.sample-rate", kSampleRate);
    fluid_settings_setstr(settings.get(), "player.timing-source", "sample");
    fluid_settings_setint(settings.get(), "synth.lock-memory", 0);
    FluidPtr<fluid_synth_t> synth(new_fluid_synth(settings.get()));
    if (!synth)
        return fail(error, QStringLiteral("FluidSynth failed to start"));
    if (fluid_synth_sfload(synth.get(), QFile::encodeName(soundFont).constData(), 1) ==
        FLUID_FAILED)
        return fail(error, QStringLiteral("cannot load sound font %1").arg(soundFont));
    FluidPtr<fluid_player_t> player(new_fluid_player(synth.get()));
    if (!player || fluid_player_add_mem(player.get(), midi.constData(), midi.size()) != FLUID_OK ||
        fluid_player_play(player.get()) != FLUID_OK)
        return fail(error, QStringLiteral("%1 cannot be played").arg(midiPath));

    QFile out(wavPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(error, QStringLiteral("cannot write %1").arg(wavPath));
    out.write(wavHeader(0));

    std::vector<qint16> block(kBlockFrames * kChannels);
    qint64 frames = 0;
    int tail = kTailFrames;
    while (tail > 0 && frames < kMaxFrames) {
        if (cancel && cancel->load())
            return fail(error, QStringLiteral("cancelled"));
        // The player idles on for seconds after the last event; the music ends at the last tick.
        const int total = fluid_player_get_total_ticks(player.get());
        if (fluid_player_get_status(player.get()) != FLUID_PLAYER_PLAYING ||
            (total > 0 && fluid_player_get_current_tick(player.get()) >= total))
            tail -= kBlockFrames;
        if (fluid_synth_write_s16(synth.get(), kBlockFrames, block.data(), 0, kChannels,
                                  block.data(), 1, kChannels) != FLUID_OK)
            return fail(error, QStringLiteral("%1 cannot be rendered").arg(midiPath));
        const qint64 bytes = qint64(block.size() * sizeof(qint16));
        if (out.write(reinterpret_cast<const char *>(block.data()), bytes) != bytes)
            return fail(error, QStringLiteral("cannot write %1").arg(wavPath));
        frames += kBlockFrames;
    }
    fluid_player_stop(player.get());
    if (!out.seek(0) || out.write(wavHeader(frames)) != 44 || !out.flush())
        return fail(error, QStringLiteral("cannot write %1").arg(wavPath));
    return true;
}

} // namespace MidiRenderer
