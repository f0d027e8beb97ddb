#pragma once

#include "scheduler/SchedulePass.h"
#include "store/CalendarDays.h"
#include "store/HolidayList.h"
#include "store/MakeupWorkdays.h"
#include "store/OptionFlags.h"
#include "store/Timetables.h"
#include "store/WakeAlarmFile.h"

#include <QObject>
#include <QString>
#include <QStringListModel>

#include <array>
#include <functional>

class Clock;
class QCheckBox;
class QLabel;
class QSpinBox;
class QWidget;
struct StoreResult;
namespace Ui {
class CHoraletView;
}

// The settings of the form that belong to no task: option flags and weekday boxes, the
// holiday list and its group, and the timed-shutdown time. Every change is written at once.
class SettingsPanel : public QObject {
    Q_OBJECT
public:
    SettingsPanel(Ui::CHoraletView &form, const QString &storeDirectory, const Clock &clock,
                  QWidget *dialogParent);

    // Start-up steps, called by the view in its order.
    void loadShutdownTime();
    void loadHolidays();
    void loadOptionFlags();
    void attachHolidayGroup();
    // The shutdown time, the holidays and the flags read anew from their files.
    void reloadFromStore();

    // What the scheduler reads: the days switched off (weekday index 0 = Sunday).
    std::array<bool, 7> weekdaysOff() const { return m_flags.weekdaysOff(); }
    const QStringList &holidayDates() const { return m_holidays.dates(); }
    // Asked every second: the holiday set is built again only when the list changed.
    DayGate dayGate() const;
    const MakeupWorkdays &makeupDays() const { return m_makeup; }
    // The dialog "节假日和调休"; the form's holiday list follows every change made there.
    void openCalendar();
    // Tests drive the dialog instead of running it modally.
    using CalendarRunner = std::function<void(class CHolidayCalendarDlg &)>;
    void setCalendarRunner(CalendarRunner runner) { m_runCalendar = std::move(runner); }

    // The timed shutdown: the time in force ("HH:MM:SS", empty when none was ever stored)
    // and whether the feature is switched on.
    const QString &shutdownTime() const { return m_shutdownTime; }
    bool shutdownEnabled() const { return m_flags.isSet(OptionFlags::ShutdownEnabled); }

    // Power-on for the bells: read at start-up and with the store; the option is shown
    // disabled, with the reason, on a machine without a clock that can wake it.
    void loadWakeAlarm();
    const WakeAlarmFile::Setting &wakeAlarm() const { return m_wake; }
    void setWakeAlarmUnavailable(const QString &reason);
    // "下次开机：明天 07:55" beside the option.
    void showNextWake(const QString &text);
    // The timetables (作息表) and the tasks bound to them, read anew after every change of
    // the store; the gate follows them.
    const Timetables &timetables() const { return m_timetables; }
    void loadTimetables();
    // The dialog "作息表".
    void openTimetables();
    using TimetablesRunner = std::function<void(class CTimetableDlg &)>;
    void setTimetablesRunner(TimetablesRunner runner) { m_runTimetables = std::move(runner); }

    const OptionFlags &optionFlags() const { return m_flags; }
    const HolidayList &holidays() const { return m_holidays; }

signals:
    void shutdownTimeChanged(const QString &time);
    // A weekday box, the holidays, the make-up days or the timetables may have changed.
    void dayGateChanged();
    void wakeAlarmChanged();
    // The timetables or the tasks' entries changed (the table's column follows them).
    void timetablesChanged();
    // Tasks were added by copying a timetable's set.
    void tasksAdded();

private:
    void storeShutdownTime();
    // The time in force in the picker, today's date with it (00:00:00 when none is stored).
    void showShutdownTime();
    void addHoliday();
    void deleteHoliday();
    void showHolidays(int current = -1);
    void showDays(const QString &makeupError);
    // A gate whose holidays were built, off the GUI thread, from the list now held.
    void takeGate(DayGate gate);
    // Changes a copy of the holiday list off the GUI thread (the file rewrite and the
    // gate's look-up with it), then puts both in place.
    template <class Change> auto changeHolidays(Change change);
    void addCalendarButton();
    void addWakeAlarmRow();
    void storeWakeAlarm(WakeAlarmFile::Setting setting);
    void showWakeAlarm();
    bool toggle(OptionFlags::Flag flag, bool on);
    void reportFailure(const StoreResult &result);
    void notify(const QString &text);

    Ui::CHoraletView &m_form;
    QString m_directory;
    const Clock &m_clock;
    QWidget *m_dialogParent;
    OptionFlags m_flags;
    HolidayList m_holidays;
    MakeupWorkdays m_makeup;
    CalendarDays m_days{m_holidays, m_makeup};
    CalendarRunner m_runCalendar;
    Timetables m_timetables;
    SeasonGate m_seasons;
    TimetablesRunner m_runTimetables;
    QStringListModel m_shownHolidays;
    mutable DayGate m_gate;
    mutable QStringList m_gateHolidays; // the list m_gate's holidays were built from
    QString m_shutdownTime;
    WakeAlarmFile::Setting m_wake;
    QCheckBox *m_wakeCheck = nullptr;
    QSpinBox *m_wakeLead = nullptr;
    QLabel *m_wakeInfo = nullptr;
    bool m_wakeUnavailable = false;
};
