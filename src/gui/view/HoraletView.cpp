#include "HoraletView.h"

#include "CampusPanel.h"

#include "BackupCommands.h"
#include "CampusLink.h"
#include "CommandIds.h"
#include "DesktopLinks.h"
#include "HeardLink.h"
#include "ListCtrlCl.h"
#include "Notice.h"
#include "PlayPanel.h"
#include "SettingsPanel.h"
#include "TaskEditing.h"
#include "ViewLook.h"
#include "VolumePanel.h"
#include "campus/CampusOutput.h"
#include "dialogs/OffThread.h"
#include "dialogs/PlayLogDlg.h"
#include "platform/LogindPowerControl.h"
#include "platform/LogindSleepDelay.h"
#include "platform/LogindSleepKeeper.h"
#include "platform/MediaProbe.h"
#include "platform/MpvPlayer.h"
#include "platform/PlayerPane.h"
#include "platform/PulseMasterVolume.h"
#include "platform/ScreenSaverInhibitor.h"
#include "platform/WakeAlarmHelper.h"
#include "playback/MasterVolumeWorker.h"
#include "playlog/PlayLog.h"
#include "playlog/PlayLogRecorder.h"
#include "playlog/PreflightRunner.h"
#include "program/MakerInfo.h"
#include "scheduler/NextTask.h"
#include "scheduler/ShutdownStep.h"
#include "scheduler/SleepGuard.h"
#include "scheduler/WakeAlarm.h"
#include "tasktable/TaskTableModel.h"
#include "ui_HoraletView.h"
#include "widgets/LedClock.h"
#include "widgets/ScreenFit.h"
#include "widgets/ScrollingText.h"
#include "widgets/TipControl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QHeaderView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QWindow>

CHoraletView::CHoraletView(const QString &storeDirectory, QWidget *parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CHoraletView>()), m_taskStore(storeDirectory) {
    m_ui->setupUi(this);
    // They only hold a stored state.
    m_ui->fullScreenCheck1003->hide();
    m_ui->useSetVolumeCheck1059->hide();

    // The player is a control of the form: it is there before the initial update.
    m_player = new MpvPlayer(MpvPlayer::defaultOptions(), this);
    m_ui->playerPaneLayout->addWidget(new PlayerPane(m_player, m_ui->playerPane1077));

    // The sound server may hang: the form never waits for it.
    m_masterVolume = std::make_unique<MasterVolumeWorker>(std::make_unique<PulseMasterVolume>());

    m_taskModel = new TaskTableModel(this);
    m_taskModel->setMarkIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    m_ui->taskTable1001->setModel(m_taskModel);
    // The 作息表 and 分区 columns come and go with the settings: the window makes room.
    connect(m_taskModel, &QAbstractItemModel::columnsInserted, this, [this] {
        m_columnsToFit = true;
        if (isVisible())
            fitWindowToColumns();
    });

    m_links = std::make_unique<DesktopLinks>(this);
    setCommand(CommandId::HomePage, [this] { m_links->openHomePage(); });
    if (MakerInfo::hasMailAddress())
        setCommand(CommandId::SendMail, [this] { m_links->sendMail(); });
    setCommand(CommandId::Help, [this] { m_links->openHelp(); });
    setCommand(CommandId::HiddenHelpButton, [this] { m_links->openHelp(); });
}

CHoraletView::~CHoraletView() {
    // The panels hold references to the store, the clock, the volume and the task table,
    // which are members: they must go before the members, not with the other children.
    if (m_playLogRecorder)
        m_playLogRecorder->programExiting();
    delete m_playLogRecorder;
    m_playLogRecorder = nullptr;
    delete m_wakeAlarmHelper; // before the alarm its answers would reach
    delete m_wakeAlarm;
    delete m_shutdownStep;
    delete m_sleepGuard;
    delete m_playPanel;
    delete m_taskEditing;
    delete m_volumePanel;
    delete m_campusLink; // after what plays through it; unloads the campus sink
    delete m_settings;
}

