// When a task next starts, checked by hand on the rules and against the real pass run over
// two simulated years.
#include "PassRig.h"
#include "scheduler/NextStart.h"

#include <QRandomGenerator>
#include <QTest>

#include <map>

namespace {

// 7 December 2026 is a Monday.
const QDate Monday(2026, 12, 7);

QDateTime at(const QDate &day, const char *time) {
    return QDateTime(day, QTime::fromString(QString::fromLatin1(time), "HH:mm:ss"));
}

std::optional<QDateTime> next(const PlayTask &task, const QDateTime &from,
                              const DayGate &gate = {}) {
    return NextStart::of(task, from, gate);
}

struct World {
    ScheduleTable tasks;
    DayGate gate;
    QStringList times; // the start times of day in use
};

QString dateText(const QDate &d) {
    return d.toString("yyyy-MM-dd");
}

// Tasks that share start seconds, weekday rules of every shape, one-day tasks inside and
// outside the span, texts the pass never matches; random boxes, holidays and make-up days
// (some dates in both lists).
World randomWorld(QRandomGenerator &rng, const QDate &first, int days) {
    World w;
    const int timeCount = 2 + rng.bounded(4);
    for (int i = 0; i < timeCount; ++i)
        w.times << QTime(rng.bounded(24), rng.bounded(60), rng.bounded(60)).toString("HH:mm:ss");
    const QStringList names = {"周一", "周二", "周三", "周四", "周五", "周六", "周日"};
    const int taskCount = 3 + rng.bounded(10);
    for (int k = 0; k < taskCount; ++k) {
        const QString time = w.times[rng.bounded(timeCount)];
        PlayTask t = makeTask(QStringLiteral("任务%1").arg(k), time, "23:59:59");
        const int shape = rng.bounded(10);
        if (shape < 2) {
            t.Device = TaskText::EveryDay;
        } else if (shape < 4) {
            t.Device = TaskText::OneDay;
            const QDate d = first.addDays(rng.bounded(days + 60) - 30);
            t.Time = dateText(d) + " " + time;
        } else if (shape < 8) {
            t.Device.clear();
            for (const QString &n : names)
                if (rng.bounded(3) == 0)
                    t.Device += n;
            if (t.Device.isEmpty())
                t.Time.clear(); // weekly with no day: stored without times
        } else if (shape == 8) {
            t.Device = TaskText::EveryDay;
            t.Time = QStringLiteral("8:00:00"); // not a clock text: never matches
        } else {
            // A one-day date with an every-day rule still plays on that date only.
            t.Device = TaskText::EveryDay;
            t.Time = dateText(first.addDays(rng.bounded(days))) + " " + time;
        }
        w.tasks.append(t);
    }
    for (int d = 0; d < 7; ++d)
        w.gate.weekdayOff[d] = rng.bounded(10) < 3;
    QStringList holidays;
    for (int i = rng.bounded(60); i > 0; --i)
        holidays << dateText(first.addDays(rng.bounded(days)));
    w.gate.setHolidays(holidays);
    for (int i = rng.bounded(40); i > 0; --i)
        w.gate.makeupDays.insert(dateText(first.addDays(rng.bounded(days))), rng.bounded(7));
    if (rng.bounded(4) != 0)
        w.gate.seasons = randomSeasons(rng, w.tasks);
    return w;
}

} // namespace

Q_DECLARE_METATYPE(PlayTask)

class TestNextStart : public QObject {
    Q_OBJECT
private slots:
    void everyDayTask() {
        const PlayTask t = makeTask("铃", "08:00:00", "08:30:00");
        QCOMPARE(next(t, at(Monday, "07:00:00")), at(Monday, "08:00:00"));
        QCOMPARE(next(t, at(Monday, "08:00:00")), at(Monday, "08:00:00"));
        QCOMPARE(next(t, at(Monday, "08:00:01")), at(Monday.addDays(1), "08:00:00"));
        QCOMPARE(next(t, at(Monday, "07:59:59").addMSecs(900)), at(Monday, "08:00:00"));
    }

    void weeklyTaskSkipsOtherDaysAndDaysOff() {
        const PlayTask t = makeTask("铃", "08:00:00", "08:30:00", "周一周三");
        QCOMPARE(next(t, at(Monday, "09:00:00")), at(Monday.addDays(2), "08:00:00"));
        DayGate gate;
        gate.weekdayOff[3] = true; // Wednesday
        gate.setHolidays({"2026-12-14"});
        QCOMPARE(next(t, at(Monday, "09:00:00"), gate), at(Monday.addDays(14), "08:00:00"));
    }

    void neverAgain_data() {
        QTest::addColumn<PlayTask>("task");
        QTest::addColumn<bool>("allDaysOff");
        QTest::newRow("one day in the past")
            << makeTask("铃", "2026-12-06 08:00:00", "2026-12-06 09:00:00", TaskText::OneDay)
            << false;
        QTest::newRow("one day, its second passed")
            << makeTask("铃", "2026-12-07 08:00:00", "2026-12-07 09:00:00", TaskText::OneDay)
            << false;
        QTest::newRow("weekly with no day") << makeTask("铃", "", "", "") << false;
        QTest::newRow("not a clock text") << makeTask("铃", "25:00:00", "26:00:00") << false;
        QTest::newRow("every day off") << makeTask("铃", "08:00:00", "09:00:00") << true;
    }
    void neverAgain() {
        QFETCH(PlayTask, task);
        QFETCH(bool, allDaysOff);
        DayGate gate;
        if (allDaysOff)
            gate.weekdayOff.fill(true);
        const auto found = next(task, at(Monday, "12:00:00"), gate);
        QVERIFY(!found);
        QCOMPARE(NextStart::describe(found, gate), QStringLiteral("不会再播放"));
    }

