#include "app/AboutDlg.h"
#include "app/MainFrame.h"
#include "dialogs/CalendarImportDlg.h"
#include "dialogs/HolidayCalendarDlg.h"
#include "dialogs/ModifyTaskDlg.h"
#include "dialogs/NewTaskDlg.h"
#include "dialogs/PlayLogDlg.h"
#include "store/HolidayList.h"
#include "store/MakeupWorkdays.h"
#include "store/ProfileStore.h"
#include "tasktable/TaskTableModel.h"
#include "view/HoraletView.h"
#include "view/ListCtrlCl.h"
#include "widgets/ScreenFit.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>

#include <unistd.h>

namespace {
bool xdotool(const QStringList &arguments) {
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// Clicks at a point until the expected effect shows: the tray host maps and places a new
// icon some time after it has taken it in, and a click before that reaches nothing.
bool clickUntil(const QSystemTrayIcon *icon, const QStringList &click,
                const std::function<bool()> &done) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QPoint at = icon->geometry().center();
        if (!xdotool(QStringList{"mousemove", QString::number(at.x()), QString::number(at.y())} +
                     click))
            return false;
        if (QTest::qWaitFor(done, 2000))
            return true;
    }
    return false;
}
} // namespace

// Runs on a real X display with a window manager and an XEmbed tray host (see
// with-tray-host.sh).
class TestTrayHost : public QObject {
    Q_OBJECT

    void minimise(CMainFrame &frame) {
        QVERIFY(xdotool({"windowminimize", QString::number(frame.winId())}));
        QTRY_VERIFY(!frame.isVisible());
        QVERIFY(frame.trayIcon()->isVisible());
        // The host has embedded the icon once it has a place on the screen.
        QTRY_VERIFY_WITH_TIMEOUT(frame.trayIcon()->geometry().width() > 0, 10000);
    }