MediaPlayer &CHoraletView::mediaPlayer() const {
    return *m_player;
}

CListCtrlCl *CHoraletView::taskTable() const {
    return m_ui->taskTable1001;
}

// Start-up order of the program's state. Each step completes before the next; panels of
// the settings, playback and scheduler are created at their place in this list.
void CHoraletView::OnInitialUpdate() {
    if (m_initialised)
        return;
    m_initialised = true;

    // random generator of the play mode: seeded by the playlist driver it belongs to
    m_settings = new SettingsPanel(*m_ui, m_taskStore.directory(), *m_clock, this);
    m_settings->loadShutdownTime();
    m_displayKeeper = std::make_unique<ScreenSaverInhibitor>();
    m_displayKeeper->keepAwake(); // without a screen saver service the display is left alone
    m_ui->sequentialRadio1112->setChecked(true);
    m_settings->loadHolidays();
    shrinkFrameToForm();
    // Every task plays through the campus output: on this machine while the campus is off.
    m_campusLink = new CampusLink(mediaPlayer(), *m_masterVolume, this);
    m_campusLink->campusOutput().setStoreDirectory(m_taskStore.directory());
    connect(m_campusLink, &CampusLink::notice, this, &CHoraletView::tell);
    m_volumePanel = new VolumePanel(m_ui->volumeSlider1056, m_ui->volumeLabel1057,
                                    m_campusLink->output(), this, m_ui->volumeOutputLabel);
    m_volumePanel->synchronise();
    connect(m_campusLink, &CampusLink::outputChanged, m_volumePanel, &VolumePanel::setOutput);
    connect(m_campusLink, &CampusLink::outputVolumeChanged, m_volumePanel,
            &VolumePanel::outsideChange);
    connect(m_campusLink, &CampusLink::stateChanged, this, &CHoraletView::campusStateChanged);
    m_ui->clock1023->setTimeSource([this] { return m_clock->now(); });
    setupTaskColumns();
    fillTaskTable();
    m_taskEditing = new TaskEditing(
        m_ui->taskTable1001, m_taskModel, m_taskStore, *m_clock,
        [this](const ScheduleTable &table) { setScheduleTable(table); }, this);
    for (auto &[id, handler] : m_taskEditing->commands())
        setCommand(id, std::move(handler));
    m_taskEditing->setDayGateSource([this] { return m_settings->dayGate(); });
    m_taskEditing->setTimetablesSource(
        [this]() -> const Timetables & { return m_settings->timetables(); });
    setCommand(CommandId::Calendar, [this] { m_settings->openCalendar(); });
    setCommand(CommandId::Timetables, [this] { m_settings->openTimetables(); });
    // A task's timetable entry changes with the task; the column and the gate follow.
    connect(m_taskEditing, &TaskEditing::storeChanged, m_settings, &SettingsPanel::loadTimetables);
    connect(m_settings, &SettingsPanel::timetablesChanged, this,
            [this] { m_taskModel->setSeasons(m_settings->timetables()); });
    connect(m_settings, &SettingsPanel::tasksAdded, this, [this] {
        const ScheduleTable stored =
            waitOffThread([this] { return m_taskStore.LoadScheduleTable(); });
        setScheduleTable(stored);
        m_taskEditing->ShowAllTasks(stored);
    });
    m_taskModel->setSeasons(m_settings->timetables());
    setupCampus();
    m_settings->loadOptionFlags();
    QString unreadable;
    m_scheduleTable = m_taskStore.LoadScheduleTable(&unreadable);
    if (!unreadable.isEmpty())
        showNotice(this, TaskStore::unreadableAtStartup(unreadable));
    m_settings->attachHolidayGroup();
    ViewLook::configureCaption(*m_ui->caption1125);
    setupToolTips();
    m_playPanel =
        new PlayPanel(*m_ui, mediaPlayer(), m_campusLink->output(), m_taskStore, *m_clock, this);
    connect(&m_playPanel->playback(), &PlaylistDriver::volumeShown, m_volumePanel,
            &VolumePanel::showVolume);
    connect(m_player, &MpvPlayer::stateChanged, &m_playPanel->playback(),
            [playback = &m_playPanel->playback()](MediaPlayer::State state) {
                if (state == MediaPlayer::State::Idle)
                    playback->playerWentIdle();
            });
    connect(m_taskEditing, &TaskEditing::taskModified, &m_playPanel->scheduler(),
            &ScheduleDriver::followEdit);
    connect(&m_playPanel->scheduler(), &ScheduleDriver::taskNotStarted, this,
            [this](const PlayTask &, const QString &text) { tell(text); });
    setupPower();
    // Told before the first second is checked, so what that second tells comes after it.
    m_shutdownStep->review();
    m_sleepGuard->setTaskCount(m_scheduleTable.size());
    startPlayLog();
    setupWakeAlarm();
    m_playPanel->startScheduler([this]() -> const ScheduleTable & { return m_scheduleTable; },
                                [this] { return m_settings->dayGate(); });
    pushInitialValues();
    m_backup = new BackupCommands(
        m_taskStore.directory(), [this] { reloadFromStore(); }, this);
    for (auto &[id, handler] : m_backup->commands())
        setCommand(id, std::move(handler));
}

