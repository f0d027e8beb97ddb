// The bus probe against a real bus daemon, a bus that never answers (tests/fixtures/
// silent_bus.py) and no bus at all; and what start-up and the timed shutdown make of it.
#include "fixtures/LogindMock.h"
#include "platform/BusProbe.h"
#include "platform/LogindPowerControl.h"
#include "platform/ScreenSaverInhibitor.h"

#include <QDBusConnection>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestBusProbe : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir{QStringLiteral("/tmp/horalet-bus-XXXXXX")};
    QProcess m_silent;
    qint64 m_daemon = 0;
    QString m_silentAddress;
    QString m_realAddress;

private slots:
    void initTestCase() {
        const QString silentPath = m_dir.filePath(QStringLiteral("silent bus"));
        m_silent.start(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral(HORALET_SOURCE_DIR "/tests/fixtures/silent_bus.py"), silentPath});
        QVERIFY(m_silent.waitForReadyRead(10000));
        // D-Bus escapes a blank in an address.
        m_silentAddress =
            QStringLiteral("unix:path=") + m_dir.path() + QStringLiteral("/silent%20bus");

        QProcess daemon;
        m_realAddress = QStringLiteral("unix:path=") + m_dir.filePath(QStringLiteral("real"));
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--fork"),
                      QStringLiteral("--address=") + m_realAddress, QStringLiteral("--print-pid")});
        QVERIFY(daemon.waitForFinished(10000));
        m_daemon = daemon.readAllStandardOutput().trimmed().toLongLong();
        QVERIFY(m_daemon > 0);
    }
    void cleanupTestCase() {
        m_silent.kill();
        m_silent.waitForFinished();
        if (m_daemon > 0)
            ::kill(pid_t(m_daemon), SIGTERM);
    }

    void aBusThatAnswersPasses() {
        QCOMPARE(BusProbe::ask(m_realAddress, 5000), QString());
        // The first address that answers will do.
        QCOMPARE(BusProbe::ask(QStringLiteral("unix:path=/nonexistent/bus;") + m_realAddress, 5000),
                 QString());
        // What cannot be tried here is left to the D-Bus library.
        QCOMPARE(BusProbe::ask(QStringLiteral("launchd:env=X")), QString());
    }

    void aBusThatNeverAnswersOrIsNotThereFails() {
        const QString silent = BusProbe::ask(m_silentAddress, 300);
        QVERIFY(silent.contains(QStringLiteral("300 毫秒内没有响应")));
        QVERIFY(!BusProbe::ask(QStringLiteral("unix:path=/nonexistent/bus"), 300).isEmpty());
        QVERIFY(!BusProbe::ask(QStringLiteral("unix:abstract=horalet-no-such-bus"), 300).isEmpty());
        QVERIFY(!BusProbe::ask(QStringLiteral("tcp:host=127.0.0.1,port=1"), 300).isEmpty());
    }

    // Start-up puts a silent bus out of reach: Qt's connection fails at once instead of
    // waiting for good, the shutdown says why, the display is left alone.
    void startUpGoesOnWithoutASilentBus() {
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_silentAddress.toUtf8());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_silentAddress.toUtf8());
        BusProbe::checkAtStartup(300);
        QVERIFY(BusProbe::problem(BusProbe::Bus::Session).startsWith(QStringLiteral("会话总线")));
        QVERIFY(BusProbe::problem(BusProbe::Bus::System).startsWith(QStringLiteral("系统总线")));
        QVERIFY(qgetenv("DBUS_SYSTEM_BUS_ADDRESS") != m_silentAddress.toUtf8());

        QVERIFY(!QDBusConnection::sessionBus().isConnected());
        ScreenSaverInhibitor keeper;
        QVERIFY(!keeper.keepAwake());
        LogindPowerControl power;
        const auto answer = LogindMock::powerOff(power);
        QVERIFY(answer.answered && !answer.granted);
        const QString error = answer.reason;
        QVERIFY2(error.contains(QStringLiteral("系统总线不可用")), qPrintable(error));
        QVERIFY(error.contains(QStringLiteral("没有响应")));
    }
};

QTEST_GUILESS_MAIN(TestBusProbe)
#include "test_bus_probe.moc"
