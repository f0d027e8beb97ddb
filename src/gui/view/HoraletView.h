#pragma once

#include "playlog/Preflight.h"
#include "scheduler/Clock.h"
#include "store/PlayTask.h"
#include "store/TaskStore.h"

#include <QHash>
#include <QWidget>
#include <functional>
#include <memory>

namespace Ui {
class CHoraletView;
}
class BackupCommands;
class CampusLink;
class CampusPanel;
class CListCtrlCl;
class CTipControl;
class DesktopLinks;
class HeardLink;
class DisplayKeeper;
class LogindSleepDelay;
class LogindSleepKeeper;
class PowerControl;
class ShutdownStep;
class SleepGuard;
class MasterVolume;
class MediaPlayer;
class MpvPlayer;
class PlayLog;
class PlayLogRecorder;
class PreflightRunner;
class PlayPanel;
class QTimer;
class SettingsPanel;
class TaskEditing;
class TaskTableModel;
class VolumePanel;
class WakeAlarm;
class WakeAlarmHelper;

// The form that carries the whole interface, and the composition root: its initial update
// builds the program's state in start-up order and wires each subsystem to the form.
// Every control's objectName ends with its id (e.g. "playList1037").
class CHoraletView : public QWidget {
    Q_OBJECT
public:
    explicit CHoraletView(const QString &storeDirectory, QWidget *parent = nullptr);
    ~CHoraletView() override;

    // Runs once, before the window is first shown; later calls do nothing.
    void OnInitialUpdate();
    bool isInitialised() const { return m_initialised; }

    Ui::CHoraletView *form() const { return m_ui.get(); }
    CListCtrlCl *taskTable() const;
    TaskTableModel *taskModel() const { return m_taskModel; }
    CTipControl *toolTips() const { return m_toolTips; }
    const TaskStore &taskStore() const { return m_taskStore; }
    // The embedded player of pane 1077; it exists from construction on.
    MediaPlayer &mediaPlayer() const;
    const QString &storeDirectory() const { return m_taskStore.directory(); }
    // The system's master volume; it exists from construction on.
    MasterVolume &masterVolume() const { return *m_masterVolume; }
    // Settings of no task (flags, weekday boxes, holidays, shutdown time) and the volume
    // row; they exist once the initial update has run.
    SettingsPanel *settingsPanel() const { return m_settings; }
    VolumePanel *volumePanel() const { return m_volumePanel; }
    TaskEditing *taskEditing() const { return m_taskEditing; }
    PlayPanel *playPanel() const { return m_playPanel; }
    BackupCommands *backupCommands() const { return m_backup; }
    // The campus settings (广播分区) and their dialog; the control connection, the 试听 tone
    // and the routing of the tasks are given to it from outside.
    CampusPanel *campusPanel() const { return m_campus; }
    // The campus head-end: the sink, the control connection and the output every task plays
    // through; it exists once the initial update has run.
    CampusLink *campusLink() const { return m_campusLink; }

    // Reads everything the store holds anew, as at start-up: the task table, the schedule,
    // the holidays, the flags and weekday boxes, the shutdown time. For when the files
    // changed under the running program (an import), so what it holds in memory can never
    // be written back over them. Does nothing before the initial update.
    void reloadFromStore();
    // Help, home page and mail; tests put in a fake opener.
    DesktopLinks &links() const { return *m_links; }

    // Every stored task; the scheduler scans it, every change of a task replaces it.
    const ScheduleTable &scheduleTable() const { return m_scheduleTable; }
    void setScheduleTable(const ScheduleTable &table);

    // The timed shutdown and the sleep inhibitor; they exist once the initial update has run.
    ShutdownStep *shutdownStep() const { return m_shutdownStep; }
    SleepGuard *sleepGuard() const { return m_sleepGuard; }
    // The last text meant for the status line.
    const QString &statusText() const { return m_statusText; }
    // The play log of the store and what writes into it; they exist once the initial update
    // has run.
    PlayLog *playLog() const { return m_playLog; }
    PlayLogRecorder *playLogRecorder() const { return m_playLogRecorder; }
    // Whether each task was heard; exists once the initial update has run.
    HeardLink *heardLink() const { return m_heardLink; }
    // "下一个：…" as it stands; recomputed each minute and after every change.
    const QString &nextTaskText() const { return m_nextTaskText; }
    void refreshNextTask();
    // The check of what will play, on a worker; its findings mark rows, set the caption line
    // and go into the log.
    void runPreflight();
    const QString &preflightCaption() const { return m_preflightCaption; }
    PreflightRunner *preflightRunner() const { return m_preflight; }

