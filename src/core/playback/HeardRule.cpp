#include "HeardRule.h"

#include <QtMath>

#include <algorithm>

double HeardRule::floorPeak() {
    return qPow(10.0, FloorDbfs / 20.0);
}

void HeardRule::handOver(qint64 atMs) {
    if (m_state != State::Idle)
        return;
    m_state = State::Listening;
    m_handedOver = atMs;
}

HeardRule::Event HeardRule::sample(qint64 atMs, double peak) {
    if (m_state == State::Idle)
        return {};
    const bool flowed = m_samples > 0 && atMs - m_lastSample <= StallMs;
    ++m_samples;
    m_lastSample = atMs;
    // Sound counts once the output has gone on sending for a while after it: a sink that
    // stalls (its pipe full, nobody reading) lets a first burst through and then nothing.
    if (m_candidate && !flowed)
        m_candidate.reset();
    if (m_candidate && atMs - *m_candidate >= ConfirmMs)
        return confirm();
    if (m_state == State::Listening && !m_candidate && atMs > deadline())
        return check(atMs);
    if (!m_candidate && peak >= floorPeak() &&
        (m_state == State::Listening || m_state == State::NotHeard))
        m_candidate = atMs;
    return {};
}

HeardRule::Event HeardRule::itemEnded() {
    // A short sound whose item ended before it could be confirmed was heard all the same.
    return m_candidate ? confirm() : Event{};
}

HeardRule::Event HeardRule::confirm() {
    const qint64 delay = std::max<qint64>(0, *m_candidate - m_handedOver);
    m_candidate.reset();
    if (m_state == State::Listening) {
        m_state = State::Heard;
        return {Outcome::Heard, delay};
    }
    if (m_state == State::NotHeard) {
        m_state = State::HeardLate;
        return {Outcome::HeardLate, delay};
    }
    return {};
}

HeardRule::Event HeardRule::check(qint64 atMs) {
    if (m_state != State::Listening || atMs < deadline())
        return {};
    // Sound came near the window's end and the output still sends: wait for it.
    if (m_candidate && atMs - m_lastSample <= StallMs)
        return {};
    m_candidate.reset();
    m_state = State::NotHeard;
    return {Outcome::NotHeard, atMs - m_handedOver};
}

HeardRule::Flow HeardRule::flow(qint64 atMs) const {
    if (m_samples == 0)
        return Flow::None;
    return atMs - m_lastSample > StallMs ? Flow::Stalled : Flow::Flowing;
}

QString HeardRule::outputWarning(const OutputState &output) {
    if (!output.known)
        return {};
    if (output.muted)
        return QStringLiteral("声音输出“%1”已静音").arg(output.sink);
    if (output.volume < QuietVolume)
        return QStringLiteral("声音输出“%1”的音量只有 %2%")
            .arg(output.sink)
            .arg(qRound(output.volume * 100));
    return {};
}

QStringList HeardRule::reasons(const OutputState &output, bool playerPlaying,
                               const QStringList &known, Flow flow) {
    QStringList found = known;
    const QString warning = outputWarning(output);
    if (!warning.isEmpty())
        found << warning;
    if (!output.known)
        found << QStringLiteral("无法读取声音输出的状态");
    if (!playerPlaying)
        found << QStringLiteral("播放器没有在播放");
    // The output did not run, whatever was played into it.
    if (flow == Flow::None && output.known)
        found << QStringLiteral("声音输出“%1”没有送出任何声音数据").arg(output.sink);
    if (flow == Flow::Stalled && output.known)
        found << QStringLiteral("声音输出“%1”中途停止送出声音数据").arg(output.sink);
    // Everything on the way is open and the player plays: what it plays is silence.
    if (found.isEmpty())
        found << QStringLiteral("播放器在播放，但项目解码后是静音");
    return found;
}