    // Opens the tray menu by a right click and clicks its entry at `index`.
    void chooseFromTrayMenu(CMainFrame &frame, int index) {
        QMenu *menu = frame.trayMenu();
        QVERIFY(clickUntil(frame.trayIcon(), {"click", "3"}, [&] { return menu->isVisible(); }));
        QAction *entry = menu->actions().at(index);
        QVERIFY(!entry->isSeparator());
        const QPoint at = menu->mapToGlobal(menu->actionGeometry(entry).center());
        QVERIFY(xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())}));
        QTest::qWait(100);
        QVERIFY(xdotool({"click", "1"}));
    }

    // Back from the tray: shown normally, the active window, no icon; and it stays so.
    void verifyBack(CMainFrame &frame) {
        QTRY_VERIFY(frame.isVisible());
        QTRY_VERIFY(frame.isActiveWindow());
        QTRY_VERIFY(!frame.trayIcon()->isVisible());
        QVERIFY(!frame.isMinimized());
        QTest::qWait(500);
        QVERIFY(frame.isVisible());
        QVERIFY(!frame.isMinimized());
        QVERIFY(!frame.trayIcon()->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
    }
private slots:
    void initTestCase() {
        QVERIFY(QGuiApplication::platformName() == QStringLiteral("xcb"));
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    }

    void minimiseGoesToTheTrayAndDoubleClickComesBack() {
        QTemporaryDir dir;
        CMainFrame frame(dir.path());
        frame.setExitHandler([](int) { QFAIL("nothing here may end the program"); });
        frame.view()->OnInitialUpdate();
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QVERIFY(!frame.trayIcon()->isVisible());

        // Minimised by the window manager, as its title bar button does.
        minimise(frame);
        QCOMPARE(frame.trayIcon()->toolTip(), QStringLiteral("Quenlo多媒体定时播放系统 "));

        // A task not heard while the window is hidden: the tray tells.
        const QString silent = QStringLiteral("“上课铃”未出声：声音输出“horalet_null”已静音");
        emit frame.view()->statusNotice(silent);
        emit frame.view()->heardNotice(silent, true);
        const auto balloon = [] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->isVisible() && QByteArray(w->metaObject()->className()) == "QBalloonTip")
                    return w;
            return static_cast<QWidget *>(nullptr);
        };
        QTRY_VERIFY(balloon());
        bool named = false;
        for (QLabel *label : balloon()->findChildren<QLabel *>())
            named = named || label->text().contains(silent);
        QVERIFY(named);
        balloon()->close();

        // A right click opens the small menu; Escape closes it and nothing changes.
        QVERIFY(clickUntil(frame.trayIcon(), {"click", "3"},
                           [&] { return frame.trayMenu()->isVisible(); }));
        QVERIFY(xdotool({"key", "Escape"}));
        QTRY_VERIFY(!frame.trayMenu()->isVisible());
        QVERIFY(!frame.isVisible());

        // "退出" from the menu asks; No keeps the program in the tray.
        QString asked;
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                asked = box->text();
                box->button(QMessageBox::No)->click();
            }
        });
        answer.start(50);
        chooseFromTrayMenu(frame, 4);
        QTRY_COMPARE(asked, QStringLiteral("确定要退出吗？"));
        answer.stop();
        QTRY_VERIFY(!frame.trayMenu()->isVisible());
        QVERIFY(!frame.isVisible());
        QVERIFY(frame.trayIcon()->isVisible());

        QVERIFY(clickUntil(frame.trayIcon(), {"click", "--repeat", "2", "--delay", "60", "1"},
                           [&] { return frame.isVisible(); }));
        verifyBack(frame);
    }

    void trayMenuOpensAndHides() {
        QTemporaryDir dir;
        CMainFrame frame(dir.path());
        frame.setExitHandler([](int) { QFAIL("nothing here may end the program"); });
        frame.view()->OnInitialUpdate();
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));

        minimise(frame);
        chooseFromTrayMenu(frame, 0); // "打开"
        verifyBack(frame);

        // "隐藏" leaves the window hidden and the icon in place; "打开" then brings it back.
        minimise(frame);
        chooseFromTrayMenu(frame, 2); // "隐藏"
        QTRY_VERIFY(!frame.trayMenu()->isVisible());
        QTest::qWait(300);
        QVERIFY(!frame.isVisible());
        QVERIFY(frame.trayIcon()->isVisible());
        chooseFromTrayMenu(frame, 0);
        verifyBack(frame);

        // One click restores as well: the only click StatusNotifier hosts report.
        minimise(frame);
        QVERIFY(clickUntil(frame.trayIcon(), {"click", "1"}, [&] { return frame.isVisible(); }));
        verifyBack(frame);
    }

    // Every top-level window, framed by the window manager, lies inside the screen's
    // available area of a 1280x800 screen.
    void everyWindowFitsTheScreen() {
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(QGuiApplication::primaryScreen()->size() == QSize(1280, 800),
                 "with-tray-host.sh gives a 1280x800 screen");
        QTemporaryDir dir;
        const auto fits = [&](QWidget *window) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            // Framed once the window manager has put its title bar on.
            QTRY_VERIFY_WITH_TIMEOUT(!window->windowHandle()->frameMargins().isNull(), 20000);
            QTest::qWait(300); // the fit that follows, and any late move by the window manager
            const QRect outer = window->windowHandle()->frameGeometry();
            QVERIFY2(
                available.contains(outer),
                qPrintable(QStringLiteral("%1: %2,%3 %4x%5 outside %6x%7")
                               .arg(window->objectName().isEmpty()
                                        ? QString::fromLatin1(window->metaObject()->className())
                                        : window->objectName())
                               .arg(outer.x())
                               .arg(outer.y())
                               .arg(outer.width())
                               .arg(outer.height())
                               .arg(available.width())
                               .arg(available.height())));
            // Nothing squeezed under its minimum to fit.
            if (QLayout *layout = window->layout()) {
                const QSize least = layout->totalMinimumSize();
                QVERIFY2(
                    least.width() <= window->width() + 1 && least.height() <= window->height() + 1,
                    qPrintable(
                        QStringLiteral("%1x%2 needed").arg(least.width()).arg(least.height())));
            }
            window->hide();
        };

        // With a timetable and the campus on, the table has all eight columns; each shows
        // whole at its own width.
        const auto write = [&](const char *file, const char *section, const char *key,
                               const QString &value) {
            QVERIFY(ProfileStore::writeString(dir.filePath(QString::fromUtf8(file)),
                                              QString::fromUtf8(section), QString::fromUtf8(key),
                                              value));
        };
        write("作息表.ini", "作息表", "夏季", "05-01~09-30");
        write("广播分区.ini", "服务器", "启用", "1");
        write("广播分区.ini", "服务器", "地址", "127.0.0.1");
        write("广播分区.ini", "服务器", "控制端口", "9");
        write("广播分区.ini", "服务器", "管道", dir.filePath("snapfifo"));
        write("广播分区.ini", "分区", "教学楼", "room1");
        CMainFrame frame(dir.path());
        frame.setExitHandler([](int) { QFAIL("nothing here may end the program"); });
        frame.view()->OnInitialUpdate();
        frame.centreOnScreen();
        fits(&frame);
        const CListCtrlCl *table = frame.view()->taskTable();
        QCOMPARE(frame.view()->taskModel()->columnCount(), TaskTableModel::ColumnCount + 2);
        QVERIFY2(table->horizontalHeader()->length() <= table->viewport()->width(),
                 qPrintable(QStringLiteral("columns %1 wide in %2")
                                .arg(table->horizontalHeader()->length())
                                .arg(table->viewport()->width())));

        CAboutDlg about(dir.path(), &frame);
        fits(&about);
        const QDateTime now(QDate(2026, 12, 7), QTime(8, 0));
        CNewTaskDlg add(now, &frame);
        fits(&add);
        CModifyTaskDlg modify(
            PlayTask{"早铃", "08:00:00", "08:30:00", "30000", "每天", "顺序播放", {}},
            TaskPlaylist{"/bells/a.wav"}, now, &frame);
        fits(&modify);
        HolidayList holidays{dir.path()};
        MakeupWorkdays makeup{dir.path()};
        CalendarDays days{holidays, makeup};
        CHolidayCalendarDlg calendar(days, now.date(), &frame);
        fits(&calendar);
        QList<IcsCalendar::Day> found;
        for (int i = 0; i < 40; ++i)
            found << IcsCalendar::Day{now.date().addDays(i), QStringLiteral("元旦"), {}};
        CCalendarImportDlg import(found, days, &frame);
        fits(&import);
        CPlayLogDlg log(dir.path(), &frame);
        fits(&log);
    }

    void lockKeysShowInTheStatusBar() {
        QTemporaryDir dir;
        CMainFrame frame(dir.path());
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QCOMPARE(frame.capsPane()->text(), QString());
        QVERIFY(xdotool({"key", "Caps_Lock"}));
        QTRY_COMPARE(frame.capsPane()->text(), QStringLiteral("大写"));
        QVERIFY(xdotool({"key", "Caps_Lock"}));
        QTRY_COMPARE(frame.capsPane()->text(), QString());

        const bool numWasOn = !frame.numPane()->text().isEmpty();
        QVERIFY(xdotool({"key", "Num_Lock"}));
        QTRY_COMPARE(frame.numPane()->text().isEmpty(), numWasOn);
        QVERIFY(xdotool({"key", "Num_Lock"}));
        QTRY_COMPARE(frame.numPane()->text().isEmpty(), !numWasOn);
    }
};

int main(int argc, char *argv[]) {
    // ctest starts us offscreen: start again on a private display with a tray host.
    if (qEnvironmentVariableIsEmpty("HORALET_TRAY_HOST")) {
        QList<QByteArray> storage{
            QByteArray(HORALET_SOURCE_DIR "/tests/gui/app/with-tray-host.sh")};
        for (int i = 0; i < argc; ++i)
            storage.append(QByteArray(argv[i]));
        QList<char *> args;
        for (QByteArray &arg : storage)
            args.append(arg.data());
        args.append(nullptr);
        execv(args.first(), args.data());
        perror("with-tray-host.sh");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ScreenFit::install(&app); // as the program does
    TestTrayHost test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_tray_host.moc"
