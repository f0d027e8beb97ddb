// 调休上班.ini and the rules that keep the holiday and make-up lists apart.
#include "TestFiles.h"
#include "store/CalendarDays.h"
#include "store/MakeupWorkdays.h"
#include "store/ProfileStore.h"
#include "store/Timetables.h"
#include "tasktable/TaskNames.h"

#include <QDir>
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

    // 作息表.ini: both sections in code page 936 with CRLF; hand-written entries that cannot
    // be read are kept; renaming a timetable re-points its tasks; a failed write changes nothing.
    void timetablesFileKeepsItsEntriesInStep() {
        QTemporaryDir dir;
        const QString path = dir.filePath(Timetables::fileName());
        QVERIFY(writeFileBytes(path, gbk("; 学校作息\n[作息表]\n夏季 = 5-1~9-30\n冬季=10-01~04-30\n"
                                         "坏=13-01~02-30\n[任务作息表]\n上课铃（夏）=夏季\n"
                                         "上课铃（冬）=冬季\n")));
        Timetables t(dir.path());
        t.load();
        QCOMPARE(t.timetables().size(), 3);
        QCOMPARE(t.find("夏季")->range, SeasonRange::parse(u"05-01~09-30"));
        QVERIFY(!t.find("坏")->range);
        QCOMPARE(t.timetableOf("上课铃（冬）"), QStringLiteral("冬季"));
        QCOMPARE(t.timetableOf("早操"), QString());

        QVERIFY(t.renameTimetable("冬季", "冬令"));
        QVERIFY(t.setTaskTimetable("早操", "夏季"));
        QVERIFY(t.setTaskTimetable("上课铃（夏）", ""));
        QCOMPARE(readFileBytes(path),
                 gbk("[作息表]\r\n夏季=5-1~9-30\r\n冬令=10-01~04-30\r\n坏=13-01~02-30\r\n"
                     "[任务作息表]\r\n上课铃（冬）=冬令\r\n早操=夏季\r\n"));
        // The comment was lost to the rewrite, so the file as it stood is kept aside.
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).size() > 1);

        QVERIFY(!t.setTimetable("全年", {}));
        QVERIFY(!t.setTimetable("a=b", {}));
        QVERIFY(!t.renameTimetable("夏季", "冬令"));
        QVERIFY(!t.renameTimetable("春季", "秋季"));
        QVERIFY(t.setTimetable("夏季", *SeasonRange::parse(u"04-25~09-30")));
        QVERIFY(t.removeTimetable("坏"));
        Timetables again(dir.path());
        again.load();
        QCOMPARE(again.timetables().size(), 2);
        QCOMPARE(again.find("夏季")->rangeText, QStringLiteral("04-25~09-30"));
        QCOMPARE(again.tasksOf("夏季"), QStringList{"早操"});
        QVERIFY(!TaskNames::nameProblem(QStringLiteral("作息表"), {}).isEmpty());

        // A day a timetable, to the cap: overlaps counted whole and named only a few; 02-29
        // holds no day in other years.
        for (QDate day(2024, 1, 1); day.year() == 2024; day = day.addDays(1))
            QVERIFY(again.setTimetable(day.toString("MM-dd"), {day.month() * 100 + day.day(),
                                                               day.month() * 100 + day.day()}));
        const QList<Timetables::Overlap> overlaps = again.overlaps(2);
        QCOMPARE(overlaps.size(), 368);
        QCOMPARE(overlaps[0].count, 1 + 159); // 夏季: 冬令's 04-25..04-30, and its days
        QCOMPARE(overlaps[0].named, (QStringList{"冬令", "04-25"}));
        QCOMPARE(overlaps[1].count, 1 + 92 + 121);
        QCOMPARE(overlaps[1].named, (QStringList{"夏季", "01-01"}));
        QCOMPARE(overlaps[2 + 59].count, 1); // 02-29
        QCOMPARE(again.overlapping("03-01"), QStringList{"冬令"});
        QCOMPARE(again.taskCounts().value("夏季"), 1);
        while (again.timetables().size() < Timetables::MaxTimetables)
            QVERIFY(again.setTimetable(QString::number(again.timetables().size()), {101, 101}));
        QVERIFY(again.setTimetable("夏季", {501, 930})); // a change is not an addition
        QVERIFY(again.setTimetable("多一个", {101, 101}).error.contains("最多"));

        if (geteuid() == 0)
            QSKIP("root writes into read-only directories");
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        const StoreResult failed = t.setTaskTimetable("早操", "冬令");
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!failed);
        QCOMPARE(t.timetableOf("早操"), QStringLiteral("夏季"));
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
