#include "tasktable/TaskChanges.h"
#include "tasktable/TaskForm.h"
#include "tasktable/TaskNames.h"
#include "tasktable/TypedTime.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace TaskForms;

namespace {

const QDateTime kNow(QDate(2013, 6, 14), QTime(10, 11, 12));

TaskForm form(DateRule rule) {
    TaskForm f = newTaskForm(kNow);
    f.name = QStringLiteral("早操");
    f.rule = rule;
    f.date = QDate(2012, 5, 1);
    f.start = QTime(8, 0, 0);
    f.end = QTime(8, 30, 0);
    return f;
}

PlayTask task(const QString &name, const QString &time, const QString &end, const QString &device,
              const QString &mode = TaskText::Sequential) {
    PlayTask t;
    t.Name = name;
    t.Time = time;
    t.Duration = end;
    t.Type = QStringLiteral("60000");
    t.Device = device;
    t.Recurrence = mode;
    return t;
}

} // namespace

class TestTaskForm : public QObject {
    Q_OBJECT

private slots:
    void encodesEachDateRule() {
        QCOMPARE(taskFromForm(form(DateRule::EveryDay)),
                 task("早操", "08:00:00", "08:30:00", "每天"));
        QCOMPARE(taskFromForm(form(DateRule::OneDay)),
                 task("早操", "2012-05-01 08:00:00", "2012-05-01 08:30:00", "指定的一天"));
        QVERIFY(endNote(form(DateRule::OneDay)).isEmpty());

        // A one-day task past midnight ends on the next day, as the dialog says beside the end;
        // the other rules keep times of day.
        TaskForm late = form(DateRule::OneDay);
        late.date = QDate(2012, 12, 31);
        late.start = QTime(23, 0, 0);
        late.end = QTime(1, 0, 0);
        QCOMPARE(taskFromForm(late),
                 task("早操", "2012-12-31 23:00:00", "2013-01-01 01:00:00", "指定的一天"));
        QCOMPARE(endNote(late), QStringLiteral("次日 01:00:00"));
        late.end = late.start; // refused on OK as starting at its own end
        QCOMPARE(taskFromForm(late).Duration, QStringLiteral("2012-12-31 23:00:00"));
        QVERIFY(endNote(late).isEmpty());
        late.end = QTime(1, 0, 0);
        late.rule = DateRule::EveryDay;
        QCOMPARE(taskFromForm(late), task("早操", "23:00:00", "01:00:00", "每天"));
        QVERIFY(endNote(late).isEmpty());

        TaskForm weekly = form(DateRule::Weekly);
        weekly.weekdays = {true, false, true, false, true, false, false};
        QCOMPARE(taskFromForm(weekly), task("早操", "08:00:00", "08:30:00", "周一周三周五"));
        weekly.weekdays = {false, false, false, false, false, true, true};
        QCOMPARE(taskFromForm(weekly).Device, QStringLiteral("周六周日"));
        weekly.weekdays = {};
        QCOMPARE(taskFromForm(weekly), task("早操", "", "", ""));

        // With no rule chosen the stored rule and times stay as they were.
        const PlayTask odd = task("x", "08:00:00", "09:00:00", "每周末");
        TaskForm none = formFromTask(odd, kNow);
        QCOMPARE(none.rule, DateRule::None);
        none.start = QTime(1, 2, 3);
        QCOMPARE(taskFromForm(none, odd), odd);

        // The mode field is stored as it reads; the volume as the number typed, full-width
        // digits (a Chinese input method's) as plain ones. What is no number is kept for the
        // change to refuse.
        TaskForm typed = form(DateRule::EveryDay);
        typed.volume = QStringLiteral("loud");
        typed.playMode = QStringLiteral("乱序");
        QCOMPARE(taskFromForm(typed).Type, QStringLiteral("loud"));
        QCOMPARE(taskFromForm(typed).Recurrence, QStringLiteral("乱序"));
        typed.volume = QStringLiteral("\u3000６００００ ");
        QCOMPARE(taskFromForm(typed).Type, QStringLiteral("60000"));
        QCOMPARE(volumePercentText(typed.volume), QStringLiteral("≈ 91.6 %"));
    }

    void newFormDefaults() {
        const TaskForm f = newTaskForm(kNow);
        QCOMPARE(f.rule, DateRule::EveryDay);
        QCOMPARE(f.playMode, TaskText::Sequential);
        QCOMPARE(f.volume, QStringLiteral("60000"));
        QCOMPARE(f.start, kNow.time());
        QCOMPARE(f.end, kNow.time());
        QCOMPARE(f.date, kNow.date());
        QCOMPARE(volumeEntries().size(), 8);
        QCOMPARE(volumeEntries()[ModifyTaskVolumeEntry], QStringLiteral("30000"));
    }

