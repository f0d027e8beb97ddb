#include "GeneratedMedia.h"
#include "platform/MediaProbe.h"
#include "playlog/Preflight.h"
#include "store/TaskStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

QDateTime at(const char *text) {
    return QDateTime::fromString(QString::fromUtf8(text), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

bool writeBytes(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

PlayTask task(const QString &name, const QString &start) {
    PlayTask t;
    t.Name = name;
    t.Time = start;
    t.Duration = QStringLiteral("23:59:59");
    t.Type = QStringLiteral("30000");
    t.Device = TaskText::EveryDay;
    t.Recurrence = TaskText::Sequential;
    return t;
}

const Preflight::Probe probe = [](const QString &path) { return MediaProbe::probe(path); };

} // namespace

class TestPreflight : public QObject {
    Q_OBJECT
private slots:
    void itemsOnDisk();
    void networkAddressesOnlyForForm();
    void playlistsAndTheDayAhead();
    void changedPlaylistClearsTheMark();
    void captionTexts();
};

void TestPreflight::itemsOnDisk() {
    QTemporaryDir dir;
    const QString good = dir.filePath("好.wav");
    const QString empty = dir.filePath("空.mp3");
    const QString text = dir.filePath("文字.mp3");
    const QString midi = dir.filePath("曲.mid");
    QVERIFY(writeBytes(good, toneWav(1.0, 8000)));
    QVERIFY(writeBytes(empty, {}));
    QVERIFY(writeBytes(text, QByteArray("这不是声音，只是一段文字。\n").repeated(50)));
    QVERIFY(writeBytes(midi, "MThd\0\0\0\6\0\0\0\1\0\x60"));

    QCOMPARE(Preflight::checkItem(good, probe), QString());
    QCOMPARE(Preflight::checkItem(midi, probe), QString());
    QCOMPARE(Preflight::checkItem(dir.filePath("无.mp3"), probe), QStringLiteral("文件不存在"));
    QCOMPARE(Preflight::checkItem(empty, probe), QStringLiteral("文件是空的"));
    QCOMPARE(Preflight::checkItem(dir.path(), probe), QStringLiteral("不是普通文件"));
    QVERIFY(!Preflight::checkItem(text, probe).isEmpty());
    QCOMPARE(Preflight::checkItem(QString(), probe), QStringLiteral("播放列表中有空项目"));

    const QString locked = dir.filePath("锁.wav");
    QVERIFY(writeBytes(locked, toneWav(1.0, 8000)));
    QVERIFY(QFile::setPermissions(locked, QFileDevice::WriteOwner));
    if (geteuid() == 0)
        QSKIP("root reads any file: unreadable cannot be staged");
    QCOMPARE(Preflight::checkItem(locked, probe), QStringLiteral("文件无法读取"));
}

void TestPreflight::networkAddressesOnlyForForm() {
    QCOMPARE(Preflight::checkItem("http://radio.example/live.mp3", probe), QString());
    QCOMPARE(Preflight::checkItem("rtsp://10.0.0.2:554/bell", probe), QString());
    QCOMPARE(Preflight::checkItem("gopher://x/y", probe), QStringLiteral("网络地址格式不对"));
    QCOMPARE(Preflight::checkItem("http:///nohost", probe), QStringLiteral("网络地址缺少主机名"));
}

void TestPreflight::playlistsAndTheDayAhead() {
    QTemporaryDir dir;
    const TaskStore store(dir.path());
    const QString good = dir.filePath("good.wav");
    QVERIFY(writeBytes(good, toneWav(1.0, 8000)));
    QVERIFY(store.WriteTaskPlaylist("好", {good}));
    QVERIFY(store.WriteTaskPlaylist("坏", {good, dir.filePath("gone.mp3")}));
    QVERIFY(store.WriteTaskPlaylist("空", {}));
    QVERIFY(store.WriteTaskPlaylist("后天", {dir.filePath("gone.mp3")}));
    const ScheduleTable table = {
        task("好", "08:00:00"),
        task("坏", "09:00:00"),
        task("空", "07:00:00"),
        task("无表", "10:00:00"),
        task("后天", "2026-12-10 09:00:00"),
    };
    ScheduleTable withDate = table;
    withDate[4].Device = TaskText::OneDay;

    const auto verdicts = Preflight::check(withDate, at("2026-12-08 08:30:00"), {}, store, probe);
    QStringList names;
    for (const auto &v : verdicts)
        names << v.task;
    // Due in order: 坏 today 09:00, 无表 10:00, 空 tomorrow 07:00; 后天 is beyond a day.
    QCOMPARE(names, (QStringList{"坏", "无表", "空"}));
    QCOMPARE(verdicts[0].problems,
             (QList<Preflight::Problem>{{dir.filePath("gone.mp3"), "文件不存在"}}));
    QCOMPARE(verdicts[1].problems[0].reason, QStringLiteral("播放列表文件不存在"));
    QCOMPARE(verdicts[2].problems[0].reason, QStringLiteral("播放列表是空的"));
    QCOMPARE(verdicts[2].due, at("2026-12-09 07:00:00"));

    // An output muted now is told for every task due, beside what else is wrong.
    const QString muted = QStringLiteral("声音输出“horalet_null”已静音");
    const auto quiet =
        Preflight::check(withDate, at("2026-12-08 08:30:00"), {}, store, probe, nullptr, muted);
    QStringList quietTold;
    for (const auto &v : quiet)
        quietTold << v.task + "：" + v.problems.constLast().reason;
    QCOMPARE(quietTold, (QStringList{"坏：现在" + muted, "无表：现在" + muted, "空：现在" + muted,
                                     "好：现在" + muted}));
    QCOMPARE(quiet[0].problems.size(), 2);

    // A task ending at its own start second never plays: its files are not what will play.
    ScheduleTable held = withDate;
    held[1].Duration = held[1].Time;
    QCOMPARE(Preflight::check(held, at("2026-12-08 08:30:00"), {}, store, probe).size(), 2);

    // Outside its timetable a task's files are not what will play; a task naming a missing
    // timetable is told, whatever its files, since it will not play at all.
    DayGate seasons;
    seasons.seasons = SeasonGate({{"夏季", "05-01~09-30", SeasonRange::parse(u"05-01~09-30")}},
                                 {{"坏", "夏季"}, {"好", "冬季"}});
    const auto bySeason =
        Preflight::check(withDate, at("2026-12-08 08:30:00"), seasons, store, probe);
    QStringList told;
    for (const auto &v : bySeason)
        told << v.task + "：" + v.problems.value(0).reason;
    QCOMPARE(told, (QStringList{"无表：播放列表文件不存在", "空：播放列表是空的",
                                "好：作息表‘冬季’不存在，不会播放"}));
    QCOMPARE(bySeason[2].due, at("2026-12-09 08:00:00"));
    QCOMPARE(bySeason[2].problems[0].kind, Preflight::Kind::Timetable);
    QCOMPARE(bySeason[0].problems[0].kind, Preflight::Kind::File);

    // A volume that is no number plays at 0: the task will be silent, whatever its files.
    ScheduleTable mute = withDate;
    mute[0].Type = QStringLiteral("abc");
    mute[1].Type = QStringLiteral("６００００");
    mute[2].Type = QStringLiteral("0"); // silence chosen is no fault
    const auto byVolume = Preflight::check(mute, at("2026-12-08 07:30:00"), {}, store, probe);
    QStringList silent;
    for (const auto &v : byVolume)
        for (const auto &p : v.problems)
            if (p.kind == Preflight::Kind::Volume)
                silent << v.task + "：" + p.reason;
    QCOMPARE(silent,
             (QStringList{"好：音量“abc”不是 0 到 65535 之间的数字，播放时按 0 处理，听不到声音",
                          "坏：音量“６００００”是全角数字，播放时按 0 处理，听不到声音"}));

    // On a holiday nothing is due that day.
    DayGate gate;
    gate.setHolidays({"2026-12-08", "2026-12-09"});
    QVERIFY(Preflight::check(withDate, at("2026-12-08 08:30:00"), gate, store, probe).isEmpty());
}

void TestPreflight::changedPlaylistClearsTheMark() {
    QTemporaryDir dir;
    const TaskStore store(dir.path());
    const ScheduleTable table = {task("铃", "09:00:00")};
    QVERIFY(store.WriteTaskPlaylist("铃", {dir.filePath("later.wav")}));
    QCOMPARE(Preflight::check(table, at("2026-12-08 08:00:00"), {}, store, probe).size(), 1);
    QVERIFY(writeBytes(dir.filePath("later.wav"), toneWav(1.0, 8000)));
    QVERIFY(Preflight::check(table, at("2026-12-08 08:00:00"), {}, store, probe).isEmpty());
}

void TestPreflight::captionTexts() {
    using Preflight::Kind;
    const QDateTime now = at("2026-12-08 20:00:00");
    const QList<Preflight::Problem> file = {{"/m/a.mp3", "文件不存在"}};
    QCOMPARE(Preflight::caption({}, now), QString());
    QCOMPARE(
        Preflight::caption(
            {{"a", at("2026-12-09 07:00:00"), file}, {"b", at("2026-12-09 08:00:00"), file}}, now),
        QStringLiteral("明天有 2 个播放任务的文件有问题"));
    QCOMPARE(Preflight::caption({{"a", at("2026-12-08 21:00:00"), file}}, now),
             QStringLiteral("今天有 1 个播放任务的文件有问题"));
    QCOMPARE(
        Preflight::caption(
            {{"a", at("2026-12-08 21:00:00"), file}, {"b", at("2026-12-09 08:00:00"), file}}, now),
        QStringLiteral("24 小时内有 2 个播放任务的文件有问题"));
    // A missing timetable and a volume that is no number are not file problems: each is
    // counted and told by itself.
    const Preflight::Problem never{{}, "作息表‘冬季’不存在，不会播放", Kind::Timetable};
    const Preflight::Problem silent{{},
                                    "音量“abc”不是 0 到 65535 之间的数字，播放时按 0 处理，"
                                    "听不到声音",
                                    Kind::Volume};
    QCOMPARE(Preflight::caption({{"a", at("2026-12-08 21:00:00"), {never}},
                                 {"b", at("2026-12-09 08:00:00"), {silent, file[0]}},
                                 {"c", at("2026-12-09 09:00:00"), {never}}},
                                now),
             QStringLiteral("明天有 1 个播放任务的文件有问题；24 小时内有 2 "
                            "个播放任务不会播放：作息表‘冬季’不存在；"
                            "明天有 1 个播放任务会无声（音量不是 0 到 65535 之间的数字）"));
}

QTEST_GUILESS_MAIN(TestPreflight)
#include "test_preflight.moc"
