#include "store/PlayTask.h"
#include "TestFiles.h"
#include "store/ProfileStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray gbk(const QString &text) { return Gbk::encode(text).value(); }

} // namespace

class TestProfileStore : public QObject {
    Q_OBJECT

private slots:
    void readsHandEditedGbkFile()
    {
        const ProfileFile file = ProfileFile::load(QStringLiteral(HORALET_TEST_DATA "/profile-mixed.ini"));
        QCOMPARE(file.sectionNames(), (QStringList{QStringLiteral("FileInfo0"), QStringLiteral("FileInfo1"),
                                                    QStringLiteral("手工节"), QStringLiteral("fileinfo1")}));
        // Blanks around keys and values are ignored, one pair of quotes is dropped.
        QCOMPARE(file.string("FileInfo0", "Name"), QStringLiteral("早操音乐"));
        QCOMPARE(file.string("FileInfo0", "Type"), QStringLiteral("60000"));
        QCOMPARE(file.string("FileInfo0", "Device"), QStringLiteral("周一周五"));
        // "k=" is an empty value, not a missing key.
        QCOMPARE(file.value("FileInfo0", "Notes"), std::optional<QString>(QString()));
        QCOMPARE(file.value("FileInfo0", "Missing"), std::nullopt);
        // LF and lone CR end lines too; text after the closing bracket is ignored.
        QCOMPARE(file.string("FileInfo1", "Time"), QStringLiteral("2012-05-01 08:30:00"));
        QCOMPARE(file.string("FileInfo1", "Duration"), QStringLiteral("2012-05-01 08:45:00"));
        QCOMPARE(file.string("FileInfo1", "Type"), QStringLiteral(" 50000 "));
        // The first of two equal sections and keys wins; names are compared without case.
        QCOMPARE(file.string("fileinfo1", "name"), QStringLiteral("眼保健操"));
        QCOMPARE(file.string("手工节", "NAME"), QStringLiteral("手工任务"));
        // A line without '=' holds no key.
        QCOMPARE(file.value("FileInfo1", "this line has no key"), std::nullopt);
        QCOMPARE(file.string("nowhere", "Name", "fallback"), QStringLiteral("fallback"));
    }

    void comparesOnlyAsciiLettersWithoutCase()
    {
        // Two double-byte characters whose trail bytes differ only in ASCII case.
        const QString upper = Gbk::decode(QByteArray("\x81\x41"));
        const QString lower = Gbk::decode(QByteArray("\x81\x61"));
        QVERIFY(upper != lower);
        ProfileFile file;
        QVERIFY(file.setValue("S", upper, "one"));
        QVERIFY(file.setValue("S", lower, "two"));
        QCOMPARE(file.string("s", upper), QStringLiteral("one"));
        QCOMPARE(file.string("s", lower), QStringLiteral("two"));
        QVERIFY(file.setValue("Sect", "Key", "v"));
        QCOMPARE(file.string(" SECT\t", " kEY "), QStringLiteral("v"));
    }

    void readsIntegersAsLeadingDecimal()
    {
        ProfileFile file = ProfileFile::fromBytes("[s]\r\na= 42abc\r\nb=-7\r\nc=abc\r\nd=\r\ne=+3\r\n"
                                                  "f=99999999999\r\n");
        QCOMPARE(file.integer("s", "a", 5), 42);
        QCOMPARE(file.integer("s", "b", 5), -7);
        QCOMPARE(file.integer("s", "c", 5), 0);
        QCOMPARE(file.integer("s", "d", 5), 5);
        QCOMPARE(file.integer("s", "e", 5), 3);
        QCOMPARE(file.integer("s", "f", 5), std::numeric_limits<int>::max());
        QCOMPARE(file.integer("s", "missing", 5), 5);
        QCOMPARE(leadingInt(QStringLiteral("\t 30000 ")), 30000);
        QCOMPARE(leadingInt(QStringLiteral("五万")), 0);
    }

    void writesKeepOtherLinesAndPlaceNewOnes()
    {
        ProfileFile file = ProfileFile::fromBytes(gbk(QStringLiteral(
            "; 注释\r\n[甲]\r\nKeyOne=1\r\n; 节内注释\r\n\r\n[乙]\r\nx=1\r\n")));
        QVERIFY(file.setValue("甲", "keyone", "新值"));     // in place, spelling kept
        QVERIFY(file.setValue("甲", "Second", "2"));        // after the last entry
        QVERIFY(file.setValue("丙", "数量", "3"));          // new section at the end
        QCOMPARE(file.toBytes(), gbk(QStringLiteral("; 注释\r\n[甲]\r\nKeyOne=新值\r\n; 节内注释\r\n"
                                                    "Second=2\r\n\r\n[乙]\r\nx=1\r\n[丙]\r\n数量=3\r\n")));
    }