    // Local time for everything the view decides; tests put a fake in before the initial update.
    const Clock &clock() const { return *m_clock; }
    void setClock(const Clock *clock) { m_clock = clock ? clock : &m_systemClock; }

    void AppendTaskRow(const PlayTask &task);

    // Commands shared by menu, toolbar and form: setting one also wires the form's button of
    // that id (do not connect that button yourself). Without a handler the frame disables
    // the command.
    void setCommand(int id, std::function<void()> handler);
    bool hasCommand(int id) const { return m_commands.contains(id); }
    bool runCommand(int id);

signals:
    void commandsChanged();
    // A text for the frame's status line (a due task that was not started and why, a play
    // log that cannot be written).
    void statusNotice(const QString &text);
    // The campus connection for the status bar; empty while the campus is off.
    void campusStateChanged(const QString &text);
    // After reloadFromStore(): whoever holds more of the store's state reads it here.
    void storeReloaded();
    void nextTaskChanged(const QString &text);
    // "明天有 2 个播放任务的文件有问题", or empty once every problem is fixed.
    void preflightChanged(const QString &caption);
    // After statusNotice: whether a task was heard; `warning` when it was not, or its output
    // is muted or turned down.
    void heardNotice(const QString &text, bool warning);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void shrinkFrameToForm();
    // Widens the window, within the screen, until every column of the task table shows.
    void fitWindowToColumns();
    void setupTaskColumns();
    void fillTaskTable();
    void setupToolTips();
    void pushInitialValues();
    void setupPower();
    void setupCampus();
    void setupWakeAlarm();
    void refreshNextWake();
    void tell(const QString &text);
    void startPlayLog();
    void startPreflight();
    void armDailyPreflight();
    void showPreflight(const QList<Preflight::Verdict> &verdicts, const QDateTime &now);
    QWidget *controlById(int id) const;

    std::unique_ptr<Ui::CHoraletView> m_ui;
    MpvPlayer *m_player = nullptr;
    std::unique_ptr<DisplayKeeper> m_displayKeeper;
    std::unique_ptr<MasterVolume> m_masterVolume;
    std::unique_ptr<PowerControl> m_powerControl;
    LogindSleepKeeper *m_sleepKeeper = nullptr;
    SleepGuard *m_sleepGuard = nullptr;
    ShutdownStep *m_shutdownStep = nullptr;
    WakeAlarmHelper *m_wakeAlarmHelper = nullptr;
    WakeAlarm *m_wakeAlarm = nullptr;
    LogindSleepDelay *m_sleepDelay = nullptr;
    QString m_statusText;
    SettingsPanel *m_settings = nullptr;
    CampusPanel *m_campus = nullptr;
    TaskEditing *m_taskEditing = nullptr;
    VolumePanel *m_volumePanel = nullptr;
    PlayPanel *m_playPanel = nullptr;
    BackupCommands *m_backup = nullptr;
    CampusLink *m_campusLink = nullptr;
    TaskStore m_taskStore;
    TaskTableModel *m_taskModel = nullptr;
    CTipControl *m_toolTips = nullptr;
    std::unique_ptr<DesktopLinks> m_links;
    ScheduleTable m_scheduleTable;
    SystemClock m_systemClock;
    const Clock *m_clock = &m_systemClock;
    QHash<int, std::function<void()>> m_commands;
    bool m_initialised = false;
    bool m_columnsToFit = true; // at the first show, and after a column is added
    PlayLog *m_playLog = nullptr;
    PlayLogRecorder *m_playLogRecorder = nullptr;
    HeardLink *m_heardLink = nullptr;
    QTimer *m_nextTaskTimer = nullptr;
    QString m_nextTaskText;
    PreflightRunner *m_preflight = nullptr;
    QTimer *m_preflightDaily = nullptr;
    QTimer *m_preflightPeriodic = nullptr;
    QStringList m_loggedProblems;
    QString m_preflightCaption;
};
