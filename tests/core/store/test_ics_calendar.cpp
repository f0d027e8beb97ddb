// Candidate days from iCalendar files the test writes.
#include "TestFiles.h"
#include "store/IcsCalendar.h"
#include "store/ProfileStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>

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

// Bounds this process's address space to what it uses now and `more` bytes beyond, for
// the life of the object: a read that runs away ends in a failed allocation, not in the
// machine's out-of-memory killer. Without effect under the address sanitizer, which
// reserves far more than it uses.
class MemoryLimit {
public:
    explicit MemoryLimit(qint64 more) {
        ::getrlimit(RLIMIT_AS, &m_before);
#if defined(__SANITIZE_ADDRESS__)
        Q_UNUSED(more);
#else
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmSize:")) {
                rlimit bounded = m_before;
                bounded.rlim_cur =
                    rlim_t(line.mid(7).trimmed().split(' ').first().toLongLong() * 1024 + more);
                ::setrlimit(RLIMIT_AS, &bounded);
            }
#endif
    }
    ~MemoryLimit() {
        ::setrlimit(RLIMIT_AS, &m_before);
    }

private:
    rlimit m_before{};
};

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

    // Not a calendar file at all: a pipe, a device behind a link, a file too large. Each is
    // refused by name before a byte is read (a read would block for ever or never end).
    void whatIsNoRegularFileIsRefusedUnread() {
        QTemporaryDir dir;
        const QString pipe = dir.filePath("pipe.ics");
        QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0644) == 0);
        const QString zero = dir.filePath("zero.ics");
        QVERIFY(QFile::link("/dev/zero", zero));
        const QString huge = dir.filePath("huge.ics");
        QFile file(huge);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(IcsCalendar::MaxFileBytes + 1)); // sparse
        file.close();
        const QString good = dir.filePath("good.ics");
        QVERIFY(writeFileBytes(good, calendar(allDay("a", "20270101", "20270102", "元旦 休"))));
        const QString linked = dir.filePath("linked.ics");
        QVERIFY(QFile::link(good, linked));

        const MemoryLimit bounded(256 << 20);
        const std::pair<QString, QString> refused[] = {
            {pipe, "“pipe.ics”是管道（FIFO）"},
            {zero, "“zero.ics”是设备文件"},
            {huge, "日历文件“huge.ics”太大"},
        };
        for (const auto &[path, message] : refused) {
            const IcsCalendar::Result r = IcsCalendar::read(path, Today);
            QVERIFY(r.days.isEmpty());
            QVERIFY2(r.error.contains(message), qPrintable(r.error));
        }
        // A link the user picked to a calendar file is that file.
        QCOMPARE(listed(IcsCalendar::read(linked, Today)), QStringList{"2027-01-01 休 元旦 休"});
    }

    // A rule repeating every second, and a hundred thousand single events: expanded day by
    // day, bounded to the days a holiday list can use, within bounded memory.
    void floodsAreBoundedToWholeDaysAhead() {
        const MemoryLimit bounded(512 << 20);
        const IcsCalendar::Result secondly = IcsCalendar::parse(
            calendar(allDay("s", "20261201", nullptr, "每秒 休", "RRULE:FREQ=SECONDLY\r\n") +
                     allDay("m", "20261220", nullptr, "短 休",
                            "RRULE:FREQ=MINUTELY;INTERVAL=30;COUNT=100\r\n") +
                     "BEGIN:VEVENT\r\nUID:t\r\nDTSTART:20261208T090000Z\r\n"
                     "RRULE:FREQ=SECONDLY\r\nSUMMARY:定时\r\nEND:VEVENT\r\n"),
            Today);
        QVERIFY2(secondly.error.isEmpty(), qPrintable(secondly.error));
        // Every day from today up to the rule horizon, once each.
        QCOMPARE(secondly.days.size(), IcsCalendar::RecurrenceDays + 1);
        QCOMPARE(secondly.days.first().date, Today);
        QCOMPARE(secondly.days.last().date, Today.addDays(IcsCalendar::RecurrenceDays));
        QCOMPARE(secondly.timedEvents, 1);
        // 100 half hours from 20 December: that day, the next and the one after.
        QCOMPARE(secondly.days[12].summary, QStringLiteral("每秒 休、短 休"));
        QCOMPARE(secondly.days[14].summary, QStringLiteral("每秒 休、短 休"));
        QCOMPARE(secondly.days[15].summary, QStringLiteral("每秒 休"));

        QByteArray events;
        for (int i = 0; i < 100000; ++i) {
            const QByteArray date = QDate(2000, 1, 1).addDays(i).toString("yyyyMMdd").toLatin1();
            events += allDay(QByteArray::number(i).constData(), date.constData(), nullptr,
                             i % 2 ? "假" : "同一天的很多事件");
        }
        // And a thousand more on one day: its summary stays short.
        for (int i = 0; i < 1000; ++i)
            events += allDay("d", "20270101", nullptr, QByteArray::number(i).constData());
        const QByteArray text = calendar(events);
        QVERIFY(text.size() < IcsCalendar::MaxFileBytes);
        qint64 lastDone = -1;
        qint64 told = 0;
        bool ordered = true;
        const IcsCalendar::Result many =
            IcsCalendar::parse(text, Today, [&](qint64 done, qint64 total) {
                ordered = ordered && done >= lastDone && done <= total;
                lastDone = done;
                ++told;
                return true;
            });
        QVERIFY(!many.cancelled);
        QVERIFY(ordered);
        QVERIFY(told > 100);
        QCOMPARE(many.days.size(), IcsCalendar::AheadDays + 1);
        QCOMPARE(many.days.last().date, Today.addDays(IcsCalendar::AheadDays));
        QCOMPARE(many.laterDays,
                 100000 - int(QDate(2000, 1, 1).daysTo(Today)) - IcsCalendar::AheadDays - 1);
        const auto newYear =
            std::find_if(many.days.cbegin(), many.days.cend(),
                         [](const IcsCalendar::Day &d) { return d.date == QDate(2027, 1, 1); });
        QVERIFY(newYear->summary.size() < 100);

        // Stopped at the first word: nothing comes of it.
        const IcsCalendar::Result stopped =
            IcsCalendar::parse(text, Today, [](qint64, qint64) { return false; });
        QVERIFY(stopped.cancelled);
        QVERIFY(stopped.days.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestIcsCalendar)
#include "test_ics_calendar.moc"
