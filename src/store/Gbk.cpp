#include "ProfileStore.h"

#include <iconv.h>

#include <cerrno>

namespace {

bool isAscii(QByteArrayView bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// One descriptor per direction and thread: opening iconv per value would dominate the
// cost of reading ten thousand tasks.
class Converter {
public:
    Converter(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    // Strict when asked: an unconvertible character fails the whole text.
    std::optional<QByteArray> run(QByteArrayView in, bool strict)
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            return std::nullopt;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        QByteArray out(in.size() * 2 + 8, Qt::Uninitialized);
        char *src = const_cast<char *>(in.constData());
        size_t srcLeft = static_cast<size_t>(in.size());
        char *dst = out.data();
        size_t dstLeft = static_cast<size_t>(out.size());
        while (srcLeft > 0) {
            if (iconv(m_cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1))
                continue;
            if (errno == E2BIG) {
                const qsizetype used = dst - out.data();
                out.resize(out.size() * 2);
                dst = out.data() + used;
                dstLeft = static_cast<size_t>(out.size() - used);
                continue;
            }
            if (strict)
                return std::nullopt;
            // Lenient decode: show a byte the code page does not define as U+FFFD and go on.
            static const char replacement[] = "\xEF\xBF\xBD";
            if (dstLeft < 3) {
                const qsizetype used = dst - out.data();
                out.resize(out.size() * 2);
                dst = out.data() + used;
                dstLeft = static_cast<size_t>(out.size() - used);
            }
            memcpy(dst, replacement, 3);
            dst += 3;
            dstLeft -= 3;
            ++src;
            --srcLeft;
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        out.resize(dst - out.data());
        return out;
    }

private:
    iconv_t m_cd;
};

} // namespace

namespace Gbk {

std::optional<QByteArray> encode(const QString &text)
{
    QByteArray utf8 = text.toUtf8();
    if (isAscii(utf8))
        return utf8;
    thread_local Converter toGbk("CP936", "UTF-8");
    return toGbk.run(utf8, true);
}

QString decode(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes.data(), bytes.size());
    thread_local Converter fromGbk("UTF-8", "CP936");
    return QString::fromUtf8(fromGbk.run(bytes, false).value_or(QByteArray()));
}

bool canEncode(const QString &text) { return encode(text).has_value(); }

} // namespace Gbk