    void decodesEachStoredKind() {
        TaskForm daily = formFromTask(task("a", "08:00:00", "08:30:00", "每天"), kNow);
        QCOMPARE(daily.rule, DateRule::EveryDay);
        QCOMPARE(daily.date, kNow.date());
        QCOMPARE(daily.start, QTime(8, 0, 0));
        QCOMPARE(daily.end, QTime(8, 30, 0));
        QCOMPARE(daily.playMode, TaskText::Sequential);

        TaskForm one = formFromTask(
            task("b", "2012-05-01 08:00:00", "2012-05-01 08:30:00", "指定的一天"), kNow);
        QCOMPARE(one.rule, DateRule::OneDay);
        QCOMPARE(one.date, QDate(2012, 5, 1));
        QCOMPARE(one.start, QTime(8, 0, 0));
        QCOMPARE(one.end, QTime(8, 30, 0));

        TaskForm weekly = formFromTask(task("c", "07:00:00", "07:05:00", "周二周四"), kNow);
        QCOMPARE(weekly.rule, DateRule::Weekly);
        QCOMPARE(weekly.weekdays,
                 (std::array<bool, 7>{false, true, false, true, false, false, false}));

        // A weekly task without days keeps its name, mode and volume; pickers show now.
        PlayTask empty = task("d", "", "", "", TaskText::Random);
        empty.Type = QStringLiteral("5");
        TaskForm noDays = formFromTask(empty, kNow);
        QCOMPARE(noDays.rule, DateRule::Weekly);
        QCOMPARE(noDays.name, QStringLiteral("d"));
        QCOMPARE(noDays.playMode, TaskText::Random);
        QCOMPARE(noDays.volume, QStringLiteral("5"));
        QCOMPARE(noDays.start, kNow.time());
        QCOMPARE(taskFromForm(noDays, empty), empty);

        // Unreadable times leave the pickers at now instead of inventing a time.
        TaskForm bad = formFromTask(task("e", "2012-13-01 08:00:00", "xx:yy:zz", "每天"), kNow);
        QCOMPARE(bad.date, kNow.date());
        QCOMPARE(bad.start, kNow.time());
        QCOMPARE(bad.end, kNow.time());
        // Blanks between date and time are read the lenient way.
        QCOMPARE(formFromTask(task("f", "2012-5-1    8:00:00", "", "指定的一天"), kNow).date,
                 QDate(2012, 5, 1));
        const TaskForm huge =
            formFromTask(task("g", "99999999999-1-1 0:0", "2012-05-01 08:00:0x", "每天"), kNow);
        QCOMPARE(huge.date, kNow.date());
        QCOMPARE(huge.end, QTime(8, 0, 0));
    }

    void storedTasksSurviveOpeningAndOk() {
        const QList<PlayTask> kinds = {
            task("a", "08:00:00", "08:30:00", "每天"),
            task("b", "2012-05-01 08:00:00", "2012-05-01 08:30:00", "指定的一天"),
            task("b2", "2012-12-31 23:00:00", "2013-01-01 01:00:00", "指定的一天"),
            task("c", "23:59:59", "00:00:01", "周一周日", TaskText::Random),
            task("d", "", "", "", "unknown mode"),
            task("e", "08:00:00", "09:00:00", "假日"),
        };
        for (const PlayTask &t : kinds)
            QCOMPARE(taskFromForm(formFromTask(t, kNow), t), t);
    }

    void volumeEntryOnlyWhenEqual() {
        QCOMPARE(volumeEntryIndex("50000"), 5);
        QCOMPARE(volumeEntryIndex("0"), 0);
        QCOMPARE(volumeEntryIndex("5"), -1);
        QCOMPARE(volumeEntryIndex(""), -1);
    }

