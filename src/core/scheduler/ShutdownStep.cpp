#include "ShutdownStep.h"

#include "PowerControl.h"
#include "ScheduleDriver.h"
#include "playback/PlaylistDriver.h"
#include "store/ShutdownTimeFile.h"

#include <QPointer>

ShutdownStep::ShutdownStep(ScheduleDriver &schedule, PlaylistDriver &playback, PowerControl &power,
                           SettingSource setting, QObject *parent)
    : QObject(parent), m_schedule(schedule), m_playback(playback), m_power(power),
      m_setting(std::move(setting)) {
    m_stillRunning.setSingleShot(true);
    m_stillRunning.setInterval(StillRunningMs);
    connect(&m_stillRunning, &QTimer::timeout, this, [this] {
        emit stillRunning();
        goOn(m_wasStepping);
    });
}

std::optional<QTime> ShutdownStep::timeOf(const QString &text) {
    if (!m_parsedValid || text != m_parsedText) {
        m_parsedValid = true;
        m_parsedText = text;
        m_parsed = ShutdownTimeFile::parse(text);
    }
    return m_parsed;
}

void ShutdownStep::review() {
    const Setting setting = m_setting ? m_setting() : Setting{};
    const QString text = setting.timeText;
    if (!setting.enabled || text.trimmed().isEmpty() || timeOf(text) || text == m_toldText)
        return;
    m_toldText = text;
    emit notice(
        QStringLiteral("定时关机时间“%1”不是有效的时间，定时关机不会执行，请重新设置关机时间")
            .arg(text));
}

void ShutdownStep::check(const ClockTexts &now) {
    const Setting setting = m_setting ? m_setting() : Setting{};
    if (!setting.enabled)
        return;
    const std::optional<QTime> at = timeOf(setting.timeText);
    if (!at) {
        review();
        return;
    }
    if (ShutdownTimeFile::format(*at) != now.time)
        return;

    m_fired = true;
    m_wasStepping = m_playback.isStepping();
    m_playback.StopPlayback();
    m_schedule.stop();
    emit poweringOff();
    if (m_beforePowerOff)
        m_beforePowerOff([this] { requestPowerOff(); });
    else
        requestPowerOff();
}

void ShutdownStep::requestPowerOff() {
    ++m_requests;
    // The schedule stays stopped until the answer: a granted request starts the wait for the
    // end, a refused one lets the day go on from the seconds after this one.
    m_power.powerOff([self = QPointer<ShutdownStep>(this)](bool granted, const QString &why) {
        if (self)
            self->answered(granted, why);
    });
}

void ShutdownStep::answered(bool granted, const QString &why) {
    if (granted) {
        m_stillRunning.start();
        return;
    }
    const QString reason = why.isEmpty() ? QStringLiteral("系统拒绝了关机请求") : why;
    emit powerOffFailed(reason);
    goOn(m_wasStepping);
}

void ShutdownStep::goOn(bool playlistWasStepping) {
    m_fired = false;
    if (playlistWasStepping)
        m_playback.resumeStepping();
    m_schedule.resume();
}
