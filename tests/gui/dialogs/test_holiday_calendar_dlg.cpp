// The dialogs "节假日和调休" (both lists, the year view, the import) and "作息表", on real
// store files.
#include "TestFiles.h"
#include "campus/CampusConfig.h"
#include "dialogs/CalendarImportDlg.h"
#include "dialogs/HolidayCalendarDlg.h"
#include "dialogs/TimetableDlg.h"
#include "store/ProfileStore.h"

#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCharFormat>

#include <sys/stat.h>

namespace {

const QDate Today(2026, 12, 8);

QByteArray ics(const QByteArray &events) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//ZH\r\n" + events +
           "END:VCALENDAR\r\n";
}

QByteArray allDay(const char *uid, const char *date, const char *summary) {
    return QByteArray("BEGIN:VEVENT\r\nUID:") + uid + "\r\nDTSTART;VALUE=DATE:" + date +
           "\r\nSUMMARY:" + summary + "\r\nEND:VEVENT\r\n";
}

struct Rig {
    QTemporaryDir dir;
    HolidayList holidays{dir.path()};
    MakeupWorkdays makeup{dir.path()};
    CalendarDays days{holidays, makeup};
    QStringList notices;
    std::unique_ptr<CHolidayCalendarDlg> dialog;

    Rig() {
        holidays.load();
        makeup.load();
        dialog = std::make_unique<CHolidayCalendarDlg>(days, Today);
        dialog->setNotice([this](QWidget *, const QString &text) { notices << text; });
    }
    void click(const char *name) {
        auto *button = dialog->findChild<QPushButton *>(QString::fromLatin1(name));
        QVERIFY2(button, name);
        button->click();
    }
};

// The background a day is marked with; invalid when unmarked.
QColor markOf(const CHolidayCalendarDlg &dialog, const QDate &date) {
    const QBrush brush = dialog.monthView(date.month())->dateTextFormat(date).background();
    return brush.style() == Qt::NoBrush ? QColor() : brush.color();
}

} // namespace