    // Typing over a whole time: each key in turn ("<" a backspace), whether it is taken
    // ("+") or refused ("-", leaving the entry as it was), and the time it ends with.
    void typedTimes_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("taken");
        QTest::addColumn<QTime>("time");
        const struct {
            const char *keys, *taken;
            QTime time;
        } rows[] = {
            {"07:45:00", "++++++++", QTime(7, 45, 0)},
            {"074500", "++++++", QTime(7, 45, 0)},
            {"7:45", "++++", QTime(7, 45, 0)},
            {"745", "+++", QTime(7, 45, 0)},
            {"235959", "++++++", QTime(23, 59, 59)},
            {"12:7:9", "++++++", QTime(12, 7, 9)},
            {"0760", "++++", QTime(7, 6, 0)},
            {"25:3", "+-++", QTime(2, 3, 0)},
            {"12::30", "+++-++", QTime(12, 30, 0)},
            {"1234567", "++++++-", QTime(12, 34, 56)},
            {"07:45:00:", "++++++++-", QTime(7, 45, 0)},
            {":8", "-+", QTime(8, 0, 0)},
            {"7a45", "+-++", QTime(7, 45, 0)},
            {"０７：４５", "+++++", QTime(7, 45, 0)},
            {"0745<<<<<8", "++++++++-+", QTime(8, 0, 0)},
        };
        for (const auto &row : rows)
            QTest::newRow(row.keys)
                << QString::fromUtf8(row.keys) << QString::fromUtf8(row.taken) << row.time;
    }
    void typedTimes() {
        QFETCH(QString, keys);
        QFETCH(QString, taken);
        QFETCH(QTime, time);
        QCOMPARE(taken.size(), keys.size());
        TypedTime typed;
        for (int i = 0; i < keys.size(); ++i) {
            const QTime before = typed.time();
            const bool took = keys.at(i) == u'<' ? typed.erase() : typed.type(keys.at(i));
            QVERIFY2(took == (taken.at(i) == u'+'), qPrintable(keys.left(i + 1)));
            if (!took)
                QCOMPARE(typed.time(), before);
        }
        QCOMPARE(typed.time(), time);
    }

    void fileFiltersInQtSyntax() {
        const QStringList filters = mediaFileFilters();
        QCOMPARE(filters.size(), 20);
        QCOMPARE(filters.first(), QStringLiteral("媒体文件(所有类型) (*)"));
        QCOMPARE(filters[1], QStringLiteral("Mp3 File(*.mp3)"));
        QCOMPARE(filters[3], QStringLiteral("RM  File(*.rm)"));
        QCOMPARE(filters[17], QStringLiteral("Mid File(*.mid;*,rmi) (*.mid *.rmi)"));
        QCOMPARE(filters.last(), QStringLiteral("All File(*.*) (*)"));
    }

    void refusedNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << ""
                               << "请填写播放任务名称.";
        QTest::newRow("repeat") << "早操"
                                << "重复";
        QTest::newRow("repeat other case") << "Bell"
                                           << "重复";
        QTest::newRow("slash") << "a/b"
                               << "/";
        QTest::newRow("backslash") << "a\\b"
                                   << "/";
        QTest::newRow("newline") << "a\nb"
                                 << "控制字符";
        QTest::newRow("tab") << "a\tb"
                             << "控制字符";
        QTest::newRow("dot") << "."
                             << "\".\"";
        QTest::newRow("dotdot") << ".."
                                << "\".\"";
        QTest::newRow("song") << "SONG"
                              << "数据文件";
        QTest::newRow("date") << "Date"
                              << "数据文件";
        QTest::newRow("flags") << "复选控制"
                               << "数据文件";
        QTest::newRow("shutdown") << "定时器时间设置"
                                  << "数据文件";
        QTest::newRow("not gbk") << "bell🔔"
                                 << "无法保存";
        // What Windows cannot hold as a file name: stores move there by backup and import.
        for (const char *name : {"a:b", "a*b", "a?b", "\"q\"", "a<b", "a>b", "a|b"})
            QTest::newRow(name) << name << ": * ?";
        QTest::newRow("trailing dot") << "..."
                                      << "结尾";
        QTest::newRow("trailing blank") << "bell "
                                        << "结尾";
        for (const char *name :
             {"CON", "prn", "Aux", "NUL.txt", "com1", "COM9.mp3", "lpt1", "LPT9", "con .ini"})
            QTest::newRow(name) << name << "设备名";
    }

    void refusedNames() {
        QFETCH(QString, name);
        QFETCH(QString, message);
        const QList<PlayTask> rows = {task("早操", "", "", ""), task("bell", "", "", "")};
        const QString problem = TaskNames::nameProblem(name, rows);
        QVERIFY2(problem.contains(message), qPrintable(problem));
        if (name == QLatin1String("早操"))
            QVERIFY(TaskNames::nameProblem(name, rows, 0).isEmpty()); // its own name
        // A stored task of such a name may be changed under it; a new one may not take it.
        if (problem == TaskNames::windowsNameProblem(name)) {
            const QList<PlayTask> stored = {task(name, "", "", ""), task("bell", "", "", "")};
            QVERIFY(TaskNames::nameProblem(name, stored, 0).isEmpty());
            QVERIFY(!TaskNames::nameProblem(name, stored, 1).isEmpty());
        }
    }

    void acceptedTexts() {
        const QList<PlayTask> rows = {task("早操", "", "", "")};
        for (const QString name : {"午操", "song2", "a.b", ".bell", "My Bell", "songs", "ü",
                                   "CONSOLE", "COM10", "LPT0", "nul-x", "con-1.mp3"})
            QVERIFY2(TaskNames::nameProblem(name, rows).isEmpty(), qPrintable(name));
        for (const QString volume : {"0", "60000", "65535", "00065535"})
            QVERIFY2(TaskNames::volumeProblem(volume).isEmpty(), qPrintable(volume));
        for (const QString volume : {"loud", "", "6\n0", "65536", "-1", "１", "60000abc", "1e4"})
            QVERIFY2(!TaskNames::volumeProblem(volume).isEmpty(), qPrintable(volume));
        QCOMPARE(TaskNames::volumeProblem("70000"),
                 QStringLiteral("音量 70000 超出范围,请选择或填写 0 到 65535 之间的数字."));
        QVERIFY(TaskNames::itemProblem("/home/u/音乐/a b.mp3").isEmpty());
        QVERIFY(!TaskNames::itemProblem("/home/u/🎵.mp3").isEmpty());
        QVERIFY(!TaskNames::itemProblem("/tmp/a\nb.mp3").isEmpty());
    }

    void changesGoThroughTheStore() {
        QTemporaryDir dir;
        const TaskStore store(dir.path());
        const TaskChanges changes(store);

        TaskChangeOutcome added =
            changes.add(task("A", "08:00:00", "08:30:00", "每天"), {"/m/a.mp3", "http://radio/x"});
        QVERIFY2(added.ok, qPrintable(added.message));
        QCOMPARE(added.section, 0);
        QCOMPARE(added.schedule.size(), 1);
        added = changes.add(task("B", "09:00:00", "09:30:00", "每天"), {});
        QCOMPARE(added.section, 1);
        QCOMPARE(added.rows.size(), 2);

        // A repeated name touches nothing.
        const QByteArray song = [&] {
            QFile f(store.songFile());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        const TaskChangeOutcome repeated = changes.add(task("a", "", "", ""), {});
        QVERIFY(!repeated.ok);
        QVERIFY(!repeated.touched);
        QVERIFY(repeated.message.contains("重复"));
        {
            QFile f(store.songFile());
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), song);
        }
        // Renaming B onto A is a repeat too; keeping its own name is not.
        QVERIFY(!changes.modify(1, added.rows[1], task("A", "", "", ""), {}).ok);
        PlayTask later = added.rows[1];
        later.Time = QStringLiteral("10:00:00");
        QVERIFY(changes.modify(1, added.rows[1], later, {}).ok);

        // Rename A to C: C.ini gets A's items, A.ini stays.
        const PlayTask a = store.ReadTaskRows()[0];
        PlayTask c = a;
        c.Name = QStringLiteral("C");
        const TaskChangeOutcome renamed = changes.modify(0, a, c, store.ReadTaskPlaylist("A"));
        QVERIFY2(renamed.ok, qPrintable(renamed.message));
        QCOMPARE(renamed.section, 0);
        QCOMPARE(store.ReadTaskPlaylist("C"), (TaskPlaylist{"/m/a.mp3", "http://radio/x"}));
        QVERIFY(QFile::exists(dir.filePath("A.ini")));
        QCOMPARE(renamed.schedule[0].Name, QStringLiteral("C"));

        // A stale selection is refused rather than applied to whatever stands there now.
        const TaskChangeOutcome stale = changes.remove(0, a);
        QVERIFY(!stale.ok);
        QCOMPARE(stale.rows.size(), 2);

        const TaskChangeOutcome removed = changes.remove(0, renamed.rows[0]);
        QVERIFY2(removed.ok, qPrintable(removed.message));
        QCOMPARE(removed.rows.size(), 1);
        QCOMPARE(removed.rows[0].Name, QStringLiteral("B"));
        QVERIFY(!QFile::exists(dir.filePath("C.ini")));
        QCOMPARE(removed.schedule, removed.rows);
    }

    void anUnreadableStoreNeverEmptiesTheSchedule() {
        QTemporaryDir dir;
        const TaskStore store(dir.path());
        QVERIFY(QDir(dir.path()).mkdir("song.ini"));
        const TaskChangeOutcome outcome =
            TaskChanges(store).add(task("A", "08:00:00", "08:30:00", "每天"), {});
        QVERIFY(!outcome.ok);
        QVERIFY(!outcome.message.isEmpty());
        QVERIFY(!outcome.touched);
        QVERIFY(!QFile::exists(dir.filePath("A.ini")));
    }
};

QTEST_GUILESS_MAIN(TestTaskForm)
#include "test_task_form.moc"
