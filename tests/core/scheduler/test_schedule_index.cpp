#include "scheduler/SchedulePass.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

// The rule written the plain way: scan the tasks in stored order. A task that ends at its
// own start second is never started; it is held back (and reported) instead.
QList<qsizetype> dueSlots(const ScheduleTable &table, const ClockTexts &now, const QString &weekday,
                          bool heldBack) {
    QList<qsizetype> due;
    for (qsizetype k = 0; k < table.size(); ++k) {
        const PlayTask &t = table[k];
        if ((t.Time == now.time || t.Time == now.full) &&
            (t.Device.contains(weekday) || t.Device == TaskText::EveryDay ||
             t.Device == TaskText::OneDay) &&
            (t.Time == t.Duration) == heldBack)
            due << k;
    }
    return due;
}

qsizetype firstDue(const ScheduleTable &table, const ClockTexts &now, const QString &weekday) {
    const QList<qsizetype> due = dueSlots(table, now, weekday, false);
    return due.isEmpty() ? -1 : due.first();
}

bool anyEnds(const ScheduleTable &table, const ClockTexts &now) {
    for (const PlayTask &t : table) {
        if (t.Duration == now.time || t.Duration == now.full)
            return true;
    }
    return false;
}

} // namespace

class TestScheduleIndex : public QObject {
    Q_OBJECT
private slots:
    void agreesWithStoredOrderScan();
    void oddFieldsNeverMatch();
};

void TestScheduleIndex::agreesWithStoredOrderScan() {
    // Few distinct seconds, so many tasks share one and the stored order decides.
    QRandomGenerator random(2026);
    const QStringList days = {
        TaskText::EveryDay, TaskText::OneDay, "周一周三周五", "周二", "周日", "", "每天 "};
    const QDate base(2026, 12, 6);
    for (int round = 0; round < 20; ++round) {
        ScheduleTable table;
        for (int i = 0; i < 300; ++i) {
            const QDateTime moment(base.addDays(random.bounded(3)), QTime(8, 0, random.bounded(6)));
            const ClockTexts texts = ClockTexts::of(moment);
            PlayTask t;
            t.Name = QString::number(i);
            t.Device = days.at(random.bounded(days.size()));
            const bool full = t.Device == TaskText::OneDay || random.bounded(8) == 0;
            t.Time = full ? texts.full : texts.time;
            t.Duration = ClockTexts::of(moment.addSecs(random.bounded(4))).time;
            table << t;
        }
        const ScheduleIndex index(table);
        for (int d = 0; d < 3; ++d) {
            for (int s = 0; s < 10; ++s) {
                const QDateTime moment(base.addDays(d), QTime(8, 0, s));
                const ClockTexts now = ClockTexts::of(moment);
                const QString weekday = Weekday::name(Weekday::of(moment.date()));
                QCOMPARE(index.dueStart(now, weekday), firstDue(table, now, weekday));
                QCOMPARE(index.heldBack(now, weekday), dueSlots(table, now, weekday, true));
                QCOMPARE(index.dueEnd(now), anyEnds(table, now));
            }
        }
    }
}

void TestScheduleIndex::oddFieldsNeverMatch() {
    PlayTask empty; // a weekly task with no day ticked stores no times at all
    PlayTask spaced;
    spaced.Time = " 08:00:00";
    spaced.Duration = "8:00:00";
    spaced.Device = TaskText::EveryDay;
    const ScheduleIndex index({empty, spaced});
    const ClockTexts now = ClockTexts::of(QDateTime(QDate(2026, 12, 7), QTime(8, 0)));
    QCOMPARE(index.dueStart(now, "周一"), qsizetype(-1));
    QVERIFY(!index.dueEnd(now));
}

QTEST_GUILESS_MAIN(TestScheduleIndex)
#include "test_schedule_index.moc"