class TestHolidayCalendarDlg : public QObject {
    Q_OBJECT
private slots:
    // Summer set up, a transition week overlapping it, the winter set copied from the summer
    // one, renamed and deleted; what is in force today and the next switch follow each step.
    void timetablesAreKeptSideBySide() {
        QTemporaryDir dir;
        const TaskStore store(dir.path());
        const auto task = [](const QString &name) {
            return PlayTask{name, "08:00:00", "08:00:30", "30000", "每天", "顺序播放", {}};
        };
        QVERIFY(store
                    .AddTask(task("上课铃"), {"/a.mp3"},
                             {QStringLiteral("夏季"), QStringList{"教学楼"}})
                    .result);
        QVERIFY(store.AddTask(task("放学铃"), {"/b.mp3"}, {QStringLiteral("夏季")}).result);
        QVERIFY(store.AddTask(task("早操"), {"/c.mp3"}).result);
        Timetables timetables(dir.path());
        timetables.load();
        CTimetableDlg dialog(timetables, store, Today);
        QStringList notices;
        QStringList told; // with the information icon
        QStringList answers;
        dialog.tell = [&](QWidget *, const QString &text) { notices << text; };
        dialog.inform = [&](QWidget *, const QString &text) { told << text; };
        // The range question as the user meets it: what it proposes and shows, then a choice.
        QStringList rangesShown;
        std::optional<SeasonRange> chosenRange;
        dialog.runRange = [&](CSeasonRangeDlg &prompt) {
            rangesShown << prompt.overlapShown();
            if (!chosenRange)
                return false;
            prompt.setRange(*chosenRange);
            rangesShown << prompt.overlapShown();
            return true;
        };
        dialog.ask = [&](QWidget *, const QString &text) {
            notices << text;
            return true;
        };
        dialog.askText = [&](QWidget *, const QString &, const QString &,
                             const QString &proposed) -> std::optional<QString> {
            if (answers.isEmpty())
                return proposed;
            return answers.takeFirst();
        };
        const auto cell = [&](int row, int column) {
            return dialog.table()->item(row, column)->text();
        };

        dialog.setFields("夏季", *SeasonRange::parse(u"05-01~09-30"));
        dialog.AddTimetable();
        QCOMPARE(dialog.todayText(), QStringLiteral("今天（12月8日）：无作息表"));
        QCOMPARE(dialog.switchText(), QStringLiteral("5月1日起：夏季"));
        dialog.setFields("过渡周", *SeasonRange::parse(u"09-25~10-07"));
        dialog.AddTimetable();
        QCOMPARE(dialog.table()->rowCount(), 2);
        QCOMPARE(cell(0, CTimetableDlg::TasksColumn), QStringLiteral("2"));
        QCOMPARE(cell(0, CTimetableDlg::OverlapColumn), QStringLiteral("与过渡周重叠"));
        dialog.AddTimetable(); // the same name again
        QCOMPARE(notices.size(), 1);

        // The winter set starts as a copy of the summer set, on days the user chooses: the
        // days summer leaves out are offered, with what they overlap. Cancelled: no copy.
        dialog.select("夏季");
        answers = {"冬季"};
        dialog.CopyTimetable();
        QCOMPARE(rangesShown, QStringList{"10-01~04-30（跨年）：与过渡周重叠"});
        QVERIFY(!dialog.addedTasks());
        QCOMPARE(dialog.table()->rowCount(), 2);
        rangesShown.clear();
        answers = {"冬季"}; // the suffix as proposed: "（冬季）"
        chosenRange = SeasonRange::parse(u"10-08~04-30");
        dialog.CopyTimetable();
        QCOMPARE(rangesShown, (QStringList{"10-01~04-30（跨年）：与过渡周重叠",
                                           "10-08~04-30（跨年）：不与其他作息表重叠"}));
        QVERIFY(dialog.addedTasks());
        QCOMPARE(told, QStringList{"已将作息表“夏季”的 2 个播放任务复制到“冬季”。"});
        QCOMPARE(cell(2, CTimetableDlg::RangeColumn), QStringLiteral("10-08~04-30（跨年）"));
        QCOMPARE(dialog.todayText(), QStringLiteral("今天（12月8日）：冬季"));
        QCOMPARE(dialog.switchText(), QStringLiteral("5月1日起：夏季"));
        QStringList names;
        for (const PlayTask &t : store.ReadTaskRows())
            names << t.Name + "=" + timetables.timetableOf(t.Name);
        QCOMPARE(names, (QStringList{"上课铃=夏季", "放学铃=夏季", "早操=", "上课铃（冬季）=冬季",
                                     "放学铃（冬季）=冬季"}));
        QCOMPARE(store.ReadTaskPlaylist("放学铃（冬季）"), TaskPlaylist{"/b.mp3"});
        CampusConfig campus(dir.path());
        campus.load();
        QCOMPARE(campus.taskZones(), (QHash<QString, QStringList>{{"上课铃", {"教学楼"}},
                                                                  {"上课铃（冬季）", {"教学楼"}}}));
        // A second copy under the same names is refused whole, with the warning; a name
        // taken by a timetable is refused before the range is asked.
        dialog.select("夏季");
        answers = {"冬季二", "（冬季）"};
        notices.clear();
        dialog.CopyTimetable();
        QCOMPARE(store.ReadTaskRows().size(), 5);
        QVERIFY(!timetables.find("冬季二"));
        QCOMPARE(notices.size(), 1);
        QCOMPARE(told.size(), 1);
        rangesShown.clear();
        answers = {" 冬季 "};
        dialog.CopyTimetable();
        QCOMPARE(notices.last(), QStringLiteral("已有名为“冬季”的作息表。"));
        QVERIFY(rangesShown.isEmpty());
        notices.clear();

        dialog.select("过渡周");
        dialog.setFields("交接周", *SeasonRange::parse(u"09-28~10-03"));
        dialog.ChangeTimetable();
        QCOMPARE(cell(1, CTimetableDlg::NameColumn), QStringLiteral("交接周"));
        QCOMPARE(cell(1, CTimetableDlg::RangeColumn), QStringLiteral("09-28~10-03"));
        QCOMPARE(dialog.switchText(), QStringLiteral("5月1日起：夏季"));

        // Deleting a timetable that has tasks says so; the tasks keep naming it and stop.
        dialog.select("冬季");
        notices.clear();
        dialog.RemoveTimetable();
        QVERIFY(notices.value(0).contains("2 个播放任务"));
        Timetables stored(dir.path());
        stored.load();
        QCOMPARE(stored.timetables().size(), 2);
        QCOMPARE(stored.timetableOf("上课铃（冬季）"), QStringLiteral("冬季"));
    }

