// Our code page 936 table against glibc's iconv, which it was generated from, and the
// user-defined areas Windows maps to the Private Use Area.
#include "store/FileEncoding.h"
#include "store/ProfileStore.h"

#include <QTest>

#include <iconv.h>

namespace {

// iconv's reading of one code, or 0 when it refuses it.
char16_t iconvDecode(iconv_t cd, QByteArrayView code) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char16_t out[4] = {};
    char *src = const_cast<char *>(code.data());
    size_t srcLeft = size_t(code.size());
    char *dst = reinterpret_cast<char *>(out);
    size_t dstLeft = sizeof out;
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == size_t(-1) || srcLeft != 0 ||
        dstLeft != sizeof out - 2)
        return 0;
    return out[0];
}

QByteArray code(int lead, int trail) {
    return QByteArray().append(char(lead)).append(char(trail));
}

bool inUserArea(int lead, int trail) {
    return (lead >= 0xAA && lead <= 0xAF && trail >= 0xA1) ||
           (lead >= 0xF8 && lead <= 0xFE && trail >= 0xA1) ||
           (lead >= 0xA1 && lead <= 0xA7 && trail <= 0xA0);
}

} // namespace

class TestCodePage : public QObject {
    Q_OBJECT

private slots:
    void agreesWithIconvAndRoundTripsEveryCode() {
        iconv_t cd = iconv_open("UTF-16LE", "CP936");
        QVERIFY(cd != reinterpret_cast<iconv_t>(-1));
        int defined = 0, userArea = 0;
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                if (trail == 0x7F)
                    continue;
                const QByteArray bytes = code(lead, trail);
                const QString text = Gbk::decode(bytes);
                const char16_t expected = iconvDecode(cd, bytes);
                if (expected) {
                    QCOMPARE(text, QString(QChar(expected)));
                    ++defined;
                } else if (inUserArea(lead, trail)) {
                    QVERIFY(text.size() == 1 && text[0].category() == QChar::Other_PrivateUse);
                    ++userArea;
                } else {
                    QVERIFY2(text.size() == 2 && FileEncodings::isEscape(text[0]),
                             bytes.toHex().constData());
                }
                // Every code, defined or not, is written back as it was.
                QCOMPARE(Gbk::encode(text), std::optional<QByteArray>(bytes));
            }
        }
        QCOMPARE(Gbk::decode("\x80"), QStringLiteral("€"));
        iconv_close(cd);
        QCOMPARE(defined, 21791);
        QCOMPARE(userArea, 1894);
    }

    void userDefinedAreasMapInCodeOrder() {
        QCOMPARE(Gbk::decode(code(0xAA, 0xA1)), QString(QChar(0xE000)));
        QCOMPARE(Gbk::decode(code(0xAF, 0xFE)), QString(QChar(0xE233)));
        QCOMPARE(Gbk::decode(code(0xF8, 0xA1)), QString(QChar(0xE234)));
        QCOMPARE(Gbk::decode(code(0xFE, 0xFE)), QString(QChar(0xE4C5)));
        QCOMPARE(Gbk::decode(code(0xA1, 0x40)), QString(QChar(0xE4C6)));
        QCOMPARE(Gbk::decode(code(0xA1, 0x7E)), QString(QChar(0xE4C6 + 62)));
        QCOMPARE(Gbk::decode(code(0xA1, 0x80)), QString(QChar(0xE4C6 + 63)));
        QCOMPARE(Gbk::decode(code(0xA7, 0xA0)), QString(QChar(0xE765)));
        // Both ways, so text from there can be saved.
        QCOMPARE(Gbk::encode(QString(QChar(0xE234))), std::optional<QByteArray>(code(0xF8, 0xA1)));
        QVERIFY(!Gbk::canEncode(QString(QChar(0xE766))));
    }

    void undecodableBytesAreCarriedAsEscapes() {
        const QByteArray damaged("ab\x81\xff\xa1\x30\x81");
        const QString text = Gbk::decode(damaged);
        QCOMPARE(text.size(), 7);
        QVERIFY(FileEncodings::isEscape(text[2]) && FileEncodings::isEscape(text[3]));
        QCOMPARE(text[5], QLatin1Char('0'));
        QCOMPARE(Gbk::encode(text), std::optional<QByteArray>(damaged));
        // An escape must not join its neighbour into another character when written.
        QString joined = QString(QChar(0xDC81)) + QLatin1Char('@');
        QVERIFY(!Gbk::canEncode(joined));
        // Text no code page holds is still refused.
        QVERIFY(!Gbk::canEncode(QStringLiteral("한")));
        QVERIFY(!Gbk::canEncode(QString(QChar(0xDC41))));
    }

    void utfEncodingsCarryWhatTheyCannotDecode() {
        const QByteArray bytes =
            QByteArray("ok \xC3 \xED\xA0\x80 ") + QStringLiteral("早😀").toUtf8();
        const QString text = FileEncodings::decode(bytes, FileEncoding::Utf8Bom);
        QVERIFY(text.endsWith(QStringLiteral("早😀")));
        QCOMPARE(FileEncodings::encode(text, FileEncoding::Utf8Bom),
                 std::optional<QByteArray>(bytes));
        // UTF-16 keeps even a lone surrogate and an odd last byte.
        const QByteArray utf16("\xFF\xFE\x3D\xD8\x41\x00\x7F", 7);
        QByteArray odd;
        const QByteArray parsed = FileEncodings::toParserBytes(utf16, FileEncoding::Utf16Le, &odd);
        QCOMPARE(odd, QByteArray("\x7F"));
        QCOMPARE(FileEncodings::toFileBytes(parsed, FileEncoding::Utf16Le, odd), utf16);
    }
};

QTEST_GUILESS_MAIN(TestCodePage)
#include "test_code_page.moc"
