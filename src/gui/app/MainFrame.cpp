#include "MainFrame.h"

#include "store/KeptOriginals.h"

#include "AboutDlg.h"
#include "AppIcon.h"
#include "LockKeys.h"
#include "platform/AutostartEntry.h"
#include "program/MakerInfo.h"
#include "view/CampusLink.h"
#include "view/CommandIds.h"
#include "view/HoraletView.h"
#include "widgets/ImageToolBar.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <memory>

namespace {
struct ToolCommand {
    int id;
    const char *prompt;
    const char *tip;
};

// Order of the toolbar; prompt for the status bar, tip for the button.
constexpr ToolCommand kToolCommands[] = {
    {CommandId::NewTask, "新增定时播放任务", "新增"},
    {CommandId::ModifyTask, "修改定时播放任务，修改前请先选中一行", "修改"},
    {CommandId::DeleteTask, "删除定时播放任务，修改前请先选中一行", "删除"},
    {CommandId::ShowToday, "显示本日定时播放任务", "今日"},
    {CommandId::ShowWeek, "显示包括本日在内的后7天的定时播放任务", "一周"},
    {CommandId::ShowMonth, "显示包括本日在内的后31天的定时播放任务", "一月"},
    {CommandId::ShowAll, "显示所有的定时播放任务", "所有"},
    {CommandId::SendMail, "给软件作者发邮件", "发邮件"},
    {CommandId::HomePage, "软件开发者主页", "主页"},
    {CommandId::Help, "软件帮助文档", "帮助"},
    {CommandId::Exit, "退出", "退出"},
    {CommandId::Unassigned, "", ""},
};

const ToolCommand *toolCommand(int id) {
    for (const ToolCommand &command : kToolCommands) {
        if (command.id == id)
            return &command;
    }
    return nullptr;
}
} // namespace

CMainFrame::CMainFrame(const QString &storeDirectory, QWidget *parent)
    : QMainWindow(parent), m_storeDirectory(storeDirectory),
      m_exit([](int code) { QCoreApplication::exit(code); }), m_idleText(idleText()),
      m_restingText(m_idleText) {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(frameTitle());
    setWindowIcon(AppIcon::application());
    setMinimumSize(900, 765);

    m_view = new CHoraletView(storeDirectory, this);
    setCentralWidget(m_view);

    createMenus();
    createToolBar();
    createStatusBar();
    createTray();
    connect(m_view, &CHoraletView::commandsChanged, this, &CMainFrame::updateCommandStates);
    connect(m_view, &CHoraletView::statusNotice, this,
            [this](const QString &text) { showNotice(text); });
    // A task not heard, or played into a muted output: told where the user looks for as long
    // as a kept copy is, and by the tray when the window is not in sight.
    connect(m_view, &CHoraletView::heardNotice, this, [this](const QString &text, bool warning) {
        markWarning(warning);
        if (warning)
            m_noticeTimer->start(30 * 60 * 1000);
        if (warning && m_tray && QSystemTrayIcon::isSystemTrayAvailable())
            m_tray->showMessage(frameTitle(), text, QSystemTrayIcon::Warning);
    });
    // Said where the user looks without stopping anything: the change itself went through.
    connect(&KeptOriginals::Notices::instance(), &KeptOriginals::Notices::kept, this,
            [this](const QString &path, const QString &copyPath) {
                showNotice(KeptOriginals::message(path, copyPath), 30 * 60 * 1000);
            });
    updateCommandStates();
    resize(minimumSize());
}

CMainFrame::~CMainFrame() = default;

QString CMainFrame::frameTitle() {
    return MakerInfo::productName() + QLatin1Char(' ') + MakerInfo::version();
}

QString CMainFrame::trayTip() {
    return MakerInfo::productName() + QLatin1Char(' ');
}

