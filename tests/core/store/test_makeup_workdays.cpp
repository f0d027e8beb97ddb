// 调休上班.ini and the rules that keep the holiday and make-up lists apart.
#include "TestFiles.h"
#include "store/CalendarDays.h"
#include "store/MakeupWorkdays.h"
#include "store/ProfileStore.h"
#include "tasktable/TaskNames.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

QByteArray gbk(const QString &text) {
    return *Gbk::encode(text);
}

QString filePath(const QTemporaryDir &dir) {
    return dir.filePath(MakeupWorkdays::fileName());
}

} // namespace

class TestMakeupWorkdays : public QObject {
    Q_OBJECT
private slots:
    void storedAsCodePage936WithCrLfInDateOrder() {
        QTemporaryDir dir;
        MakeupWorkdays days(dir.path());
        days.load();
        QVERIFY(days.entries().isEmpty());
        QVERIFY(days.set("2027-02-20", 1));
        QVERIFY(days.set("2027-02-07", 4));
        QCOMPARE(readFileBytes(filePath(dir)),
                 gbk("[调休上班]\r\n2027-02-07=周四\r\n2027-02-20=周一\r\n"));
        // Setting a listed date again re-points it instead of adding it twice.
        QVERIFY(days.set("2027-02-07", 1));
        QCOMPARE(readFileBytes(filePath(dir)),
                 gbk("[调休上班]\r\n2027-02-07=周一\r\n2027-02-20=周一\r\n"));

        MakeupWorkdays again(dir.path());
        again.load();
        QCOMPARE(again.followedWeekdays(),
                 (QHash<QString, int>{{"2027-02-07", 1}, {"2027-02-20", 1}}));
        QVERIFY(again.remove("2027-02-07"));
        QVERIFY(again.remove("2027-02-20"));
        QCOMPARE(readFileBytes(filePath(dir)), gbk("[调休上班]\r\n"));
    }

    void noTaskPlaylistCanTakeTheFileName() {
        QVERIFY(!TaskNames::nameProblem(QStringLiteral("调休上班"), {}).isEmpty());
        QVERIFY(TaskNames::nameProblem(QStringLiteral("调休上班铃"), {}).isEmpty());
    }

    void handEditsAreKeptButOnlyRealEntriesCount() {
        QTemporaryDir dir;
        QVERIFY(
            writeFileBytes(filePath(dir), gbk("; 2027 年的调休\n[调休上班]\n 2027-02-07 = 周日\n"
                                              "2027-2-8=周一\n2027-02-09=星期一\n2027-02-30=周一\n"
                                              "2027-02-07=周二\n[其他]\nx=1\n")));
        MakeupWorkdays days(dir.path());
        days.load();
        // The first of two equal keys wins, as with the Windows profile functions.
        QCOMPARE(days.followedWeekdays(), (QHash<QString, int>{{"2027-02-07", 0}}));
        QCOMPARE(days.entries().size(), 4);
        QVERIFY(days.set("2027-03-01", 1));
        MakeupWorkdays again(dir.path());
        again.load();
        QStringList kept;
        for (const auto &e : again.entries())
            kept << e.date + "=" + e.weekday;
        QCOMPARE(kept, (QStringList{"2027-02-07=周日", "2027-02-09=星期一", "2027-02-30=周一",
                                    "2027-03-01=周一", "2027-2-8=周一"}));
    }

    void badInputAndFailedWritesChangeNothing() {
        QTemporaryDir dir;
        MakeupWorkdays days(dir.path());
        QVERIFY(!days.set("2027-02-30", 1));
        QVERIFY(!days.set("2027-02-07", 7));
        QVERIFY(!QFile::exists(filePath(dir)));
        QVERIFY(days.set("2027-02-07", 1));
        if (geteuid() == 0)
            QSKIP("root writes into read-only directories");
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        const StoreResult failed = days.set("2027-02-20", 1);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!failed);
        QVERIFY(!failed.error.isEmpty());
        QVERIFY(!days.contains("2027-02-20"));
    }

    void aDateIsNeverInBothLists() {
        QTemporaryDir dir;
        HolidayList holidays(dir.path());
        MakeupWorkdays makeup(dir.path());
        CalendarDays days(holidays, makeup);
        QVERIFY(days.addHoliday("2027-02-10"));
        QVERIFY(days.addMakeup("2027-02-07", 1));

        const StoreResult asMakeup = days.addMakeup("2027-02-10", 1);
        QVERIFY(!asMakeup);
        QVERIFY(asMakeup.error.contains("已是节假日"));
        const StoreResult asHoliday = days.addHoliday("2027-02-07");
        QVERIFY(!asHoliday);
        QVERIFY(asHoliday.error.contains("已是调休上班日"));
        QVERIFY(!days.addHoliday("2027-02-10")); // not twice either
        QCOMPARE(holidays.dates(), QStringList{"2027-02-10"});
        QCOMPARE(makeup.followedWeekdays(), (QHash<QString, int>{{"2027-02-07", 1}}));

        QVERIFY(days.removeMakeup("2027-02-07"));
        QVERIFY(days.addHoliday("2027-02-07"));
        QVERIFY(days.removeHoliday("2027-02-10"));
        QCOMPARE(holidays.dates(), QStringList{"2027-02-07"});
    }

    void importAddsOnlyNewDates() {
        QTemporaryDir dir;
        HolidayList holidays(dir.path());
        MakeupWorkdays makeup(dir.path());
        CalendarDays days(holidays, makeup);
        QVERIFY(days.addHoliday("2027-01-01"));
        QVERIFY(days.addMakeup("2027-02-07", 1));
        using C = CalendarDays::Choice;
        const CalendarDays::ImportReport report = days.add({
            {"2027-01-01", C::Holiday, 1}, // listed already
            {"2027-02-07", C::Holiday, 1}, // a make-up day already
            {"2027-02-11", C::Holiday, 1},
            {"2027-02-11", C::Holiday, 1}, // twice in the file
            {"2027-02-12", C::Skip, 1},    // the user said no
            {"2027-02-20", C::Makeup, 4},
        });
        QVERIFY(report.result);
        QCOMPARE(report.holidaysAdded, 1);
        QCOMPARE(report.makeupAdded, 1);
        QCOMPARE(report.notAdded.size(), 3);
        QCOMPARE(holidays.dates(), (QStringList{"2027-01-01", "2027-02-11"}));
        QCOMPARE(makeup.followedWeekdays(),
                 (QHash<QString, int>{{"2027-02-07", 1}, {"2027-02-20", 4}}));
        QVERIFY(report.summary().startsWith("已添加 1 个节假日, 1 个调休上班日."));

        HolidayList reread(dir.path());
        reread.load();
        QCOMPARE(reread.dates(), holidays.dates());

        // Thousands of dates at once: each file is written once, not once per date.
        QList<C> many;
        for (int i = 0; i < 4000; ++i)
            many.append({QDate(2030, 1, 1).addDays(i).toString(Qt::ISODate),
                         i % 2 ? C::Makeup : C::Holiday, 6});
        int writes = 0;
        ProfileStore::setSlowWrite([&writes] { ++writes; });
        const CalendarDays::ImportReport bulk = days.add(many);
        ProfileStore::setSlowWrite({});
        QVERIFY(bulk.result);
        QCOMPARE(bulk.holidaysAdded, 2000);
        QCOMPARE(bulk.makeupAdded, 2000);
        QCOMPARE(writes, 2);
        reread.load();
        QCOMPARE(reread.dates().size(), 2002);
    }
};

QTEST_GUILESS_MAIN(TestMakeupWorkdays)
#include "test_makeup_workdays.moc"
