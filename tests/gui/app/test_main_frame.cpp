#include "app/MainFrame.h"
#include "campus/CampusConfig.h"
#include "playback/MediaPlayer.h"
#include "program/MakerInfo.h"
#include "scheduler/FakeClock.h"
#include "store/TaskStore.h"
#include "tasktable/TaskTableModel.h"
#include "view/HoraletView.h"

#include "campus/CampusConfig.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <functional>

namespace {
// Describes a menu as "text=id" items and "-" for separators.
QStringList describe(const QMenu *menu) {
    QStringList items;
    for (const QAction *action : menu->actions())
        items << (action->isSeparator()
                      ? QStringLiteral("-")
                      : action->text() + QLatin1Char('=') + action->data().toString());
    return items;
}

// Answers the next modal message box by the given means once it is up; records its look.
struct BoxAnswer {
    QString title;
    QString text;
    QString defaultButton;
    QStringList buttons;
    bool seen = false;

    void answer(std::function<void(QMessageBox *)> how) {
        QTimer::singleShot(0, [this, how] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box) {
                answer(how); // not up yet
                return;
            }
            seen = true;
            title = box->windowTitle();
            text = box->text();
            defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
            for (QAbstractButton *button : box->buttons())
                buttons << button->text();
            how(box);
        });
    }
};

struct Frame {
    QTemporaryDir dir;
    CMainFrame frame{dir.path()};
    QList<int> exits;

    Frame() {
        frame.setExitHandler([this](int code) { exits << code; });
        frame.view()->OnInitialUpdate();
    }
};
} // namespace

