#include "MainFrame.h"

#include "AboutDlg.h"
#include "AppIcon.h"
#include "LockKeys.h"
#include "view/CommandIds.h"
#include "view/HoraletView.h"
#include "view/MakerInfo.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

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
      m_exit([](int code) { QCoreApplication::exit(code); }) {
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
        action->setIcon(AppIcon::command(id));
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
    m_toolBar = new QToolBar(QStringLiteral("工具栏"), this);
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
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    connect(m_toolBar, &QToolBar::visibilityChanged, this, [this](bool visible) {
        if (!isMinimized() && isVisible())
            m_actions.value(CommandId::ToggleToolBar)->setChecked(visible);
    });
}

void CMainFrame::createStatusBar() {
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    // Shown whenever no prompt is: the bar hides its widgets while it shows a message.
    m_messagePane = new QLabel(QStringLiteral("就绪"), bar);
    m_messagePane->setObjectName(QStringLiteral("messagePane"));
    m_capsPane = new QLabel(bar);
    m_capsPane->setObjectName(QStringLiteral("capsPane"));
    m_numPane = new QLabel(bar);
    m_numPane->setObjectName(QStringLiteral("numPane"));
    for (QLabel *pane : {m_capsPane, m_numPane}) {
        pane->setAlignment(Qt::AlignCenter);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(QStringLiteral("大写")) + 12);
    }
    m_contactPane = new QLabel(MakerInfo::contactLine(), bar);
    m_contactPane->setObjectName(QStringLiteral("contactPane"));
    m_contactPane->setFrameShape(QFrame::NoFrame);
    m_contactPane->setMinimumWidth(120);
    m_contactPane->setMaximumWidth(800);
    m_nextTaskPane = new QLabel(m_view->nextTaskText(), bar);
    m_nextTaskPane->setObjectName(QStringLiteral("nextTaskPane"));
    connect(m_view, &CHoraletView::nextTaskChanged, m_nextTaskPane, &QLabel::setText);
    connect(m_view, &CHoraletView::statusMessage, m_messagePane, &QLabel::setText);
    connect(m_view, &CHoraletView::preflightChanged, this, [this](const QString &caption) {
        m_messagePane->setText(caption.isEmpty() ? QStringLiteral("就绪") : caption);
        // Hidden in the tray, the window cannot show it: the tray tells.
        if (!caption.isEmpty() && m_tray && m_tray->isVisible() && !isVisible())
            m_tray->showMessage(frameTitle(), caption, QSystemTrayIcon::Warning);
    });
    bar->addWidget(m_messagePane, 1);
    bar->addPermanentWidget(m_nextTaskPane);
    bar->addPermanentWidget(m_capsPane);
    bar->addPermanentWidget(m_numPane);
    bar->addPermanentWidget(m_contactPane, 2);

    updateLockPanes();
    auto *lockTimer = new QTimer(this);
    connect(lockTimer, &QTimer::timeout, this, &CMainFrame::updateLockPanes);
    lockTimer->start(300);
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
        showNormal();
        return true;
    case CommandId::TrayHide:
        hide();
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
    if (reason != QSystemTrayIcon::DoubleClick)
        return;
    showMinimized();
    showNormal();
    activateWindow();
}

void CMainFrame::centreOnScreen() {
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}
