// The display keeper against a mock screen saver on a private session bus.
#include "fixtures/DBusMockCalls.h"
#include "platform/ScreenSaverInhibitor.h"
#include "view/HoraletView.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>

namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");

using Call = DBusMock::Call;

QList<Call> mockCalls() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("GetCalls"));
    return DBusMock::callsIn(QDBusConnection::sessionBus().call(get));
}

} // namespace

class TestScreenSaverInhibitor : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void withoutServiceCarriesOnSilently();
    void inhibitsOnceAndKeepsTheCookie();
    void startUpAsksOnce();

private:
    QTemporaryDir m_dir;
    qint64 m_busPid = 0;
    QProcess m_mock;
};

void TestScreenSaverInhibitor::initTestCase() {
    QVERIFY(m_dir.isValid());
    const QString address = QStringLiteral("unix:path=%1/session.sock").arg(m_dir.path());
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--fork"), QStringLiteral("--nopidfile"),
               QStringLiteral("--print-pid"), QStringLiteral("--address=") + address});
    QVERIFY(bus.waitForFinished(10000));
    QCOMPARE(bus.exitCode(), 0);
    m_busPid = bus.readAllStandardOutput().trimmed().toLongLong();
    QVERIFY(m_busPid > 0);
    // Before the first use of the session bus, which reads the variable once.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    QVERIFY(QDBusConnection::sessionBus().isConnected());
}

void TestScreenSaverInhibitor::cleanupTestCase() {
    if (m_mock.state() != QProcess::NotRunning) {
        m_mock.terminate();
        if (!m_mock.waitForFinished(3000))
            m_mock.kill();
        m_mock.waitForFinished(3000);
    }
    if (m_busPid > 0)
        ::kill(pid_t(m_busPid), SIGTERM);
}

void TestScreenSaverInhibitor::withoutServiceCarriesOnSilently() {
    ScreenSaverInhibitor keeper;
    QVERIFY(!keeper.keepAwake());
    QCOMPARE(keeper.cookie(), 0u);
}

void TestScreenSaverInhibitor::inhibitsOnceAndKeepsTheCookie() {
    m_mock.setProcessChannelMode(QProcess::ForwardedChannels);
    m_mock.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-m"), QStringLiteral("dbusmock"), kService, kPath, kService});
    QTRY_VERIFY_WITH_TIMEOUT(
        QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value(), 15000);
    QDBusMessage add = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("AddMethod"));
    add << kService << QStringLiteral("Inhibit") << QStringLiteral("ss") << QStringLiteral("u")
        << QStringLiteral("ret = 4242");
    QCOMPARE(QDBusConnection::sessionBus().call(add).type(), QDBusMessage::ReplyMessage);

    ScreenSaverInhibitor keeper;
    QVERIFY(keeper.keepAwake());
    QCOMPARE(keeper.cookie(), 4242u);

    const QList<Call> calls = mockCalls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].method, QStringLiteral("Inhibit"));
    QCOMPARE(calls[0].args.size(), 2);
    QCOMPARE(calls[0].args[0].toString(), QStringLiteral("horalet"));
    QVERIFY(!calls[0].args[1].toString().isEmpty());
}

void TestScreenSaverInhibitor::startUpAsksOnce() {
    QDBusMessage clear = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("ClearCalls"));
    QCOMPARE(QDBusConnection::sessionBus().call(clear).type(), QDBusMessage::ReplyMessage);

    QTemporaryDir store;
    QVERIFY(store.isValid());
    CHoraletView view(store.path());
    // Start-up may tell the user about other things (e.g. the volume); answer any such box.
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [] {
        if (QWidget *box = QApplication::activeModalWidget())
            box->close();
    });
    answer.start(100);
    QCOMPARE(mockCalls().size(), 0); // not before the initial update
    view.OnInitialUpdate();
    view.OnInitialUpdate();
    const QList<Call> calls = mockCalls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].method, QStringLiteral("Inhibit"));
}

QTEST_MAIN(TestScreenSaverInhibitor)
#include "test_screen_saver_inhibitor.moc"
