// Candidate days from iCalendar files the test writes.
#include "TestFiles.h"
#include "store/IcsCalendar.h"
#include "store/ProfileStore.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const QDate Today(2026, 12, 8);

QByteArray calendar(const QByteArray &events) {
    QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//test//ZH\r\n" + events +
                      "END:VCALENDAR\r\n";
    return text;
}

QByteArray allDay(const char *uid, const char *start, const char *end, const char *summary,
                  const QByteArray &extra = {}) {
    QByteArray e = QByteArray("BEGIN:VEVENT\r\nUID:") + uid + "\r\nDTSTAMP:20261201T000000Z\r\n" +
                   "DTSTART;VALUE=DATE:" + start + "\r\n";
    if (end)
        e += QByteArray("DTEND;VALUE=DATE:") + end + "\r\n";
    return e + "SUMMARY:" + summary + "\r\n" + extra + "END:VEVENT\r\n";
}

QStringList listed(const IcsCalendar::Result &result) {
    QStringList out;
    for (const IcsCalendar::Day &d : result.days) {
        const char *kind = d.kind == IcsCalendar::Kind::Holiday  ? "休"
                           : d.kind == IcsCalendar::Kind::Makeup ? "班"
                                                                 : "?";
        out << d.date.toString("yyyy-MM-dd") + " " + kind + " " + d.summary;
    }
    return out;
}

} // namespace

class TestIcsCalendar : public QObject {
    Q_OBJECT
private slots:
    void singleAllDayEventsSortedByKeyword() {
        const IcsCalendar::Result r =
            IcsCalendar::parse(calendar(allDay("a", "20270101", "20270102", "元旦 休") +
                                        allDay("b", "20270207", nullptr, "春节调休上班") +
                                        allDay("c", "20270211", "20270213", "春节假期") +
                                        allDay("d", "20270301", "20270302", "学校运动会")),
                               Today);
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        QCOMPARE(listed(r), (QStringList{"2027-01-01 休 元旦 休", "2027-02-07 班 春节调休上班",
                                         "2027-02-11 休 春节假期", "2027-02-12 休 春节假期",
                                         "2027-03-01 ? 学校运动会"}));
    }

    void recurringEventsForTheNext400Days() {
        // A yearly holiday since 2020, a weekly event with one exception and one moved
        // instance; none before today, none beyond 400 days from today.
        const IcsCalendar::Result r = IcsCalendar::parse(
            calendar(allDay("y", "20200501", "20200502", "劳动节 休", "RRULE:FREQ=YEARLY\r\n") +
                     allDay("w", "20261212", "20261213", "周六补班",
                            "RRULE:FREQ=WEEKLY;COUNT=4\r\nEXDATE;VALUE=DATE:20261219\r\n") +
                     "BEGIN:VEVENT\r\nUID:w\r\nDTSTAMP:20261201T000000Z\r\n"
                     "RECURRENCE-ID;VALUE=DATE:20261226\r\nDTSTART;VALUE=DATE:20261227\r\n"
                     "SUMMARY:周日补班\r\nEND:VEVENT\r\n"),
            Today);
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        QCOMPARE(listed(r), (QStringList{"2026-12-12 班 周六补班", "2026-12-27 班 周日补班",
                                         "2027-01-02 班 周六补班", "2027-05-01 休 劳动节 休"}));
    }

    void recurrenceEndsAfter400Days() {
        const IcsCalendar::Result r = IcsCalendar::parse(
            calendar(allDay("y", "20200501", "20200502", "劳动节 休", "RRULE:FREQ=YEARLY\r\n")),
            Today);
        // 2027-05-01 is within 400 days of 2026-12-08; 2028-05-01 is not.
        QCOMPARE(listed(r), QStringList{"2027-05-01 休 劳动节 休"});
        QCOMPARE(r.pastDays, 0);
    }

    void problemsGiveClearMessages_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << QByteArray() << "日历文件是空的";
        QTest::newRow("blank") << QByteArray(" \r\n\r\n") << "日历文件是空的";
        QTest::newRow("not a calendar")
            << QByteArray("Date0=2027-01-01\r\n") << "不是有效的日历文件";
        QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0", 11)
                                << "不是有效的日历文件";
        QTest::newRow("no events") << calendar({}) << "没有事件";
        QTest::newRow("broken dates")
            << calendar("BEGIN:VEVENT\r\nUID:x\r\nDTSTART;VALUE=DATE:2027XX01\r\n"
                        "SUMMARY:休\r\nEND:VEVENT\r\n")
            << "无法读取";
        QTest::newRow("timed only")
            << calendar("BEGIN:VEVENT\r\nUID:t\r\nDTSTAMP:20261201T000000Z\r\n"
                        "DTSTART:20270101T090000\r\nDTEND:20270101T100000\r\n"
                        "SUMMARY:开会\r\nEND:VEVENT\r\n")
            << "只有定时事件";
        QTest::newRow("all in the past")
            << calendar(allDay("p", "20250101", "20250102", "元旦")) << "都在今天以前";
    }
    void problemsGiveClearMessages() {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        const IcsCalendar::Result r = IcsCalendar::parse(text, Today);
        QVERIFY(r.days.isEmpty());
        QVERIFY2(r.error.contains(message), qPrintable(r.error));
    }

    void truncatedFileKeepsWhatItHolds() {
        // A file cut off in the middle: the events read before the cut still count.
        QByteArray text = calendar(allDay("a", "20270101", "20270102", "元旦 休") +
                                   allDay("b", "20270207", nullptr, "补班"));
        text.truncate(text.indexOf("SUMMARY:补班"));
        const IcsCalendar::Result r = IcsCalendar::parse(text, Today);
        QVERIFY(!r.days.isEmpty());
        QCOMPARE(r.days.first().date, QDate(2027, 1, 1));
    }

    void readsFilesAndReportsUnreadableOnes() {
        QTemporaryDir dir;
        const QString path = dir.filePath("假日.ics");
        QVERIFY(writeFileBytes(path, calendar(allDay("a", "20270101", "20270102", "元旦 休"))));
        QCOMPARE(IcsCalendar::read(path, Today).days.size(), 1);
        const IcsCalendar::Result missing = IcsCalendar::read(dir.filePath("没有.ics"), Today);
        QVERIFY(missing.days.isEmpty());
        QVERIFY2(missing.error.contains("无法读取日历文件“没有.ics”"), qPrintable(missing.error));
    }

    void summariesInCodePage936AreRead() {
        const IcsCalendar::Result r = IcsCalendar::parse(
            calendar(allDay("a", "20270207", nullptr, "x")
                         .replace("SUMMARY:x", "SUMMARY:" + *Gbk::encode("春节补班"))),
            Today);
        QCOMPARE(listed(r), QStringList{"2027-02-07 班 春节补班"});
    }

    void timedEventsBesideAllDayOnesAreLeftOut() {
        const IcsCalendar::Result r = IcsCalendar::parse(
            calendar(allDay("a", "20270101", "20270102", "元旦 休") +
                     "BEGIN:VEVENT\r\nUID:t\r\nDTSTAMP:20261201T000000Z\r\n"
                     "DTSTART:20270102T090000Z\r\nSUMMARY:开会\r\nEND:VEVENT\r\n"),
            Today);
        QCOMPARE(listed(r), QStringList{"2027-01-01 休 元旦 休"});
        QCOMPARE(r.timedEvents, 1);
    }
};

QTEST_GUILESS_MAIN(TestIcsCalendar)
#include "test_ics_calendar.moc"