QAction *CMainFrame::addCommand(int id, const QString &text, const QString &prompt,
                                const QString &tip) {
    auto *action = new QAction(text, this);
    action->setObjectName(QStringLiteral("action%1").arg(id));
    action->setData(id);
    QString statusTip = prompt;
    QString toolTip = tip;
    if (const ToolCommand *command = toolCommand(id)) {
        statusTip = QString::fromUtf8(command->prompt);
        toolTip = QString::fromUtf8(command->tip);
    }
    action->setStatusTip(statusTip);
    action->setToolTip(toolTip);
    connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
    m_actions.insert(id, action);
    return action;
}

void CMainFrame::createMenus() {
    QMenu *operate = menuBar()->addMenu(QStringLiteral("操作"));
    operate->setObjectName(QStringLiteral("menuOperate"));
    operate->addAction(addCommand(CommandId::NewTask, QStringLiteral("新增播放任务")));
    operate->addAction(addCommand(CommandId::ModifyTask, QStringLiteral("修改..")));
    operate->addAction(addCommand(CommandId::RemoveRow, QStringLiteral("删除..")));
    operate->addSeparator();
    operate->addAction(addCommand(CommandId::ShowToday, QStringLiteral("本日播放任务")));
    operate->addAction(addCommand(CommandId::ShowWeek, QStringLiteral("本周..")));
    operate->addAction(addCommand(CommandId::ShowMonth, QStringLiteral("本月..")));
    operate->addAction(addCommand(CommandId::ShowAll, QStringLiteral("全部..")));
    operate->addSeparator();
    operate->addAction(addCommand(CommandId::Calendar, QStringLiteral("节假日和调休...")));
    operate->addAction(addCommand(CommandId::Timetables, QStringLiteral("作息表...")));
    operate->addAction(addCommand(CommandId::Campus, QStringLiteral("广播分区..."),
                                  QStringLiteral("设置校园广播的服务器、终端和分区")));
    operate->addSeparator();
    operate->addAction(addCommand(CommandId::SendMail, QStringLiteral("发邮件")));
    operate->addAction(addCommand(CommandId::HomePage, QStringLiteral("主页")));
    operate->addSeparator();
    operate->addAction(addCommand(CommandId::Exit, QStringLiteral("退出(&X)")));

    QMenu *show = menuBar()->addMenu(QStringLiteral("查看(&V)"));
    show->setObjectName(QStringLiteral("menuView"));
    QAction *toolBarAction = addCommand(CommandId::ToggleToolBar, QStringLiteral("工具栏(&T)"),
                                        QStringLiteral("显示或隐藏工具栏"));
    QAction *statusBarAction = addCommand(CommandId::ToggleStatusBar, QStringLiteral("状态栏(&S)"),
                                          QStringLiteral("显示或隐藏状态栏"));
    toolBarAction->setCheckable(true);
    toolBarAction->setChecked(true);
    statusBarAction->setCheckable(true);
    statusBarAction->setChecked(true);
    show->addAction(toolBarAction);
    show->addAction(statusBarAction);
    // The autostart file itself is the setting: the tick shows whether it is there.
    QAction *autostartAction =
        addCommand(CommandId::Autostart, QStringLiteral("开机自动运行"),
                   QStringLiteral("登录桌面时自动启动本程序，只显示托盘图标"));
    autostartAction->setCheckable(true);
    autostartAction->setChecked(AutostartEntry::isEnabled());
    show->addAction(autostartAction);
    show->addSeparator();
    show->addAction(addCommand(CommandId::PlayLogViewer, QStringLiteral("播放记录…"),
                               QStringLiteral("查看每次播放、未播放及其原因的记录")));

    QMenu *backup = menuBar()->addMenu(QStringLiteral("备份  "));
    backup->setObjectName(QStringLiteral("menuBackup"));
    backup->addAction(addCommand(CommandId::Backup, QStringLiteral("备份定时播放任务")));
    backup->addSeparator();
    backup->addAction(addCommand(CommandId::Import, QStringLiteral("导入定时播放任务")));

    QMenu *help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    help->setObjectName(QStringLiteral("menuHelp"));
    help->addAction(addCommand(CommandId::About, QStringLiteral("关于(&A)..."),
                               QStringLiteral("显示程序信息、版本号和版权")));
    help->addSeparator();
    help->addAction(addCommand(CommandId::Help, QStringLiteral("软件使用说明")));
}

