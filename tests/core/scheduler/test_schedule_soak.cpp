// Ten years of a 1,000-task store through the real schedule driver on a fake clock, checked
// against a brute-force model written apart from the scheduler: its own parser of stored
// times, its own day gate, its own reading of the timing rules. Run with TZ=UTC (summer time
// has its own test).
//
// Only the seconds around a stored time are lived one by one; between them the clock jumps
// over quiet seconds, which is only sound because nothing is due there (the model checks
// that too: a jumped range with an end in it would expect a stop).
#include "FakeClock.h"
#include "playback/FakePlayback.h"
#include "playback/PlaylistDriver.h"
#include "scheduler/ScheduleDriver.h"

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <deque>
#include <optional>
#include <random>
#include <vector>

namespace {

constexpr qint64 Day = 86400;
const QDate FirstDay(2027, 1, 1);
const QDate LastDay(2036, 12, 31);
// From this day on Saturday and Sunday are ticked off.
const QDate BoxesChange(2032, 1, 1);

const std::array<QString, 7> DayNames = {"周日", "周一", "周二", "周三", "周四", "周五", "周六"};

qint64 epochOf(const QDate &day, int second = 0) {
    return (day.toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * Day + second;
}
QDate dayOf(qint64 epoch) {
    return QDate(1970, 1, 1).addDays(epoch / Day);
}
QString hms(int second) {
    return QStringLiteral("%1:%2:%3")
        .arg(second / 3600, 2, 10, QChar(u'0'))
        .arg(second / 60 % 60, 2, 10, QChar(u'0'))
        .arg(second % 60, 2, 10, QChar(u'0'));
}
QString dated(const QDate &day, int second) {
    return day.toString("yyyy-MM-dd") + " " + hms(second);
}

// A stored time as the clock could show it, or never.
struct Stamp {
    enum Kind { Never, Daily, Dated } kind = Never;
    int second = 0;
    QDate date;
};

bool digits(const QString &text, int from, int count, int &value) {
    value = 0;
    for (int i = from; i < from + count; ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return false;
        value = value * 10 + (text[i].unicode() - u'0');
    }
    return true;
}

Stamp parseStamp(const QString &text) {
    Stamp stamp;
    const int offset = text.size() == 19 ? 11 : 0;
    if (text.size() != 8 && text.size() != 19)
        return stamp;
    int h, m, s;
    if (text[offset + 2] != u':' || text[offset + 5] != u':' || !digits(text, offset, 2, h) ||
        !digits(text, offset + 3, 2, m) || !digits(text, offset + 6, 2, s) || h > 23 || m > 59 ||
        s > 59)
        return stamp;
    stamp.second = h * 3600 + m * 60 + s;
    if (offset == 0) {
        stamp.kind = Stamp::Daily;
        return stamp;
    }
    int y, mo, d;
    if (text[4] != u'-' || text[7] != u'-' || text[10] != u' ' || !digits(text, 0, 4, y) ||
        !digits(text, 5, 2, mo) || !digits(text, 8, 2, d) || !QDate(y, mo, d).isValid())
        return stamp;
    stamp.kind = Stamp::Dated;
    stamp.date = QDate(y, mo, d);
    return stamp;
}

struct Store {
    ScheduleTable table;
    QStringList holidays;
    QHash<QString, int> makeup;
};

// Every date rule the program stores (every day, chosen weekdays, one day, weekly with no
// day), and what hand edits leave: odd texts, a start equal to its end, rules and times that
// do not go together. Many tasks share a start second, so the first stored one must win.
Store makeStore(std::mt19937 &rng) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::vector<int> pool = {0, 1, 86398, 86399};
    while (pool.size() < 140)
        pool.push_back(pick(static_cast<int>(Day)));
    const int days = static_cast<int>(FirstDay.daysTo(LastDay)) + 1;
    auto someTime = [&] { return pool[static_cast<size_t>(pick(static_cast<int>(pool.size())))]; };
    auto endAfter = [&](int start) {
        // Back to back with another stored time (over midnight when it is earlier), or a length.
        if (pick(10) < 8)
            return someTime();
        return static_cast<int>((start + 30 + pick(7200)) % Day);
    };

    Store store;
    for (int k = 0; k < 1000; ++k) {
        PlayTask t;
        t.Name = QStringLiteral("t%1").arg(k, 4, 10, QChar(u'0'));
        t.Type = "30000";
        t.Recurrence = TaskText::Sequential;
        const int kind = pick(100);
        const int start = someTime();
        if (kind < 26) {
            t.Device = TaskText::EveryDay;
            t.Time = hms(start);
            t.Duration = hms(endAfter(start));
        } else if (kind < 56) {
            QStringList names;
            for (int d = 0; d < 7; ++d)
                if (pick(7) < 3)
                    names << DayNames[static_cast<size_t>(d)];
            if (names.isEmpty())
                names << DayNames[static_cast<size_t>(pick(7))];
            std::shuffle(names.begin(), names.end(), rng); // hand-edited order
            t.Device = names.join(QString());
            t.Time = hms(start);
            t.Duration = hms(endAfter(start));
        } else if (kind < 86) {
            const QDate day = FirstDay.addDays(pick(days));
            const int at = pick(2) ? start : pick(static_cast<int>(Day));
            const int end = at + 10 + pick(3600);
            t.Device = TaskText::OneDay;
            t.Time = dated(day, at);
            // Past midnight the dialog keeps the start's date, so that end never comes;
            // a hand edit may give the next date.
            t.Duration = end < Day ? dated(day, end)
                         : pick(2) ? dated(day, static_cast<int>(end - Day))
                                   : dated(day.addDays(1), static_cast<int>(end - Day));
        } else if (kind < 89) {
            // Weekly with no day ticked: everything empty.
        } else if (kind < 92) {
            t.Device = pick(2) ? TaskText::EveryDay : QStringLiteral("周三");
            t.Time = t.Duration = hms(start); // an old version's start = end
        } else if (kind < 95) {
            static const QStringList odd = {
                "8:00:00", "08:00",     "24:00:00", "2031-02-29 08:00:00",
                "",        " 08:00:00", "08:00:60", "2030-13-01 08:00:00"};
            t.Device = TaskText::EveryDay;
            t.Time = odd[pick(static_cast<int>(odd.size()))];
            t.Duration = odd[pick(static_cast<int>(odd.size()))];
        } else if (kind < 98) {
            // Every day with one date's time: only that date.
            const QDate day = FirstDay.addDays(pick(days));
            t.Device = TaskText::EveryDay;
            t.Time = dated(day, start);
            t.Duration = dated(day, static_cast<int>(std::min<qint64>(start + 600, Day - 1)));
        } else {
            // One day with a bare time: the pass takes it every day.
            t.Device = TaskText::OneDay;
            t.Time = hms(start);
            t.Duration = hms(endAfter(start));
        }
        store.table << t;
    }

    for (int year = FirstDay.year(); year <= LastDay.year(); ++year) {
        store.holidays << QDate(year, 1, 1).toString("yyyy-MM-dd");
        for (int i = 0; i < 12; ++i)
            store.holidays << QDate(year, 1, 1).addDays(pick(365)).toString("yyyy-MM-dd");
        for (int i = 0; i < 5; ++i) {
            QDate day = QDate(year, 1, 1).addDays(pick(365));
            while (day.dayOfWeek() < 6)
                day = day.addDays(1);
            store.makeup.insert(day.toString("yyyy-MM-dd"), 1 + pick(5));
        }
        // A Monday following Friday's timetable, and one make-up day that is a holiday too.
        QDate monday = QDate(year, 3, 1);
        while (monday.dayOfWeek() != 1)
            monday = monday.addDays(1);
        store.makeup.insert(monday.toString("yyyy-MM-dd"), 5);
        QDate both = QDate(year, 10, 1);
        while (both.dayOfWeek() != 6)
            both = both.addDays(1);
        store.makeup.insert(both.toString("yyyy-MM-dd"), 2);
        store.holidays << both.toString("yyyy-MM-dd");
    }
    return store;
}

// What one day brings: the starts (first stored task per second) and the end seconds.
struct Agenda {
    std::vector<std::pair<int, int>> starts; // (second of day, task), ascending seconds
    std::vector<int> ends;                   // ascending seconds of day
    int startAt(int second) const {
        const auto it = std::lower_bound(starts.begin(), starts.end(), std::pair(second, -1));
        return it != starts.end() && it->first == second ? it->second : -1;
    }
    bool endsAt(int second) const { return std::binary_search(ends.begin(), ends.end(), second); }
    bool endsWithin(int after, int before) const { // exclusive
        const auto it = std::upper_bound(ends.begin(), ends.end(), after);
        return it != ends.end() && *it < before;
    }
};

struct Model {
    struct Task {
        Stamp start, end;
        bool startable;
        QString device;
    };
    std::vector<Task> tasks;
    QSet<QDate> holidays;
    QHash<QDate, int> makeup;
    std::vector<int> dailyTimes;                   // every daily stored time, starts and ends
    QHash<QDate, std::vector<int>> datedTimes;     // every dated stored time by day
    std::vector<std::optional<Agenda>> agendas[2]; // by box setting, by day from FirstDay