// The zones follow the settings file and every task change (a task's zones are stored with
// it, a copied timetable's tasks take their originals' zones); the table's column follows
// them.
void CHoraletView::setupCampus() {
    m_campus = new CampusPanel(m_taskStore.directory(), this);
    connect(m_campus, &CampusPanel::campusChanged, this, [this] {
        m_taskModel->setCampus(m_campus->config());
        m_campusLink->apply(m_campus->config());
    });
    m_campus->setControl(&m_campusLink->control());
    m_campus->setAudition([this](const QStringList &rooms) { m_campusLink->audition(rooms); });
    m_campus->setIsPlaying(
        [this] { return m_playPanel && m_playPanel->playback().isTaskActive(); });
    m_campus->load();
    m_taskEditing->setCampusSource([this]() -> const CampusConfig & { return m_campus->config(); });
    connect(m_taskEditing, &TaskEditing::storeChanged, m_campus, &CampusPanel::load);
    connect(m_settings, &SettingsPanel::tasksAdded, m_campus, &CampusPanel::load);
    setCommand(CommandId::Campus, [this] { m_campus->openDialog(); });
}

void CHoraletView::reloadFromStore() {
    if (!m_backup) // the initial update has not completed
        return;
    m_settings->reloadFromStore();
    m_campus->load();
    const ScheduleTable stored = waitOffThread([this] { return m_taskStore.LoadScheduleTable(); });
    setScheduleTable(stored);
    m_taskEditing->ShowAllTasks(stored);
    m_shutdownStep->review();
    emit storeReloaded();
}

