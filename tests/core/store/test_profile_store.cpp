#include "TestFiles.h"
#include "store/PlayTask.h"
#include "store/ProfileStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray gbk(const QString &text) {
    return Gbk::encode(text).value();
}

} // namespace

class TestProfileStore : public QObject {
    Q_OBJECT

private slots:
    void readsHandEditedGbkFile() {
        const ProfileFile file =
            ProfileFile::load(QStringLiteral(HORALET_TEST_DATA "/profile-mixed.ini"));
        QCOMPARE(file.sectionNames(),
                 (QStringList{QStringLiteral("FileInfo0"), QStringLiteral("FileInfo1"),
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
        // A line without '=' is a key without a value: it reads as missing.
        QCOMPARE(file.value("FileInfo1", "this line has no key"), std::nullopt);
        QCOMPARE(file.string("nowhere", "Name", "fallback"), QStringLiteral("fallback"));
    }

    void comparesOnlyAsciiLettersWithoutCase() {
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

    void readsIntegersAsLeadingDecimal() {
        ProfileFile file =
            ProfileFile::fromBytes("[s]\r\na= 42abc\r\nb=-7\r\nc=abc\r\nd=\r\ne=+3\r\n"
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

    void writesKeepOtherLinesAndPlaceNewOnes() {
        ProfileFile file = ProfileFile::fromBytes(
            gbk(QStringLiteral("; 注释\r\n[甲]\r\nKeyOne=1\r\n; 节内注释\r\n\r\n[乙]\r\nx=1\r\n")));
        QVERIFY(file.setValue("甲", "keyone", "新值")); // in place, spelling kept
        QVERIFY(file.setValue("甲", "Second", "2"));    // after the last entry
        QVERIFY(file.setValue("丙", "数量", "3"));      // new section at the end
        QCOMPARE(file.toBytes(),
                 gbk(QStringLiteral("; 注释\r\n[甲]\r\nKeyOne=新值\r\n; 节内注释\r\n"
                                    "Second=2\r\n\r\n[乙]\r\nx=1\r\n[丙]\r\n数量=3\r\n")));
    }

    void valuesReadBackExactly() {
        QTemporaryDir dir;
        const QString path = dir.filePath("v.ini");
        const QStringList values = {
            QStringLiteral("  padded  "),   QStringLiteral("\"quoted\""),
            QStringLiteral("'x'"),          QStringLiteral("a=b=c"),
            QStringLiteral("播放任务名称"), QStringLiteral("\\\\server\\歌曲\\早操.mp3"),
            QString(300, QChar(u'歌'))};
        for (int i = 0; i < values.size(); ++i)
            QVERIFY(ProfileStore::writeString(path, "歌曲", QStringLiteral("歌曲名称%1").arg(i),
                                              values[i]));
        for (int i = 0; i < values.size(); ++i)
            QCOMPARE(ProfileStore::readString(path, "歌曲", QStringLiteral("歌曲名称%1").arg(i)),
                     values[i]);
        QVERIFY(readFileBytes(path).startsWith(gbk(QStringLiteral("[歌曲]\r\n歌曲名称0="))));
    }

    void chineseLiteralsRoundTripInCodePage936() {
        const QStringList literals = {QStringLiteral("每天"),
                                      QStringLiteral("指定的一天"),
                                      QStringLiteral("周一周二周三周四周五周六周日"),
                                      QStringLiteral("顺序播放"),
                                      QStringLiteral("循环播放"),
                                      QStringLiteral("随机播放"),
                                      QStringLiteral("歌曲"),
                                      QStringLiteral("歌曲名称0"),
                                      QStringLiteral("多媒体文件数量"),
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

    void refusesWhatCannotBeStored() {
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

    void byteOrderMarkChoosesTheEncodingBothWays_data() {
        QTest::addColumn<QByteArray>("mark");
        QTest::addColumn<QString>("codec");
        QTest::newRow("UTF-8") << QByteArray("\xEF\xBB\xBF") << QStringLiteral("UTF-8");
        QTest::newRow("UTF-16LE") << QByteArray("\xFF\xFE") << QStringLiteral("UTF-16LE");
        QTest::newRow("UTF-16BE") << QByteArray("\xFE\xFF") << QStringLiteral("UTF-16BE");
    }
    void byteOrderMarkChoosesTheEncodingBothWays() {
        QFETCH(QByteArray, mark);
        QFETCH(QString, codec);
        const auto encoded = [&](const QString &text) {
            if (codec == QLatin1String("UTF-8"))
                return text.toUtf8();
            QByteArray out;
            for (QChar c : text) {
                const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
                if (codec == QLatin1String("UTF-16LE"))
                    out.append(lo).append(hi);
                else
                    out.append(hi).append(lo);
            }
            return out;
        };
        QTemporaryDir dir;
        const QString path = dir.filePath("bom.ini");
        QVERIFY(writeFileBytes(
            path, mark + encoded(QStringLiteral("[FileInfo0]\r\nName=早操 한국\r\n"))));
        // The first section is found and the text is not garbled.
        QCOMPARE(ProfileStore::sectionNames(path), QStringList{"FileInfo0"});
        QCOMPARE(ProfileStore::readString(path, "FileInfo0", "Name"), QStringLiteral("早操 한국"));
        // Written back in its own encoding, with its mark, text beyond code page 936 included.
        QVERIFY(ProfileStore::writeString(path, "FileInfo0", "Time", QStringLiteral("08:00:00 😀")));
        QCOMPARE(
            readFileBytes(path),
            mark + encoded(QStringLiteral("[FileInfo0]\r\nName=早操 한국\r\nTime=08:00:00 😀\r\n")));
        QCOMPARE(ProfileFile::encodingOf(path),
                 ProfileFile::fromBytes(readFileBytes(path)).encoding());
        // Numbered keys, as a playlist's items are read, in the file's own encoding.
        const ProfileFile items = ProfileFile::fromBytes(
            mark + encoded(QStringLiteral("[歌曲]\r\n歌曲名称1=b\r\n 歌曲名称0 = a\r\n")));
        QCOMPARE(items.section(QStringLiteral("歌曲")).numbered(QStringLiteral("歌曲名称"), 3),
                 (QStringList{"a", "b", ""}));
    }

    void readsLinesAsWindowsDoes() {
        const ProfileFile file = ProfileFile::fromBytes(
            "[s]\r\nname\r\nname=later\r\n[no close\r\nk2=2\r\n\x0b k3\x0c=\x0b v3 \x1a\r\n"
            "[t]\r\nx=1\x1a");
        // A line without '=' is the key, without a value: found first, read as missing.
        QCOMPARE(file.value("s", "name"), std::nullopt);
        QCOMPARE(file.string("s", "name", "d"), QStringLiteral("d"));
        // '[' without ']' is an ordinary line of the section it stands in.
        QCOMPARE(file.sectionNames(), (QStringList{"s", "t"}));
        QCOMPARE(file.string("s", "k2"), QStringLiteral("2"));
        // \v, \f and 0x1A are blanks too.
        QCOMPARE(file.string("s", "k3"), QStringLiteral("v3"));
        QCOMPARE(file.string("t", "x"), QStringLiteral("1"));
        // A write to the valueless key replaces its line.
        ProfileFile edited = file;
        QVERIFY(edited.setValue("s", "NAME", "x"));
        QVERIFY(edited.toBytes().startsWith("[s]\r\nname=x\r\nname=later\r\n"));
        QVERIFY(edited.setValue("s", "pad", QStringLiteral("\x0cv\x1a")));
        QCOMPARE(ProfileFile::fromBytes(edited.toBytes()).string("s", "pad"),
                 QStringLiteral("\x0cv\x1a"));
    }

    void trailByteOfDoubleByteCharacterIsNoBracket() {
        // "沒" and "慮" end in 0x5D, which is ']' on its own.
        QCOMPARE(gbk(QStringLiteral("沒")).back(), ']');
        QTemporaryDir dir;
        const QString path = dir.filePath("t.ini");
        for (const QString &name :
             {QStringLiteral("沒"), QStringLiteral("慮"), QStringLiteral("沒[")})
            QVERIFY(ProfileStore::writeString(path, name, name, name));
        QCOMPARE(ProfileStore::sectionNames(path),
                 (QStringList{QStringLiteral("沒"), QStringLiteral("慮"), QStringLiteral("沒[")}));
        QCOMPARE(ProfileStore::readString(path, "慮", "慮"), QStringLiteral("慮"));
        QCOMPARE(
            ProfileFile::fromBytes(gbk(QStringLiteral("[沒 ] x\r\nk=1\r\n"))).string("沒", "k"),
            QStringLiteral("1"));
    }

    void refusesKeysAndSectionsThatWouldReadBackOtherwise() {
        ProfileFile file;
        QVERIFY(!file.setValue("s", "[x]", "v"));
        QVERIFY(!file.setValue("s", "[x", "v"));
        QVERIFY(!file.setValue("a]b", "k", "v"));
        // A carried lead byte would swallow the closing bracket.
        QVERIFY(!file.setValue(QString(QChar(0xDC81)), "k", "v"));
        QCOMPARE(file.toBytes(), QByteArray());
        QVERIFY(file.setValue("s", "x[", "v"));
        QCOMPARE(ProfileFile::fromBytes(file.toBytes()).string("s", "x["), QStringLiteral("v"));
    }

    void damagedBytesSurviveARewriteOfOtherValues() {
        QTemporaryDir dir;
        const QString path = dir.filePath("d.ini");
        static const char damaged[] =
            "[s]\r\nbad=\x81\xff\xfe\r\nzero=a\0b\r\n[\xaa\xa1]\r\nk=\xf8\xa1\r\n";
        QVERIFY(writeFileBytes(path, QByteArray(damaged, sizeof damaged - 1)));
        QVERIFY(ProfileStore::writeString(path, "s", "good", QStringLiteral("新")));
        QVERIFY(readFileBytes(path).startsWith(QByteArray(damaged, 24) +
                                               gbk(QStringLiteral("good=新"))));
        // A value read with escapes is written back as the bytes it came from.
        const QString bad = ProfileStore::readString(path, "s", "bad");
        QVERIFY(ProfileStore::writeString(path, "s", "copy", bad));
        QVERIFY(readFileBytes(path).contains("copy=\x81\xff\xfe\r\n"));
        // The user-defined areas read as the Private Use Area.
        QCOMPARE(ProfileStore::readString(path, QString(QChar(0xE000)), "k"),
                 QString(QChar(0xE234)));
    }

    void missingFileReadsAsEmpty() {
        QTemporaryDir dir;
        const QString path = dir.filePath("none.ini");
        QVERIFY(ProfileStore::sectionNames(path).isEmpty());
        QCOMPARE(ProfileStore::readString(path, "a", "b", "d"), QStringLiteral("d"));
        QCOMPARE(ProfileStore::readInt(path, "a", "b", 9), 9);
        QVERIFY(ProfileStore::deleteFile(path));
        QVERIFY(!QFile::exists(path));
    }

    void writeFailureIsReported() {
        QTemporaryDir dir;
        // A directory in the file's place cannot be replaced.
        QVERIFY(QDir(dir.path()).mkdir("blocked.ini"));
        const StoreResult r = ProfileStore::writeString(dir.filePath("blocked.ini"), "s", "k", "v");
        QVERIFY(!r.ok);
        QVERIFY(!r.error.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void rewriteKeepsPermissionsAndLeavesNoTemporaryFile() {
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
