// date.ini and the list of days off.
#include "scheduler/SchedulePass.h"
#include "store/HolidayList.h"
#include "store/ProfileStore.h"
#include "store/StoreDirectory.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kDate = QStringLiteral("Holiday");
const QString kCount = QStringLiteral("The number of date");

QString filePath(const QTemporaryDir &dir) {
    return dir.filePath(HolidayList::fileName());
}

void writeAll(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// What date.ini holds, read back key by key.
QStringList storedDates(const QTemporaryDir &dir) {
    const ProfileFile file = ProfileFile::load(filePath(dir));
    QStringList dates;
    const int count = file.integer(kCount, QStringLiteral("quantity"), -1);
    for (int i = 0; i < count; ++i)
        dates << file.string(kDate, QStringLiteral("Date%1").arg(i));
    return dates;
}

} // namespace

class TestHolidayList : public QObject {
    Q_OBJECT

private slots:
    void addingKeepsListAndFileSorted() {
        QTemporaryDir dir;
        HolidayList list(dir.path());
        list.load();
        QVERIFY(list.dates().isEmpty());
        StoreResult result;
        QCOMPARE(list.add(QStringLiteral("2012-05-01"), &result), 0);
        QVERIFY(result);
        QCOMPARE(list.add(QStringLiteral("2012-01-01"), &result), 0);
        QVERIFY(result);
        const QStringList expected{QStringLiteral("2012-01-01"), QStringLiteral("2012-05-01")};
        QCOMPARE(list.dates(), expected);
        QCOMPARE(storedDates(dir), expected);
        const ProfileFile file = ProfileFile::load(filePath(dir));
        QCOMPARE(file.sectionNames(), (QStringList{kDate, kCount}));
        QCOMPARE(file.string(kCount, QStringLiteral("quantity")), QStringLiteral("2"));
        // Dates first, from Date0 up, then the count.
        QCOMPARE(file.toBytes(), QByteArray("[Holiday]\r\nDate0=2012-01-01\r\nDate1=2012-05-01\r\n"
                                            "[The number of date]\r\nquantity=2\r\n"));

        HolidayList restarted(dir.path());
        restarted.load();
        QCOMPARE(restarted.dates(), expected);
    }

    void duplicatesAreKeptAndDeletedOneByOne() {
        QTemporaryDir dir;
        HolidayList list(dir.path());
        list.load();
        list.add(QStringLiteral("2012-10-01"));
        list.add(QStringLiteral("2012-05-01"));
        QCOMPARE(list.add(QStringLiteral("2012-05-01")), 1);
        QCOMPARE(storedDates(dir),
                 (QStringList{QStringLiteral("2012-05-01"), QStringLiteral("2012-05-01"),
                              QStringLiteral("2012-10-01")}));
        QVERIFY(list.removeAt(0));
        QCOMPARE(storedDates(dir),
                 (QStringList{QStringLiteral("2012-05-01"), QStringLiteral("2012-10-01")}));
        QVERIFY(list.contains(QStringLiteral("2012-05-01")));
    }

    void deletingTheLastLeavesOnlyTheCount() {
        QTemporaryDir dir;
        HolidayList list(dir.path());
        list.load();
        list.add(QStringLiteral("2012-05-01"));
        QVERIFY(list.removeAt(0));
        QVERIFY(list.dates().isEmpty());
        const ProfileFile file = ProfileFile::load(filePath(dir));
        QCOMPARE(file.sectionNames(), QStringList{kCount});
        QCOMPARE(file.string(kCount, QStringLiteral("quantity")), QStringLiteral("0"));
    }

    void deleteWithoutSelectionRewritesTheSameDates() {
        QTemporaryDir dir;
        // Hand-written: out of order, one date in another form.
        writeAll(filePath(dir), "[Holiday]\r\nDate0=2012-5-1\r\nDate1=2012-03-08\r\n"
                                "Date2=2011-12-25\r\n[The number of date]\r\nquantity=3\r\n");
        HolidayList list(dir.path());
        list.load();
        const QStringList shown{QStringLiteral("2011-12-25"), QStringLiteral("2012-03-08"),
                                QStringLiteral("2012-5-1")};
        QCOMPARE(list.dates(), shown);
        QVERIFY(list.removeAt(-1));
        QVERIFY(list.removeAt(3));
        QCOMPARE(list.dates(), shown);
        QCOMPARE(storedDates(dir), shown);
        // Kept, but never the day 2012-05-01.
        QVERIFY(!list.contains(QStringLiteral("2012-05-01")));
        DayGate gate;
        gate.setHolidays(list.dates());
        QVERIFY(gate.admits(2, QStringLiteral("2012-05-01")));
        QVERIFY(!gate.admits(4, QStringLiteral("2012-03-08")));
    }

    void gateWalksOnlyTheRealDatesOnce() {
        // What the day walks of the next-start search see: entries in other forms, repeats
        // and impossible days drop out there, while the set keeps every text.
        DayGate gate;
        gate.setHolidays({"2012-5-1", "2012-05-01", "2012-05-01", "", "2011-12-25", "2012-02-30",
                          "0000-01-01", "2012-02-29 ", "假日", "2012-02-29"});
        QCOMPARE(gate.holidayDays(),
                 (QList<qint64>{QDate(2011, 12, 25).toJulianDay(), QDate(2012, 2, 29).toJulianDay(),
                                QDate(2012, 5, 1).toJulianDay()}));
        QVERIFY(gate.holidays().contains(QStringLiteral("2012-5-1")));
        QVERIFY(!gate.admits(2, QStringLiteral("2012-05-01")));
        QVERIFY(gate.admits(3, QStringLiteral("2012-03-01")));
        gate.setHolidays({});
        QVERIFY(gate.holidayDays().isEmpty());
        QVERIFY(gate.admits(2, QStringLiteral("2012-05-01")));
    }

