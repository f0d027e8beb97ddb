#include "Terminal.h"

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <iconv.h>
#include <langinfo.h>

namespace {

bool isUtf8OrAscii(const QByteArray &codeset) {
    const QByteArray name = codeset.toUpper();
    return name.isEmpty() || name == "UTF-8" || name == "UTF8" || name == "ANSI_X3.4-1968" ||
           name == "ASCII" || name == "US-ASCII";
}

// The locale the environment names for character types, as setlocale(LC_CTYPE, "") reads it.
QByteArray localeName() {
    for (const char *variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const QByteArray value = qgetenv(variable);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

} // namespace

namespace Terminal {

QByteArray codeset() {
    QByteArray name;
    if (locale_t locale = newlocale(LC_CTYPE_MASK, "", locale_t(nullptr))) {
        name = nl_langinfo_l(CODESET, locale);
        freelocale(locale);
    } else {
        // A locale the system lacks still tells how the terminal was set up: zh_CN.GBK@x.
        const QByteArray full = localeName();
        const qsizetype dot = full.indexOf('.');
        if (dot >= 0) {
            name = full.mid(dot + 1);
            name.truncate(name.indexOf('@') < 0 ? name.size() : name.indexOf('@'));
        }
    }
    return isUtf8OrAscii(name) ? QByteArray() : name;
}

QByteArray encode(const QString &text, const QByteArray &codeset) {
    QByteArray utf8 = text.toUtf8();
    if (isUtf8OrAscii(codeset))
        return utf8;
    const iconv_t cd = iconv_open(codeset.constData(), "UTF-8");
    if (cd == iconv_t(-1))
        return utf8;
    QByteArray out;
    char buffer[4096];
    char *in = utf8.data();
    size_t inLeft = size_t(utf8.size());
    while (inLeft > 0) {
        char *to = buffer;
        size_t toLeft = sizeof buffer;
        const size_t done = iconv(cd, &in, &inLeft, &to, &toLeft);
        out.append(buffer, to - buffer);
        if (done != size_t(-1) || errno == E2BIG)
            continue;
        // A character the code set lacks (or broken UTF-8): one '?' for the whole character.
        out.append('?');
        do {
            ++in;
            --inLeft;
        } while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80);
    }
    char *to = buffer;
    size_t toLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &to, &toLeft); // the shift state back to the start
    out.append(buffer, to - buffer);
    iconv_close(cd);
    return out;
}

void write(std::FILE *stream, const QString &text) {
    static const QByteArray terminalCodeset = codeset();
    const QByteArray bytes = encode(text, terminalCodeset);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void installMessageHandler() {
    qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            const QString line = qFormatLogMessage(type, context, message);
            if (!line.isNull())
                write(stderr, line + QLatin1Char('\n'));
        });
}

} // namespace Terminal
