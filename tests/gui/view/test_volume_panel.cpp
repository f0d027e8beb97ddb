// The volume row against a sound server that hangs for five seconds on every call.
#include "playback/MasterVolumeWorker.h"
#include "playback/SlowVolume.h"
#include "view/VolumePanel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace {

// The longest time the event loop went without running a 10 ms timer.
class StallMeter {
public:
    StallMeter() {
        m_since.start();
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this] { m_longest = std::max(m_longest, m_since.restart()); });
        m_timer.start(10);
    }
    qint64 longestMs() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};

} // namespace

class TestVolumePanel : public QObject {
    Q_OBJECT
private slots:
    void hungServerNeverStallsTheRow() {
        QWidget form;
        auto *slider = new QSlider(Qt::Horizontal, &form);
        auto *label = new QLabel(&form);
        auto *slow = new SlowVolume(std::chrono::seconds(5));
        {
            MasterVolumeWorker worker{std::unique_ptr<MasterVolume>(slow)};
            VolumePanel panel(slider, label, worker, &form);
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            StallMeter meter;

            // Start-up asks for the volume; the user drags before the answer comes.
            panel.synchronise();
            for (int value = 1000; value <= 40000; value += 1000) {
                slider->setValue(value);
                QCOMPARE(label->text(), QString::number(value));
                QTest::qWait(10);
            }
            // Read, then one set of the last position: the steps between were dropped.
            QTRY_COMPARE_WITH_TIMEOUT(slow->writes(), QList<int>{40000}, 20000);
            QCOMPARE(slow->reads(), 1);
            QVERIFY2(meter.longestMs() < 1000, qPrintable(QString::number(meter.longestMs())));
            // The late answer (20000) is older than the drag: the row keeps the drag.
            QTest::qWait(50);
            QCOMPARE(slider->value(), 40000);
            QCOMPARE(label->text(), QStringLiteral("40000"));
            QVERIFY(!QApplication::activeModalWidget());
        }
    }

    void answerAtStartUpMovesTheRow() {
        QWidget form;
        auto *slider = new QSlider(Qt::Horizontal, &form);
        auto *label = new QLabel(&form);
        auto *slow = new SlowVolume;
        slow->setLevel(54321);
        MasterVolumeWorker worker{std::unique_ptr<MasterVolume>(slow)};
        VolumePanel panel(slider, label, worker, &form);
        panel.synchronise();
        QCOMPARE(slider->value(), 0);
        slow->open();
        QTRY_COMPARE(slider->value(), 54321);
        QCOMPARE(label->text(), QStringLiteral("54321"));
        QVERIFY(slow->writes().isEmpty()); // showing the answer sets nothing

        // Another output in use, or a level changed outside the program: read and shown,
        // without a word should the read fail.
        auto *output = new QLabel(&form);
        VolumePanel named(slider, label, worker, &form, output);
        slow->setLevel(1234);
        named.setOutput(QStringLiteral("校园广播"));
        QCOMPARE(output->text(), QStringLiteral("输出：校园广播"));
        QTRY_COMPARE(slider->value(), 1234);
        slow->setLevel(4321);
        named.outsideChange();
        QTRY_COMPARE(label->text(), QStringLiteral("4321"));
        // Held by the user: the user's value wins.
        slider->setSliderDown(true);
        slow->setLevel(99);
        named.outsideChange();
        QTest::qWait(100);
        QCOMPARE(slider->value(), 4321);
        slider->setSliderDown(false);
        slow->setLevel(-1); // a failed read
        named.outsideChange();
        QTest::qWait(100);
        QCOMPARE(slider->value(), 4321);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(slow->writes().isEmpty());
    }
};

QTEST_MAIN(TestVolumePanel)
#include "test_volume_panel.moc"
