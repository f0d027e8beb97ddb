#include "app/MainFrame.h"
#include "platform/AutostartEntry.h"
#include "program/MakerInfo.h"
#include "view/DesktopLinks.h"
#include "view/HoraletView.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {
constexpr int kHelp = 1063;
constexpr int kHomePage = 1020;
constexpr int kSendMail = 1068;
constexpr int kAutostart = 32806;

// Closes the next message box once it is up and keeps its caption and text.
struct BoxWatch {
    QString title;
    QString text;
    int seen = 0;
    QTimer timer;
    BoxWatch() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                ++seen;
                title = box->windowTitle();
                text = box->text();
                box->accept();
            }
        });
        timer.start(20);
    }
};

void writeFile(const QString &path, const QByteArray &content = "x") {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

const QMenu *menuNamed(const CMainFrame &frame, const QString &name) {
    return frame.menuBar()->findChild<QMenu *>(name);
}
} // namespace

class TestDesktopIntegration : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    QTemporaryDir m_store;
    QList<QUrl> m_opened;

    QString chmPath() const { return QCoreApplication::applicationDirPath() + "/Help.chm"; }
    QString manualPath() const { return m_home->path() + "/data/horalet/help/index.html"; }

    // A frame whose links record what they would open.
    std::unique_ptr<CMainFrame> recordingFrame() {
        auto frame = std::make_unique<CMainFrame>(m_store.path());
        frame->view()->links().setOpener([this](const QUrl &url) {
            m_opened << url;
            return true;
        });
        return frame;
    }

