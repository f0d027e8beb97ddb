#include "TaskTimes.h"

namespace TaskTimes {

bool startsAtItsEnd(const PlayTask &task) {
    return !task.Time.isEmpty() && task.Time == task.Duration;
}

QStringList problems(const PlayTask &task) {
    QStringList reasons;
    if (startsAtItsEnd(task))
        reasons << QStringLiteral("开始时间和结束时间相同,此任务不会播放,请修改结束时间.");
    return reasons;
}

QString notStartedText(const PlayTask &task) {
    return QStringLiteral("播放任务 \"%1\" 的开始时间和结束时间相同,没有播放.").arg(task.Name);
}

} // namespace TaskTimes
