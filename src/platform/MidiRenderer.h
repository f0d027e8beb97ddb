#pragma once

#include <QByteArray>
#include <QString>

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
bool renderToWav(const QString &midiPath, const QString &wavPath, const QString &soundFont,
                 QString *error = nullptr);

} // namespace MidiRenderer