    void valuesReadBackExactly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("v.ini");
        const QStringList values = {QStringLiteral("  padded  "), QStringLiteral("\"quoted\""),
                                    QStringLiteral("'x'"), QStringLiteral("a=b=c"),
                                    QStringLiteral("播放任务名称"), QStringLiteral("\\\\server\\歌曲\\早操.mp3"),
                                    QString(300, QChar(u'歌'))};
        for (int i = 0; i < values.size(); ++i)
            QVERIFY(ProfileStore::writeString(path, "歌曲", QStringLiteral("歌曲名称%1").arg(i), values[i]));
        for (int i = 0; i < values.size(); ++i)
            QCOMPARE(ProfileStore::readString(path, "歌曲", QStringLiteral("歌曲名称%1").arg(i)), values[i]);
        QVERIFY(readFileBytes(path).startsWith(gbk(QStringLiteral("[歌曲]\r\n歌曲名称0="))));
    }

    void chineseLiteralsRoundTripInCodePage936()
    {
        const QStringList literals = {
            QStringLiteral("每天"), QStringLiteral("指定的一天"), QStringLiteral("周一周二周三周四周五周六周日"),
            QStringLiteral("顺序播放"), QStringLiteral("循环播放"), QStringLiteral("随机播放"),
            QStringLiteral("歌曲"), QStringLiteral("歌曲名称0"), QStringLiteral("多媒体文件数量"),
            QStringLiteral("数量")};
        QTemporaryDir dir;
        const QString path = dir.filePath("lit.ini");
        for (const QString &text : literals)
            QVERIFY(ProfileStore::writeString(path, text, text, text));
        const QByteArray bytes = readFileBytes(path);
        for (const QString &text : literals) {
            QCOMPARE(ProfileStore::readString(path, text, text), text);
            QVERIFY(bytes.contains(gbk(text) + '=' + gbk(text)));
        }
        QCOMPARE(gbk(QStringLiteral("每天")), QByteArray("\xC3\xBF\xCC\xEC"));
    }

    void refusesWhatCannotBeStored()
    {
        ProfileFile file;
        QVERIFY(!file.setValue("s", "k", QStringLiteral("한국어")));
        QVERIFY(!file.setValue("s", "k", QStringLiteral("two\nlines")));
        QVERIFY(!file.setValue("s", "a=b", "v"));
        QVERIFY(!file.setValue("s", "", "v"));
        const StoreResult r = file.setValue("s", "k", QStringLiteral("😀"));
        QVERIFY(!r.ok);
        QVERIFY(r.error.contains(QStringLiteral("无法保存")));
        QCOMPARE(file.toBytes(), QByteArray());
    }

    void missingFileReadsAsEmpty()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("none.ini");
        QVERIFY(ProfileStore::sectionNames(path).isEmpty());
        QCOMPARE(ProfileStore::readString(path, "a", "b", "d"), QStringLiteral("d"));
        QCOMPARE(ProfileStore::readInt(path, "a", "b", 9), 9);
        QVERIFY(ProfileStore::deleteFile(path));
        QVERIFY(!QFile::exists(path));
    }

    void writeFailureIsReported()
    {
        QTemporaryDir dir;
        // A directory in the file's place cannot be replaced.
        QVERIFY(QDir(dir.path()).mkdir("blocked.ini"));
        const StoreResult r = ProfileStore::writeString(dir.filePath("blocked.ini"), "s", "k", "v");
        QVERIFY(!r.ok);
        QVERIFY(!r.error.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void rewriteKeepsPermissionsAndLeavesNoTemporaryFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("p.ini");
        QVERIFY(writeFileBytes(path, "[s]\r\nk=1\r\n"));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        QVERIFY(ProfileStore::writeString(path, "s", "k", "2"));
        QCOMPARE(QFile::permissions(path) & 0x0FFF,
                 QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"p.ini"});
        QCOMPARE(readFileBytes(path), QByteArray("[s]\r\nk=2\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestProfileStore)
#include "test_profile_store.moc"