void CMainFrame::createToolBar() {
    auto *toolBar = new CImageToolBar(QStringLiteral("工具栏"), this);
    m_toolBar = toolBar;
    m_toolBar->setObjectName(QStringLiteral("toolBar128"));
    m_toolBar->setIconSize(QSize(32, 32));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolBar->setMovable(true);
    m_toolBar->setFloatable(true);
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    for (const ToolCommand &command : kToolCommands) {
        QAction *action = m_actions.value(command.id);
        if (!action)
            action = addCommand(command.id, QString::fromUtf8(command.tip));
        m_toolBar->addAction(action);
    }
    // No disabled strip: the toolbar greys the normal image of a disabled button itself.
    toolBar->LoadImageLists(32, QStringLiteral(":/toolbar/normal.png"),
                            QStringLiteral(":/toolbar/hot.png"));
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    // Without a support address there is nothing to mail to.
    m_actions.value(CommandId::SendMail)->setVisible(MakerInfo::hasMailAddress());
    connect(m_toolBar, &QToolBar::visibilityChanged, this, [this](bool visible) {
        if (!isMinimized() && isVisible())
            m_actions.value(CommandId::ToggleToolBar)->setChecked(visible);
    });
}

void CMainFrame::createStatusBar() {
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    m_capsPane = new QLabel(bar);
    m_capsPane->setObjectName(QStringLiteral("capsPane"));
    m_numPane = new QLabel(bar);
    m_numPane->setObjectName(QStringLiteral("numPane"));
    for (QLabel *pane : {m_capsPane, m_numPane}) {
        pane->setAlignment(Qt::AlignCenter);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(QStringLiteral("大写")) + 12);
    }
    m_contactPane = new QLabel(MakerInfo::contactHtml(), bar);
    m_contactPane->setObjectName(QStringLiteral("contactPane"));
    m_contactPane->setTextFormat(Qt::RichText);
    m_contactPane->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    connect(m_contactPane, &QLabel::linkActivated, this, [this](const QString &link) {
        runCommand(link.startsWith(QStringLiteral("mailto:")) ? CommandId::SendMail
                                                              : CommandId::HomePage);
    });
    m_contactPane->setFrameShape(QFrame::NoFrame);
    m_contactPane->setMinimumWidth(120);
    m_contactPane->setMaximumWidth(800);
    // The campus connection, at all times while the campus is on.
    m_campusPane = new QLabel(bar);
    m_campusPane->setObjectName(QStringLiteral("campusPane"));
    auto showCampus = [this](const QString &text) {
        m_campusPane->setText(text);
        m_campusPane->setToolTip(text);
        m_campusPane->setVisible(!text.isEmpty());
    };
    showCampus(m_view->campusLink() ? m_view->campusLink()->stateText() : QString());
    connect(m_view, &CHoraletView::campusStateChanged, this, showCampus);
    m_nextTaskPane = new QLabel(m_view->nextTaskText(), bar);
    m_nextTaskPane->setObjectName(QStringLiteral("nextTaskPane"));
    connect(m_view, &CHoraletView::nextTaskChanged, m_nextTaskPane, &QLabel::setText);
    // Files with problems stay told in the resting text until they are fixed.
    connect(m_view, &CHoraletView::preflightChanged, this, [this](const QString &caption) {
        const QString resting = caption.isEmpty() ? idleText() : caption;
        if (!m_noticeTimer->isActive()) {
            if (statusBar()->currentMessage() == m_idleText)
                statusBar()->showMessage(resting);
            m_idleText = resting;
        }
        m_restingText = resting;
        // Hidden in the tray, the window cannot show it: the tray tells.
        if (!caption.isEmpty() && m_tray && m_tray->isVisible() && !isVisible())
            m_tray->showMessage(frameTitle(), caption, QSystemTrayIcon::Warning);
    });
    // The message pane is the bar's own message area, which ends where the first permanent
    // pane begins: the panes keep their own width (no stretch), so prompts have the rest.
    bar->addPermanentWidget(m_campusPane);
    bar->addPermanentWidget(m_nextTaskPane);
    bar->addPermanentWidget(m_capsPane);
    bar->addPermanentWidget(m_numPane);
    bar->addPermanentWidget(m_contactPane);
    // A prompt lasts while the pointer is on its command; then the idle text comes back.
    connect(bar, &QStatusBar::messageChanged, this, [this](const QString &message) {
        if (message.isEmpty())
            statusBar()->showMessage(m_idleText);
    });
    bar->showMessage(m_idleText);
    m_noticeTimer = new QTimer(this);
    m_noticeTimer->setSingleShot(true);
    connect(m_noticeTimer, &QTimer::timeout, this, [this] {
        const QString notice = m_idleText;
        m_idleText = m_restingText;
        if (statusBar()->currentMessage() == notice)
            statusBar()->showMessage(m_idleText);
        markWarning(false);
        yieldToNotice(false);
    });

    updateLockPanes();
    auto *lockTimer = new QTimer(this);
    connect(lockTimer, &QTimer::timeout, this, &CMainFrame::updateLockPanes);
    lockTimer->start(300);
}