    // A thousand timetables made by hand, each sharing every day with all the others: the
    // overlap cell names a few and counts the rest.
    void manyOverlappingTimetablesShowBoundedCells() {
        QTemporaryDir dir;
        QByteArray file = *Gbk::encode("[作息表]\r\n");
        for (int i = 0; i < 1000; ++i)
            file += "T" + QByteArray::number(i) + "=01-01~12-31\r\n";
        QVERIFY(writeFileBytes(dir.filePath(Timetables::fileName()), file));
        Timetables timetables(dir.path());
        timetables.load();
        const CTimetableDlg dialog(timetables, TaskStore(dir.path()), Today);
        QCOMPARE(dialog.table()->rowCount(), 1000);
        QCOMPARE(dialog.table()->item(0, CTimetableDlg::OverlapColumn)->text(),
                 QStringLiteral("与T1、T2、T3等 999 个作息表重叠"));
        QCOMPARE(dialog.table()->item(999, CTimetableDlg::OverlapColumn)->text(),
                 QStringLiteral("与T0、T1、T2等 999 个作息表重叠"));
        QCOMPARE(dialog.table()->item(5, CTimetableDlg::TasksColumn)->text(), QStringLiteral("0"));
    }

    void addAndDeleteBothKindsOfDays() {
        Rig rig;
        QSignalSpy holidaysChanged(rig.dialog.get(), &CHolidayCalendarDlg::holidaysChanged);
        rig.dialog->setDate(QDate(2027, 2, 11));
        rig.click("addHolidayButton");
        rig.dialog->setDate(QDate(2027, 2, 7));
        rig.dialog->setFollowedWeekday(4);
        rig.click("addMakeupButton");
        QCOMPARE(rig.notices, QStringList());
        QCOMPARE(rig.dialog->holidaysShown(), QStringList{"2027-02-11"});
        QCOMPARE(rig.dialog->makeupShown(), QStringList{"2027-02-07 周日 → 按周四"});
        QCOMPARE(holidaysChanged.count(), 1);
        QCOMPARE(readFileBytes(rig.dir.filePath("调休上班.ini")),
                 *Gbk::encode("[调休上班]\r\n2027-02-07=周四\r\n"));
        QCOMPARE(ProfileStore::readString(rig.dir.filePath("date.ini"), "Holiday", "Date0"),
                 QStringLiteral("2027-02-11"));

        // The year view follows the date and marks both kinds, each in its own colour.
        QCOMPARE(rig.dialog->yearShown(), 2027);
        const QColor holiday = markOf(*rig.dialog, QDate(2027, 2, 11));
        const QColor makeup = markOf(*rig.dialog, QDate(2027, 2, 7));
        QVERIFY(holiday.isValid() && makeup.isValid() && holiday != makeup);
        QCOMPARE(rig.dialog->monthView(2)->monthShown(), 2);
        QCOMPARE(rig.dialog->monthView(2)->yearShown(), 2027);
        // No shown day is selected: a selected day would hide its mark.
        for (int m = 1; m <= 12; ++m)
            QVERIFY(rig.dialog->monthView(m)->selectedDate().year() != 2027);

        rig.dialog->selectMakeup(0);
        rig.click("deleteMakeupButton");
        rig.dialog->selectHoliday(0);
        rig.click("deleteHolidayButton");
        QVERIFY(rig.dialog->holidaysShown().isEmpty());
        QVERIFY(rig.dialog->makeupShown().isEmpty());
        QCOMPARE(markOf(*rig.dialog, QDate(2027, 2, 11)), QColor());
        QCOMPARE(holidaysChanged.count(), 2);
    }

