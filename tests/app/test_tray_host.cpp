#include "app/MainFrame.h"
#include "view/HoraletView.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
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

// Runs on a real X display with an XEmbed tray host (see with-tray-host.sh).
class TestTrayHost : public QObject {
    Q_OBJECT
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

        frame.showMinimized();
        QTRY_VERIFY(!frame.isVisible());
        QVERIFY(frame.trayIcon()->isVisible());
        QCOMPARE(frame.trayIcon()->toolTip(), QStringLiteral("Quenlo多媒体定时播放系统 "));
        // The host has embedded the icon once it has a place on the screen.
        QTRY_VERIFY_WITH_TIMEOUT(frame.trayIcon()->geometry().width() > 0, 10000);

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
        QVERIFY(clickUntil(frame.trayIcon(), {"click", "3"},
                           [&] { return frame.trayMenu()->isVisible(); }));
        QMenu *menu = frame.trayMenu();
        const QPoint exitItem =
            menu->mapToGlobal(menu->actionGeometry(menu->actions().last()).center());
        QVERIFY(xdotool({"mousemove", QString::number(exitItem.x()), QString::number(exitItem.y()),
                         "click", "1"}));
        QTRY_COMPARE(asked, QStringLiteral("确定要退出吗？"));
        answer.stop();
        QTRY_VERIFY(!menu->isVisible());
        QVERIFY(!frame.isVisible());
        QVERIFY(frame.trayIcon()->isVisible());

        QVERIFY(clickUntil(frame.trayIcon(), {"click", "--repeat", "2", "--delay", "60", "1"},
                           [&] { return frame.isVisible(); }));
        QTRY_VERIFY(!frame.trayIcon()->isVisible());
        QVERIFY(!frame.isMinimized());
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
        QList<QByteArray> storage{QByteArray(HORALET_SOURCE_DIR "/tests/app/with-tray-host.sh")};
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
    TestTrayHost test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_tray_host.moc"
