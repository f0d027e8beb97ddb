#include "scheduler/ClockTexts.h"

#include <QTest>

#include <chrono>

class TestWeekday : public QObject {
    Q_OBJECT
private slots:
    void formulaMatchesCalendarForFiveCenturies();
    void leapDays_data();
    void leapDays();
    void names();
    void texts_data();
    void texts();
};

void TestWeekday::formulaMatchesCalendarForFiveCenturies() {
    using namespace std::chrono;
    int checked = 0;
    for (int y = 1900; y <= 2400; ++y) {
        const sys_days newYear = year(y) / January / 1;
        const int daysInYear = QDate::isLeapYear(y) ? 366 : 365;
        for (int d = 1; d <= daysInYear; ++d) {
            const unsigned expected = weekday(newYear + days(d - 1)).c_encoding();
            if (Weekday::of(y, d) != static_cast<int>(expected))
                QFAIL(qPrintable(QString("year %1 day %2").arg(y).arg(d)));
            ++checked;
        }
    }
    QCOMPARE(checked, 182987);
}

void TestWeekday::leapDays_data() {
    QTest::addColumn<QDate>("date");
    QTest::addColumn<int>("weekday");
    QTest::newRow("1 March 2100") << QDate(2100, 3, 1) << 1;
    QTest::newRow("28 February 2100") << QDate(2100, 2, 28) << 0;
    QTest::newRow("29 February 2000") << QDate(2000, 2, 29) << 2;
    QTest::newRow("1 March 2000") << QDate(2000, 3, 1) << 3;
    QTest::newRow("29 February 2028") << QDate(2028, 2, 29) << 2;
    QTest::newRow("31 December 2400") << QDate(2400, 12, 31) << 0;
}

void TestWeekday::leapDays() {
    QFETCH(QDate, date);
    QFETCH(int, weekday);
    QCOMPARE(Weekday::of(date), weekday);
}

void TestWeekday::names() {
    const QStringList expected = {"周日", "周一", "周二", "周三", "周四", "周五", "周六"};
    for (int w = 0; w < 7; ++w)
        QCOMPARE(Weekday::name(w), expected.at(w));
}

void TestWeekday::texts_data() {
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<QString>("full");
    QTest::newRow("padded") << QDateTime(QDate(2026, 3, 7), QTime(8, 5, 9, 999))
                            << "2026-03-07 08:05:09";
    QTest::newRow("midnight") << QDateTime(QDate(2012, 5, 1), QTime(0, 0)) << "2012-05-01 00:00:00";
    QTest::newRow("last second") << QDateTime(QDate(2099, 12, 31), QTime(23, 59, 59))
                                 << "2099-12-31 23:59:59";
    QTest::newRow("early year") << QDateTime(QDate(987, 1, 2), QTime(1, 2, 3))
                                << "0987-01-02 01:02:03";
}

void TestWeekday::texts() {
    QFETCH(QDateTime, moment);
    QFETCH(QString, full);
    const ClockTexts texts = ClockTexts::of(moment);
    QCOMPARE(texts.full, full);
    QCOMPARE(texts.time, full.mid(11));
    QCOMPARE(texts.date, full.left(10));
}

QTEST_GUILESS_MAIN(TestWeekday)
#include "test_weekday.moc"
