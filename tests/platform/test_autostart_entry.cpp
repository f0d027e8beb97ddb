#include "platform/AutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {
QString readText(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

void writeText(const QString &path, const QByteArray &text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}
} // namespace

class TestAutostartEntry : public QObject {
    Q_OBJECT
    QTemporaryDir m_config;

private slots:
    void init() {
        QVERIFY(m_config.isValid());
        QDir(m_config.path()).removeRecursively();
        QDir().mkpath(m_config.path());
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    }

    void fileLivesUnderTheConfigHome() {
        QCOMPARE(AutostartEntry::filePath(), m_config.path() + "/autostart/horalet.desktop");
        // A relative XDG_CONFIG_HOME is invalid and ignored, as the base directory rules say.
        qputenv("XDG_CONFIG_HOME", "relative/config");
        QCOMPARE(AutostartEntry::filePath(),
                 QDir::homePath() + "/.config/autostart/horalet.desktop");
    }

    void execArgumentsAreQuoted_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("quoted");
        QTest::newRow("plain") << "/usr/bin/horalet"
                               << "/usr/bin/horalet";
        QTest::newRow("blank") << "/opt/my apps/horalet"
                               << "\"/opt/my apps/horalet\"";
        QTest::newRow("quote and dollar") << "/tmp/a\"b$c"
                                          << "\"/tmp/a\\\"b\\$c\"";
        QTest::newRow("backslash") << "/tmp/a\\b"
                                   << "\"/tmp/a\\\\b\"";
        QTest::newRow("percent") << "/tmp/100%"
                                 << "/tmp/100%%";
        QTest::newRow("chinese") << "/home/用户/铃声"
                                 << "/home/用户/铃声";
    }
    void execArgumentsAreQuoted() {
        QFETCH(QString, argument);
        QFETCH(QString, quoted);
        QCOMPARE(AutostartEntry::quoteExecArgument(argument), quoted);
    }

    void enableWritesAnEntryAndDisableRemovesIt() {
        QVERIFY(!AutostartEntry::isEnabled());
        QString error;
        // The autostart folder does not exist yet: it is made.
        QVERIFY2(AutostartEntry::enable("/opt/my apps/horalet", {}, &error), qPrintable(error));
        QVERIFY(AutostartEntry::isEnabled());
        const QString text = readText(AutostartEntry::filePath());
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        // The string-value escape doubles the backslashes the Exec quoting needs; none here.
        QVERIFY(text.contains("\nExec=\"/opt/my apps/horalet\" --minimized\n"));
        QVERIFY(text.contains("\nType=Application\n"));

        QVERIFY(AutostartEntry::enable("/usr/bin/horalet", "/srv/bells/铃声", &error));
        QVERIFY(readText(AutostartEntry::filePath())
                    .contains("\nExec=/usr/bin/horalet --minimized --store /srv/bells/铃声\n"));

        QVERIFY(AutostartEntry::disable(&error));
        QVERIFY(!QFile::exists(AutostartEntry::filePath()));
        QVERIFY(!AutostartEntry::isEnabled());
        QVERIFY(AutostartEntry::disable(&error)); // nothing to remove is no failure
    }

    void entryPassesTheDesktopFileValidator() {
        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        if (validator.isEmpty())
            QSKIP("desktop-file-validate (desktop-file-utils) is not installed");
        QString error;
        QVERIFY(AutostartEntry::enable("/opt/a \"b\"/horalet", "/srv/x$y", &error));
        QProcess check;
        check.start(validator, {AutostartEntry::filePath()});
        QVERIFY(check.waitForFinished());
        QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput().constData());
    }

    void switchedOffEntriesDoNotCount() {
        QDir().mkpath(m_config.path() + "/autostart");
        writeText(AutostartEntry::filePath(), "[Desktop Entry]\nType=Application\nExec=horalet\n"
                                              "Hidden=true\n");
        QVERIFY(!AutostartEntry::isEnabled());
        writeText(AutostartEntry::filePath(), "[Desktop Entry]\nExec=horalet\n"
                                              "X-GNOME-Autostart-enabled=false\n");
        QVERIFY(!AutostartEntry::isEnabled());
        writeText(AutostartEntry::filePath(), "[Desktop Entry]\nExec=horalet\n");
        QVERIFY(AutostartEntry::isEnabled());
        // Ticking again replaces the switched-off entry with a working one.
        writeText(AutostartEntry::filePath(), "[Desktop Entry]\nExec=horalet\nHidden=true\n");
        QString error;
        QVERIFY(AutostartEntry::enable("/usr/bin/horalet", {}, &error));
        QVERIFY(AutostartEntry::isEnabled());
        // A pipe in the entry's place is no entry, and never holds the start.
        QVERIFY(QFile::remove(AutostartEntry::filePath()));
        QVERIFY(::mkfifo(QFile::encodeName(AutostartEntry::filePath()).constData(), 0600) == 0);
        ::alarm(30);
        QVERIFY(!AutostartEntry::isEnabled());
        ::alarm(0);
    }

    void failuresAreReportedNotHidden() {
        // A file where the autostart folder should be: nothing can be written below it.
        writeText(m_config.path() + "/autostart", "not a folder");
        QString error;
        QVERIFY(!AutostartEntry::enable("/usr/bin/horalet", {}, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!AutostartEntry::isEnabled());
        QVERIFY(QFile::remove(m_config.path() + "/autostart"));

        // A non-empty folder in the file's place cannot be removed as a file.
        QVERIFY(QDir().mkpath(AutostartEntry::filePath() + "/inside"));
        error.clear();
        QVERIFY(!AutostartEntry::enable("/usr/bin/horalet", {}, &error));
        QVERIFY(!error.isEmpty());
        error.clear();
        QVERIFY(!AutostartEntry::disable(&error));
        QVERIFY(!error.isEmpty());
        QVERIFY(QDir(AutostartEntry::filePath()).exists()); // left as it was
    }
};

QTEST_GUILESS_MAIN(TestAutostartEntry)
#include "test_autostart_entry.moc"
