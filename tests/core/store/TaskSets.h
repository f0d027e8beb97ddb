#pragma once

#include "store/PlayTask.h"

// Two distinguishable task sets: the crash test's writer alternates between them.
inline QList<PlayTask> taskSet(int which, int count) {
    QList<PlayTask> rows;
    for (int i = 0; i < count + which; ++i)
        rows << PlayTask{QStringLiteral("任务%1-%2").arg(which).arg(i),
                         QStringLiteral("08:00:00"),
                         QStringLiteral("08:30:00"),
                         QString::number(which * 10000),
                         which ? QStringLiteral("每天") : QStringLiteral("周一周三周五"),
                         QStringLiteral("循环播放"),
                         QString()};
    return rows;
}