    // A hundred thousand stored dates: all listed, the shown year marked, the one picked
    // deleted, the selection kept on the same date.
    void aHundredThousandDates() {
        QTemporaryDir dir;
        QByteArray dates = "[Holiday]\r\n";
        for (int i = 0; i < 100000; ++i)
            dates += "Date" + QByteArray::number(i) + '=' +
                     QDate(1900, 1, 1).addDays(i).toString(Qt::ISODate).toLatin1() + "\r\n";
        dates += "[The number of date]\r\nquantity=100000\r\n";
        QVERIFY(writeFileBytes(dir.filePath("date.ini"), dates));
        HolidayList holidays(dir.path());
        holidays.load();
        MakeupWorkdays makeup(dir.path());
        CalendarDays days(holidays, makeup);
        CHolidayCalendarDlg dialog(days, Today);
        auto *list = dialog.findChild<QAbstractItemView *>(QStringLiteral("holidayList"));
        QVERIFY(list);
        QCOMPARE(list->model()->rowCount(), 100000);
        QCOMPARE(list->model()->index(99999, 0).data().toString(),
                 QDate(1900, 1, 1).addDays(99999).toString(Qt::ISODate));
        QVERIFY(markOf(dialog, QDate(2026, 3, 1)).isValid());
        QCOMPARE(dialog.monthView(3)->dateTextFormat().size(), 31);

        const int row = int(QDate(1900, 1, 1).daysTo(QDate(2026, 12, 25)));
        dialog.selectHoliday(row);
        QCOMPARE(dialog.yearShown(), 2026);
        dialog.setNotice([](QWidget *, const QString &text) { QFAIL(qPrintable(text)); });
        dialog.selectHoliday(row + 10);
        dialog.DeleteHoliday();
        QCOMPARE(holidays.dates().size(), 99999);
        QVERIFY(!holidays.contains(QStringLiteral("2027-01-04")));
        QCOMPARE(list->model()->rowCount(), 99999);
        dialog.selectHoliday(row);
        dialog.setDate(QDate(1800, 1, 1)); // listed first: every row moves down
        dialog.AddHoliday();
        QCOMPARE(list->currentIndex().row(), row + 1);
        QCOMPARE(list->currentIndex().data().toString(), QStringLiteral("2026-12-25"));
    }

    void refusesADateInBothListsAndEmptyDeletes() {
        Rig rig;
        rig.dialog->setDate(QDate(2027, 2, 7));
        rig.click("addMakeupButton");
        rig.click("addHolidayButton");
        rig.dialog->setDate(QDate(2027, 2, 11));
        rig.click("addHolidayButton");
        rig.dialog->setDate(QDate(2027, 2, 11));
        rig.click("addMakeupButton");
        rig.click("addHolidayButton");
        QCOMPARE(rig.notices.size(), 3);
        QVERIFY(rig.notices[0].contains("已是调休上班日"));
        QVERIFY(rig.notices[1].contains("已是节假日"));
        QVERIFY(rig.notices[2].contains("已在节假日列表中"));
        QCOMPARE(rig.holidays.dates(), QStringList{"2027-02-11"});
        QCOMPARE(rig.makeup.entries().size(), 1);

        rig.notices.clear();
        rig.dialog->selectHoliday(-1);
        rig.click("deleteHolidayButton");
        rig.dialog->selectMakeup(-1);
        rig.click("deleteMakeupButton");
        QCOMPARE(rig.notices.size(), 2);
        QCOMPARE(rig.holidays.dates().size(), 1);
        QCOMPARE(rig.makeup.entries().size(), 1);
    }

