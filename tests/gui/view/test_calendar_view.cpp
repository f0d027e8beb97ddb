// Make-up workdays as the main form shows them: the today filter, the dialog reached from
// the form and the menu command, the form's holiday list kept in step, next start in the
// task dialogs.
#include "ShownHolidays.h"
#include "dialogs/CalendarImportDlg.h"
#include "dialogs/HolidayCalendarDlg.h"
#include "dialogs/TaskDlgBase.h"
#include "dialogs/WorkProgress.h"
#include "scheduler/FakeClock.h"
#include "scheduler/ScheduleDriver.h"
#include "store/IcsCalendar.h"
#include "store/ProfileStore.h"
#include "tasktable/TaskChanges.h"
#include "tasktable/TaskTableModel.h"
#include "view/CommandIds.h"
#include "view/HoraletView.h"
#include "view/PlayPanel.h"
#include "view/SettingsPanel.h"
#include "view/TaskEditing.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include <atomic>

namespace {

// 13 December 2026 is a Sunday.
const QDateTime SundayMorning(QDate(2026, 12, 13), QTime(7, 0));

void writeProfile(const QString &path, const QString &text) {
    QVERIFY(ProfileStore::writeFileAtomically(path, *Gbk::encode(text)));
}

} // namespace

class TestCalendarView : public QObject {
    Q_OBJECT
private slots:
    void makeupSundayThroughTheForm() {
        QTemporaryDir dir;
        const TaskStore store(dir.path());
        const PlayTask daily{"每天铃", "08:00:00", "08:30:00", "60000", "每天", "顺序播放", {}};
        const PlayTask monday{"周一铃", "09:00:00", "09:30:00", "60000", "周一", "顺序播放", {}};
        const PlayTask sunday{"周日铃", "10:00:00", "10:30:00", "60000", "周日", "顺序播放", {}};
        QVERIFY(TaskChanges(store).add(daily, {}).ok);
        QVERIFY(TaskChanges(store).add(monday, {}).ok);
        QVERIFY(TaskChanges(store).add(sunday, {}).ok);
        writeProfile(dir.filePath("调休上班.ini"), "[调休上班]\r\n2026-12-13=周一\r\n");
        writeProfile(dir.filePath("复选控制.ini"), "[复选控制]\r\n周日=1\r\n");

        FakeClock clock(SundayMorning);
        CHoraletView view(dir.path());
        view.setClock(&clock);
        view.OnInitialUpdate();

        // Today is a Monday by timetable.
        QTest::mouseClick(view.findChild<QPushButton *>("todayButton1016"), Qt::LeftButton);
        QCOMPARE(view.taskModel()->tasks(), (QList<PlayTask>{daily, monday}));
        const DayGate gate = view.settingsPanel()->dayGate();
        QCOMPARE(gate.timetableWeekday(0, "2026-12-13"), 1);

        // The new-task dialog tells when the task as edited would play.
        QStringList nextStarts;
        QTime dialogTime(8, 15);
        view.taskEditing()->setDialogRunner([&](CTaskDlgBase &dialog) {
            auto *mondayBox = dialog.findChild<QCheckBox *>("dayMonday1085");
            // It opens with start and end alike: held back, whatever its days.
            nextStarts << dialog.nextStartShown();
            dialog.findChild<QTimeEdit *>("endPicker1044")->setTime(QTime(23, 0));
            nextStarts << dialog.nextStartShown(); // every day from now: today's is past
            dialog.findChild<QRadioButton *>("weeklyRadio1017")->click();
            mondayBox->setChecked(true);
            nextStarts << dialog.nextStartShown();
            dialog.findChild<QTimeEdit *>("startPicker1006")->setTime(dialogTime);
            nextStarts << dialog.nextStartShown();
            mondayBox->setChecked(false);
            nextStarts << dialog.nextStartShown();
        });
        view.runCommand(CommandId::NewTask);
        QCOMPARE(
            nextStarts,
            (QStringList{"开始和结束时间相同，不会播放", "下次播放：2026-12-14 周一 07:00:00",
                         "下次播放：2026-12-14 周一 07:00:00",
                         "下次播放：2026-12-13 周日 08:15:00（调休上班，按周一）", "不会再播放"}));
        // At 08:00:00 the every-day task stored first takes the second: this one never plays.
        dialogTime = QTime(8, 0);
        view.runCommand(CommandId::NewTask);
        QCOMPARE(nextStarts.value(8), QStringLiteral("不会再播放"));

        // The dialog is reached by the form's button and by the menu command; what it adds
        // shows in the form's own list at once.
        int opened = 0;
        view.settingsPanel()->setCalendarRunner([&](CHolidayCalendarDlg &dialog) {
            ++opened;
            dialog.setNotice([](QWidget *, const QString &) {});
            dialog.setDate(QDate(2026, 12, 25));
            dialog.AddHoliday();
        });
        auto *button = view.findChild<QPushButton *>(
            QStringLiteral("calendarButton%1").arg(CommandId::Calendar));
        QVERIFY(button);
        QVERIFY(button->isEnabled()); // outside the holiday group, which starts disabled
        button->click();
        QCOMPARE(opened, 1);
        QVERIFY(view.runCommand(CommandId::Calendar));
        QCOMPARE(opened, 2);
        QCOMPARE(shownHolidays(view), QStringList{"2026-12-25"});
        QCOMPARE(view.settingsPanel()->dayGate().holidays(), QSet<QString>{"2026-12-25"});
    }

