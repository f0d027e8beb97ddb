// 复选控制.ini and 定时器时间设置.ini.
#include "store/OptionFlags.h"
#include "store/ProfileStore.h"
#include "store/ShutdownTimeFile.h"
#include "store/WakeAlarmFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray gbk(const QString &text) {
    return Gbk::encode(text).value();
}

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class TestSettingsFiles : public QObject {
    Q_OBJECT

    QString flagsPath(const QTemporaryDir &dir) const {
        return dir.filePath(OptionFlags::fileName());
    }
    QString stored(const QTemporaryDir &dir, OptionFlags::Flag flag) const {
        return ProfileStore::readString(flagsPath(dir), OptionFlags::section(),
                                        OptionFlags::key(flag), QStringLiteral("<absent>"));
    }

private slots:
    void tickAndClearWriteOwnKeyAndSurviveRestart() {
        QTemporaryDir dir;
        OptionFlags flags(dir.path());
        flags.load();
        QVERIFY(flags.set(OptionFlags::Wednesday, true));
        QCOMPARE(stored(dir, OptionFlags::Wednesday), QStringLiteral("1"));
        // The file is code page 936 under its Chinese name.
        const QByteArray bytes = readAll(flagsPath(dir));
        QVERIFY(bytes.contains(gbk(QStringLiteral("[复选控制]"))));
        QVERIFY(bytes.contains(gbk(QStringLiteral("周三=1"))));

        OptionFlags restarted(dir.path());
        restarted.load();
        QVERIFY(restarted.isSet(OptionFlags::Wednesday));

        QVERIFY(flags.set(OptionFlags::Wednesday, false));
        QCOMPARE(stored(dir, OptionFlags::Wednesday), QStringLiteral("0"));
        restarted.load();
        QVERIFY(!restarted.isSet(OptionFlags::Wednesday));

        // Each box writes only its own key.
        QVERIFY(flags.set(OptionFlags::Sunday, true));
        QCOMPARE(stored(dir, OptionFlags::Sunday), QStringLiteral("1"));
        QCOMPARE(stored(dir, OptionFlags::Saturday), QStringLiteral("<absent>"));
        QCOMPARE(stored(dir, OptionFlags::ShutdownEnabled), QStringLiteral("<absent>"));
    }

    void onlyTheTextOneReadsAsTicked() {
        QTemporaryDir dir;
        writeAll(flagsPath(dir), gbk(QStringLiteral("[复选控制]\r\n"
                                                    "周一=1\r\n周二=2\r\n周三=是\r\n周四=0\r\n"
                                                    "周五= 1 \r\n周六=11\r\n"
                                                    "是否执行关机时间=1\r\n是否循环=1\r\n")));
        OptionFlags flags(dir.path());
        flags.load();
        QVERIFY(flags.isSet(OptionFlags::Monday));
        QVERIFY(!flags.isSet(OptionFlags::Tuesday));
        QVERIFY(!flags.isSet(OptionFlags::Wednesday));
        QVERIFY(!flags.isSet(OptionFlags::Thursday));
        QVERIFY(flags.isSet(OptionFlags::Friday)); // blanks around a value are not part of it
        QVERIFY(!flags.isSet(OptionFlags::Saturday));
        QVERIFY(!flags.isSet(OptionFlags::Sunday)); // missing key
        QVERIFY(flags.isSet(OptionFlags::ShutdownEnabled));
        QVERIFY(flags.isSet(OptionFlags::Loop));
        QVERIFY(!flags.isSet(OptionFlags::FullScreen));

        // Weekday 0 is Sunday.
        const std::array<bool, 7> off = flags.weekdaysOff();
        QCOMPARE(off, (std::array<bool, 7>{false, true, false, false, false, true, false}));

        // A deleted file clears everything at the next start.
        QVERIFY(QFile::remove(flagsPath(dir)));
        flags.load();
        for (int i = 0; i < OptionFlags::FlagCount; ++i)
            QVERIFY(!flags.isSet(static_cast<OptionFlags::Flag>(i)));
        QCOMPARE(flags.weekdaysOff(), (std::array<bool, 7>{}));
    }

    // A state that was not stored is not in force either: what the box shows, what the file
    // holds and what the day gate uses stay one.
    void failedWriteIsReportedAndChangesNothing() {
        QTemporaryDir dir;
        // A folder where the file should be: no write can succeed, even as root.
        QVERIFY(QDir(dir.path()).mkdir(OptionFlags::fileName()));
        OptionFlags flags(dir.path());
        flags.load();
        const StoreResult result = flags.set(OptionFlags::Friday, true);
        QVERIFY(!result.ok);
        QVERIFY(!result.error.isEmpty());
        QVERIFY(!flags.isSet(OptionFlags::Friday));
        QCOMPARE(flags.weekdaysOff(), (std::array<bool, 7>{}));
    }

    void shutdownTimeIsStoredAndRestored() {
        QTemporaryDir dir;
        QCOMPARE(ShutdownTimeFile::load(dir.path()), QString());
        QVERIFY(ShutdownTimeFile::store(dir.path(), ShutdownTimeFile::format(QTime(22, 30, 0))));
        const QByteArray bytes = readAll(dir.filePath(ShutdownTimeFile::fileName()));
        QVERIFY(bytes.contains(gbk(QStringLiteral("[定时器时间设置]"))));
        QVERIFY(bytes.contains(gbk(QStringLiteral("关机时间=22:30:00"))));
        const QString text = ShutdownTimeFile::load(dir.path());
        QCOMPARE(text, QStringLiteral("22:30:00"));
        QCOMPARE(ShutdownTimeFile::parse(text), std::optional<QTime>(QTime(22, 30, 0)));
        QCOMPARE(ShutdownTimeFile::format(QTime(7, 5, 3)), QStringLiteral("07:05:03"));
    }

    void shutdownTimeTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QTime>("time"); // invalid: not a time
        QTest::newRow("stored form") << "22:30:00" << QTime(22, 30, 0);
        QTest::newRow("no zeros") << "7:5:3" << QTime(7, 5, 3);
        QTest::newRow("blanks before numbers") << " 7: 05: 3" << QTime(7, 5, 3);
        QTest::newRow("trailing text") << "06:00:00 am" << QTime(6, 0, 0);
        QTest::newRow("midnight") << "00:00:00" << QTime(0, 0, 0);
        QTest::newRow("empty") << "" << QTime();
        QTest::newRow("word") << "abc" << QTime();
        QTest::newRow("no seconds") << "22:30" << QTime();
        QTest::newRow("hour out of range") << "25:00:00" << QTime();
        QTest::newRow("negative") << "-1:00:00" << QTime();
        QTest::newRow("huge") << "99999999999:00:00" << QTime();
    }
    void shutdownTimeTexts() {
        QFETCH(QString, text);
        QFETCH(QTime, time);
        const std::optional<QTime> parsed = ShutdownTimeFile::parse(text);
        if (time.isValid())
            QCOMPARE(parsed, std::optional<QTime>(time));
        else
            QVERIFY(!parsed);
        QCOMPARE(ShutdownTimeFile::shownTime(text), time.isValid() ? time : QTime(0, 0));
    }

    void wakeAlarmSettingIsStoredAndReadBack() {
        QTemporaryDir dir;
        using Setting = WakeAlarmFile::Setting;
        QCOMPARE(WakeAlarmFile::load(dir.path()), (Setting{false, 5}));
        QVERIFY(WakeAlarmFile::store(dir.path(), Setting{true, 15}));
        QVERIFY(WakeAlarmFile::storeSetAlarm(dir.path(), 1796000000));
        const QString path = dir.filePath(QStringLiteral("定时开机.ini"));
        QCOMPARE(
            readAll(path),
            gbk(QStringLiteral("[定时开机]\r\n启用=1\r\n提前分钟=15\r\n唤醒时间=1796000000\r\n")));
        QCOMPARE(WakeAlarmFile::load(dir.path()), (Setting{true, 15}));
        QCOMPARE(WakeAlarmFile::loadSetAlarm(dir.path()), std::optional<qint64>(1796000000));
        QVERIFY(WakeAlarmFile::storeSetAlarm(dir.path(), std::nullopt));
        QVERIFY(!WakeAlarmFile::loadSetAlarm(dir.path()));
        // Hand edits: a lead outside 1..60 or not a number is the default; only "1" is on.
        for (const char *lead : {"0", "61", "-3", "abc", "1e3"}) {
            writeAll(path, gbk(QStringLiteral("[定时开机]\r\n启用=yes\r\n提前分钟=%1\r\n")
                                   .arg(QLatin1String(lead))));
            QCOMPARE(WakeAlarmFile::load(dir.path()), (Setting{false, 5}));
        }
        writeAll(path,
                 gbk(QStringLiteral("[定时开机]\r\n启用=1\r\n提前分钟= 60 \r\n唤醒时间=x\r\n")));
        QCOMPARE(WakeAlarmFile::load(dir.path()), (Setting{true, 60}));
        QVERIFY(!WakeAlarmFile::loadSetAlarm(dir.path()));
    }
};

QTEST_GUILESS_MAIN(TestSettingsFiles)
#include "test_settings_files.moc"