QString CMainFrame::idleText() {
    return QStringLiteral("就绪");
}

void CMainFrame::showNotice(const QString &text, int lastsMs) {
    // Stands in for the idle text for a while, so a hover over the menu does not wipe it.
    m_idleText = text;
    markWarning(false);
    yieldToNotice(true);
    statusBar()->setToolTip(text); // whole, should it be longer than even the whole line
    statusBar()->showMessage(text);
    m_noticeTimer->start(lastsMs);
}

void CMainFrame::markWarning(bool warning) {
    if (warning == m_warning)
        return;
    m_warning = warning;
    QPalette palette = statusBar()->palette();
    palette.setColor(QPalette::WindowText,
                     warning ? warningColour()
                             : QApplication::palette().color(QPalette::WindowText));
    statusBar()->setPalette(palette);
}

QColor CMainFrame::warningColour() {
    return QColor(200, 0, 0);
}

void CMainFrame::yieldToNotice(bool yield) {
    // The message area ends where the first shown pane begins: while a notice shows, the
    // wide panes make room for it.
    m_nextTaskPane->setVisible(!yield);
    m_contactPane->setVisible(!yield);
    if (!yield)
        statusBar()->setToolTip(QString());
}

void CMainFrame::updateLockPanes() {
    const LockKeys::State state = LockKeys::query();
    m_capsPane->setText(state.capsLock ? QStringLiteral("大写") : QString());
    m_numPane->setText(state.numLock ? QStringLiteral("数字") : QString());
}

void CMainFrame::createTray() {
    m_tray = new QSystemTrayIcon(AppIcon::application(), this);
    m_tray->setToolTip(trayTip());
    m_trayMenu = new QMenu(this);
    m_trayMenu->setObjectName(QStringLiteral("trayMenu154"));
    const struct {
        int id;
        const char *text;
    } items[] = {
        {CommandId::TrayOpen, "打开"}, {CommandId::TrayHide, "隐藏"}, {CommandId::Exit, "退出"}};
    bool first = true;
    for (const auto &item : items) {
        if (!first)
            m_trayMenu->addSeparator();
        first = false;
        QAction *action = m_trayMenu->addAction(QString::fromUtf8(item.text));
        action->setObjectName(QStringLiteral("trayAction%1").arg(item.id));
        action->setData(item.id);
        const int id = item.id;
        connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
    }
    m_tray->setContextMenu(m_trayMenu);
    connect(m_tray, &QSystemTrayIcon::activated, this, &CMainFrame::onTrayActivated);
}

bool CMainFrame::handlesItself(int id) const {
    switch (id) {
    case CommandId::Exit:
    case CommandId::About:
    case CommandId::ToggleToolBar:
    case CommandId::ToggleStatusBar:
    case CommandId::TrayOpen:
    case CommandId::TrayHide:
    case CommandId::Autostart:
        return true;
    default:
        return false;
    }
}

