#include "SettingsPanel.h"

#include "CommandIds.h"
#include "dialogs/HolidayCalendarDlg.h"
#include "dialogs/OffThread.h"
#include "dialogs/TimetableDlg.h"
#include "tasktable/DisplayText.h"

#include "dialogs/TimeEntry.h"
#include "scheduler/Clock.h"
#include "store/ShutdownTimeFile.h"
#include "store/StoreResult.h"
#include "ui_HoraletView.h"
#include "widgets/GroupCheck.h"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QSpinBox>

SettingsPanel::SettingsPanel(Ui::CHoraletView &form, const QString &storeDirectory,
                             const Clock &clock, QWidget *dialogParent)
    : QObject(dialogParent), m_form(form), m_directory(storeDirectory), m_clock(clock),
      m_dialogParent(dialogParent), m_flags(storeDirectory), m_holidays(storeDirectory),
      m_makeup(storeDirectory), m_runCalendar([](CHolidayCalendarDlg &dialog) { dialog.exec(); }),
      m_timetables(storeDirectory), m_runTimetables([](CTimetableDlg &dialog) { dialog.exec(); }) {
    addCalendarButton();
    addWakeAlarmRow();
    QListView *list = m_form.holidayList1081;
    list->setModel(&m_shownHolidays);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Dates are one line each: a long list lays out without measuring every item.
    list->setUniformItemSizes(true);
    TimeEntry::install(m_form.shutdownTime1044);
    connect(m_form.shutdownOkButton1075, &QPushButton::clicked, this,
            &SettingsPanel::storeShutdownTime);
    connect(m_form.addHolidayButton1082, &QPushButton::clicked, this, &SettingsPanel::addHoliday);
    connect(m_form.deleteHolidayButton1083, &QPushButton::clicked, this,
            &SettingsPanel::deleteHoliday);

    // Each box writes its own key on the user's click; loading sets them without a click.
    const struct {
        QAbstractButton *box;
        OptionFlags::Flag flag;
    } boxes[] = {
        {m_form.fullScreenCheck1003, OptionFlags::FullScreen},
        {m_form.useSetVolumeCheck1059, OptionFlags::UseSetVolume},
        {m_form.shutdownCheck1076, OptionFlags::ShutdownEnabled},
        {m_form.weekdayMonday1045, OptionFlags::Monday},
        {m_form.weekdayTuesday1046, OptionFlags::Tuesday},
        {m_form.weekdayWednesday1047, OptionFlags::Wednesday},
        {m_form.weekdayThursday1048, OptionFlags::Thursday},
        {m_form.weekdayFriday1049, OptionFlags::Friday},
        {m_form.weekdaySaturday1050, OptionFlags::Saturday},
        {m_form.weekdaySunday1051, OptionFlags::Sunday},
    };
    for (const auto &entry : boxes) {
        QAbstractButton *box = entry.box;
        const OptionFlags::Flag flag = entry.flag;
        connect(box, &QAbstractButton::clicked, this, [this, box, flag] {
            // A state that could not be stored is not kept: the box shows what is in force.
            if (!toggle(flag, box->isChecked()))
                box->setChecked(m_flags.isSet(flag));
        });
    }
    // A click on a radio always ticks it, so the loop radio only ever writes "1".
    connect(m_form.loopRadio1071, &QAbstractButton::clicked, this,
            [this] { toggle(OptionFlags::Loop, m_form.loopRadio1071->isChecked()); });
}

void SettingsPanel::loadShutdownTime() {
    m_shutdownTime = ShutdownTimeFile::load(m_directory);
    showShutdownTime();
}

void SettingsPanel::showShutdownTime() {
    m_form.shutdownTime1044->setDateTime(
        QDateTime(m_clock.now().date(), ShutdownTimeFile::shownTime(m_shutdownTime)));
    QString hint;
    if (m_shutdownTime.isEmpty())
        hint = QStringLiteral("尚未设置关机时间：选好时间后按“确定”");
    else if (!ShutdownTimeFile::parse(m_shutdownTime))
        hint = QStringLiteral("保存的关机时间“%1”不是有效的时间：选好时间后按“确定”")
                   .arg(m_shutdownTime);
    m_form.shutdownTime1044->setToolTip(hint);
}