    void countRulesWhatIsRead() {
        QTemporaryDir dir;
        HolidayList list(dir.path());
        // No count: no dates, whatever else the file holds.
        writeAll(filePath(dir), "[Holiday]\r\nDate0=2012-05-01\r\n");
        list.load();
        QVERIFY(list.dates().isEmpty());
        // A count below the keys present reads only that many.
        writeAll(filePath(dir), "[Holiday]\r\nDate0=2012-05-01\r\nDate1=2012-06-01\r\n"
                                "[The number of date]\r\nquantity=1\r\n");
        list.load();
        QCOMPARE(list.dates(), QStringList{QStringLiteral("2012-05-01")});
        // A key missing below the count is an empty entry that matches no day, and the
        // next rewrite keeps the count.
        writeAll(filePath(dir), "[Holiday]\r\nDate0=2012-05-01\r\nDate2=2012-06-01\r\n"
                                "[The number of date]\r\nquantity=4\r\n");
        list.load();
        const QStringList withGaps{QString(), QString(), QStringLiteral("2012-05-01"),
                                   QStringLiteral("2012-06-01")};
        QCOMPARE(list.dates(), withGaps);
        DayGate gate;
        gate.setHolidays(list.dates());
        QVERIFY(gate.admits(3, QStringLiteral("2012-05-02")));
        QVERIFY(!gate.admits(2, QStringLiteral("2012-05-01")));
        QVERIFY(list.add(QStringLiteral("2012-07-01")) >= 0);
        QCOMPARE(storedDates(dir), withGaps + QStringList{QStringLiteral("2012-07-01")});
        // A negative count reads as none.
        writeAll(filePath(dir), "[The number of date]\r\nquantity=-4\r\n");
        list.load();
        QVERIFY(list.dates().isEmpty());
    }

    void everyDateOfALongListIsHonoured() {
        QTemporaryDir dir;
        QStringList dates;
        QByteArray text = "[Holiday]\r\n";
        const QDate first(2030, 1, 1);
        for (int i = 0; i < 150; ++i) {
            const QString date = first.addDays(i * 2).toString(QStringLiteral("yyyy-MM-dd"));
            dates << date;
            text += QStringLiteral("Date%1=%2\r\n").arg(i).arg(date).toLatin1();
        }
        text += "[The number of date]\r\nquantity=150\r\n";
        writeAll(filePath(dir), text);

        HolidayList list(dir.path());
        list.load();
        QCOMPARE(list.dates(), dates);
        DayGate gate;
        gate.setHolidays(list.dates());
        for (int i = 0; i < 150; ++i) {
            const QDate day = first.addDays(i * 2);
            const QString dayText = day.toString(QStringLiteral("yyyy-MM-dd"));
            if (gate.admits(day.dayOfWeek() % 7, dayText))
                QFAIL(qPrintable(QStringLiteral("%1 plays").arg(dayText)));
            // The day between two holidays still plays.
            const QDate next = day.addDays(1);
            QVERIFY(gate.admits(next.dayOfWeek() % 7, next.toString(QStringLiteral("yyyy-MM-dd"))));
        }

        // Adding one more keeps all of them, in the file too.
        list.add(QStringLiteral("2029-12-31"));
        QCOMPARE(list.dates().size(), 151);
        QCOMPARE(storedDates(dir), list.dates());
        QCOMPARE(list.dates().first(), QStringLiteral("2029-12-31"));
    }

    void failedRewriteIsReported() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(HolidayList::fileName()));
        HolidayList list(dir.path());
        list.load();
        StoreResult result;
        QCOMPARE(list.add(QStringLiteral("2012-05-01"), &result), -1);
        QVERIFY(!result.ok);
        QVERIFY(!result.error.isEmpty());
        // What was not stored is no holiday either.
        QVERIFY(list.dates().isEmpty());
    }

    void changesInAReadOnlyStoreAreRefusedAndUndone() {
        QTemporaryDir dir;
        writeAll(filePath(dir),
                 "[Holiday]\r\nDate0=2012-05-01\r\n[The number of date]\r\nquantity=1\r\n");
        const QByteArray before = ProfileFile::load(filePath(dir)).toBytes();
        HolidayList list(dir.path());
        list.load();
        StoreDirectory::markReadOnly(dir.path(), QStringLiteral("数据目录不可写：测试"));
        StoreResult result;
        QCOMPARE(list.add(QStringLiteral("2012-06-01"), &result), -1);
        QVERIFY(result.error.startsWith(QStringLiteral("数据目录不可写：测试")));
        result = list.removeAt(0);
        QVERIFY(result.error.startsWith(QStringLiteral("数据目录不可写：测试")));
        StoreDirectory::markReadOnly(dir.path(), QString());
        QCOMPARE(list.dates(), QStringList{QStringLiteral("2012-05-01")});
        QCOMPARE(ProfileFile::load(filePath(dir)).toBytes(), before);
    }
};

QTEST_GUILESS_MAIN(TestHolidayList)
#include "test_holiday_list.moc"