    explicit Model(const Store &store) {
        for (const PlayTask &t : store.table) {
            Task task{parseStamp(t.Time), parseStamp(t.Duration), t.Time != t.Duration, t.Device};
            for (const Stamp &s : {task.start, task.end}) {
                if (s.kind == Stamp::Daily)
                    dailyTimes.push_back(s.second);
                else if (s.kind == Stamp::Dated)
                    datedTimes[s.date].push_back(s.second);
            }
            tasks.push_back(task);
        }
        std::sort(dailyTimes.begin(), dailyTimes.end());
        dailyTimes.erase(std::unique(dailyTimes.begin(), dailyTimes.end()), dailyTimes.end());
        for (const QString &h : store.holidays)
            holidays.insert(QDate::fromString(h, "yyyy-MM-dd"));
        for (auto it = store.makeup.cbegin(); it != store.makeup.cend(); ++it)
            makeup.insert(QDate::fromString(it.key(), "yyyy-MM-dd"), it.value());
        // Lateness and jumps may carry the clock a few days past the last one.
        const auto days = static_cast<size_t>(FirstDay.daysTo(LastDay) + 10);
        agendas[0].resize(days);
        agendas[1].resize(days);
    }

    static bool boxOff(int weekendBoxes, int weekday) {
        return weekendBoxes && (weekday == 0 || weekday == 6);
    }

