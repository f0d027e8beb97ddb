#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>

// libmpv cannot decode MIDI, so MIDI items are rendered with FluidSynth to a WAV file first.
namespace MidiRenderer {

// True for local .mid, .midi and .rmi files (by name, case-insensitive).
bool isMidiLocation(const QString &location);

// The General MIDI sound font to use: HORALET_SOUNDFONT, else the first one Debian installs.
// Empty when there is none.
QString findSoundFont();

// The standard MIDI data of a file: the file itself, or the "data" chunk of a RIFF RMID file.
// Empty when the bytes are neither.
QByteArray midiData(const QByteArray &fileBytes);

// Renders a MIDI file to 16-bit stereo WAV at wavPath. On failure returns false and says why.
// Safe on any thread; a set cancel flag stops it (it then returns false).
bool renderToWav(const QString &midiPath, const QString &wavPath, const QString &soundFont,
                 QString *error = nullptr, const std::atomic_bool *cancel = nullptr);

} // namespace MidiRenderer
