#include "PlaylistDriver.h"

#include "ItemDisplayName.h"
#include "MasterVolume.h"
#include "MediaPlayer.h"

#include <QDateTime>

#include <algorithm>
#include <utility>

namespace {

const QString CaptionMargin(16, u' ');

} // namespace

PlaylistDriver::PlaylistDriver(MediaPlayer &player, MasterVolume &volume, PlaylistSource source,
                               QObject *parent)
    : QObject(parent), m_player(player), m_volume(volume), m_source(std::move(source)),
      m_random(static_cast<std::uint32_t>(QDateTime::currentMSecsSinceEpoch())) {
    m_stepTimer.setInterval(StepIntervalMs);
    connect(&m_stepTimer, &QTimer::timeout, this, &PlaylistDriver::stepIfDayOpen);
}

int PlaylistDriver::volumeOf(const QString &typeText) {
    return leadingInt(typeText);
}

void PlaylistDriver::StartTask(const PlayTask &task) {
    cutPass();
    m_taskActive = true;
    m_state.taskName = task.Name;
    m_state.playMode = task.Recurrence;
    m_state.volume = volumeOf(task.Type);
    StartTaskPlayback(task.Name, task.Recurrence);
    m_state.itemsStarted = 0;
    m_stepTimer.start();
    emit taskStarted(task.Name);
}

void PlaylistDriver::StartTaskPlayback(const QString &name, const QString &playMode) {
    cutPass();
    if (playMode == TaskText::Sequential)
        setPlayMode(PlayMode::Sequential);
    else if (playMode == TaskText::Loop)
        setPlayMode(PlayMode::Loop);
    else if (playMode == TaskText::Random)
        setPlayMode(PlayMode::Random);

    // Entries stay also when empty: the count in the file is the authority.
    m_items = m_source ? m_source(name) : TaskPlaylist();
    m_selected = -1;
    emit listChanged(m_items);
    emit selectionChanged(m_selected);

    cancelWaitingItem();
    m_currentItem.reset();
    m_player.close();
    m_stepTimer.start();
}

void PlaylistDriver::PlaylistStep() {
    if (m_items.isEmpty())
        return;
    // Opening and buffering count as busy (the backend bounds that), so a slow stream is
    // not replaced while it connects.
    const bool busy = m_player.state() != MediaPlayer::State::Idle;
    m_state.itemCount = static_cast<int>(m_items.size());

    // The sound server went away under the item (or was not there yet): the same item again,
    // at every step until it plays, so the task is heard once the server is back. It is the
    // same start of the pass, so it is not counted again.
    if (!busy && !m_itemWaiting && m_currentItem && m_player.soundOutputLost()) {
        StartItem(*m_currentItem);
        return;
    }

    if (!m_passOver && m_state.itemsStarted >= m_state.itemCount &&
        m_mode == PlayMode::Sequential) {
        // Every item started: the last plays to its end and nothing follows.
        m_state.itemsStarted = 0;
        m_passOver = true;
    }
    if (m_passOver) {
        if (busy || m_itemWaiting) {
            // Nothing follows; the player tells when the last item ends (playerWentIdle).
            m_stepTimer.stop();
            return;
        }
        finishPass();
        return;
    }
    if (busy || m_itemWaiting)
        return;

    QString item;
    if (m_mode == PlayMode::Random) {
        const int r = static_cast<int>(m_random() % static_cast<std::uint32_t>(m_items.size()));
        select(r);
        item = m_items.at(r);
    } else {
        item = m_items.constFirst();
        m_items.append(item);
        m_items.removeFirst();
        emit listChanged(m_items);
        m_selected = -1;
        select(0);
        if (m_mode == PlayMode::Sequential)
            ++m_state.itemsStarted;
    }
    StartItem(item);
}

void PlaylistDriver::StartItem(const QString &item) {
    m_currentItem = item;
    m_state.currentLabel = m_state.taskName;
    emit currentLabelChanged(m_state.currentLabel);

    m_state.captionText = CaptionMargin + ItemDisplayName(item) + CaptionMargin;
    emit captionChanged(m_state.captionText);

    emit itemStarting(item);

    // The mixer's scale is 0..65535; a hand-edited volume outside it is held to the range
    // instead of reaching the mixer and the label as a wrapped number.
    const int volume = std::clamp(m_state.volume, 0, 65535);
    // The item starts at the task's volume, so the player waits until the mixer has it. The
    // mixer may take its time (a sound server that hangs): the wait is a callback, and a
    // stop or another start meanwhile cancels the item.
    const quint64 start = ++m_itemSerial;
    m_itemWaiting = true;
    m_volume.SetMasterVolumeThen(volume, this, [this, start, item] {
        if (start != m_itemSerial)
            return;
        m_itemWaiting = false;
        // An empty entry cannot be opened; it counts as ended at once.
        if (item.isEmpty())
            m_player.close();
        else
            m_player.open(item);
    });
    emit volumeShown(volume);
}

void PlaylistDriver::StopPlayback() {
    m_stepTimer.stop();
    cancelWaitingItem();
    m_currentItem.reset();
    m_player.close();
    const bool wasActive = std::exchange(m_taskActive, false);
    cutPass();
    if (wasActive)
        emit taskEnded();
}

void PlaylistDriver::renameTask(const QString &name) {
    const bool shown = !m_state.currentLabel.isEmpty() && m_state.currentLabel == m_state.taskName;
    m_state.taskName = name;
    if (shown) {
        m_state.currentLabel = name;
        emit currentLabelChanged(name);
    }
}

void PlaylistDriver::playerWentIdle() {
    if (!m_passOver || m_itemWaiting || m_player.state() != MediaPlayer::State::Idle)
        return;
    // Cut off by a lost sound output, the last item has not ended: the steps try it again.
    if (m_player.soundOutputLost())
        m_stepTimer.start();
    else
        finishPass();
}

void PlaylistDriver::finishPass() {
    m_passOver = false;
    const bool wasActive = std::exchange(m_taskActive, false);
    m_stepTimer.stop();
    emit sequentialPassEnded(m_state.taskName);
    if (wasActive)
        emit taskEnded();
}

void PlaylistDriver::cutPass() {
    if (std::exchange(m_passOver, false))
        emit sequentialPassEnded(m_state.taskName);
}

void PlaylistDriver::setPlayMode(PlayMode mode) {
    if (m_mode == mode)
        return;
    m_mode = mode;
    emit playModeChanged(mode);
}

void PlaylistDriver::select(int row) {
    if (m_selected == row)
        return;
    m_selected = row;
    emit selectionChanged(row);
}

void PlaylistDriver::stepIfDayOpen() {
    if (!m_gate || m_gate())
        PlaylistStep();
}

void PlaylistDriver::cancelWaitingItem() {
    ++m_itemSerial;
    m_itemWaiting = false;
}