private slots:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        m_opened.clear();
        qputenv("XDG_CONFIG_HOME", (m_home->path() + "/config").toLocal8Bit());
        // The manual is looked for in the data directories only: nothing beside the test.
        qputenv("XDG_DATA_HOME", (m_home->path() + "/data").toLocal8Bit());
        qputenv("XDG_DATA_DIRS", (m_home->path() + "/none").toLocal8Bit());
        QFile::remove(chmPath());
    }
    void cleanup() { QFile::remove(chmPath()); }

    void autostartIsInTheViewMenuAndFollowsTheFile() {
        {
            CMainFrame frame(m_store.path());
            const QMenu *view = menuNamed(frame, "menuView");
            QVERIFY(view);
            QAction *autostart = frame.action(kAutostart);
            QVERIFY(autostart);
            QVERIFY(view->actions().contains(autostart));
            QCOMPARE(autostart->text(), QStringLiteral("开机自动运行"));
            QVERIFY(autostart->isCheckable());
            QVERIFY(autostart->isEnabled());
            QVERIFY(!autostart->isChecked());

            autostart->trigger();
            QVERIFY(autostart->isChecked());
            QFile entry(AutostartEntry::filePath());
            QVERIFY(entry.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(entry.readAll());
            QVERIFY2(
                text.contains("\nExec=" + QCoreApplication::applicationFilePath() + " --minimized"),
                qPrintable(text));
        }
        {
            // A new window takes the tick from the file, and unticking removes it.
            CMainFrame frame(m_store.path());
            QVERIFY(frame.action(kAutostart)->isChecked());
            frame.action(kAutostart)->trigger();
            QVERIFY(!frame.action(kAutostart)->isChecked());
            QVERIFY(!QFile::exists(AutostartEntry::filePath()));
        }
        CMainFrame frame(m_store.path());
        QVERIFY(!frame.action(kAutostart)->isChecked());
    }

    // A store chosen for this run is the one that starts at login.
    void autostartKeepsAChosenStore() {
        qputenv("HORALET_STORE_DIR", m_store.path().toLocal8Bit());
        CMainFrame frame(m_store.path());
        frame.action(kAutostart)->trigger();
        qunsetenv("HORALET_STORE_DIR");
        QFile entry(AutostartEntry::filePath());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(entry.readAll())
                    .contains(" --minimized --store " +
                              AutostartEntry::quoteExecArgument(m_store.path()) + "\n"));
    }

    void autostartWriteFailureIsToldAndTheTickStaysTrue() {
        writeFile(m_home->path() + "/config/autostart"); // a file where the folder goes
        CMainFrame frame(m_store.path());
        frame.show();
        BoxWatch box;
        frame.action(kAutostart)->trigger();
        QTRY_COMPARE(box.seen, 1);
        QCOMPARE(box.title, QStringLiteral("Horalet"));
        QVERIFY2(box.text.startsWith(QStringLiteral("无法设置开机自动运行")), qPrintable(box.text));
        QVERIFY(box.text.contains(AutostartEntry::filePath()));
        QVERIFY(!frame.action(kAutostart)->isChecked());
    }

    void helpOpensTheManualWithoutHelpChm() {
        writeFile(manualPath(), "<html></html>");
        auto frame = recordingFrame();
        QVERIFY(frame->action(kHelp)->isEnabled());
        frame->action(kHelp)->trigger();
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(manualPath())});

        // A Help.chm beside the program wins, from the menu and the form's hidden button alike.
        writeFile(chmPath());
        m_opened.clear();
        QVERIFY(frame->runCommand(kHelp));
        QVERIFY(frame->view()->runCommand(1119));
        QCOMPARE(m_opened,
                 (QList<QUrl>{QUrl::fromLocalFile(chmPath()), QUrl::fromLocalFile(chmPath())}));
    }

    void homePageWithoutAConfiguredPageIsTheManual() {
        if (!QStringLiteral(HORALET_CONFIGURED_HOMEPAGE).isEmpty())
            QSKIP("built with a home page");
        writeFile(manualPath(), "<html></html>");
        auto frame = recordingFrame();
        QCOMPARE(MakerInfo::homePageUrl(), QUrl::fromLocalFile(manualPath()));
        frame->action(kHomePage)->trigger();
        // The status line's link leads to the same place.
        emit frame->contactPane()->linkActivated(QStringLiteral("horalet:manual"));
        QCOMPARE(m_opened, (QList<QUrl>{QUrl::fromLocalFile(manualPath()),
                                        QUrl::fromLocalFile(manualPath())}));
        QVERIFY(!frame->contactPane()->text().contains("example"));
    }

    void mailIsHiddenWithoutAnAddress() {
        if (!QStringLiteral(HORALET_CONFIGURED_MAIL).isEmpty())
            QSKIP("built with a mail address");
        CMainFrame frame(m_store.path());
        QVERIFY(!MakerInfo::hasMailAddress());
        QVERIFY(!frame.action(kSendMail)->isVisible());
        QVERIFY(!frame.contactPane()->text().contains("mailto:"));
        QVERIFY(!frame.contactPane()->text().contains("邮箱"));
        QVERIFY(!frame.view()->hasCommand(kSendMail));
    }

    // Offscreen there is no tray: --minimized ends as a minimised window, after a wait for a
    // tray that may come up after us at login.
    void startMinimizedWithoutATrayKeepsAWayBack() {
        CMainFrame frame(m_store.path());
        frame.showAtStart(true, 400);
        QVERIFY(!frame.isVisible());
        QTRY_VERIFY(frame.isVisible());
        QVERIFY(frame.isMinimized());
        QVERIFY(!frame.trayIcon()->isVisible());

        CMainFrame now(m_store.path());
        now.showAtStart(true, 0);
        QVERIFY(now.isVisible());
        QVERIFY(now.isMinimized());

        CMainFrame normal(m_store.path());
        normal.showAtStart(false);
        QVERIFY(normal.isVisible());
        QVERIFY(!normal.isMinimized());
    }

    void failuresShowAMessageBox() {
        CMainFrame frame(m_store.path());
        frame.show();
        {
            // No Help.chm and no manual anywhere.
            BoxWatch box;
            frame.action(kHelp)->trigger();
            QTRY_COMPARE(box.seen, 1);
            QCOMPARE(box.title, QStringLiteral("Horalet"));
            QCOMPARE(
                box.text,
                QStringLiteral("Unable to open hyperlink:\n\nThe specified file was not found."));
        }
        writeFile(manualPath(), "<html></html>");
        {
            // The desktop has no handler at all: nothing to run on the PATH.
            const QByteArray path = qgetenv("PATH");
            qputenv("PATH", "");
            for (const char *name :
                 {"BROWSER", "DEFAULT_BROWSER", "DESKTOP_SESSION", "XDG_CURRENT_DESKTOP",
                  "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"})
                qunsetenv(name);
            BoxWatch box;
            frame.action(kHelp)->trigger();
            QTRY_COMPARE(box.seen, 1);
            frame.action(kHomePage)->trigger();
            QTRY_COMPARE(box.seen, 2);
            qputenv("PATH", path);
            QCOMPARE(box.title, QStringLiteral("Horalet"));
            QCOMPARE(box.text,
                     QStringLiteral("Unable to open hyperlink:\n\nThere is no application "
                                    "associated\nwith the given filename extension."));
        }
    }
};

QTEST_MAIN(TestDesktopIntegration)
#include "test_desktop_integration.moc"
