#include "program/HelpTargets.h"
#include "program/MakerInfo.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
void touch(const QString &path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}
} // namespace

class TestHelpTargets : public QObject {
    Q_OBJECT
private slots:
    void init() {
        qputenv("XDG_DATA_HOME", "/nonexistent/horalet-test-data");
        qputenv("XDG_DATA_DIRS", "/nonexistent/horalet-test-dirs");
    }

    // Beside the program (build tree, carried along), then the install prefix, then the
    // data directories; Help.chm before all of them.
    void manualIsLookedForInOrder() {
        QTemporaryDir root;
        const QString bin = root.filePath("usr/bin");
        const QString data = root.filePath("data");
        qputenv("XDG_DATA_DIRS", data.toLocal8Bit());
        QDir().mkpath(bin);
        QCOMPARE(HelpTargets::manualFile(bin), QString());
        QCOMPARE(HelpTargets::helpFile(bin), QString());

        const QString fromData = data + "/horalet/help/index.html";
        touch(fromData);
        QCOMPARE(HelpTargets::manualFile(bin), fromData);
        const QString fromPrefix = root.filePath("usr/share/horalet/help/index.html");
        touch(fromPrefix);
        QCOMPARE(HelpTargets::manualFile(bin), fromPrefix);
        const QString beside = bin + "/help/index.html";
        touch(beside);
        QCOMPARE(HelpTargets::manualFile(bin), beside);
        QCOMPARE(HelpTargets::helpFile(bin), beside);

        touch(bin + "/Help.chm");
        QCOMPARE(HelpTargets::helpFile(bin), bin + "/Help.chm");
        // A folder named like the manual is no manual.
        QVERIFY(QFile::remove(beside));
        QVERIFY(QDir().mkpath(beside));
        QCOMPARE(HelpTargets::manualFile(bin), fromPrefix);
    }

    void contactTextShowsWhatIsConfigured() {
        QCOMPARE(MakerInfo::contactLineFor({}, {}), QStringLiteral("Horalet 定时播放"));
        QCOMPARE(MakerInfo::contactLineFor("https://bells.cn/", "help@bells.cn"),
                 QStringLiteral("Horalet 定时播放  主页: https://bells.cn/  邮箱: help@bells.cn"));

        const QString bare = MakerInfo::contactHtmlFor({}, {});
        QVERIFY(bare.contains("<a href=\"horalet:manual\">软件使用说明</a>"));
        QVERIFY(!bare.contains("mailto:"));

        const QString full =
            MakerInfo::contactHtmlFor("https://bells.cn/?a=1&b=2", "help@bells.cn");
        QVERIFY(full.contains("<a href=\"https://bells.cn/?a=1&amp;b=2\">"));
        QVERIFY(full.contains("<a href=\"mailto:help@bells.cn\">help@bells.cn</a>"));
        QVERIFY(!full.contains("horalet:manual"));
    }

    void homePageOpensAsAWebAddressAndNeverAsAFile() {
        const QString manual = "/usr/share/doc/horalet/index.html";
        QCOMPARE(MakerInfo::homePageUrlFor("www.example.com", manual),
                 QUrl("http://www.example.com"));
        QCOMPARE(MakerInfo::homePageUrlFor("https://bells.cn/a?b=1", manual),
                 QUrl("https://bells.cn/a?b=1"));
        QCOMPARE(MakerInfo::homePageUrlFor({}, manual), QUrl::fromLocalFile(manual));
        QVERIFY(MakerInfo::homePageUrlFor({}, {}).isEmpty());
        QVERIFY(MakerInfo::contactHtmlFor("www.example.com", {})
                    .contains("<a href=\"http://www.example.com\">www.example.com</a>"));
        QVERIFY(!MakerInfo::copyright().isEmpty());
    }

    void versionIsTheProjects() {
        QCOMPARE(MakerInfo::version(), QStringLiteral(HORALET_PROJECT_VERSION));
    }
};

QTEST_GUILESS_MAIN(TestHelpTargets)
#include "test_help_targets.moc"