void SettingsPanel::storeShutdownTime() {
    const QString time = ShutdownTimeFile::format(m_form.shutdownTime1044->time());
    const StoreResult result = ShutdownTimeFile::store(m_directory, time);
    if (!result) {
        // The time in force stays the stored one, and the box shows it again.
        reportFailure(result);
        showShutdownTime();
        return;
    }
    m_shutdownTime = time;
    showShutdownTime();
    emit shutdownTimeChanged(m_shutdownTime);
    notify(QStringLiteral("关机时间已设置."));
}

DayGate SettingsPanel::dayGate() const {
    // A copy of the list shares its data until the list changes, so a change of any kind,
    // by any path, is seen here; an empty list has nothing to share and costs nothing.
    const QStringList &dates = m_holidays.dates();
    if (!m_gateHolidays.isSharedWith(dates) || m_gateHolidays.size() != dates.size()) {
        m_gateHolidays = dates;
        m_gate.setHolidays(dates);
    }
    m_gate.weekdayOff = m_flags.weekdaysOff();
    m_gate.makeupDays = m_makeup.followedWeekdays();
    m_gate.seasons = m_seasons;
    return m_gate;
}

void SettingsPanel::takeGate(DayGate gate) {
    // Built from the list now held: its data is shared, so dayGate() keeps it.
    m_gate = std::move(gate);
    m_gateHolidays = m_holidays.dates();
}

template <class Change> auto SettingsPanel::changeHolidays(Change change) {
    HolidayList changed = m_holidays;
    DayGate gate;
    auto result = waitOffThread([&] {
        auto r = change(changed);
        gate.setHolidays(changed.dates());
        return r;
    });
    m_holidays = std::move(changed);
    takeGate(std::move(gate));
    return result;
}

void SettingsPanel::loadHolidays() {
    m_holidays.load();
    QString error;
    m_makeup.load(&error);
    showDays(error);
    loadTimetables();
}

void SettingsPanel::loadTimetables() {
    QString error;
    Timetables read(m_directory);
    waitOffThread([&] { read.load(&error); });
    m_timetables = std::move(read);
    m_seasons = SeasonGate(m_timetables);
    if (!error.isEmpty())
        notify(QStringLiteral("无法读取作息表(%1):%2").arg(Timetables::fileName(), error));
    emit timetablesChanged();
    emit dayGateChanged();
}

void SettingsPanel::openTimetables() {
    CTimetableDlg dialog(m_timetables, TaskStore(m_directory), m_clock.now().date(),
                         m_dialogParent);
    m_runTimetables(dialog);
    const bool added = dialog.addedTasks();
    loadTimetables();
    if (added)
        emit tasksAdded();
}

void SettingsPanel::showDays(const QString &makeupError) {
    showHolidays();
    if (!makeupError.isEmpty())
        notify(QStringLiteral("无法读取调休上班日期(%1):%2")
                   .arg(MakeupWorkdays::fileName(), makeupError));
}

void SettingsPanel::addCalendarButton() {
    // Beside the holiday group, not in it: the group's box disables what it holds.
    auto *button = new QPushButton(QStringLiteral("节假日和调休..."),
                                   m_form.settingsGroup1122->parentWidget());
    // The view wires a button whose name ends with its command id to that command.
    button->setObjectName(QStringLiteral("calendarButton%1").arg(CommandId::Calendar));
    button->setToolTip(QStringLiteral("编辑节假日和调休上班日,或导入日历文件"));
    const int at = m_form.settingsColumn->indexOf(m_form.settingsGroup1122);
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(button);
    m_form.settingsColumn->insertLayout(at + 1, row);
}