    void importIsConfirmedFirst() {
        Rig rig;
        rig.dialog->setDate(QDate(2027, 1, 1));
        rig.click("addHolidayButton");
        const QString path = rig.dir.filePath("2027.ics");
        QVERIFY(writeFileBytes(
            path, ics(allDay("a", "20270101", "元旦 休") + allDay("b", "20270207", "春节调休上班") +
                      allDay("c", "20270211", "春节 休") + allDay("d", "20270220", "补班") +
                      allDay("e", "20270301", "运动会"))));

        // Cancelled: nothing added.
        int shown = 0;
        rig.dialog->setImportRunner([&](CCalendarImportDlg &) {
            ++shown;
            return false;
        });
        rig.dialog->ImportFile(path);
        QCOMPARE(shown, 1);
        QCOMPARE(rig.holidays.dates(), QStringList{"2027-01-01"});
        QVERIFY(rig.makeup.entries().isEmpty());

        rig.dialog->setImportRunner([&](CCalendarImportDlg &confirm) {
            using C = CalendarDays::Choice;
            [&] {
                QCOMPARE(confirm.rowCount(), 5);
                QVERIFY(confirm.isListed(0)); // 2027-01-01 is listed already
                QCOMPARE(confirm.choice(0).kind, C::Skip);
                QCOMPARE(confirm.choice(1).kind, C::Makeup);
                QCOMPARE(confirm.choice(1).weekday, 1); // Monday unless chosen
                QCOMPARE(confirm.choice(2).kind, C::Holiday);
                QCOMPARE(confirm.choice(3).kind, C::Makeup);
                QCOMPARE(confirm.choice(4).kind, C::Skip);
            }();
            confirm.choose(0, C::Holiday); // a listed day cannot be chosen
            confirm.choose(3, C::Makeup, 5);
            // The user's way: the cell's drop-down list, in place.
            auto *table = confirm.findChild<QTableView *>(QStringLiteral("importTable"));
            [&] {
                QVERIFY(table);
                QVERIFY(!(table->model()->index(0, 3).flags() & Qt::ItemIsEditable));
                table->edit(table->model()->index(4, 3));
                auto *box = table->viewport()->findChild<QComboBox *>();
                QVERIFY(box);
                box->setCurrentIndex(C::Holiday);
                emit box->activated(C::Holiday);
                QCOMPARE(confirm.choice(4).kind, C::Holiday);
                QCOMPARE(table->model()->index(4, 3).data().toString(), QStringLiteral("节假日"));
            }();
            return true;
        });
        rig.dialog->ImportFile(path);
        QCOMPARE(rig.holidays.dates(), (QStringList{"2027-01-01", "2027-02-11", "2027-03-01"}));
        QCOMPARE(rig.makeup.followedWeekdays(),
                 (QHash<QString, int>{{"2027-02-07", 1}, {"2027-02-20", 5}}));
        QCOMPARE(rig.notices.size(), 1);
        QVERIFY2(rig.notices[0].startsWith("已添加 2 个节假日, 2 个调休上班日."),
                 qPrintable(rig.notices[0]));
        QCOMPARE(rig.dialog->makeupShown(),
                 (QStringList{"2027-02-07 周日 → 按周一", "2027-02-20 周六 → 按周五"}));
    }

    void badFilesSayWhyAndAddNothing() {
        Rig rig;
        bool asked = false;
        rig.dialog->setImportRunner([&](CCalendarImportDlg &) { return asked = true; });
        const QString empty = rig.dir.filePath("empty.ics");
        const QString broken = rig.dir.filePath("broken.ics");
        QVERIFY(writeFileBytes(empty, {}));
        QVERIFY(writeFileBytes(broken, "this is no calendar\r\n"));
        rig.dialog->ImportFile(empty);
        rig.dialog->ImportFile(broken);
        rig.dialog->ImportFile(rig.dir.filePath("missing.ics"));
        // Picked by mistake: a pipe, a device behind a link. Named, never read.
        const QString pipe = rig.dir.filePath("pipe.ics");
        QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0644) == 0);
        QVERIFY(QFile::link("/dev/zero", rig.dir.filePath("zero.ics")));
        rig.dialog->ImportFile(pipe);
        rig.dialog->ImportFile(rig.dir.filePath("zero.ics"));
        QVERIFY(!asked);
        QCOMPARE(rig.notices.size(), 5);
        QVERIFY(rig.notices[0].contains("空的"));
        QVERIFY(rig.notices[1].contains("不是有效的日历文件"));
        QVERIFY(rig.notices[2].contains("无法读取日历文件"));
        QVERIFY2(rig.notices[3].contains("“pipe.ics”是管道"), qPrintable(rig.notices[3]));
        QVERIFY2(rig.notices[4].contains("“zero.ics”是设备文件"), qPrintable(rig.notices[4]));
        QVERIFY(rig.holidays.dates().isEmpty());
        QVERIFY(!QFile::exists(rig.dir.filePath("调休上班.ini")));
    }
};

QTEST_MAIN(TestHolidayCalendarDlg)
#include "test_holiday_calendar_dlg.moc"
