// Whether a task was heard: the rule on measured peaks, the reasons told for silence, and the
// watch that runs the level watch only while there is something to decide.
#include "playback/HeardWatch.h"

#include <QSignalSpy>
#include <QTest>

namespace {

constexpr double Loud = 0.3;    // about -10 dBFS
constexpr double Hiss = 0.0028; // about -51 dBFS: below the floor

// Records what it was asked; the test sends the levels.
class FakeLevels final : public LevelWatch {
public:
    void start(const QString &sink) override {
        running = true;
        starts << sink;
    }
    void stop() override { running = false; }

    bool running = false;
    QStringList starts;
};

struct Rig {
    qint64 now = 1000;
    FakeLevels levels;
    HeardWatch watch{levels, nullptr, [this] { return now; }};
    QList<HeardNews> told;
    Rig() {
        QObject::connect(&watch, &HeardWatch::news,
                         [this](const HeardNews &news) { told << news; });
    }
    void at(qint64 ms) { now = ms; }
    void output(bool muted, double volume) {
        emit levels.outputChanged(OutputState{true, QStringLiteral("horalet_null"), muted, volume});
    }
};

} // namespace

class TestHeardWatch : public QObject {
    Q_OBJECT
private slots:
    void ruleDecides_data();
    void ruleDecides();
    void reasonsSayWhatIsKnown();
    void silentTaskWarnedAtStartThenToldAndClearedLate();
    void levelWatchRunsOnlyWhileUndecided();
};

// Samples "ms:peak" (or "ms:check", the window's timer) after a hand-over at 0, then a check
// at `checkAt`.
void TestHeardWatch::ruleDecides_data() {
    QTest::addColumn<QStringList>("samples");
    QTest::addColumn<qint64>("checkAt");
    QTest::addColumn<QString>("outcomes"); // each event "H<delay>", "N", "L<delay>"

    QTest::newRow("tone at once") << QStringList{"50:0", "400:0.3", "900:0", "1400:0"}
                                  << qint64(6000) << "H400";
    QTest::newRow("hiss is silence")
        << QStringList{"100:0.0028", "4900:0.0028"} << qint64(4999) << "";
    QTest::newRow("silence for the window")
        << QStringList{"100:0", "2000:0"} << qint64(5000) << "N";
    QTest::newRow("quiet intro, heard 3 s in")
        << QStringList{"1000:0.001", "3200:0.2", "3700:0.2", "4200:0.2"} << qint64(6000) << "H3200";
    QTest::newRow("late after silence")
        << QStringList{"4000:0", "5000:check", "8100:0.3", "8600:0.3", "9100:0.3"} << qint64(9500)
        << "NL8100";
    // No check ran at the window's end: the first sample past it decides, the next is late.
    QTest::newRow("sample past the window")
        << QStringList{"5200:0.3", "5250:0.3", "5750:0", "6250:0"} << qint64(9000) << "NL5250";
    QTest::newRow("no slices at all") << QStringList{} << qint64(5001) << "N";
    // A sink whose pipe nobody reads lets a first burst through, then sends nothing.
    QTest::newRow("burst, then the output stalls")
        << QStringList{"100:0.3", "300:0.3", "5000:check"} << qint64(6000) << "N";
    QTest::newRow("gap in the output drops the first peak")
        << QStringList{"100:0.3", "1300:0", "1800:0", "2300:0"} << qint64(5000) << "N";
    // Sound near the window's end is waited for while the output still sends.
    QTest::newRow("confirmed past the window")
        << QStringList{"4600:0.3", "5000:check", "5100:0", "5600:0.3"} << qint64(9000) << "H4600";
}

void TestHeardWatch::ruleDecides() {
    QFETCH(QStringList, samples);
    QFETCH(qint64, checkAt);
    QFETCH(QString, outcomes);
    HeardRule rule;
    QCOMPARE(rule.sample(10, Loud).outcome, HeardRule::Outcome::None); // nothing handed over
    rule.handOver(0);
    rule.handOver(3000); // a second item does not move the window
    QString got;
    const auto note = [&got](const HeardRule::Event &e) {
        if (e.outcome == HeardRule::Outcome::Heard)
            got += QStringLiteral("H%1").arg(e.delayMs);
        else if (e.outcome == HeardRule::Outcome::NotHeard)
            got += QStringLiteral("N");
        else if (e.outcome == HeardRule::Outcome::HeardLate)
            got += QStringLiteral("L%1").arg(e.delayMs);
    };
    for (const QString &s : samples) {
        const QStringList parts = s.split(QLatin1Char(':'));
        if (parts[1] == QStringLiteral("check"))
            note(rule.check(parts[0].toLongLong()));
        else
            note(rule.sample(parts[0].toLongLong(), parts[1].toDouble()));
    }
    note(rule.check(checkAt));
    QCOMPARE(got, outcomes);
    QVERIFY(HeardRule::floorPeak() > Hiss && HeardRule::floorPeak() < 0.0032);
}