class TestMainFrame : public QObject {
    Q_OBJECT
private slots:
    void windowTitleSizeAndButtons() {
        Frame f;
        QCOMPARE(f.frame.windowTitle(), QStringLiteral("Quenlo多媒体定时播放系统 13.0.6"));
        QVERIFY(!(f.frame.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(f.frame.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(f.frame.windowFlags() & Qt::WindowCloseButtonHint);
        f.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        f.frame.resize(500, 400);
        QCOMPARE(f.frame.size(), QSize(900, 765));
        // The whole form fits at the smallest size: no control is squeezed under its minimum.
        QWidget *form = f.frame.view();
        QVERIFY2(form->minimumSizeHint().height() <= form->height(),
                 qPrintable(QStringLiteral("%1 > %2")
                                .arg(form->minimumSizeHint().height())
                                .arg(form->height())));
        QVERIFY(form->minimumSizeHint().width() <= form->width());
    }

    void statusBarTellsWhatComesNextAndPreflight() {
        Frame f;
        QLabel *pane = f.frame.nextTaskPane();
        QVERIFY(pane);
        QVERIFY(pane->text().startsWith(QStringLiteral("下一个：")));
        QCOMPARE(pane->text(), f.frame.view()->nextTaskText());
        emit f.frame.view()->nextTaskChanged(QStringLiteral("下一个：无"));
        QCOMPARE(pane->text(), QStringLiteral("下一个：无"));
        emit f.frame.view()->preflightChanged(QStringLiteral("明天有 1 个播放任务的文件有问题"));
        QCOMPARE(f.frame.statusBar()->currentMessage(),
                 QStringLiteral("明天有 1 个播放任务的文件有问题"));
        emit f.frame.view()->preflightChanged(QString());
        QCOMPARE(f.frame.statusBar()->currentMessage(), QStringLiteral("就绪"));

        // A notice is readable to its end: the wide panes make room while it shows, and the
        // whole text is the line's tooltip.
        f.frame.show();
        f.frame.resize(f.frame.minimumWidth(), f.frame.height());
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        const QString notice = QStringLiteral("无法阻止系统休眠：没有权限（Permission denied by "
                                              "policy），系统休眠期间定时播放任务不会执行");
        f.frame.showNotice(notice, 200);
        QCOMPARE(f.frame.statusBar()->currentMessage(), notice);
        QCOMPARE(f.frame.statusBar()->toolTip(), notice);
        QCoreApplication::processEvents();
        int firstPane = f.frame.statusBar()->width();
        for (QLabel *shown : {pane, f.frame.capsPane(), f.frame.numPane(), f.frame.contactPane()})
            if (shown->isVisible())
                firstPane = std::min(firstPane, shown->geometry().left());
        const int needed = f.frame.statusBar()->fontMetrics().horizontalAdvance(notice);
        QVERIFY2(needed < firstPane,
                 qPrintable(QStringLiteral("%1 >= %2").arg(needed).arg(firstPane)));
        QTRY_VERIFY(pane->isVisible());
        QVERIFY(f.frame.contactPane()->isVisible());
        QCOMPARE(f.frame.statusBar()->currentMessage(), QStringLiteral("就绪"));
        QVERIFY(f.frame.statusBar()->toolTip().isEmpty());
        // No campus: no pane for it.
        QVERIFY(f.frame.campusPane()->isHidden());
    }

    void campusConnectionIsShownFromTheStart() {
        // Switched on, the server not there at start-up: said at once, and kept in view
        // while notices come and go.
        QTemporaryDir dir;
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const int port = closed.serverPort();
        closed.close();
        CampusConfig config(dir.path());
        CampusConfig::Server server;
        server.enabled = true;
        server.controlPort = port;
        server.pipe = dir.filePath(QStringLiteral("snapfifo"));
        QVERIFY(config.setServer(server).ok);
        CMainFrame frame(dir.path());
        frame.view()->OnInitialUpdate();
        frame.show();
        QLabel *pane = frame.campusPane();
        QTRY_COMPARE(
            pane->text(),
            QStringLiteral("校园广播：未连接（无法连接广播服务器 127.0.0.1:%1：连接被拒绝）")
                .arg(port));
        QVERIFY(pane->isVisible());
        frame.showNotice(QStringLiteral("一条很长的提示"), 100);
        QVERIFY(pane->isVisible());
    }

    void menusInOrderWithTheirIds() {
        Frame f;
        const QList<QAction *> popups = f.frame.menuBar()->actions();
        QCOMPARE(popups.size(), 4);
        QCOMPARE(popups.at(0)->text(), QStringLiteral("操作"));
        QCOMPARE(popups.at(2)->text(), QStringLiteral("备份  "));
        QCOMPARE(popups.at(3)->text(), QStringLiteral("帮助(&H)"));
        QCOMPARE(describe(popups.at(0)->menu()),
                 QStringList({"新增播放任务=1019", "修改..=1021", "删除..=32787", "-",
                              "本日播放任务=1016", "本周..=1017", "本月..=1018", "全部..=1002", "-",
                              "节假日和调休...=32810", "作息表...=32811", "广播分区...=32812", "-",
                              "发邮件=1068", "主页=1020", "-", "退出(&X)=57665"}));
        QCOMPARE(describe(popups.at(1)->menu()),
                 QStringList({"工具栏(&T)=59392", "状态栏(&S)=59393", "开机自动运行=32806", "-",
                              "播放记录…=32820"}));
        QCOMPARE(describe(popups.at(2)->menu()),
                 QStringList({"备份定时播放任务=32804", "-", "导入定时播放任务=32805"}));
        QCOMPARE(describe(popups.at(3)->menu()),
                 QStringList({"关于(&A)...=57664", "-", "软件使用说明=1063"}));
        QCOMPARE(describe(f.frame.trayMenu()),
                 QStringList({"打开=32800", "-", "隐藏=32801", "-", "退出=57665"}));
    }

    void toolbarButtonsTipsAndPrompts() {
        Frame f;
        f.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        const QList<QAction *> actions = f.frame.toolBar()->actions();
        QList<int> ids;
        for (const QAction *action : actions)
            ids << action->data().toInt();
        QCOMPARE(ids, QList<int>({1019, 1021, 1022, 1016, 1017, 1018, 1002, 1068, 1020, 1063, 57665,
                                  1023}));
        const QStringList tips = {"新增", "修改",   "删除", "今日", "一周", "一月",
                                  "所有", "发邮件", "主页", "帮助", "退出"};
        const QStringList prompts = {"新增定时播放任务",
                                     "修改定时播放任务，修改前请先选中一行",
                                     "删除定时播放任务，修改前请先选中一行",
                                     "显示本日定时播放任务",
                                     "显示包括本日在内的后7天的定时播放任务",
                                     "显示包括本日在内的后31天的定时播放任务",
                                     "显示所有的定时播放任务",
                                     "给软件作者发邮件",
                                     "软件开发者主页",
                                     "软件帮助文档",
                                     "退出"};
        for (int i = 0; i < tips.size(); ++i) {
            QCOMPARE(actions.at(i)->toolTip(), tips.at(i));
            QCOMPARE(actions.at(i)->statusTip(), prompts.at(i));
            QVERIFY(!actions.at(i)->icon().isNull());
        }
        QCOMPARE(f.frame.toolBar()->iconSize(), QSize(32, 32));
        // Nothing handles 1023; the exit button always works.
        QVERIFY(!actions.last()->isEnabled());
        QVERIFY(f.frame.action(57665)->isEnabled());
        // A command gets enabled the moment the view learns to handle it.
        int runs = 0;
        f.frame.view()->setCommand(1023, [&] { ++runs; });
        QVERIFY(actions.last()->isEnabled());
        actions.last()->trigger();
        QCOMPARE(runs, 1);

        // Status bar: idle text and the last pane (prompts: see below).
        QCOMPARE(f.frame.statusBar()->currentMessage(), QStringLiteral("就绪"));
        QVERIFY(!f.frame.contactPane()->text().isEmpty());
        QVERIFY(f.frame.contactPane()->maximumWidth() == 800);
        QVERIFY(f.frame.capsPane()->text().isEmpty()); // no lock state offscreen
    }

    void promptsShowWhileHoveringAndReadyComesBack() {
        Frame f;
        f.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        QStatusBar *bar = f.frame.statusBar();
        QWidget *away = f.frame.view();
        // The bar paints its message up to the first permanent pane: the whole prompt must
        // fit there, at the smallest size of the window.
        auto fits = [&](const QString &text) {
            const int room = f.frame.capsPane()->x() - 8;
            const int needed = bar->fontMetrics().horizontalAdvance(text);
            if (room >= needed)
                return true;
            qWarning("%d px for \"%s\", which needs %d", room, qPrintable(text), needed);
            return false;
        };

        QStringList shown;
        for (QAction *action : f.frame.toolBar()->actions()) {
            if (action->statusTip().isEmpty() || !action->isVisible())
                continue; // 1023: nothing to say; 发邮件 without a mail address
            QWidget *button = f.frame.toolBar()->widgetForAction(action);
            QTest::mouseMove(button, button->rect().center());
            QTRY_COMPARE(bar->currentMessage(), action->statusTip());
            QVERIFY(fits(action->statusTip()));
            QTest::mouseMove(away, away->rect().center());
            QTRY_COMPARE(bar->currentMessage(), QStringLiteral("就绪"));
            shown << action->statusTip();
        }
        QCOMPARE(shown.size(), MakerInfo::hasMailAddress() ? 11 : 10);

        // A menu item says the same as its button.
        QMenu *operate = f.frame.menuBar()->actions().first()->menu();
        operate->popup(f.frame.mapToGlobal(QPoint(10, 10)));
        QVERIFY(QTest::qWaitForWindowExposed(operate));
        QAction *week = f.frame.action(1017);
        QTest::mouseMove(operate, operate->actionGeometry(week).center());
        QTRY_COMPARE(bar->currentMessage(), week->statusTip());
        QVERIFY(fits(week->statusTip()));
        operate->hide();
        QTRY_COMPARE(bar->currentMessage(), QStringLiteral("就绪"));
    }

    void aTaskThatWillNotPlayIsShownAndTold() {
        // An old file holds a task that ends at its own start second: its row is marked, and
        // when that second comes the status line says it did not play.
        QTemporaryDir dir;
        const QString start = QStringLiteral("08:00:00");
        const PlayTask old{"old", start, start, "60000", "每天", "顺序播放", {}};
        QVERIFY(TaskStore(dir.path()).RewriteTaskStore({old}).ok);
        FakeClock clock(QDateTime(QDate(2026, 12, 7), QTime(8, 0, 0, 5)));
        CMainFrame frame(dir.path());
        frame.view()->setClock(&clock);
        frame.view()->OnInitialUpdate();
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QTest::mouseMove(frame.view(), frame.view()->rect().center()); // on no command
        const QString told = QStringLiteral("播放任务 \"old\" 的开始时间和结束时间相同,没有播放.");
        QTRY_COMPARE(frame.statusBar()->currentMessage(), told);
        QVERIFY(frame.view()->mediaPlayer().state() == MediaPlayer::State::Idle);
        TaskTableModel *model = frame.view()->taskModel();
        QVERIFY(!model->data(model->index(0, 0), Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(model->data(model->index(0, 0), Qt::ToolTipRole).toString().contains("不会播放"));

        // A prompt shows over it; afterwards the notice is back until its time is over.
        QWidget *button = frame.toolBar()->widgetForAction(frame.action(1019));
        QTest::mouseMove(button, button->rect().center());
        QTRY_COMPARE(frame.statusBar()->currentMessage(), QStringLiteral("新增定时播放任务"));
        QTest::mouseMove(frame.view(), frame.view()->rect().center());
        QTRY_COMPARE(frame.statusBar()->currentMessage(), told);
        // After a notice the resting text is back. The check of what will play leaves this
        // task out (it never plays), so its missing playlist is not counted.
        frame.showNotice(QStringLiteral("短"), 50);
        QTRY_COMPARE(frame.statusBar()->currentMessage(), QStringLiteral("就绪"));

        // A task not heard is told in the warning colour; sound that comes later, or any
        // other notice, is told in the usual one.
        const auto heard = [&frame](const QString &text, bool warning) {
            emit frame.view()->statusNotice(text);
            emit frame.view()->heardNotice(text, warning);
        };
        const QColor usual = frame.statusBar()->palette().color(QPalette::WindowText);
        heard(QStringLiteral("“old”未出声：声音输出“horalet_null”已静音"), true);
        QCOMPARE(frame.statusBar()->currentMessage(),
                 QStringLiteral("“old”未出声：声音输出“horalet_null”已静音"));
        QVERIFY(frame.showsWarning());
        QCOMPARE(frame.statusBar()->palette().color(QPalette::WindowText),
                 CMainFrame::warningColour());
        heard(QStringLiteral("“old”已出声（迟 8 秒）"), false);
        QVERIFY(!frame.showsWarning());
        QCOMPARE(frame.statusBar()->palette().color(QPalette::WindowText), usual);
        heard(QStringLiteral("“old”未出声"), true);
        frame.showNotice(QStringLiteral("短"), 50);
        QVERIFY(!frame.showsWarning());
    }

    // A store file kept before its first rewrite is named on the status line; nothing waits
    // for a click.
    void aKeptCopyIsToldOnTheStatusLine() {
        QTemporaryDir dir;
        QFile song(dir.filePath(QStringLiteral("song.ini")));
        QVERIFY(song.open(QIODevice::WriteOnly));
        song.write("[FileInfo0]\r\nName=old\r\nTime=08:00:00\r\nDuration=08:10:00\r\n"
                   "; kept by hand\r\n");
        song.close();
        CMainFrame frame(dir.path());
        frame.view()->OnInitialUpdate();
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QTest::mouseMove(frame.view(), frame.view()->rect().center());
        const PlayTask added{"new", "09:00:00", "09:10:00", "60000", "每天", "顺序播放", {}};
        QVERIFY(TaskStore(dir.path()).AddTask(added, {}).result);
        QTRY_VERIFY(frame.statusBar()->currentMessage().contains(QStringLiteral("song.ini.bak-")));
        QVERIFY(frame.statusBar()->currentMessage().contains(QStringLiteral("另存为")));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void toolbarAndStatusBarCanBeHidden() {
        Frame f;
        f.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        QAction *toolBar = f.frame.action(59392);
        QAction *statusBar = f.frame.action(59393);
        QVERIFY(toolBar->isChecked() && statusBar->isChecked());
        toolBar->trigger();
        QVERIFY(f.frame.toolBar()->isHidden());
        QVERIFY(!toolBar->isChecked());
        toolBar->trigger();
        QVERIFY(!f.frame.toolBar()->isHidden());
        statusBar->trigger();
        QVERIFY(f.frame.statusBar()->isHidden());
        statusBar->trigger();
        QVERIFY(!f.frame.statusBar()->isHidden());
    }

    void exitQuestionDefaultsToNo() {
        Frame f;
        f.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        BoxAnswer enter;
        enter.answer([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); });
        f.frame.action(57665)->trigger();
        QVERIFY(enter.seen);
        QCOMPARE(enter.title, QStringLiteral("提示"));
        QCOMPARE(enter.text, QStringLiteral("确定要退出吗？"));
        QCOMPARE(enter.defaultButton, QStringLiteral("否(&N)"));
        enter.buttons.sort();
        QCOMPARE(enter.buttons, QStringList({"否(&N)", "是(&Y)"}));
        QVERIFY(f.exits.isEmpty());
        QVERIFY(f.frame.isVisible());

        // Escape and the window's close box are a No as well.
        BoxAnswer escape;
        escape.answer([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Escape); });
        QVERIFY(!f.frame.close());
        QVERIFY(escape.seen);
        QVERIFY(f.exits.isEmpty());
        QVERIFY(f.frame.isVisible());

        BoxAnswer yes;
        yes.answer([](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
        f.frame.runCommand(57665);
        QCOMPARE(f.exits, QList<int>({0}));
    }

    void trayExitAsksTheSameQuestion() {
        Frame f;
        f.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        BoxAnswer no;
        no.answer([](QMessageBox *box) { box->button(QMessageBox::No)->click(); });
        f.frame.trayMenu()->actions().last()->trigger();
        QVERIFY(no.seen);
        QCOMPARE(no.text, QStringLiteral("确定要退出吗？"));
        QVERIFY(f.exits.isEmpty());

        // "隐藏" hides, "打开" brings the window back.
        f.frame.trayMenu()->actions().at(2)->trigger();
        QVERIFY(!f.frame.isVisible());
        f.frame.trayMenu()->actions().at(0)->trigger();
        QVERIFY(f.frame.isVisible());
    }

    void aboutBoxNamesTheProgramAndItsFiles() {
        // An installed manual for the link to lead to.
        QTemporaryDir data;
        QVERIFY(QDir().mkpath(data.filePath("horalet/help")));
        QFile manual(data.filePath("horalet/help/index.html"));
        QVERIFY(manual.open(QIODevice::WriteOnly));
        manual.close();
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
        const auto restore = qScopeGuard([&] { qputenv("XDG_DATA_HOME", dataHome); });
        Frame f;
        f.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        QString title;
        QStringList texts;
        QTimer::singleShot(0, [&] {
            QWidget *box = QApplication::activeModalWidget();
            QVERIFY(box);
            title = box->windowTitle();
            for (const QLabel *label : box->findChildren<QLabel *>())
                texts << label->text();
            for (QPushButton *button : box->findChildren<QPushButton *>())
                texts << button->text();
            QTest::keyClick(box, Qt::Key_Return); // "确定" is the default
        });
        QVERIFY(f.frame.runCommand(57664));
        QCOMPARE(title, QStringLiteral("关于"));
        const QString all = texts.join(QLatin1Char('\n'));
        QVERIFY2(all.contains(QStringLiteral("Quenlo多媒体定时播放系统 13.0.6")), qPrintable(all));
        QVERIFY2(all.contains(f.dir.path()), qPrintable(all));
        QVERIFY(texts.contains(QStringLiteral("确定")));
        QVERIFY(texts.contains(MakerInfo::copyright()));
        QVERIFY2(all.contains(QStringLiteral("版权所有")), qPrintable(all));
        // Without a page of the maker's the manual shows by its name, never as a file address.
        QVERIFY2(!all.contains(QStringLiteral("file:")), qPrintable(all));
        if (!MakerInfo::hasHomePage())
            QVERIFY2(texts.contains(QStringLiteral("软件使用说明")), qPrintable(all));
        if (MakerInfo::hasMailAddress())
            QVERIFY2(texts.contains(MakerInfo::mailAddress()), qPrintable(all));
        else
            QVERIFY2(!all.contains(QStringLiteral("邮箱")), qPrintable(all));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void withoutATrayMinimisingKeepsTheWindow() {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        Frame f;
        f.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        f.frame.showMinimized();
        QTest::qWait(50); // let any deferred hide run
        QVERIFY(!f.frame.isHidden());
        QVERIFY(!f.frame.trayIcon()->isVisible());
        f.frame.showNormal();
        QVERIFY(f.frame.isVisible());
    }
};

QTEST_MAIN(TestMainFrame)
#include "test_main_frame.moc"