    const Agenda &agenda(const QDate &day, int boxes) {
        static const Agenda none;
        const qint64 index = FirstDay.daysTo(day);
        if (index < 0 || index >= static_cast<qint64>(agendas[boxes].size()))
            return none;
        std::optional<Agenda> &slot = agendas[boxes][static_cast<size_t>(index)];
        if (slot)
            return *slot;
        slot.emplace();
        const int own = day.dayOfWeek() % 7;
        if (holidays.contains(day))
            return *slot;
        const int followed = makeup.value(day, own);
        if (boxOff(boxes, followed))
            return *slot;
        const QString &name = DayNames[static_cast<size_t>(followed)];
        for (int k = 0; k < static_cast<int>(tasks.size()); ++k) {
            const Task &t = tasks[static_cast<size_t>(k)];
            auto on = [&](const Stamp &s) {
                return s.kind == Stamp::Daily || (s.kind == Stamp::Dated && s.date == day);
            };
            if (on(t.end))
                slot->ends.push_back(t.end.second);
            const bool admitted = t.device == TaskText::EveryDay || t.device == TaskText::OneDay ||
                                  t.device.contains(name);
            if (t.startable && admitted && on(t.start))
                slot->starts.push_back({t.start.second, k});
        }
        std::stable_sort(slot->starts.begin(), slot->starts.end(),
                         [](auto a, auto b) { return a.first < b.first; });
        slot->starts.erase(std::unique(slot->starts.begin(), slot->starts.end(),
                                       [](auto a, auto b) { return a.first == b.first; }),
                           slot->starts.end());
        std::sort(slot->ends.begin(), slot->ends.end());
        return *slot;
    }

    // The first stored time after a second, on any day.
    qint64 nextTime(qint64 after) const {
        for (QDate day = dayOf(after);; day = day.addDays(1)) {
            const qint64 base = epochOf(day);
            std::optional<qint64> best;
            const auto it = std::upper_bound(dailyTimes.begin(), dailyTimes.end(), after - base);
            if (it != dailyTimes.end())
                best = base + *it;
            const auto dated = datedTimes.constFind(day);
            if (dated != datedTimes.cend())
                for (int s : *dated)
                    if (base + s > after && (!best || base + s < *best))
                        best = base + s;
            if (best)
                return *best;
        }
    }
};

struct Expected {
    qint64 second;
    int task;   // started, or -1
    int closes; // the player closed for a jumped end, an end, a start
};

} // namespace

class TestScheduleSoak : public QObject {
    Q_OBJECT
private slots:
    void tenYearsOfAThousandTasks();
};

