#include "JumpedEnds.h"

#include <algorithm>
#include <vector>

namespace {

const QString kTimeFormat = QStringLiteral("HH:mm:ss");
const QString kFullFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

bool dayOpen(const QDate &day, const DayGate &gate) {
    return gate.timetableWeekday(Weekday::of(day), day.toString(QStringLiteral("yyyy-MM-dd"))) >= 0;
}

} // namespace

namespace JumpedEnds {

bool any(const ScheduleTable &table, const QDateTime &after, const QDateTime &before,
         const DayGate &gate) {
    // Plain field arithmetic: the range is one of wall-clock texts, not of moments.
    const QDateTime from(after.date(), after.time(), Qt::UTC);
    const QDateTime to(before.date(), before.time(), Qt::UTC);
    if (!from.isValid() || !to.isValid() || from.secsTo(to) < 2)
        return false;

    // Only texts the pass could match: exactly the clock's own form.
    std::vector<int> times; // seconds of the day
    for (const PlayTask &task : table) {
        const QString &end = task.Duration;
        if (end.size() == 8) {
            const QTime t = QTime::fromString(end, kTimeFormat);
            if (t.isValid() && t.toString(kTimeFormat) == end)
                times.push_back(t.msecsSinceStartOfDay() / 1000);
        } else if (end.size() == 19) {
            QDateTime at = QDateTime::fromString(end, kFullFormat);
            if (!at.isValid() || at.toString(kFullFormat) != end)
                continue;
            at = QDateTime(at.date(), at.time(), Qt::UTC);
            if (from < at && at < to && dayOpen(at.date(), gate))
                return true;
        }
    }
    if (times.empty())
        return false;
    std::sort(times.begin(), times.end());

    for (QDate day = from.date(); day <= to.date(); day = day.addDays(1)) {
        // Seconds of this day inside the range: (low, high) exclusive.
        const int low = day == from.date() ? from.time().msecsSinceStartOfDay() / 1000 : -1;
        const int high = day == to.date() ? to.time().msecsSinceStartOfDay() / 1000 : 86400;
        const auto it = std::upper_bound(times.begin(), times.end(), low);
        if (it != times.end() && *it < high && dayOpen(day, gate))
            return true;
    }
    return false;
}

} // namespace JumpedEnds
