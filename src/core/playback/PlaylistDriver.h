#pragma once

#include "PlaybackState.h"
#include "store/PlayTask.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>
#include <random>

class MediaPlayer;
class MasterVolume;

enum class PlayMode { Sequential, Loop, Random };

// Turns a started task into items handed one at a time to the player. The working list is
// rotated by the sequential and loop modes, so its first entry is their next item; the
// play mode is read live at every step, so a change takes effect from the next item.
class PlaylistDriver : public QObject {
    Q_OBJECT
public:
    using PlaylistSource = std::function<TaskPlaylist(const QString &taskName)>;
    using StepGate = std::function<bool()>;

    static constexpr int StepIntervalMs = 3000;

    PlaylistDriver(MediaPlayer &player, MasterVolume &volume, PlaylistSource source,
                   QObject *parent = nullptr);

    // The start of a due task: record it, load its list, and step from three seconds on.
    void StartTask(const PlayTask &task);
    void StartTaskPlayback(const QString &name, const QString &playMode);
    void PlaylistStep();
    void StartItem(const QString &item);
    void StopPlayback();
    // The task being played was renamed: it plays on under the new name.
    void renameTask(const QString &name);
    // The step timer again after StopPlayback(), when the task it stepped is to go on.
    void resumeStepping() { m_stepTimer.start(); }
    // What the step timer runs: the step, unless the gate closes the day.
    void stepIfDayOpen();
    // The player reports that its item ended (or failed): a sequential pass waiting for its
    // last item ends at this moment rather than at the next step.
    void playerWentIdle();

    // The step timer asks the gate first, like every pass of the scheduler.
    void setStepGate(StepGate gate) { m_gate = std::move(gate); }
    void setRandomSeed(std::uint32_t seed) { m_random.seed(seed); }

    PlayMode playMode() const { return m_mode; }
    void setPlayMode(PlayMode mode);
    const QStringList &items() const { return m_items; }
    int selectedRow() const { return m_selected; }
    const PlaybackState &state() const { return m_state; }
    bool isStepping() const { return m_stepTimer.isActive(); }
    // A started task is still being played: not stopped, replaced or through its pass.
    bool isTaskActive() const { return m_taskActive; }
    // An item has been started and waits for the mixer before it opens.
    bool isItemWaiting() const { return m_itemWaiting; }

    static int volumeOf(const QString &typeText);

signals:
    void taskStarted(const QString &name);
    // The task started last is over: stopped, or through its pass.
    void taskEnded();
    void listChanged(const QStringList &items);
    void selectionChanged(int row);
    void currentLabelChanged(const QString &text);
    void captionChanged(const QString &text);
    void volumeShown(int value);
    void playModeChanged(PlayMode mode);
    // For the play log: an item handed to the player, and the end of a sequential pass:
    // when its last item has ended, or was stopped or replaced while it played.
    void itemStarting(const QString &item);
    void sequentialPassEnded(const QString &taskName);

private:
    void select(int row);
    void cancelWaitingItem();
    void finishPass();
    // Stopped or replaced while the pass's last item played: that is the pass's end.
    void cutPass();

    MediaPlayer &m_player;
    MasterVolume &m_volume;
    PlaylistSource m_source;
    StepGate m_gate;
    QTimer m_stepTimer;
    std::mt19937 m_random;
    PlaybackState m_state;
    PlayMode m_mode = PlayMode::Sequential;
    QStringList m_items;
    int m_selected = -1;
    // The item last started, tried again when it ended for want of a sound output.
    std::optional<QString> m_currentItem;
    quint64 m_itemSerial = 0;   // the item start whose volume is being set
    bool m_itemWaiting = false; // an item waits for its volume: the player counts as busy
    bool m_passOver = false;    // every item of the sequential pass started; the last plays on
    bool m_taskActive = false;
};
