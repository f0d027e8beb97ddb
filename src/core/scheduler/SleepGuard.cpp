#include "SleepGuard.h"

#include "playback/SleepKeeper.h"

SleepGuard::SleepGuard(SleepKeeper &keeper, QObject *parent) : QObject(parent), m_keeper(keeper) {}

SleepGuard::~SleepGuard() {
    m_keeper.release();
}

bool SleepGuard::isHeld() const {
    return m_keeper.isHeld();
}

void SleepGuard::setTaskCount(qsizetype count) {
    count = qMax<qsizetype>(count, 0);
    const bool change = m_count < 0 || (m_count == 0) != (count == 0);
    m_count = count;
    if (!change)
        return;
    if (count == 0) {
        m_keeper.release();
        return;
    }
    if (m_keeper.isHeld())
        return;
    QString error;
    if (m_keeper.hold(&error) || m_told)
        return;
    m_told = true;
    emit notice(QStringLiteral("无法阻止系统休眠：") +
                (error.isEmpty() ? QStringLiteral("系统拒绝了请求") : error) +
                QStringLiteral("，系统休眠期间定时播放任务不会执行"));
}
