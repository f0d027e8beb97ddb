#pragma once

#include <QString>

// The PulseAudio sink the campus is played into: a module-pipe-sink writing the Snapcast
// server's pipe source (s16le, 48000 Hz, 2 channels). Loaded while the campus is on, unloaded
// when it is switched off or the program ends. Each call connects, acts and disconnects, and
// gives up after the timeout; callers keep it off the GUI thread.
class CampusSink {
public:
    static QString sinkName();   // "horalet_campus"
    static QString deviceName(); // the player's audio device: "pulse/horalet_campus"

    explicit CampusSink(int timeoutMs = 2000);
    ~CampusSink(); // unloads what it loaded

    // Loads the sink writing `pipe`. A sink of this name left by an earlier run (a crash) is
    // unloaded first. False with the reason in Chinese when the server refuses or is not there.
    bool load(const QString &pipe, QString *error = nullptr);
    void unload();
    bool isLoaded() const { return m_module != InvalidModule; }

private:
    static constexpr unsigned InvalidModule = 0xffffffffu;
    int m_timeoutMs;
    unsigned m_module = InvalidModule;
};
