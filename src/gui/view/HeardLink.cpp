#include "HeardLink.h"

#include "campus/CampusOutput.h"
#include "platform/CampusSink.h"
#include "platform/MpvPlayer.h"
#include "platform/PulseLevelWatch.h"
#include "playback/PlaylistDriver.h"
#include "playlog/PlayLogRecorder.h"
#include "scheduler/Clock.h"
#include "scheduler/ScheduleDriver.h"

#include <QAbstractButton>

#include <algorithm>

HeardLink::HeardLink(const Clock &clock, QObject *parent) : QObject(parent), m_clock(clock) {
    m_levels = new PulseLevelWatch(this);
    m_heard = new HeardWatch(*m_levels, this);
}

HeardLink::~HeardLink() {
    m_levels->stop();
}

void HeardLink::watch(ScheduleDriver &schedule, PlaylistDriver &playback, MpvPlayer &player,
                      QAbstractButton &stopButton, PlayLogRecorder &log) {
    connect(&schedule, &ScheduleDriver::taskStarting, this,
            [this](const QDateTime &second, const PlayTask &) {
                m_startSecond = QDateTime(second.date(), second.time());
            });
    // Started by the schedule or by hand: the schedule's second only when it is this start.
    connect(&playback, &PlaylistDriver::taskStarted, this, [this](const QString &task) {
        const qint64 lag = m_startSecond.isValid() ? m_startSecond.msecsTo(m_clock.now()) : 0;
        m_startSecond = QDateTime();
        m_heard->setSink(QString());
        m_heard->setDownstream(true);
        m_heard->taskStarted(task, lag >= 0 && lag < 10000 ? lag : 0);
    });
    connect(&playback, &PlaylistDriver::itemStarting, m_heard, &HeardWatch::itemHandedOver);
    connect(&player, &MpvPlayer::stateChanged, m_heard, [this](MediaPlayer::State state) {
        m_heard->setPlayerPlaying(state == MediaPlayer::State::Playing);
    });
    // A pass replaced by the next task ends after that task started: only its own end counts.
    connect(&playback, &PlaylistDriver::sequentialPassEnded, m_heard, [this](const QString &task) {
        if (task == m_heard->task())
            m_heard->taskEnded(true);
    });
    connect(&schedule, &ScheduleDriver::endReached, m_heard, [this] { m_heard->taskEnded(true); });
    connect(&schedule, &ScheduleDriver::playingTaskRemoved, m_heard,
            [this] { m_heard->taskEnded(false); });
    connect(&stopButton, &QAbstractButton::clicked, m_heard, [this] { m_heard->taskEnded(false); });

    connect(m_heard, &HeardWatch::news, &log, &PlayLogRecorder::heard);
    connect(m_heard, &HeardWatch::news, this,
            [this](const HeardNews &news) { emit notice(news.status, news.warning); });
}

void HeardLink::followCampus(CampusOutput &campus) {
    // The campus sink carries the sound whether or not the server takes it from the pipe:
    // only its source playing says the rooms get it.
    connect(&campus, &CampusOutput::routed, m_heard, [this, &campus] {
        m_heard->setSink(CampusSink::sinkName());
        m_heard->setDownstream(campus.notDelivered().isEmpty(), campus.notDelivered());
    });
    connect(&campus, &CampusOutput::playsLocally, m_heard, [this] {
        m_heard->setSink(QString());
        m_heard->setDownstream(true);
    });
    // Leaving the campus sink at the task's end is no news: the task is judged as it played.
    connect(&campus, &CampusOutput::deliveryChanged, m_heard,
            [this, &campus](const QString &notDelivered) {
                if (campus.playsOnCampus())
                    m_heard->setDownstream(notDelivered.isEmpty(), notDelivered);
            });
}

std::function<QString()> HeardLink::outputReader(bool campus) {
    return [campus] {
        return HeardRule::outputWarning(
            PulseLevelWatch::outputNow(campus ? CampusSink::sinkName() : QString()));
    };
}
