#include "dialogs/OffThread.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <memory>

class TestOffThread : public QObject {
    Q_OBJECT
private slots:
    void givesBackWhatTheWorkReturns() {
        QCOMPARE(waitOffThread([] { return QStringLiteral("读完"); }), QStringLiteral("读完"));
        // A result that can only be moved, and work that returns nothing.
        const std::unique_ptr<int> moved = waitOffThread([] { return std::make_unique<int>(7); });
        QCOMPARE(*moved, 7);
        bool ran = false;
        waitOffThread([&ran] { ran = true; });
        QVERIFY(ran);
    }

    // The work waits until three timer ticks have come on the calling thread: without the
    // loop going on meanwhile it would wait out its limit and say so.
    void theCallingThreadsTimersRunWhileTheWorkWaits() {
        QSemaphore ticked;
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] {
            if (++ticks == 3)
                ticked.release();
        });
        timer.start(10);
        const bool sawTicks = waitOffThread([&ticked] { return ticked.tryAcquire(1, 10000); });
        QVERIFY(sawTicks);
        QVERIFY(ticks >= 3);
    }

    // A quit ends every event loop, the waiting one too; the work still ends before its
    // result is used.
    void aQuitMeanwhileStillWaitsForTheWork() {
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        std::atomic<bool> done = false;
        const int result = waitOffThread([&done] {
            QThread::msleep(200);
            done = true;
            return 42;
        });
        QVERIFY(done);
        QCOMPARE(result, 42);
    }
};

QTEST_GUILESS_MAIN(TestOffThread)
#include "test_off_thread.moc"