// The timed shutdown runs last in each checked second; the sleep inhibitor follows the
// stored tasks, and a wake-up makes the schedule read the clock at once.
void CHoraletView::setupPower() {
    m_powerControl = std::make_unique<LogindPowerControl>();
    ScheduleDriver &scheduler = m_playPanel->scheduler();
    m_shutdownStep = new ShutdownStep(
        scheduler, m_playPanel->playback(), *m_powerControl,
        [this] {
            return ShutdownStep::Setting{m_settings->shutdownEnabled(), m_settings->shutdownTime()};
        },
        this);
    scheduler.setShutdownHook([step = m_shutdownStep](const ClockTexts &now) { step->check(now); });
    connect(m_shutdownStep, &ShutdownStep::notice, this, &CHoraletView::tell);
    connect(m_shutdownStep, &ShutdownStep::poweringOff, this,
            [this] { tell(QStringLiteral("到达定时关机时间，正在关闭计算机")); });
    connect(m_shutdownStep, &ShutdownStep::powerOffFailed, this, [this](const QString &reason) {
        tell(QStringLiteral("定时关机失败：") + reason);
        // Not modal: the schedule goes on while the message waits for somebody to read it.
        auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Horalet"),
                                    QStringLiteral("定时关机失败：") + reason +
                                        QStringLiteral("\n定时播放任务将继续执行。"),
                                    QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("shutdownFailedBox"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
    connect(m_shutdownStep, &ShutdownStep::stillRunning, this,
            [this] { tell(QStringLiteral("已请求关机，但系统没有关机，定时播放任务继续执行")); });

    m_sleepKeeper = new LogindSleepKeeper(this);
    m_sleepGuard = new SleepGuard(*m_sleepKeeper, this);
    connect(m_sleepGuard, &SleepGuard::notice, this, &CHoraletView::tell);
    connect(m_sleepKeeper, &LogindSleepKeeper::resumed, &scheduler,
            &ScheduleDriver::resumeAfterSleep);
    // Whatever path replaced the tasks, the inhibitor follows within a second.
    connect(&scheduler, &ScheduleDriver::passRan, m_sleepGuard,
            [this] { m_sleepGuard->setTaskCount(m_scheduleTable.size()); });
}

// Power-on for the bells: the alarm is set after the schedule stopped for the timed shutdown
// and before the power-off is requested, and when logind announces a sleep.
void CHoraletView::setupWakeAlarm() {
    m_settings->loadWakeAlarm();
    m_wakeAlarmHelper = new WakeAlarmHelper(this);
    m_wakeAlarm = new WakeAlarm(
        *m_wakeAlarmHelper, *m_clock, m_taskStore.directory(),
        [this] { return m_settings->wakeAlarm(); },
        [this]() -> const ScheduleTable & { return m_scheduleTable; },
        [this] { return m_settings->dayGate(); });
    if (!m_wakeAlarm->available())
        m_settings->setWakeAlarmUnavailable(QStringLiteral("这台计算机没有可设置唤醒的硬件时钟"));
    m_shutdownStep->setBeforePowerOff(
        [this](std::function<void()> proceed) { m_wakeAlarm->arm(proceed); });

    m_sleepDelay = new LogindSleepDelay(this);
    const auto wantDelay = [this] {
        m_sleepDelay->setWanted(m_settings->wakeAlarm().enabled && m_wakeAlarm->available());
    };
    wantDelay();
    connect(m_settings, &SettingsPanel::wakeAlarmChanged, this, [this, wantDelay] {
        wantDelay();
        refreshNextWake();
    });
    connect(m_sleepDelay, &LogindSleepDelay::suspending, this,
            [this] { m_wakeAlarm->prepareForSleep(true, [this] { m_sleepDelay->release(); }); });
    connect(m_sleepDelay, &LogindSleepDelay::resumed, this,
            [this] { m_wakeAlarm->prepareForSleep(false); });

    PlayLogRecorder *log = m_playLogRecorder;
    connect(m_wakeAlarm, &WakeAlarm::alarmSet, this,
            [this, log](const QDateTime &, const QString &note) {
                log->wakeAlarm(QStringLiteral("已设置开机时间：") + note);
                tell(QStringLiteral("已设置自动开机：") + note);
            });
    connect(m_wakeAlarm, &WakeAlarm::alarmCleared, this, [log](const QString &note) {
        log->wakeAlarm(QStringLiteral("已清除已过的开机时间：") + note);
    });
    connect(m_wakeAlarm, &WakeAlarm::noAlarm, this, [this, log](const QString &why) {
        log->wakeAlarm(QStringLiteral("未设置开机时间：") + why);
        tell(QStringLiteral("未设置自动开机：") + why);
    });
    connect(m_wakeAlarm, &WakeAlarm::failed, this, [this, log](const QString &reason) {
        log->wakeAlarm(QStringLiteral("设置开机时间失败：") + reason);
        tell(QStringLiteral("未能设置自动开机：") + reason);
        // Not modal: the power-off or the sleep goes ahead; tomorrow's bell is the user's.
        auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Horalet"),
                                    QStringLiteral("未能设置自动开机：") + reason +
                                        QStringLiteral("\n关机或睡眠后计算机不会自动开机，"
                                                       "请在下一个任务前手动开机。"),
                                    QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("wakeAlarmFailedBox"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
    // An alarm of ours left from before the last power-off.
    m_wakeAlarm->clearPassed();
    refreshNextWake();
}

void CHoraletView::refreshNextWake() {
    if (m_wakeAlarm && m_wakeAlarm->available() && m_settings->wakeAlarm().enabled)
        m_settings->showNextWake(WakeAlarm::describe(m_wakeAlarm->currentPlan(), m_clock->now()));
}

void CHoraletView::tell(const QString &text) {
    m_statusText = text;
    emit statusNotice(text);
}

void CHoraletView::startPlayLog() {
    m_playLog = new PlayLog(m_taskStore.directory(), this);
    connect(m_playLog, &PlayLog::writeFailed, this, &CHoraletView::tell);
    m_playLog->removeOld(m_clock->now().date());
    m_playLogRecorder = new PlayLogRecorder(*m_playLog, *m_clock, this);
    m_playLogRecorder->watch(m_playPanel->scheduler(), m_playPanel->playback());
    connect(m_player, &MpvPlayer::itemFailed, m_playLogRecorder, &PlayLogRecorder::itemFailed);
    connect(m_ui->stopButton1061, &QAbstractButton::clicked, m_playLogRecorder,
            &PlayLogRecorder::manualStop);
    m_playLogRecorder->programStarted();
    // Wired before the campus routes a started task: listening starts on this machine's
    // output and follows the route.
    m_heardLink = new HeardLink(*m_clock, this);
    m_heardLink->watch(m_playPanel->scheduler(), m_playPanel->playback(), *m_player,
                       *m_ui->stopButton1061, *m_playLogRecorder);
    m_heardLink->followCampus(m_campusLink->campusOutput());
    connect(m_heardLink, &HeardLink::notice, this, [this](const QString &text, bool warning) {
        tell(text);
        emit heardNotice(text, warning);
    });
    m_campusLink->watch(m_playPanel->playback(), *m_playLogRecorder);
    connect(m_shutdownStep, &ShutdownStep::poweringOff, m_playLogRecorder,
            [this] { m_playLogRecorder->shutdownRequested(); });
    connect(m_shutdownStep, &ShutdownStep::powerOffFailed, m_playLogRecorder,
            &PlayLogRecorder::shutdownRefused);
    connect(m_shutdownStep, &ShutdownStep::stillRunning, m_playLogRecorder, [this] {
        m_playLogRecorder->shutdownRefused(QStringLiteral("已请求关机，但系统没有关机"));
    });
    setCommand(CommandId::PlayLogViewer, [this] {
        CPlayLogDlg dialog(m_taskStore.directory(), this);
        dialog.exec();
    });

    m_nextTaskTimer = new QTimer(this);
    m_nextTaskTimer->setInterval(60 * 1000);
    connect(m_nextTaskTimer, &QTimer::timeout, this, &CHoraletView::refreshNextTask);
    m_nextTaskTimer->start();
    connect(m_settings, &SettingsPanel::dayGateChanged, this, &CHoraletView::refreshNextTask);
    // A task starting changes what comes next; recomputed after the pass, never inside it.
    connect(&m_playPanel->scheduler(), &ScheduleDriver::taskStarting, this,
            [this] { QTimer::singleShot(0, this, &CHoraletView::refreshNextTask); });
    refreshNextTask();
    startPreflight();
}

void CHoraletView::startPreflight() {
    m_preflight = new PreflightRunner(m_taskStore, &MediaProbe::probe, this);
    connect(m_preflight, &PreflightRunner::checked, this, &CHoraletView::showPreflight);
    connect(m_settings, &SettingsPanel::dayGateChanged, this, &CHoraletView::runPreflight);
    // A file can go missing without any change here: look again every few minutes.
    m_preflightPeriodic = new QTimer(this);
    m_preflightPeriodic->setInterval(5 * 60 * 1000);
    connect(m_preflightPeriodic, &QTimer::timeout, this, &CHoraletView::runPreflight);
    m_preflightPeriodic->start();
    m_preflightDaily = new QTimer(this);
    m_preflightDaily->setSingleShot(true);
    connect(m_preflightDaily, &QTimer::timeout, this, [this] {
        runPreflight();
        armDailyPreflight();
    });
    armDailyPreflight();
    runPreflight();
}

void CHoraletView::armDailyPreflight() {
    const QDateTime now = m_clock->now();
    QDateTime next(now.date(), QTime(0, 0, 5));
    if (next <= now)
        next = next.addDays(1);
    m_preflightDaily->start(int(std::clamp<qint64>(now.msecsTo(next), 1000, 86400000)));
}

void CHoraletView::runPreflight() {
    if (!m_preflight || !m_settings)
        return;
    m_preflight->setOutputReader(HeardLink::outputReader(m_campus && m_campus->config().enabled()));
    m_preflight->run(m_scheduleTable, m_clock->now(), m_settings->dayGate());
}

void CHoraletView::showPreflight(const QList<Preflight::Verdict> &verdicts, const QDateTime &now) {
    QHash<QString, QStringList> marks;
    QStringList found;
    for (const Preflight::Verdict &v : verdicts) {
        for (const Preflight::Problem &p : v.problems) {
            // The table marks a timetable or a volume by itself, whenever the task is due.
            if (p.kind == Preflight::Kind::File)
                marks[v.task] << (p.item.isEmpty()
                                      ? p.reason
                                      : QStringLiteral("%1：%2").arg(p.reason, p.item));
            const QString key = v.task + QLatin1Char('\n') + p.item + QLatin1Char('\n') + p.reason;
            found << key;
            // A problem is logged when found, not again at every check.
            if (!m_loggedProblems.contains(key) && m_playLogRecorder)
                m_playLogRecorder->problemFound(v.task, p);
        }
    }
    m_loggedProblems = found;
    m_taskModel->setRowProblems(QStringLiteral("preflight"), marks);
    const QString caption = Preflight::caption(verdicts, now);
    if (caption != m_preflightCaption) {
        m_preflightCaption = caption;
        emit preflightChanged(caption);
    }
}

void CHoraletView::setScheduleTable(const ScheduleTable &table) {
    m_scheduleTable = table;
    if (m_sleepGuard)
        m_sleepGuard->setTaskCount(m_scheduleTable.size());
    refreshNextTask();
    // A change of a task may be a change of its playlist only: check again in any case.
    runPreflight();
}

void CHoraletView::refreshNextTask() {
    if (!m_settings)
        return;
    const QString text = NextTask::paneText(m_scheduleTable, m_clock->now(), m_settings->dayGate());
    if (text == m_nextTaskText)
        return;
    m_nextTaskText = text;
    emit nextTaskChanged(text);
    refreshNextWake();
}

void CHoraletView::shrinkFrameToForm() {
    QWidget *frame = window();
    if (frame == this)
        return;
    const QSize fit = frame->sizeHint().expandedTo(frame->minimumSize());
    frame->resize(frame->size().boundedTo(fit).expandedTo(frame->minimumSize()));
}

void CHoraletView::setupTaskColumns() {
    ViewLook::configureTaskTable(*m_ui->taskTable1001);
}

void CHoraletView::fillTaskTable() {
    m_taskModel->DeleteAllItems();
    for (const PlayTask &task : m_taskStore.ReadTaskRows())
        AppendTaskRow(task);
}

void CHoraletView::AppendTaskRow(const PlayTask &task) {
    m_taskModel->AppendTaskRow(task);
}

void CHoraletView::setupToolTips() {
    m_toolTips = new CTipControl(this);
    m_toolTips->activate(true);
    m_toolTips->setMaxTipWidth(200);
    const struct {
        QWidget *control;
        const char *text;
    } tools[] = {
        {m_ui->newButton1019, " 新增定时播放任务."},
        {m_ui->modifyButton1021, "修改定时播放任务：修改时请先选择一行."},
        {m_ui->deleteButton1022, " 删除定时播放任务：删除时请先选择一行."},
        {m_ui->todayButton1016, "列出今日的定时播放任务"},
        {m_ui->weekButton1017, " 列出本周的定时播放任务"},
        {m_ui->monthButton1018, "列出本月的定时播放任务"},
        {m_ui->allButton1002, "列出所有定时播放任务"},
        {m_ui->addHolidayButton1082, "增加:点击日历，选择日期, 点击‘增加’按钮"},
        {m_ui->deleteHolidayButton1083, "删除: 选择左边的一个日期，点击‘删除’按钮"},
    };
    for (const auto &tool : tools)
        m_toolTips->addTool(tool.control, QString::fromUtf8(tool.text));
    m_toolTips->setTipTextColor(QColor(255, 0, 0));
    m_toolTips->setDelayTime(200);
}

void CHoraletView::pushInitialValues() {
    m_ui->holidayDate1006->setDateTime(m_clock->now());
    m_ui->currentTask1043->clear();
}

void CHoraletView::setCommand(int id, std::function<void()> handler) {
    const bool wired = m_commands.contains(id);
    m_commands.insert(id, std::move(handler));
    if (!wired) {
        if (auto *button = qobject_cast<QAbstractButton *>(controlById(id)))
            connect(button, &QAbstractButton::clicked, this, [this, id] { runCommand(id); });
    }
    emit commandsChanged();
}

bool CHoraletView::runCommand(int id) {
    const auto handler = m_commands.value(id);
    if (!handler)
        return false;
    handler();
    return true;
}

QWidget *CHoraletView::controlById(int id) const {
    const QString suffix = QString::number(id);
    const auto children = findChildren<QWidget *>();
    for (QWidget *child : children) {
        const QString name = child->objectName();
        if (name.endsWith(suffix) && !name.at(name.size() - suffix.size() - 1).isDigit())
            return child;
    }
    return nullptr;
}

void CHoraletView::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    // Laid out but not yet on the screen: the window grows before it is seen.
    if (m_columnsToFit)
        fitWindowToColumns();
}

void CHoraletView::fitWindowToColumns() {
    m_columnsToFit = false;
    QWidget *frame = window();
    CListCtrlCl *table = m_ui->taskTable1001;
    if (frame == this || frame->isMaximized() || frame->isFullScreen())
        return;
    const int scrollBar = table->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff
                              ? 0
                              : table->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int rowHeader =
        table->verticalHeader()->isHidden() ? 0 : table->verticalHeader()->width();
    const int lacking = table->horizontalHeader()->length() + rowHeader + scrollBar +
                        2 * table->frameWidth() - table->width();
    if (lacking <= 0)
        return;
    // As wide as the columns need, as far as the screen has room; the centre stays.
    const int width =
        qMin(frame->width() + lacking, qMax(ScreenFit::room(frame).width(), frame->width()));
    const int grown = width - frame->width();
    if (grown <= 0)
        return;
    frame->move(frame->x() - grown / 2, frame->y());
    frame->resize(width, frame->height());
}

void CHoraletView::mousePressEvent(QMouseEvent *event) {
    // A press on the form's own background moves the window, as a drag on its title would.
    // Presses reach here only when no control took them (captions and group frames do not).
    if (event->button() == Qt::LeftButton) {
        if (QWindow *handle = window()->windowHandle())
            handle->startSystemMove();
    }
    QWidget::mousePressEvent(event);
}
