#include "program/CommandLine.h"
#include "program/Terminal.h"
#include "store/ProfileStore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {
CommandLine parse(const QStringList &options) {
    return CommandLine::parse(QStringList{QStringLiteral("/usr/bin/horalet")} + options);
}

// The program's environment without a display, a session or a store of the caller's.
QProcessEnvironment bareEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "HORALET_STORE_DIR"})
        env.remove(QString::fromLatin1(name));
    return env;
}

// A terminal set up for GBK. Where the system lacks the locale, one is built here; the
// name alone tells the program the code set either way.
QProcessEnvironment gbkEnvironment(const QString &localeDir) {
    QProcess::execute(QStringLiteral("localedef"),
                      {"-i", "zh_CN", "-f", "GBK", localeDir + QStringLiteral("/zh_CN.GBK")});
    QProcessEnvironment env = bareEnvironment();
    env.remove(QStringLiteral("LC_ALL"));
    env.remove(QStringLiteral("LC_CTYPE"));
    env.insert(QStringLiteral("LOCPATH"), localeDir);
    env.insert(QStringLiteral("LANG"), QStringLiteral("zh_CN.GBK"));
    return env;
}

QByteArray gbk(const QString &text) {
    return Gbk::encode(text).value_or(QByteArray("not GBK"));
}

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
    QByteArray rawOut;
    QByteArray rawErr;
};