void SettingsPanel::addWakeAlarmRow() {
    QWidget *parent = m_form.settingsGroup1122->parentWidget();
    m_wakeCheck = new QCheckBox(QStringLiteral("关机或睡眠后自动开机"), parent);
    m_wakeCheck->setObjectName(QStringLiteral("wakeAlarmCheck"));
    m_wakeCheck->setToolTip(QStringLiteral("关机或睡眠前设置硬件时钟，在下一个任务开始前自动开机"));
    auto *leadLabel = new QLabel(QStringLiteral("提前"), parent);
    m_wakeLead = new QSpinBox(parent);
    m_wakeLead->setObjectName(QStringLiteral("wakeLeadMinutes"));
    m_wakeLead->setRange(WakeAlarmFile::MinLeadMinutes, WakeAlarmFile::MaxLeadMinutes);
    m_wakeLead->setSuffix(QStringLiteral(" 分钟"));
    m_wakeLead->setValue(WakeAlarmFile::DefaultLeadMinutes);
    m_wakeInfo = new QLabel(parent);
    m_wakeInfo->setObjectName(QStringLiteral("wakeAlarmInfo"));
    auto *row = new QHBoxLayout;
    row->setSpacing(6);
    row->addWidget(m_wakeCheck);
    row->addWidget(leadLabel);
    row->addWidget(m_wakeLead);
    row->addWidget(m_wakeInfo);
    row->addStretch();
    const int at = m_form.settingsColumn->indexOf(m_form.shutdownRow);
    m_form.settingsColumn->insertLayout(at + 1, row);

    connect(m_wakeCheck, &QAbstractButton::clicked, this, [this](bool on) {
        WakeAlarmFile::Setting setting = m_wake;
        setting.enabled = on;
        storeWakeAlarm(setting);
    });
    connect(m_wakeLead, &QSpinBox::valueChanged, this, [this](int minutes) {
        WakeAlarmFile::Setting setting = m_wake;
        setting.leadMinutes = minutes;
        if (setting != m_wake)
            storeWakeAlarm(setting);
    });
}

void SettingsPanel::loadWakeAlarm() {
    m_wake = WakeAlarmFile::load(m_directory);
    showWakeAlarm();
}

void SettingsPanel::storeWakeAlarm(WakeAlarmFile::Setting setting) {
    const StoreResult result = WakeAlarmFile::store(m_directory, setting);
    if (result)
        m_wake = setting;
    // A state that could not be stored is not kept: the controls show what is in force.
    showWakeAlarm();
    if (!result)
        reportFailure(result);
    emit wakeAlarmChanged();
}

void SettingsPanel::showWakeAlarm() {
    const QSignalBlocker blockCheck(m_wakeCheck);
    const QSignalBlocker blockLead(m_wakeLead);
    m_wakeCheck->setChecked(m_wake.enabled && !m_wakeUnavailable);
    m_wakeLead->setValue(m_wake.leadMinutes);
    m_wakeLead->setEnabled(m_wake.enabled && !m_wakeUnavailable);
    if (!m_wake.enabled && !m_wakeUnavailable)
        m_wakeInfo->clear();
}

void SettingsPanel::setWakeAlarmUnavailable(const QString &reason) {
    m_wakeUnavailable = true;
    m_wakeCheck->setEnabled(false);
    m_wakeCheck->setToolTip(reason);
    m_wakeInfo->setText(reason);
    showWakeAlarm();
}

void SettingsPanel::showNextWake(const QString &text) {
    if (!m_wakeUnavailable)
        m_wakeInfo->setText(m_wake.enabled ? text : QString());
}

void SettingsPanel::openCalendar() {
    CHolidayCalendarDlg dialog(m_days, m_clock.now().date(), m_dialogParent);
    connect(&dialog, &CHolidayCalendarDlg::holidaysChanged, this, [this] { showHolidays(); });
    m_runCalendar(dialog);
    emit dayGateChanged();
}

