#include "app/InstanceBeacon.h"
#include "app/StartupGuard.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestStartupGuard : public QObject {
    Q_OBJECT

    // Answers the next message box and records what it said.
    void answerNextMessage() {
        auto text = std::make_shared<QString>();
        QTimer *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [poll, text] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                *text = box->text();
                box->accept();
                poll->deleteLater();
            }
        });
        poll->start(20);
        m_lastMessage = text;
    }
    std::shared_ptr<QString> m_lastMessage;

private slots:
    void secondInstanceIsToldAndTouchesNothing() {
        QTemporaryDir dir;
        qputenv("HORALET_STORE_DIR", dir.path().toLocal8Bit());
        auto first = StartupGuard::acquire();
        QVERIFY(first);
        QCOMPARE(first->storeDirectory, dir.path());
        const QStringList before =
            QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

        answerNextMessage();
        auto second = StartupGuard::acquire();
        QVERIFY(!second);
        QVERIFY(m_lastMessage->contains(QStringLiteral("已经在运行")));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 before);

        first.reset();
        auto third = StartupGuard::acquire();
        QVERIFY(third);
    }

    // With the first program listening, a second start brings it forward and ends quietly;
    // a socket left behind by a crash is no running program.
    void secondStartBringsTheFirstForward() {
        QTemporaryDir dir;
        qputenv("HORALET_STORE_DIR", dir.path().toLocal8Bit());
        auto first = StartupGuard::acquire();
        QVERIFY(first);
        auto beacon = std::make_unique<InstanceBeacon>(dir.path());
        QSignalSpy forward(beacon.get(), &InstanceBeacon::comeForward);
        QVERIFY(beacon->listen());

        answerNextMessage();
        bool handedOver = false;
        QVERIFY(!StartupGuard::acquire(&handedOver));
        QVERIFY(handedOver);
        QCOMPARE(forward.size(), 1);
        QVERIFY(m_lastMessage->isEmpty());

        // Another store's program is not asked.
        QTemporaryDir other;
        QVERIFY(InstanceBeacon::serverName(other.path()) != InstanceBeacon::serverName(dir.path()));
        QVERIFY(!InstanceBeacon::callRunning(other.path(), 500));
        QCOMPARE(forward.size(), 1);

        // Gone without closing its socket (a crash): the message as before. Taking the name
        // over again works.
        const QString socketPath = InstanceBeacon::serverName(dir.path());
        beacon.reset();
        QFile stale(socketPath);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        QVERIFY(!StartupGuard::acquire(&handedOver));
        QVERIFY(!handedOver);
        QTRY_VERIFY(m_lastMessage->contains(QStringLiteral("已经在运行")));
        InstanceBeacon again(dir.path());
        QVERIFY(again.listen());
        QVERIFY(InstanceBeacon::callRunning(dir.path()));
    }

    void unusableDirectoryIsToldToTheUser() {
        QTemporaryDir dir;
        QFile blocker(dir.filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("HORALET_STORE_DIR", dir.filePath("file/store").toLocal8Bit());
        answerNextMessage();
        QVERIFY(!StartupGuard::acquire());
        QVERIFY(m_lastMessage->contains(dir.filePath("file/store")));
    }
};

QTEST_MAIN(TestStartupGuard)
#include "test_startup_guard.moc"