void TestHeardWatch::reasonsSayWhatIsKnown() {
    constexpr auto Flowing = HeardRule::Flow::Flowing;
    const OutputState muted{true, QStringLiteral("horalet_null"), true, 0.8};
    const OutputState low{true, QStringLiteral("horalet_null"), false, 0.03};
    const OutputState fine{true, QStringLiteral("horalet_null"), false, 0.05};
    QCOMPARE(HeardRule::outputWarning(muted), QStringLiteral("声音输出“horalet_null”已静音"));
    QCOMPARE(HeardRule::outputWarning(low), QStringLiteral("声音输出“horalet_null”的音量只有 3%"));
    QCOMPARE(HeardRule::outputWarning(fine), QString());
    QCOMPARE(HeardRule::outputWarning(OutputState{}), QString());

    // What others know comes first; the item itself is blamed only when all else is fine.
    QCOMPARE(HeardRule::reasons(muted, true, {QStringLiteral("广播服务器没有读取管道")}, Flowing),
             (QStringList{"广播服务器没有读取管道", "声音输出“horalet_null”已静音"}));
    QCOMPARE(HeardRule::reasons(fine, false, {}, Flowing), QStringList{"播放器没有在播放"});
    QCOMPARE(HeardRule::reasons(OutputState{}, true, {}, HeardRule::Flow::None),
             QStringList{"无法读取声音输出的状态"});
    QCOMPARE(HeardRule::reasons(fine, true, {}, Flowing),
             QStringList{"播放器在播放，但项目解码后是静音"});
    // Silence measured is not the same as an output that sent nothing, or stopped sending.
    QCOMPARE(HeardRule::reasons(fine, true, {}, HeardRule::Flow::None),
             QStringList{"声音输出“horalet_null”没有送出任何声音数据"});
    QCOMPARE(HeardRule::reasons(fine, true, {}, HeardRule::Flow::Stalled),
             QStringList{"声音输出“horalet_null”中途停止送出声音数据"});
    HeardRule rule;
    rule.handOver(0);
    QCOMPARE(rule.flow(5000), HeardRule::Flow::None);
    rule.sample(300, 0.0);
    QCOMPARE(rule.flow(1300), HeardRule::Flow::Flowing);
    QCOMPARE(rule.flow(1301), HeardRule::Flow::Stalled);
}