void TestScheduleSoak::tenYearsOfAThousandTasks() {
    QCOMPARE(QDateTime(QDate(2030, 7, 1), QTime(12, 0)).offsetFromUtc(), 0);
    QElapsedTimer elapsed;
    elapsed.start();
    std::mt19937 rng(20261208);
    auto chance = [&](double p) { return std::uniform_real_distribution<>(0, 1)(rng) < p; };
    auto between = [&](qint64 lo, qint64 hi) {
        return std::uniform_int_distribution<qint64>(lo, hi)(rng);
    };

    const Store store = makeStore(rng);
    Model model(store);

    // The calendar: every start due in the ten years as the boxes are set then.
    std::vector<qint64> calendar;
    for (QDate day = FirstDay; day <= LastDay; day = day.addDays(1))
        for (const auto &[second, task] : model.agenda(day, day >= BoxesChange).starts)
            calendar.push_back(epochOf(day, second));
    std::vector<int> livedCount(calendar.size(), 0);
    std::vector<char> jumpedOver(calendar.size(), 0);
    auto occurrence = [&](qint64 second) -> qint64 {
        const auto it = std::lower_bound(calendar.begin(), calendar.end(), second);
        return it != calendar.end() && *it == second ? it - calendar.begin() : -1;
    };

    FakeClock clock;
    FakePlayer player;
    FakeVolume volume;
    PlaylistDriver playback(player, volume, [](const QString &) { return TaskPlaylist(); });
    ScheduleDriver driver(clock, playback);
    int boxes = 0;
    driver.setSchedule(store.table);
    // As the program does: the holidays' look-up is built when the list changes, not per pass.
    DayGate gate;
    gate.setHolidays(store.holidays);
    driver.setDayGateSource([&] {
        gate.weekdayOff[0] = gate.weekdayOff[6] = boxes == 1;
        gate.makeupDays = store.makeup;
        return gate;
    });

    // The model's reading of the timing rules, run before each wake-up of the driver.
    std::optional<qint64> highWater;
    std::deque<Expected> expected;
    auto expectPass = [&](qint64 s, bool jumpedEnd) {
        const Agenda &a = model.agenda(dayOf(s), boxes);
        const int sec = static_cast<int>(s % Day);
        const int task = a.startAt(sec);
        expected.push_back({s, task, int(jumpedEnd) + int(a.endsAt(sec)) + int(task >= 0)});
        highWater = s;
    };
    auto endsBetween = [&](qint64 after, qint64 before) {
        for (QDate day = dayOf(after); day <= dayOf(before); day = day.addDays(1)) {
            const qint64 base = epochOf(day);
            const int lo = static_cast<int>(std::max<qint64>(after - base, -1));
            const int hi = static_cast<int>(std::min<qint64>(before - base, Day));
            if (model.agenda(day, boxes).endsWithin(lo, hi))
                return true;
        }
        return false;
    };
    auto markJumped = [&](qint64 after, qint64 before) {
        for (auto it = std::upper_bound(calendar.begin(), calendar.end(), after);
             it != calendar.end() && *it < before; ++it)
            jumpedOver[static_cast<size_t>(it - calendar.begin())] = 1;
    };
    auto plan = [&](qint64 now, bool slept) {
        if (!highWater) {
            expectPass(now, false);
            return;
        }
        const qint64 gap = now - *highWater;
        if (!slept && gap >= 1 && gap <= 11) {
            for (qint64 s = *highWater + 1; s <= now; ++s)
                expectPass(s, false);
        } else if (gap > 11 || (slept && gap >= 1)) {
            markJumped(*highWater, now);
            expectPass(now, endsBetween(*highWater, now));
        } else if (gap < -10) {
            expectPass(now, false);
        }
    };

    // What the driver did, matched pass by pass.
    qint64 passes = 0, misses = 0, duplicates = 0, stopMismatches = 0, passMismatches = 0;
    qint64 startsSeen = 0, endsChecked = 0;
    QList<int> startedNow;
    int closesBefore = 0;
    QObject::connect(&playback, &PlaylistDriver::taskStarted,
                     [&](const QString &name) { startedNow << name.mid(1).toInt(); });
    QObject::connect(&driver, &ScheduleDriver::passRan, [&](const QDateTime &second) {
        ++passes;
        const qint64 s = second.toSecsSinceEpoch();
        const int closes = player.closes - std::exchange(closesBefore, player.closes);
        const QList<int> started = std::exchange(startedNow, {});
        startsSeen += started.size();
        if (expected.empty() || expected.front().second != s) {
            ++passMismatches;
            duplicates += started.size();
            return;
        }
        const Expected e = expected.front();
        expected.pop_front();
        if (e.task >= 0) {
            const qint64 at = occurrence(s);
            if (at >= 0)
                ++livedCount[static_cast<size_t>(at)];
            if (!started.contains(e.task))
                ++misses;
        }
        duplicates += started.size() - (e.task >= 0 && started.contains(e.task) ? 1 : 0);
        if (closes != e.closes)
            ++stopMismatches;
        if (e.closes > int(e.task >= 0))
            ++endsChecked;
    });

    qint64 ticks = 0, lateWakeups = 0, smallBacks = 0, largeBacks = 0, jumps = 0, sleeps = 0,
           landings = 0;
    auto wake = [&](qint64 s, bool slept = false) {
        if (s >= epochOf(BoxesChange) && boxes == 0)
            boxes = 1; // the user ticks the weekend boxes
        clock.set(QDateTime::fromMSecsSinceEpoch(s * 1000 + between(1, 900), Qt::UTC));
        plan(s, slept);
        ++ticks;
        if (slept)
            driver.resumeAfterSleep();
        else
            driver.tick();
        passMismatches += static_cast<qint64>(expected.size());
        expected.clear();
    };

    const qint64 end = epochOf(LastDay, static_cast<int>(Day - 1));
    const qint64 boxesChange = epochOf(BoxesChange);
    qint64 cursor = epochOf(FirstDay);
    wake(cursor);
    for (qint64 next = model.nextTime(cursor); next <= end; next = model.nextTime(cursor)) {
        if (chance(0.0006)) {
            // Set forward past the next stored time: seconds, hours or days.
            const qint64 far = chance(0.6)    ? between(12, 600)
                               : chance(0.75) ? between(600, 6 * 3600)
                                              : between(Day, 3 * Day);
            const bool asleep = chance(0.4);
            asleep ? ++sleeps : ++jumps;
            cursor = next + far;
            wake(cursor, asleep);
            continue;
        }
        if (next - cursor > 11 && chance(0.001)) {
            ++landings; // a jump that lands right on it
            cursor = next;
            wake(cursor);
        } else if (next - 2 - cursor > 11) {
            cursor = next - 2; // over quiet seconds
            wake(cursor);
        }
        while (cursor < next + 1) {
            const qint64 step = chance(0.03) ? between(2, 11) : 1;
            lateWakeups += step > 1;
            cursor += step;
            wake(cursor);
        }
        if (chance(0.001)) {
            ++smallBacks;
            cursor -= between(1, 10);
            wake(cursor);
        } else if (chance(0.0001)) {
            const qint64 back = between(11, 4 * 3600);
            if (cursor - back > boxesChange || cursor < boxesChange) {
                ++largeBacks;
                cursor -= back;
                wake(cursor);
            }
        }
    }

    qint64 lived = 0, relived = 0, uncovered = 0, skipped = 0;
    for (size_t i = 0; i < calendar.size(); ++i) {
        lived += livedCount[i] > 0;
        relived += livedCount[i] > 1;
        skipped += livedCount[i] == 0 && jumpedOver[i];
        uncovered += livedCount[i] == 0 && !jumpedOver[i];
    }
    qInfo("ten years, %lld ticks, %lld passes, %.1f s", ticks, passes, elapsed.elapsed() / 1000.0);
    qInfo("occurrences in the calendar %lld: started %lld (again after a step back %lld), "
          "jumped over %lld, never reached %lld",
          static_cast<qint64>(calendar.size()), lived, relived, skipped, uncovered);
    qInfo("starts seen %lld, misses %lld, duplicates %lld; end seconds checked %lld, stop "
          "mismatches %lld; pass mismatches %lld",
          startsSeen, misses, duplicates, endsChecked, stopMismatches, passMismatches);
    qInfo("clock: %lld late wake-ups, %lld small and %lld large steps back, %lld jumps, "
          "%lld sleeps, %lld landings",
          lateWakeups, smallBacks, largeBacks, jumps, sleeps, landings);

    QCOMPARE(misses, 0);
    QCOMPARE(duplicates, 0);
    QCOMPARE(stopMismatches, 0);
    QCOMPARE(passMismatches, 0);
    QCOMPARE(uncovered, 0);
    // The drive covered what it claims: most of the calendar lived, every clock case seen.
    QVERIFY(calendar.size() > 300000);
    QVERIFY(lived > static_cast<qint64>(calendar.size()) * 9 / 10);
    QVERIFY(relived > 0 && skipped > 0 && endsChecked > 100000);
    QVERIFY(lateWakeups > 0 && smallBacks > 0 && largeBacks > 0 && jumps > 0 && sleeps > 0 &&
            landings > 0);
}

QTEST_GUILESS_MAIN(TestScheduleSoak)
#include "test_schedule_soak.moc"
