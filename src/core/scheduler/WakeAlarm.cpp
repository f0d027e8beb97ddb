#include "WakeAlarm.h"

#include "Clock.h"
#include "ClockTexts.h"
#include "NextTask.h"
#include "WakeAlarmControl.h"
#include "tasktable/DisplayText.h"

namespace {
QString dayText(const QDate &day, const QDate &today) {
    if (day == today)
        return QStringLiteral("今天");
    if (day == today.addDays(1))
        return QStringLiteral("明天");
    QString text = QStringLiteral("%1月%2日 %3")
                       .arg(day.month())
                       .arg(day.day())
                       .arg(Weekday::name(Weekday::of(day)));
    if (day.year() != today.year())
        text = QStringLiteral("%1年").arg(day.year()) + text;
    return text;
}

QString momentText(const QDateTime &at) {
    return at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

void finish(const std::function<void()> &done) {
    if (done)
        done();
}
} // namespace

WakeAlarm::Plan WakeAlarm::plan(const ScheduleTable &table, const QDateTime &now,
                                const DayGate &gate, int leadMinutes) {
    Plan plan;
    const auto next = NextTask::find(table, now, gate);
    if (!next) {
        plan.why = QStringLiteral("没有以后要播放的任务");
        return plan;
    }
    plan.task = DisplayText::shown(table.at(next->slot).Name);
    plan.taskStart = next->at;
    if (now.secsTo(next->at) > MaxAheadDays * 24 * 3600) {
        plan.why = QStringLiteral("下一个任务在一年以后");
        return plan;
    }
    const QDateTime earliest = now.addSecs(MinAheadSeconds);
    // Too near to wake before it: as soon as the clock allows, rather than not at all.
    plan.wakeAt = std::max(next->at.addSecs(-60LL * leadMinutes), earliest);
    return plan;
}

QString WakeAlarm::describe(const Plan &plan, const QDateTime &now) {
    if (!plan.wakeAt)
        return QStringLiteral("下次开机：无（%1）").arg(plan.why);
    const QDateTime at = plan.wakeAt->toLocalTime();
    return QStringLiteral("下次开机：%1 %2")
        .arg(dayText(at.date(), now.toLocalTime().date()),
             at.time().toString(QStringLiteral("HH:mm")));
}

WakeAlarm::WakeAlarm(WakeAlarmControl &control, const Clock &clock, QString storeDirectory,
                     SettingSource setting, TableSource table, GateSource gate, QObject *parent)
    : QObject(parent), m_control(control), m_clock(clock), m_directory(std::move(storeDirectory)),
      m_setting(std::move(setting)), m_table(std::move(table)), m_gate(std::move(gate)) {}

bool WakeAlarm::available() const {
    return m_control.available();
}

WakeAlarm::Plan WakeAlarm::currentPlan() const {
    return plan(m_table(), m_clock.now(), m_gate(), m_setting().leadMinutes);
}

void WakeAlarm::arm(const std::function<void()> &done) {
    if (!m_setting().enabled) {
        finish(done);
        return;
    }
    if (!m_control.available()) {
        emit noAlarm(QStringLiteral("这台计算机没有可设置唤醒的硬件时钟"));
        finish(done);
        return;
    }
    const Plan planned = currentPlan();
    if (!planned.wakeAt) {
        emit noAlarm(planned.why);
        finish(done);
        return;
    }
    const QDateTime wakeAt = *planned.wakeAt;
    const qint64 seconds = wakeAt.toSecsSinceEpoch();
    m_control.set(
        seconds, [this, done, wakeAt, seconds,
                  note = QStringLiteral("%1，为“%2”（%3）")
                             .arg(momentText(wakeAt), planned.task, momentText(planned.taskStart))](
                     const WakeAlarmControl::Outcome &outcome) {
            if (outcome.ok) {
                // Remembered, so that it is cleared once passed even after a power-off. Not
                // remembering costs only an alarm left standing, which does no harm.
                WakeAlarmFile::storeSetAlarm(m_directory, seconds);
                emit alarmSet(wakeAt, note);
            } else {
                emit failed(outcome.message);
            }
            finish(done);
        });
}

void WakeAlarm::prepareForSleep(bool start, const std::function<void()> &done) {
    if (start)
        arm(done);
    else
        clearPassed(done);
}

void WakeAlarm::clearPassed(const std::function<void()> &done) {
    const auto standing = WakeAlarmFile::loadSetAlarm(m_directory);
    if (!standing || *standing > m_clock.now().toSecsSinceEpoch() || !m_control.available()) {
        finish(done);
        return;
    }
    const QString note = momentText(QDateTime::fromSecsSinceEpoch(*standing));
    m_control.clear([this, done, note](const WakeAlarmControl::Outcome &outcome) {
        if (outcome.ok) {
            WakeAlarmFile::storeSetAlarm(m_directory, std::nullopt);
            emit alarmCleared(note);
        } else {
            emit failed(outcome.message);
        }
        finish(done);
    });
}