void TestHeardWatch::silentTaskWarnedAtStartThenToldAndClearedLate() {
    Rig rig;
    rig.watch.addReasonSource([](const QString &task) {
        return task == QStringLiteral("bell") ? QStringList{QStringLiteral("无法读取音量")}
                                              : QStringList{};
    });
    rig.at(10'000);
    rig.watch.taskStarted(QStringLiteral("bell"), 20);
    rig.at(13'000);
    rig.watch.itemHandedOver();
    QCOMPARE(rig.levels.starts, QStringList{QString()}); // the default output
    rig.output(true, 0.6);
    QVERIFY(rig.told.isEmpty()); // the item is not open yet: the volume may still be set
    rig.watch.setPlayerPlaying(true);
    QCOMPARE(rig.told.size(), 1);
    QCOMPARE(rig.told[0].kind, HeardNews::Kind::OutputQuiet);
    QVERIFY(rig.told[0].warning);
    QCOMPARE(rig.told[0].status, QStringLiteral("“bell”开始播放，但声音输出“horalet_null”已静音"));
    rig.output(true, 0.6); // told once
    emit rig.levels.level(0.0);
    rig.at(17'999);
    emit rig.levels.level(0.0); // a muted sink's monitor carries silence all along
    rig.watch.check();
    QCOMPARE(rig.told.size(), 1);

    rig.at(18'000);
    rig.watch.check();
    QCOMPARE(rig.told.size(), 2);
    QCOMPARE(rig.told[1].kind, HeardNews::Kind::NotHeard);
    QCOMPARE(rig.told[1].note, QStringLiteral("交给播放器后 5 秒内输出低于 -50 dBFS：无法读取音量；"
                                              "声音输出“horalet_null”已静音"));
    QCOMPARE(rig.told[1].status,
             QStringLiteral("“bell”未出声：无法读取音量；声音输出“horalet_null”已静音"));
    QVERIFY(rig.levels.running); // listening on for late sound

    rig.at(21'300);
    emit rig.levels.level(Loud);
    rig.at(21'800);
    emit rig.levels.level(Loud);
    QCOMPARE(rig.told.size(), 2); // not before the output has gone on for a second
    rig.at(22'300);
    emit rig.levels.level(0.1);
    QCOMPARE(rig.told.size(), 3);
    QCOMPARE(rig.told[2].kind, HeardNews::Kind::Heard);
    QVERIFY(!rig.told[2].warning);
    QCOMPARE(rig.told[2].status, QStringLiteral("“bell”已出声（迟 8 秒）"));
    QCOMPARE(rig.watch.lastNews().status, rig.told[2].status);
    QCOMPARE(rig.told[2].note,
             QStringLiteral("已出声（迟 8 秒），交给播放器后 8.3 秒出声（任务开始后 11.3 秒）"));
    QVERIFY(!rig.levels.running);
    rig.watch.taskEnded(true);
    QCOMPARE(rig.told.size(), 3);
}

void TestHeardWatch::levelWatchRunsOnlyWhileUndecided() {
    Rig rig;
    // Heard on time: the note carries the first-signal delay; the watch stops at once.
    rig.watch.taskStarted(QStringLiteral("bell"));
    QVERIFY(!rig.levels.running);
    rig.watch.itemHandedOver();
    rig.watch.setSink(QStringLiteral("horalet_campus")); // routed to the rooms meanwhile
    QCOMPARE(rig.levels.starts, (QStringList{QString(), "horalet_campus"}));
    rig.at(1400);
    emit rig.levels.level(Loud);
    QVERIFY(rig.told.isEmpty());
    // A short chime: its item ends before a second has passed; it was heard.
    rig.watch.setPlayerPlaying(true);
    rig.at(1700);
    rig.watch.setPlayerPlaying(false);
    QCOMPARE(rig.told.size(), 1);
    QCOMPARE(rig.told[0].status, QStringLiteral("“bell”已出声"));
    QCOMPARE(rig.told[0].note, QStringLiteral("交给播放器后 0.4 秒出声（任务开始后 0.4 秒）"));
    QVERIFY(!rig.levels.running);
    rig.watch.itemHandedOver(); // the next item decides nothing more
    QVERIFY(!rig.levels.running);

    // Stopped by hand inside the window: nothing to tell.
    rig.told.clear();
    rig.watch.taskStarted(QStringLiteral("quiet"));
    rig.watch.itemHandedOver();
    rig.watch.taskEnded(false);
    QVERIFY(!rig.levels.running);
    rig.at(9000);
    rig.watch.check();
    QVERIFY(rig.told.isEmpty());

    // A short silent item that ends inside the window is silence all the same.
    rig.watch.taskStarted(QStringLiteral("short"));
    rig.watch.itemHandedOver();
    rig.watch.setPlayerPlaying(false);
    rig.watch.taskEnded(true);
    QCOMPARE(rig.told.size(), 1);
    QCOMPARE(rig.told[0].kind, HeardNews::Kind::NotHeard);
    QVERIFY(rig.told[0].status.contains(QStringLiteral("播放器没有在播放")));

    // The campus server does not read the pipe: sound at the sink goes nowhere, until it
    // does.
    rig.told.clear();
    rig.watch.taskStarted(QStringLiteral("campus"));
    rig.watch.setSink(QStringLiteral("horalet_campus"));
    rig.watch.setDownstream(false, QStringLiteral("广播服务器没有读取管道"));
    rig.watch.itemHandedOver();
    rig.output(false, 0.5);
    rig.watch.setPlayerPlaying(true);
    const qint64 handedOver = rig.now;
    for (qint64 t = handedOver; t <= handedOver + 5000; t += 250) {
        rig.at(t);
        emit rig.levels.level(Loud);
    }
    rig.watch.check();
    QCOMPARE(rig.told.size(), 1);
    QCOMPARE(rig.told[0].status, QStringLiteral("“campus”未出声：广播服务器没有读取管道"));
    rig.watch.setDownstream(true);
    rig.at(rig.now + 250);
    emit rig.levels.level(Loud);
    rig.at(rig.now + 1000);
    emit rig.levels.level(Loud);
    QCOMPARE(rig.told.size(), 2);
    QVERIFY(rig.told[1].status.startsWith(QStringLiteral("“campus”已出声（迟 5 秒）")));
    rig.watch.taskEnded(true);

    // A watch that cannot run says so once, never "not heard".
    rig.told.clear();
    rig.watch.taskStarted(QStringLiteral("lost"));
    rig.watch.itemHandedOver();
    emit rig.levels.failed(QStringLiteral("声音服务器没有运行"));
    rig.watch.itemHandedOver();
    rig.at(20'000);
    rig.watch.check();
    QCOMPARE(rig.told.size(), 1);
    QCOMPARE(rig.told[0].kind, HeardNews::Kind::Unconfirmed);
    QCOMPARE(rig.told[0].status, QStringLiteral("无法确认“lost”是否出声：声音服务器没有运行"));
    QVERIFY(!rig.levels.running);
}

QTEST_GUILESS_MAIN(TestHeardWatch)
#include "test_heard_watch.moc"