Run runProgram(const QStringList &arguments, const QProcessEnvironment &env = bareEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(HORALET_EXE), arguments);
    Run run;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.rawOut = process.readAllStandardOutput();
    run.rawErr = process.readAllStandardError();
    run.out = QString::fromUtf8(run.rawOut);
    run.err = QString::fromUtf8(run.rawErr);
    return run;
}
} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void optionsAreRead() {
        QCOMPARE(parse({}).action, CommandLine::Action::Run);
        QVERIFY(!parse({}).minimized);
        QVERIFY(parse({"--minimized"}).minimized);
        QCOMPARE(parse({"--store", "/srv/bells"}).storeDirectory, QStringLiteral("/srv/bells"));
        QCOMPARE(parse({"--store=/srv/bells"}).storeDirectory, QStringLiteral("/srv/bells"));
        QCOMPARE(parse({"--store", "/srv/铃声 目录", "--minimized"}).storeDirectory,
                 QStringLiteral("/srv/铃声 目录"));
        // Qt's own options are the application object's business, not a wrong command line.
        const CommandLine withQt =
            parse({"-platform", "offscreen", "-style", "fusion", "-reverse"});
        QCOMPARE(withQt.action, CommandLine::Action::Run);
        QCOMPARE(withQt.exitCode(), 0);
    }

    void helpAndVersionAnswerAndEnd() {
        for (const char *option : {"--help", "-h"}) {
            const CommandLine help = parse({option});
            QCOMPARE(help.action, CommandLine::Action::ShowHelp);
            QCOMPARE(help.exitCode(), 0);
            QVERIFY(help.output.startsWith(QStringLiteral("用法: horalet")));
            for (const char *name : {"--minimized", "--store <目录>", "--version", "--help"})
                QVERIFY2(help.output.contains(QString::fromUtf8(name)), name);
            QVERIFY(help.output.contains(QStringLiteral("HORALET_STORE_DIR")));
            QVERIFY(!help.output.contains(QStringLiteral("platform"))); // hidden Qt options
            // Descriptions start in one terminal column, Chinese counting two, and no line
            // runs past 79 columns.
            QSet<int> starts;
            for (const QString &line : help.output.split(QLatin1Char('\n'))) {
                int columns = 0;
                for (char32_t c : line.toUcs4())
                    columns += c >= 0x2E80 && c <= 0xFFE6 ? 2 : 1;
                QVERIFY2(columns <= 79, qPrintable(line));
                QVERIFY2(!line.trimmed().startsWith(QStringLiteral("。")), qPrintable(line));
                if (line.startsWith(QStringLiteral("  -"))) {
                    const qsizetype at = line.indexOf(QStringLiteral("  "), 3);
                    const QString left = line.left(at);
                    int start = 0;
                    for (char32_t c : left.toUcs4())
                        start += c >= 0x2E80 && c <= 0xFFE6 ? 2 : 1;
                    for (qsizetype i = at; i < line.size() && line[i] == u' '; ++i)
                        ++start;
                    starts << start;
                }
            }
            QCOMPARE(starts.size(), 1);
        }
        const CommandLine version = parse({"--version"});
        QCOMPARE(version.action, CommandLine::Action::ShowVersion);
        QCOMPARE(version.exitCode(), 0);
        QCOMPARE(version.output, QStringLiteral("Horalet " HORALET_PROJECT_VERSION "\n"));
    }

    void wrongCommandLinesEndWithTheUsage_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("reason");
        QTest::newRow("unknown long") << QStringList{"--bogus"} << "未知选项：--bogus";
        QTest::newRow("unknown short") << QStringList{"-x"} << "未知选项：-x";
        QTest::newRow("store without value") << QStringList{"--store"} << "选项 --store 缺少取值";
        QTest::newRow("value for a flag")
            << QStringList{"--minimized=1"} << "选项 --minimized 不接受取值";
        QTest::newRow("empty store") << QStringList{"--store", ""} << "--store";
        QTest::newRow("stray argument") << QStringList{"song.ini"} << "多余的参数：song.ini";
    }
    void wrongCommandLinesEndWithTheUsage() {
        QFETCH(QStringList, options);
        QFETCH(QString, reason);
        const CommandLine wrong = parse(options);
        QCOMPARE(wrong.action, CommandLine::Action::Error);
        QCOMPARE(wrong.exitCode(), 2);
        QVERIFY2(wrong.output.startsWith(reason) || wrong.output.contains(reason),
                 qPrintable(wrong.output));
        QVERIFY(wrong.output.contains(QStringLiteral("用法: horalet")));
    }

    // The real program: these answer before any window, so no display is needed.
    void programAnswersWithoutADisplay() {
        const Run version = runProgram({"--version"});
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, QStringLiteral("Horalet " HORALET_PROJECT_VERSION "\n"));

        const Run help = runProgram({"--help"});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.contains(QStringLiteral("--minimized")));

        const Run wrong = runProgram({"--no-such-option"});
        QCOMPARE(wrong.exitCode, 2);
        QVERIFY(wrong.out.isEmpty());
        QVERIFY(wrong.err.contains(QStringLiteral("未知选项：--no-such-option")));
        QVERIFY(wrong.err.contains(QStringLiteral("用法: horalet")));

        // In the terminal's own encoding, not Qt's UTF-8.
        QTemporaryDir locales;
        const QProcessEnvironment gbkTerminal = gbkEnvironment(locales.path());
        QCOMPARE(runProgram({"--help"}, gbkTerminal).rawOut, gbk(help.out));
        const Run gbkWrong = runProgram({"--no-such-option"}, gbkTerminal);
        QCOMPARE(gbkWrong.exitCode, 2);
        QCOMPARE(gbkWrong.rawErr, gbk(wrong.err));
        // What the code set lacks is a question mark, never a broken byte sequence.
        QCOMPARE(Terminal::encode(QStringLiteral("铃😀!"), "GBK"), gbk(QStringLiteral("铃?!")));
        QCOMPARE(Terminal::encode(QStringLiteral("铃😀"), {}), QStringLiteral("铃😀").toUtf8());
    }

    // --store wins over HORALET_STORE_DIR; SIGTERM ends the program normally. What it tells
    // the terminal names what is missing, in the terminal's encoding.
    void storeOptionWinsOverTheVariable() {
        QTemporaryDir fromVariable;
        QTemporaryDir fromOption;
        QTemporaryDir config;
        QProcessEnvironment env = gbkEnvironment(config.path());
        const QString noBus = config.filePath(QStringLiteral("no-bus"));
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=") + noBus);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HORALET_STORE_DIR"), fromVariable.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), config.path());
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(HORALET_EXE), {"--store", fromOption.path()});
        QVERIFY(program.waitForStarted());
        const QString lock = QDir(fromOption.path()).filePath(QStringLiteral(".horalet.lock"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lock), 20000);
        QVERIFY(
            !QFile::exists(QDir(fromVariable.path()).filePath(QStringLiteral(".horalet.lock"))));
        QTest::qWait(500); // let the event loop run
        QCOMPARE(program.state(), QProcess::Running);

        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(!QFile::exists(lock)); // released on the way out
        const QString told = Gbk::decode(program.readAllStandardError());
        QVERIFY2(told.contains(QStringLiteral("系统总线不可用（文件或目录不存在）")) &&
                     told.contains(noBus),
                 qPrintable(told));
        QVERIFY2(!told.contains(QStringLiteral("errno")), qPrintable(told));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
