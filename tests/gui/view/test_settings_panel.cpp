// The form's settings of no task and its volume row, on the real form, against the real
// sound server of the "pulse" fixture.
#include "BoxAnswerer.h"
#include "ShownHolidays.h"
#include "platform/PulseMasterVolume.h"
#include "platform/WakeAlarmHelper.h"
#include "scheduler/FakeClock.h"
#include "store/ProfileStore.h"
#include "view/HoraletView.h"
#include "view/SettingsPanel.h"
#include "view/VolumePanel.h"
#include "widgets/GroupCheck.h"

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include <deque>

namespace {

template <typename T> T *control(const QWidget &view, const char *name) {
    T *found = view.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

void click(QAbstractButton *button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

QString flag(const QTemporaryDir &dir, const QString &key) {
    return ProfileStore::readString(dir.filePath(QStringLiteral("复选控制.ini")),
                                    QStringLiteral("复选控制"), key, QStringLiteral("<absent>"));
}

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A started view, as the program shows it.
struct Started {
    explicit Started(const QString &directory) : view(directory) {
        view.setClock(&clock);
        view.resize(1000, 800);
        view.OnInitialUpdate();
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            qWarning("view not exposed");
    }
    FakeClock clock{QDateTime(QDate(2026, 3, 4), QTime(13, 14, 15))};
    CHoraletView view;
};

void setPulse(const QByteArray &server) {
    qputenv("PULSE_SERVER", server);
}

} // namespace

class TestSettingsPanel : public QObject {
    Q_OBJECT
    QByteArray m_server;

private slots:
    void initTestCase() {
        m_server = qgetenv("PULSE_SERVER");
        QVERIFY2(!m_server.isEmpty(), "run through ctest: needs the pulse fixture");
    }
    void init() { setPulse(m_server); }

    void freshStartHasEverythingClearAndTheGroupDisabled() {
        QTemporaryDir dir;
        BoxAnswerer boxes;
        Started s(dir.path());
        QVERIFY(boxes.shown.isEmpty());
        const CHoraletView &view = s.view;
        SettingsPanel *settings = view.settingsPanel();
        QVERIFY(settings);
        QCOMPARE(settings->weekdaysOff(), (std::array<bool, 7>{}));
        QVERIFY(settings->holidayDates().isEmpty());
        QVERIFY(settings->shutdownTime().isEmpty());
        QVERIFY(!settings->shutdownEnabled());
        // No time stored: the picker's own default, not the moment of start.
        QCOMPARE(control<QTimeEdit>(view, "shutdownTime1044")->time(), QTime(0, 0));
        QVERIFY(control<QTimeEdit>(view, "shutdownTime1044")->toolTip().contains("尚未设置"));
        QVERIFY(control<QRadioButton>(view, "sequentialRadio1112")->isChecked());
        QVERIFY(shownHolidays(view).isEmpty());

        auto *group = control<CGroupCheck>(view, "holidayCheck1121");
        QVERIFY(!group->isChecked());
        QVERIFY(group->isEnabled());
        for (const char *name :
             {"weekdayMonday1045", "weekdaySunday1051", "holidayList1081", "holidayDate1006",
              "addHolidayButton1082", "deleteHolidayButton1083"})
            QVERIFY2(!control<QWidget>(view, name)->isEnabled(), name);
        QVERIFY(control<QWidget>(view, "shutdownCheck1076")->isEnabled());
        QVERIFY(control<QWidget>(view, "volumeSlider1056")->isEnabled());
        click(group);
        QVERIFY(control<QWidget>(view, "weekdayMonday1045")->isEnabled());
        QVERIFY(control<QWidget>(view, "addHolidayButton1082")->isEnabled());
        // The box itself is no setting.
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("复选控制.ini"))));
    }

    void boxesWriteTheirFlagsAndComeBackAfterARestart() {
        QTemporaryDir dir;
        BoxAnswerer boxes;
        {
            Started s(dir.path());
            click(control<CGroupCheck>(s.view, "holidayCheck1121"));
            auto *wednesday = control<QCheckBox>(s.view, "weekdayWednesday1047");
            click(wednesday);
            QCOMPARE(flag(dir, QStringLiteral("周三")), QStringLiteral("1"));
            click(wednesday);
            QCOMPARE(flag(dir, QStringLiteral("周三")), QStringLiteral("0"));
            click(control<QCheckBox>(s.view, "weekdaySunday1051"));
            QCOMPARE(flag(dir, QStringLiteral("周日")), QStringLiteral("1"));
            QCOMPARE(flag(dir, QStringLiteral("周六")), QStringLiteral("<absent>"));
            click(control<QCheckBox>(s.view, "shutdownCheck1076"));
            QCOMPARE(flag(dir, QStringLiteral("是否执行关机时间")), QStringLiteral("1"));
            QVERIFY(s.view.settingsPanel()->shutdownEnabled());
            // The scheduler sees the boxes as they stand.
            const DayGate gate = s.view.settingsPanel()->dayGate();
            QVERIFY(gate.weekdayOff[0]);
            QVERIFY(!gate.weekdayOff[3]);

            click(control<QRadioButton>(s.view, "loopRadio1071"));
            QCOMPARE(flag(dir, QStringLiteral("是否循环")), QStringLiteral("1"));
            const QByteArray before = readAll(dir.filePath(QStringLiteral("复选控制.ini")));
            click(control<QRadioButton>(s.view, "sequentialRadio1112"));
            click(control<QRadioButton>(s.view, "randomRadio1110"));
            QCOMPARE(readAll(dir.filePath(QStringLiteral("复选控制.ini"))), before);
        }
        Started again(dir.path());
        QVERIFY(control<QCheckBox>(again.view, "weekdaySunday1051")->isChecked());
        QVERIFY(!control<QCheckBox>(again.view, "weekdayWednesday1047")->isChecked());
        QVERIFY(!control<QCheckBox>(again.view, "weekdaySaturday1050")->isChecked());
        QVERIFY(control<QCheckBox>(again.view, "shutdownCheck1076")->isChecked());
        QVERIFY(control<QRadioButton>(again.view, "sequentialRadio1112")->isChecked());
        QVERIFY(!control<QRadioButton>(again.view, "loopRadio1071")->isChecked());
        QCOMPARE(again.view.settingsPanel()->weekdaysOff(),
                 (std::array<bool, 7>{true, false, false, false, false, false, false}));
        QVERIFY(boxes.shown.isEmpty());
    }

    void hiddenFlagsAreRestoredButNotShown() {
        QTemporaryDir dir;
        QVERIFY(ProfileStore::writeString(
            dir.filePath(QStringLiteral("复选控制.ini")), QStringLiteral("复选控制"),
            QStringLiteral("是否使用设定的音量"), QStringLiteral("1")));
        Started s(dir.path());
        auto *useSetVolume = control<QCheckBox>(s.view, "useSetVolumeCheck1059");
        QVERIFY(useSetVolume->isChecked());
        QVERIFY(!useSetVolume->isVisible());
        QVERIFY(!control<QCheckBox>(s.view, "fullScreenCheck1003")->isChecked());
    }

    // A state that could not be stored is not in force: the box goes back, the day stays on.
    void failedWriteIsShownAndTheBoxGoesBack() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("复选控制.ini")));
        BoxAnswerer boxes;
        Started s(dir.path());
        click(control<CGroupCheck>(s.view, "holidayCheck1121"));
        auto *friday = control<QCheckBox>(s.view, "weekdayFriday1049");
        click(friday);
        QTRY_COMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.at(0).caption, QStringLiteral("Horalet"));
        QCOMPARE(boxes.shown.at(0).icon, QMessageBox::Warning);
        QVERIFY(!boxes.shown.at(0).text.isEmpty());
        QVERIFY(!friday->isChecked());
        QVERIFY(!s.view.settingsPanel()->weekdaysOff()[5]);
    }

    void shutdownTimeIsStoredOnlyByTheButton() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("定时器时间设置.ini"));
        {
            BoxAnswerer boxes;
            Started s(dir.path());
            SettingsPanel *settings = s.view.settingsPanel();
            auto *picker = control<QTimeEdit>(s.view, "shutdownTime1044");
            // Typed over the whole time: the hour too.
            s.view.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&s.view));
            picker->setFocus(Qt::TabFocusReason);
            QTest::keyClick(picker, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(picker, QStringLiteral("22:30:00"));
            QCOMPARE(picker->time(), QTime(22, 30, 0));
            QVERIFY(settings->shutdownTime().isEmpty()); // moving the picker changes nothing
            click(control<QPushButton>(s.view, "shutdownOkButton1075"));
            QTRY_COMPARE(boxes.shown.size(), 1);
            QCOMPARE(boxes.shown.at(0).text, QStringLiteral("关机时间已设置."));
            QCOMPARE(boxes.shown.at(0).caption, QStringLiteral("Horalet"));
            QCOMPARE(boxes.shown.at(0).icon, QMessageBox::Warning);
            QCOMPARE(settings->shutdownTime(), QStringLiteral("22:30:00"));
            QCOMPARE(ProfileStore::readString(file, QStringLiteral("定时器时间设置"),
                                              QStringLiteral("关机时间")),
                     QStringLiteral("22:30:00"));

            picker->setTime(QTime(23, 0, 0));
            QCOMPARE(settings->shutdownTime(), QStringLiteral("22:30:00"));
            QCOMPARE(ProfileStore::readString(file, QStringLiteral("定时器时间设置"),
                                              QStringLiteral("关机时间")),
                     QStringLiteral("22:30:00"));
        }
        Started again(dir.path());
        QCOMPARE(again.view.settingsPanel()->shutdownTime(), QStringLiteral("22:30:00"));
        QCOMPARE(control<QTimeEdit>(again.view, "shutdownTime1044")->dateTime(),
                 QDateTime(QDate(2026, 3, 4), QTime(22, 30, 0)));

        QVERIFY(control<QTimeEdit>(again.view, "shutdownTime1044")->toolTip().isEmpty());

        // Not a time: the picker shows its default and says why, and nothing fires on the text.
        QVERIFY(ProfileStore::writeString(file, QStringLiteral("定时器时间设置"),
                                          QStringLiteral("关机时间"), QStringLiteral("soon")));
        Started broken(dir.path());
        QCOMPARE(control<QTimeEdit>(broken.view, "shutdownTime1044")->time(), QTime(0, 0));
        QVERIFY(control<QTimeEdit>(broken.view, "shutdownTime1044")->toolTip().contains("soon"));
        QCOMPARE(broken.view.settingsPanel()->shutdownTime(), QStringLiteral("soon"));
    }

    // A write that fails midway: the message says so, and the shutdown time, the box and the
    // holiday list stay what the files hold.
    void aFailedSaveLeavesEverythingInForceAsStored() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("定时器时间设置.ini"));
        QVERIFY(ProfileStore::writeString(file, QStringLiteral("定时器时间设置"),
                                          QStringLiteral("关机时间"), QStringLiteral("22:30:00")));
        const QByteArray stored = readAll(file);
        BoxAnswerer boxes({QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Yes, QMessageBox::Ok});
        Started s(dir.path());
        SettingsPanel *settings = s.view.settingsPanel();
        QSignalSpy changed(settings, &SettingsPanel::shutdownTimeChanged);
        ProfileStore::setWriteFault(ProfileStore::WriteFault{0, 5});
        auto *picker = control<QTimeEdit>(s.view, "shutdownTime1044");
        picker->setTime(QTime(23, 0, 0));
        click(control<QPushButton>(s.view, "shutdownOkButton1075"));
        QTRY_COMPARE(boxes.shown.size(), 1);
        QVERIFY(boxes.shown.at(0).text.contains(QStringLiteral("无法保存")));
        QCOMPARE(settings->shutdownTime(), QStringLiteral("22:30:00"));
        QCOMPARE(changed.size(), 0);
        QCOMPARE(picker->time(), QTime(22, 30, 0));
        QCOMPARE(readAll(file), stored);

        click(control<CGroupCheck>(s.view, "holidayCheck1121"));
        auto *monday = control<QCheckBox>(s.view, "weekdayMonday1045");
        click(monday);
        QTRY_COMPARE(boxes.shown.size(), 2);
        QVERIFY(!monday->isChecked());
        QVERIFY(!settings->weekdaysOff()[1]);

        click(control<QPushButton>(s.view, "addHolidayButton1082"));
        QTRY_COMPARE(boxes.shown.size(), 4);
        QVERIFY(boxes.shown.at(3).text.contains(QStringLiteral("无法保存")));
        QVERIFY(settings->holidayDates().isEmpty());
        QVERIFY(shownHolidays(s.view).isEmpty());
        ProfileStore::setWriteFault(std::nullopt);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("定时器时间设置.ini")});
    }

    // The machines these tests run on have no real-time clock: the option says why it is off,
    // and the stored setting is left as it stands.
    void wakeAlarmWithoutAClockIsDisabledWithTheReason() {
        if (WakeAlarmHelper::hasWakeAlarm())
            QSKIP("this machine has a clock with a wake alarm");
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("定时开机.ini"));
        QVERIFY(ProfileStore::writeString(file, QStringLiteral("定时开机"), QStringLiteral("启用"),
                                          QStringLiteral("1")));
        QVERIFY(ProfileStore::writeString(file, QStringLiteral("定时开机"),
                                          QStringLiteral("提前分钟"), QStringLiteral("20")));
        const QByteArray stored = readAll(file);
        BoxAnswerer boxes;
        Started s(dir.path());
        auto *box = control<QCheckBox>(s.view, "wakeAlarmCheck");
        QCOMPARE(box->text(), QStringLiteral("关机或睡眠后自动开机"));
        QVERIFY(!box->isEnabled());
        QVERIFY(!box->isChecked());
        QCOMPARE(control<QLabel>(s.view, "wakeAlarmInfo")->text(),
                 QStringLiteral("这台计算机没有可设置唤醒的硬件时钟"));
        auto *lead = control<QSpinBox>(s.view, "wakeLeadMinutes");
        QCOMPARE(lead->value(), 20);
        QCOMPARE(lead->minimum(), 1);
        QCOMPARE(lead->maximum(), 60);
        QVERIFY(!lead->isEnabled());
        QCOMPARE(s.view.settingsPanel()->wakeAlarm(), (WakeAlarmFile::Setting{true, 20}));
        QCOMPARE(readAll(file), stored);
        QVERIFY(boxes.shown.isEmpty());
    }

    void holidaysAreAskedForSortedAndDeleted() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("date.ini"));
        BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Yes, QMessageBox::No});
        Started s(dir.path());
        click(control<CGroupCheck>(s.view, "holidayCheck1121"));
        auto *date = control<QDateEdit>(s.view, "holidayDate1006");
        auto *list = control<QListView>(s.view, "holidayList1081");
        auto *add = control<QPushButton>(s.view, "addHolidayButton1082");

        date->setDate(QDate(2012, 5, 1));
        click(add);
        QTRY_COMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.at(0).caption, QStringLiteral("添加不需要定时播放的日期"));
        QCOMPARE(boxes.shown.at(0).text, QStringLiteral("确实要添加2012-05-01这个日期吗?"));
        QCOMPARE(boxes.shown.at(0).icon, QMessageBox::Question);
        date->setDate(QDate(2012, 1, 1));
        click(add);
        QTRY_COMPARE(boxes.shown.size(), 2);
        QCOMPARE(shownHolidays(s.view), (QStringList{"2012-01-01", "2012-05-01"}));
        QCOMPARE(s.view.settingsPanel()->holidayDates(),
                 (QStringList{QStringLiteral("2012-01-01"), QStringLiteral("2012-05-01")}));
        QVERIFY(!s.view.settingsPanel()->dayGate().admits(2, QStringLiteral("2012-05-01")));

        // No: neither list nor file changes.
        const QByteArray before = readAll(file);
        date->setDate(QDate(2012, 10, 1));
        click(add);
        QTRY_COMPARE(boxes.shown.size(), 3);
        QCOMPARE(shownHolidays(s.view).size(), 2);
        QCOMPARE(readAll(file), before);

        // Delete takes the selected date, without a question.
        list->setCurrentIndex(list->model()->index(1, 0));
        click(control<QPushButton>(s.view, "deleteHolidayButton1083"));
        QCOMPARE(shownHolidays(s.view), QStringList{"2012-01-01"});
        QVERIFY(!s.view.settingsPanel()->dayGate().admits(0, QStringLiteral("2012-01-01")));
        QVERIFY(s.view.settingsPanel()->dayGate().admits(2, QStringLiteral("2012-05-01")));
        list->clearSelection();
        click(control<QPushButton>(s.view, "deleteHolidayButton1083"));
        QCOMPARE(shownHolidays(s.view).size(), 1);
        QTest::qWait(50);
        QCOMPARE(boxes.shown.size(), 3);

        // A date written behind the program's back is in force after a reload.
        HolidayList other(dir.path());
        other.load();
        QVERIFY(other.add(QStringLiteral("2012-10-01")) >= 0);
        s.view.reloadFromStore();
        QVERIFY(!s.view.settingsPanel()->dayGate().admits(1, QStringLiteral("2012-10-01")));
        QVERIFY(!s.view.settingsPanel()->dayGate().admits(0, QStringLiteral("2012-01-01")));
    }

    void sliderFollowsTheSystemVolumeAndSetsIt() {
        PulseMasterVolume pulse;
        pulse.SetMasterVolume(20000);
        QTemporaryDir dir;
        BoxAnswerer boxes;
        Started s(dir.path());
        auto *slider = control<QSlider>(s.view, "volumeSlider1056");
        auto *label = control<QLabel>(s.view, "volumeLabel1057");
        QCOMPARE(slider->minimum(), 0);
        QCOMPARE(slider->maximum(), 65535);
        // The answer comes from the volume's own thread.
        QTRY_COMPARE(slider->value(), 20000);
        QCOMPARE(label->text(), QStringLiteral("20000"));

        // Keys and page moves act at once.
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_PageUp);
        QVERIFY(slider->value() > 20000);
        QCOMPARE(label->text(), QString::number(slider->value()));
        QTRY_COMPARE(pulse.GetMasterVolume().value, slider->value());
        QTest::keyClick(slider, Qt::Key_Home);
        QCOMPARE(label->text(), QStringLiteral("0"));
        QTRY_COMPARE(pulse.GetMasterVolume().value, 0);
        QTest::keyClick(slider, Qt::Key_End);
        QCOMPARE(label->text(), QStringLiteral("65535"));
        QTRY_COMPARE(pulse.GetMasterVolume().value, 65535);

        // A drag: the system follows the thumb (positions passed while the server is busy
        // may be skipped; the last one always arrives).
        slider->setSliderDown(true);
        slider->setSliderPosition(12345);
        QCOMPARE(label->text(), QStringLiteral("12345"));
        QTRY_COMPARE(pulse.GetMasterVolume().value, 12345);
        slider->setSliderPosition(54321);
        QTRY_COMPARE(pulse.GetMasterVolume().value, 54321);
        slider->setSliderDown(false);

        // A volume set by a task shows on the row without another write.
        pulse.SetMasterVolume(30000);
        s.view.volumePanel()->showVolume(30000);
        QCOMPARE(slider->value(), 30000);
        QCOMPARE(label->text(), QStringLiteral("30000"));
        QTRY_COMPARE(pulse.GetMasterVolume().value, 30000);
        QVERIFY(boxes.shown.isEmpty());
    }

    void noSoundServerIsReportedAndTheSliderStandsAtZero() {
        QTemporaryDir dir;
        setPulse("unix:" + QFile::encodeName(dir.filePath(QStringLiteral("no-server"))));
        // Start-up must not wait for the box to be answered: where nobody is there to answer
        // it, the schedule would never start. A start-up that waits is released by this
        // watchdog, and the test fails.
        bool waited = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [&waited] {
            waited = true;
            if (QWidget *box = QApplication::activeModalWidget())
                box->close();
        });
        watchdog.start(3000);
        Started s(dir.path());
        watchdog.stop();
        QVERIFY(!waited);
        // The sound server's answer arrives on its own time, so the box may come a little later.
        const auto boxShown = [] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(boxShown(), 10000);
        BoxAnswerer boxes;
        QTRY_COMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.at(0).text, QStringLiteral("mixerOpen() failed"));
        QCOMPARE(boxes.shown.at(0).caption, QStringLiteral("Horalet"));
        QCOMPARE(boxes.shown.at(0).icon, QMessageBox::Warning);
        auto *slider = control<QSlider>(s.view, "volumeSlider1056");
        QCOMPARE(slider->value(), 0);
        QCOMPARE(control<QLabel>(s.view, "volumeLabel1057")->text(), QStringLiteral("0"));
        // Moving it still shows the number; the failed write says nothing.
        slider->setValue(40000);
        QCOMPARE(control<QLabel>(s.view, "volumeLabel1057")->text(), QStringLiteral("40000"));
        QTest::qWait(50);
        QCOMPARE(boxes.shown.size(), 1);
    }
};

QTEST_MAIN(TestSettingsPanel)
#include "test_settings_panel.moc"