    void formRefusesAHolidayThatIsAMakeupDay() {
        QTemporaryDir dir;
        writeProfile(dir.filePath("调休上班.ini"), "[调休上班]\r\n2026-12-13=周一\r\n");
        FakeClock clock(SundayMorning);
        CHoraletView view(dir.path());
        view.setClock(&clock);
        view.OnInitialUpdate();
        view.findChild<QCheckBox *>("holidayCheck1121")->click(); // opens the holiday group
        view.findChild<QDateEdit *>("holidayDate1006")->setDate(QDate(2026, 12, 13));
        QStringList said;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            said << box->text();
            box->button(box->standardButtons() & QMessageBox::Yes ? QMessageBox::Yes
                                                                  : QMessageBox::Ok)
                ->click();
        });
        answer.start(10);
        view.findChild<QPushButton *>("addHolidayButton1082")->click();
        QCOMPARE(said.size(), 2);
        QVERIFY2(said[1].contains("已是调休上班日"), qPrintable(said[1]));
        QVERIFY(shownHolidays(view).isEmpty());
        QVERIFY(!QFile::exists(dir.filePath("date.ini")));
    }

    // A calendar file of a rule repeating every second is read beside the schedule: the
    // bell due meanwhile starts at its second, the days offered are whole days within the
    // rule horizon, and a read stopped from its window offers nothing.
    void aBellDueWhileACalendarIsReadStartsAtItsSecond() {
        QTemporaryDir dir;
        const TaskStore store(dir.path());
        const PlayTask bell{"上课铃", "08:00:00", "08:00:05", "30000", "每天", "顺序播放", {}};
        QVERIFY(TaskChanges(store).add(bell, {"/nonexistent/bell.mp3"}).ok);
        const QString path = dir.filePath("每秒.ics");
        QVERIFY(ProfileStore::writeFileAtomically(
            path, "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:s\r\n"
                  "DTSTART;VALUE=DATE:20261201\r\nRRULE:FREQ=SECONDLY\r\nSUMMARY:休\r\n"
                  "END:VEVENT\r\nEND:VCALENDAR\r\n"));

        const QDateTime bellSecond(QDate(2026, 12, 8), QTime(8, 0, 0));
        FakeClock clock(bellSecond.addSecs(-1));
        CHoraletView view(dir.path());
        view.setClock(&clock);
        view.OnInitialUpdate();
        QList<QDateTime> starts;
        QSemaphore started;
        connect(&view.playPanel()->scheduler(), &ScheduleDriver::taskStarting,
                [&](const QDateTime &second, const PlayTask &) {
                    starts << second;
                    started.release();
                });
        std::atomic<bool> reading = false;
        QTimer clockHand;
        connect(&clockHand, &QTimer::timeout, [&] {
            if (reading)
                clock.set(bellSecond.addMSecs(5));
        });
        clockHand.start(10);

        bool startedDuringRead = false;
        int offered = -1;
        int confirmations = 0;
        QStringList notices;
        std::atomic<bool> stopAsked = false;
        view.settingsPanel()->setCalendarRunner([&](CHolidayCalendarDlg &dialog) {
            dialog.setNotice([&](QWidget *, const QString &text) { notices << text; });
            dialog.setImportRunner([&](CCalendarImportDlg &confirm) {
                ++confirmations;
                offered = confirm.rowCount();
                return false;
            });
            dialog.setReadPace([&] {
                if (!reading.exchange(true))
                    startedDuringRead = started.tryAcquire(1, 10000);
            });
            dialog.ImportFile(path);

            // Stopped from its window: no confirmation, no notice.
            dialog.setProgressWatcher([&](WorkProgress &progress) {
                progress.requestCancel();
                stopAsked = true;
            });
            dialog.setReadPace([&] {
                for (int i = 0; i < 1000 && !stopAsked; ++i)
                    QThread::msleep(10);
            });
            dialog.ImportFile(path);
        });
        QVERIFY(view.runCommand(CommandId::Calendar));
        QVERIFY(startedDuringRead);
        QCOMPARE(starts, QList<QDateTime>{bellSecond});
        QCOMPARE(confirmations, 1);
        QCOMPARE(offered, IcsCalendar::RecurrenceDays + 1);
        QVERIFY(stopAsked);
        QVERIFY2(notices.isEmpty(), qPrintable(notices.join('\n')));
    }
};

QTEST_MAIN(TestCalendarView)
#include "test_calendar_view.moc"