void CMainFrame::updateCommandStates() {
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it)
        it.value()->setEnabled(handlesItself(it.key()) || m_view->hasCommand(it.key()));
}

bool CMainFrame::runCommand(int id) {
    switch (id) {
    case CommandId::Exit:
        close();
        return true;
    case CommandId::About: {
        CAboutDlg about(m_storeDirectory, this);
        about.exec();
        return true;
    }
    case CommandId::ToggleToolBar:
        m_toolBar->setVisible(m_actions.value(id)->isChecked());
        return true;
    case CommandId::ToggleStatusBar:
        statusBar()->setVisible(m_actions.value(id)->isChecked());
        return true;
    case CommandId::TrayOpen:
        restoreFromTray();
        return true;
    case CommandId::TrayHide:
        hide();
        return true;
    case CommandId::Autostart:
        setAutostart(m_actions.value(id)->isChecked());
        return true;
    default:
        return m_view->runCommand(id);
    }
}

bool CMainFrame::confirmExit() {
    QMessageBox box(QMessageBox::Question, QStringLiteral("提示"), QStringLiteral("确定要退出吗？"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("是(&Y)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("否(&N)"));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void CMainFrame::closeEvent(QCloseEvent *event) {
    event->ignore();
    if (confirmExit())
        m_exit(0);
}

void CMainFrame::changeEvent(QEvent *event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    if (windowState() & Qt::WindowMinimized) {
        // Without a tray the window stays in the task bar, or it could never come back.
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            return;
        m_tray->show();
        QTimer::singleShot(0, this, [this] {
            if (windowState() & Qt::WindowMinimized)
                hide();
        });
    } else {
        m_tray->hide();
    }
}

void CMainFrame::onTrayActivated(QSystemTrayIcon::ActivationReason reason) {
    // StatusNotifier hosts report any click as Trigger and never a double click.
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
        restoreFromTray();
}

void CMainFrame::restoreFromTray() {
    // One state change, straight to normal: minimising a hidden window first and restoring
    // it at once races the window manager, which may answer the restore before the minimise.
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    show();
    raise();
    activateWindow();
    m_tray->hide();
}

void CMainFrame::setAutostart(bool on) {
    QString error;
    // A store chosen for this run (--store, HORALET_STORE_DIR) is the one to start at login.
    const QString store =
        qEnvironmentVariableIsEmpty("HORALET_STORE_DIR") ? QString() : m_storeDirectory;
    const bool done =
        on ? AutostartEntry::enable(QCoreApplication::applicationFilePath(), store, &error)
           : AutostartEntry::disable(&error);
    m_actions.value(CommandId::Autostart)->setChecked(AutostartEntry::isEnabled());
    if (done)
        return;
    const QString text = on ? QStringLiteral("无法设置开机自动运行，写入“%1”失败：%2")
                            : QStringLiteral("无法取消开机自动运行，删除“%1”失败：%2");
    QMessageBox::warning(this, QStringLiteral("Horalet"),
                         text.arg(AutostartEntry::filePath(), error));
}

void CMainFrame::showAtStart(bool minimized, int trayWaitMs) {
    if (!minimized) {
        show();
        return;
    }
    // In the tray when there is one; a minimised window otherwise, or it could not come back.
    // At login the panel that holds the tray may start after us, so it gets a little time.
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray->show();
        return;
    }
    if (trayWaitMs <= 0) {
        showMinimized();
        return;
    }
    auto *poll = new QTimer(this);
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    connect(poll, &QTimer::timeout, this, [this, poll, waited, trayWaitMs] {
        const bool tray = QSystemTrayIcon::isSystemTrayAvailable();
        if (!tray && waited->elapsed() < trayWaitMs)
            return;
        poll->stop();
        poll->deleteLater();
        if (isVisible())
            return; // shown meanwhile
        if (tray)
            m_tray->show();
        else
            showMinimized();
    });
    poll->start(250);
}

void CMainFrame::centreOnScreen() {
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}
