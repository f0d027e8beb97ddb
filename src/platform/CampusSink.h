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

    // The pipe made ready for use: made where it is missing (0600, or 0660 for `group`), and
    // refused when another account could read or write it (another owner, open to others or
    // to a group not named, in a folder anyone may change). Empty when it may be used, else
    // why not, in the interface's words.
    static QString preparePipe(const QString &pipe, const QString &group);
    // 连接测试's signal: half a second far below hearing, written into the prepared pipe in
    // whole frames. Empty when written; else why not ("服务器没有读取管道 …" when the pipe
    // stays full). Waits at most about 1.5 s.
    // With `write` false the pipe is only prepared (连接测试 while sound plays).
    static QString writeTestSignal(const QString &pipe, const QString &group, bool write = true);

    // Loads the sink writing `pipe`, prepared first. A sink of this name left by an earlier
    // run (a crash) is unloaded first. False with the reason in Chinese when the pipe is
    // refused, or the server refuses or is not there.
    bool load(const QString &pipe, const QString &group, QString *error = nullptr);
    void unload();
    bool isLoaded() const { return m_module != InvalidModule; }

private:
    static constexpr unsigned InvalidModule = 0xffffffffu;
    int m_timeoutMs;
    unsigned m_module = InvalidModule;
};
