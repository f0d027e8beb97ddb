#include "HeardWatch.h"

#include <QElapsedTimer>

namespace {

QString seconds(qint64 ms) {
    return QString::number(ms / 1000.0, 'f', 1);
}

} // namespace

HeardWatch::HeardWatch(LevelWatch &levels, QObject *parent, SteadyMs now)
    : QObject(parent), m_levels(levels), m_now(std::move(now)) {
    if (!m_now) {
        auto steady = std::make_shared<QElapsedTimer>();
        steady->start();
        m_now = [steady] { return steady->elapsed(); };
    }
    qRegisterMetaType<OutputState>();
    qRegisterMetaType<HeardNews>();
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &HeardWatch::check);
    connect(&m_levels, &LevelWatch::level, this, &HeardWatch::onLevel);
    connect(&m_levels, &LevelWatch::outputChanged, this, &HeardWatch::onOutput);
    connect(&m_levels, &LevelWatch::failed, this, &HeardWatch::onFailed);
}

void HeardWatch::taskStarted(const QString &task, qint64 lagMs) {
    stopLevels();
    m_rule.reset();
    m_deadline.stop();
    m_task = task;
    m_startedAt = m_now() - lagMs;
    m_output = OutputState{};
    m_playing = false;
    m_warned = false;
    m_failed = false;
}

void HeardWatch::itemHandedOver() {
    // After a failed watch the next items do not try again: one word per task.
    if (m_task.isEmpty() || m_failed || m_rule.state() != HeardRule::State::Idle)
        return;
    m_handedOverAt = m_now();
    m_rule.handOver(m_handedOverAt);
    startLevels();
    // A little past the window, so a slice measured at its very end still counts.
    m_deadline.start(int(HeardRule::WindowMs) + 100);
}

void HeardWatch::setSink(const QString &sink) {
    if (sink == m_sink)
        return;
    m_sink = sink;
    m_output = OutputState{};
    if (m_watching)
        startLevels();
}

void HeardWatch::setPlayerPlaying(bool playing) {
    const bool ended = m_playing && !playing;
    m_playing = playing;
    if (ended && m_watching)
        handle(m_rule.itemEnded());
    warnIfQuiet();
}

void HeardWatch::taskEnded(bool decide) {
    if (decide && m_rule.listening()) {
        handle(m_rule.itemEnded());
        handle(m_rule.check(m_rule.deadline() + HeardRule::StallMs + 1));
    }
    stopLevels();
    m_deadline.stop();
    m_rule.reset();
    m_task.clear();
}

void HeardWatch::check() {
    handle(m_rule.check(m_now()));
    // Past the window a first peak still waits for its confirmation: look again shortly.
    if (m_rule.listening() && m_now() >= m_rule.deadline())
        m_deadline.start(int(HeardRule::StallMs / 2));
}

void HeardWatch::setDownstream(bool delivering, const QString &reason) {
    m_downstream = delivering ? QString() : reason;
}

void HeardWatch::onLevel(double peak) {
    if (m_watching)
        handle(m_rule.sample(m_now(), m_downstream.isEmpty() ? peak : 0.0));
}

void HeardWatch::onOutput(const OutputState &state) {
    if (!m_watching)
        return;
    m_output = state;
    warnIfQuiet();
}

void HeardWatch::onFailed(const QString &reason) {
    if (!m_watching)
        return;
    stopLevels();
    m_deadline.stop();
    if (!m_rule.listening())
        return; // what was decided stands; only late sound goes unnoticed
    m_failed = true;
    m_rule.reset();
    tell(HeardNews::Kind::Unconfirmed, QStringLiteral("无法确认是否出声：") + reason,
         QStringLiteral("无法确认“%1”是否出声：%2").arg(m_task, reason), true);
}

// Said at the start, before the window ends: the user's setting is told, never changed.
void HeardWatch::warnIfQuiet() {
    if (m_warned || !m_playing || !m_rule.open())
        return;
    const QString warning = HeardRule::outputWarning(m_output);
    if (warning.isEmpty())
        return;
    m_warned = true;
    tell(HeardNews::Kind::OutputQuiet, warning,
         QStringLiteral("“%1”开始播放，但%2").arg(m_task, warning), true);
}

void HeardWatch::handle(const HeardRule::Event &event) {
    const qint64 sinceStart = m_handedOverAt - m_startedAt + event.delayMs;
    switch (event.outcome) {
    case HeardRule::Outcome::None:
        return;
    case HeardRule::Outcome::Heard:
    case HeardRule::Outcome::HeardLate: {
        stopLevels();
        m_deadline.stop();
        const int late = HeardRule::lateSeconds(event.delayMs);
        const QString heard =
            late > 0 ? QStringLiteral("已出声（迟 %1 秒）").arg(late) : QStringLiteral("已出声");
        const QString when = QStringLiteral("交给播放器后 %1 秒出声（任务开始后 %2 秒）")
                                 .arg(seconds(event.delayMs), seconds(sinceStart));
        tell(HeardNews::Kind::Heard, late > 0 ? heard + QStringLiteral("，") + when : when,
             QStringLiteral("“%1”%2").arg(m_task, heard), false);
        return;
    }
    case HeardRule::Outcome::NotHeard: {
        QStringList known;
        if (!m_downstream.isEmpty())
            known << m_downstream;
        for (const ReasonSource &source : m_reasonSources)
            known << source(m_task);
        const QStringList why =
            HeardRule::reasons(m_output, m_playing, known, m_rule.flow(m_now()));
        tell(HeardNews::Kind::NotHeard,
             QStringLiteral("交给播放器后 %1 秒内输出低于 %2 dBFS：%3")
                 .arg(HeardRule::WindowMs / 1000)
                 .arg(int(HeardRule::FloorDbfs))
                 .arg(why.join(QStringLiteral("；"))),
             QStringLiteral("“%1”未出声：%2").arg(m_task, why.join(QStringLiteral("；"))), true);
        return;
    }
    }
}

void HeardWatch::startLevels() {
    m_watching = true;
    m_levels.start(m_sink);
}

void HeardWatch::stopLevels() {
    if (!m_watching)
        return;
    m_watching = false;
    m_levels.stop();
}

void HeardWatch::tell(HeardNews::Kind kind, const QString &note, const QString &status,
                      bool warning) {
    m_last = HeardNews{kind, m_task, note, status, warning};
    emit news(m_last);
}