    void oneDayTaskInTheFuture() {
        const PlayTask t =
            makeTask("铃", "2027-05-01 09:00:00", "2027-05-01 10:00:00", TaskText::OneDay);
        QCOMPARE(next(t, at(Monday, "12:00:00")), at(QDate(2027, 5, 1), "09:00:00"));
        DayGate gate;
        gate.setHolidays({"2027-05-01"});
        QVERIFY(!next(t, at(Monday, "12:00:00"), gate));
    }

    void makeupWorkdayAndTheText() {
        const PlayTask t = makeTask("铃", "08:00:00", "08:30:00", "周一");
        DayGate gate;
        gate.weekdayOff[0] = true;
        gate.weekdayOff[6] = true;
        QCOMPARE(NextStart::describe(next(t, at(Monday, "09:00:00"), gate), gate),
                 QStringLiteral("下次播放：2026-12-14 周一 08:00:00"));
        gate.makeupDays = {{"2026-12-13", 1}};
        QCOMPARE(NextStart::describe(next(t, at(Monday, "09:00:00"), gate), gate),
                 QStringLiteral("下次播放：2026-12-13 周日 08:00:00（调休上班，按周一）"));
    }

    void earlierTaskTakesTheSharedSecond() {
        ScheduleTable table = {makeTask("先", "08:00:00", "08:30:00", "周一"),
                               makeTask("后", "08:00:00", "08:30:00")};
        QCOMPARE(NextStart::of(table, 1, at(Monday, "07:00:00"), {}),
                 at(Monday.addDays(1), "08:00:00"));
        table[0].Device = TaskText::EveryDay;
        QVERIFY(!NextStart::of(table, 1, at(Monday, "07:00:00"), {}));
        QCOMPARE(NextStart::of(table, 0, at(Monday, "07:00:00"), {}), at(Monday, "08:00:00"));
    }

    void listedDaysFarAhead() {
        // Every Monday for two years is a holiday: the answer lies after them.
        const PlayTask t = makeTask("铃", "08:00:00", "08:30:00", "周一");
        QStringList holidays;
        for (int week = 0; week < 104; ++week)
            holidays << dateText(Monday.addDays(7 * week));
        DayGate gate;
        gate.setHolidays(holidays);
        QCOMPARE(next(t, at(Monday, "07:00:00"), gate), at(Monday.addDays(7 * 104), "08:00:00"));
    }

    void agreesWithThePassOverTwoYears() {
        const QDate first(2026, 12, 1);
        const int days = 731;
        const QDateTime spanEnd = at(first.addDays(days - 1), "23:59:59");
        for (quint32 seed = 1; seed <= 12; ++seed) {
            QRandomGenerator rng(seed);
            const World w = randomWorld(rng, first, days);
            PassRig rig;
            rig.driver.setSchedule(w.tasks);
            rig.driver.setDayGateSource([&w] { return w.gate; });
            // No pass can start a task at a second no start text names, so living through
            // the named seconds of every day is living through the whole span.
            QStringList times = w.times;
            times.sort();
            for (int d = 0; d < days; ++d)
                for (const QString &time : times)
                    rig.wakeAt(QDateTime(first.addDays(d), QTime::fromString(time, "HH:mm:ss")));
            std::map<QString, QList<QDateTime>> starts;
            for (const auto &[name, second] : rig.started)
                starts[name].append(second);

            const NextStart::Starts table(w.tasks);
            for (qsizetype k = 0; k < w.tasks.size(); ++k) {
                const QList<QDateTime> &mine = starts[w.tasks[k].Name];
                QList<QDateTime> queries;
                for (int i = 0; i < 40; ++i)
                    queries << QDateTime(first, QTime(0, 0))
                                   .addSecs(rng.bounded(qint64(days) * 86400 - 1));
                for (const QDateTime &s : mine.mid(0, 20))
                    queries << s << s.addSecs(1) << s.addSecs(-1);
                for (const QDateTime &from : queries) {
                    if (from < QDateTime(first, QTime(0, 0)) || from > spanEnd)
                        continue;
                    const auto expected = std::find_if(
                        mine.cbegin(), mine.cend(), [&](const QDateTime &s) { return s >= from; });
                    const auto predicted = NextStart::of(w.tasks, k, from, w.gate);
                    // Cut short at a last day, as the preflight asks: the same up to it.
                    const QDate lastDay = from.date().addDays(1);
                    const auto bounded = table.of(k, from, w.gate, lastDay);
                    QCOMPARE(bounded, predicted && predicted->date() <= lastDay
                                          ? predicted
                                          : std::optional<QDateTime>());
                    const QString where = QStringLiteral("seed %1 task %2 (%3 %4) from %5")
                                              .arg(seed)
                                              .arg(k)
                                              .arg(w.tasks[k].Time, w.tasks[k].Device,
                                                   from.toString("yyyy-MM-dd HH:mm:ss"));
                    const auto shown = [](const std::optional<QDateTime> &t) {
                        return t ? t->toString("yyyy-MM-dd HH:mm:ss") : QStringLiteral("none");
                    };
                    if (expected != mine.cend())
                        QVERIFY2(predicted && *predicted == *expected,
                                 qPrintable(where + " expected " + shown(*expected) + " got " +
                                            shown(predicted)));
                    else
                        QVERIFY2(!predicted || *predicted > spanEnd,
                                 qPrintable(where + " predicted " + shown(predicted) +
                                            " but the pass never started it"));
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestNextStart)
#include "test_next_start.moc"