void SettingsPanel::showHolidays(int current) {
    // A model of texts, not an item per date: a hundred thousand dates show at once.
    m_shownHolidays.setStringList(DisplayText::shown(m_holidays.dates()));
    if (current >= 0 && current < m_shownHolidays.rowCount())
        m_form.holidayList1081->selectionModel()->setCurrentIndex(m_shownHolidays.index(current),
                                                                  QItemSelectionModel::NoUpdate);
    emit dayGateChanged();
}

void SettingsPanel::addHoliday() {
    const QString date = m_form.holidayDate1006->date().toString(QStringLiteral("yyyy-MM-dd"));
    QMessageBox question(QMessageBox::Question, QStringLiteral("添加不需要定时播放的日期"),
                         QStringLiteral("确实要添加") + date + QStringLiteral("这个日期吗?"),
                         QMessageBox::Yes | QMessageBox::No, m_dialogParent);
    if (question.exec() != QMessageBox::Yes)
        return;
    // A make-up workday that is also a holiday would be silent: one list or the other.
    if (m_makeup.contains(date)) {
        notify(m_days.holidayProblem(date));
        return;
    }
    StoreResult result;
    const int index = changeHolidays([&](HolidayList &list) { return list.add(date, &result); });
    showHolidays(index);
    if (!result)
        reportFailure(result);
}

void SettingsPanel::deleteHoliday() {
    const QModelIndexList selected = m_form.holidayList1081->selectionModel()->selectedRows();
    const int row = selected.isEmpty() ? -1 : selected.first().row();
    const StoreResult result =
        changeHolidays([row](HolidayList &list) { return list.removeAt(row); });
    showHolidays();
    if (!result)
        reportFailure(result);
}

void SettingsPanel::loadOptionFlags() {
    m_flags.load();
    // The loop flag is read but never put back: play mode starts sequential.
    m_form.fullScreenCheck1003->setChecked(m_flags.isSet(OptionFlags::FullScreen));
    m_form.useSetVolumeCheck1059->setChecked(m_flags.isSet(OptionFlags::UseSetVolume));
    m_form.shutdownCheck1076->setChecked(m_flags.isSet(OptionFlags::ShutdownEnabled));
    QAbstractButton *const weekdays[] = {
        m_form.weekdayMonday1045,   m_form.weekdayTuesday1046, m_form.weekdayWednesday1047,
        m_form.weekdayThursday1048, m_form.weekdayFriday1049,  m_form.weekdaySaturday1050,
        m_form.weekdaySunday1051,
    };
    for (int i = 0; i < 7; ++i)
        weekdays[i]->setChecked(
            m_flags.isSet(static_cast<OptionFlags::Flag>(OptionFlags::Monday + i)));
}

void SettingsPanel::reloadFromStore() {
    loadShutdownTime();
    emit shutdownTimeChanged(m_shutdownTime);
    // However long the lists, read apart from what the schedule reads meanwhile.
    HolidayList holidays(m_directory);
    MakeupWorkdays makeup(m_directory);
    QString error;
    DayGate gate;
    waitOffThread([&] {
        holidays.load();
        makeup.load(&error);
        gate.setHolidays(holidays.dates());
    });
    m_days.take(std::move(holidays), std::move(makeup));
    takeGate(std::move(gate));
    showDays(error);
    loadOptionFlags();
    loadWakeAlarm();
    emit wakeAlarmChanged();
    loadTimetables();
}

void SettingsPanel::attachHolidayGroup() {
    m_form.holidayCheck1121->AttachToGroup(m_form.settingsGroup1122, false);
}

bool SettingsPanel::toggle(OptionFlags::Flag flag, bool on) {
    const StoreResult result = m_flags.set(flag, on);
    if (!result)
        reportFailure(result);
    emit dayGateChanged();
    return result.ok;
}

void SettingsPanel::reportFailure(const StoreResult &result) {
    notify(result.error.isEmpty() ? QStringLiteral("设置未能保存。") : result.error);
}

void SettingsPanel::notify(const QString &text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Horalet"), text, QMessageBox::Ok,
                    m_dialogParent);
    box.exec();
}
