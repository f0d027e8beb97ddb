#pragma once

#include "campus/CampusConfig.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <memory>
#include <optional>

class CampusControl;
class CampusOutput;
class CampusSink;
class MasterVolume;
class MediaPlayer;
class MpvPlayer;
class PlayLogRecorder;
class PlaylistDriver;
class QTemporaryDir;

// The campus head-end in the running program: the PulseAudio sink that
// feeds the Snapcast server, the control connection, and the output every task plays
// through. The sink is loaded and unloaded on a worker, in order, so the form never waits
// for the sound server.
class CampusLink : public QObject {
    Q_OBJECT
public:
    CampusLink(MediaPlayer &player, MasterVolume &localVolume, QObject *parent = nullptr);
    // Unloads the sink (bounded by the sound server's time limit).
    ~CampusLink() override;

    // What the playlist driver plays through: the rooms of the task's zones, or this machine.
    MasterVolume &output();
    CampusOutput &campusOutput() { return *m_output; }
    CampusControl &control() { return *m_control; }

    // Follows the settings as stored: the sink loaded or unloaded, the server connected or
    // let go, the zones for the next start. The sink is loaded once the server is seen
    // reading its pipe, so no pipe is made where no server reads.
    void apply(const CampusConfig &config);
    // Each started task is routed; the log gets where it was heard.
    void watch(PlaylistDriver &playback, PlayLogRecorder &log);
    // A short tone to the given rooms (the others muted), unless a task plays.
    void audition(const QStringList &rooms);

    // The campus connection for the status bar; empty while the campus is off.
    QString stateText() const;

signals:
    // For the status line.
    void notice(const QString &text);
    void stateChanged(const QString &text);
    // The volume acts on another output ("本机", "校园广播").
    void outputChanged(const QString &name);
    // The level of the output in use was changed (by anyone).
    void outputVolumeChanged();

private:
    void applySink(bool enabled);
    // Loads or unloads the sink as the server's sources say whether it reads the pipe; a
    // server that does not is the reason its tasks play here.
    void followServerPipe();
    QString toneFile();
    void playTone(const QString &tone);

    std::unique_ptr<CampusSink> m_sink; // used on m_worker only
    std::unique_ptr<MasterVolume> m_sinkVolume;
    CampusControl *m_control = nullptr;
    CampusOutput *m_output = nullptr;
    PlaylistDriver *m_playback = nullptr;
    MpvPlayer *m_tonePlayer = nullptr;
    std::unique_ptr<QTemporaryDir> m_toneDir;
    QThreadPool m_worker;
    quint64 m_sinkSerial = 0;
    quint64 m_applySerial = 0;
    std::optional<CampusConfig::Server> m_applied; // what the connection and the sink follow
    // Why the server does not read the pipe (empty: it does); unknown until a status is read.
    std::optional<QString> m_pipeNotRead;
};
