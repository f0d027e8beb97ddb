#include "FileEncoding.h"

#include "ProfileStore.h"

namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

QChar escape(uchar b) {
    return QChar(char16_t(FileEncodings::kEscapeBase + b));
}

bool continuation(uchar b) {
    return (b & 0xC0) == 0x80;
}

// UTF-8; with lone surrogates allowed (generalised UTF-8) when wide is set.
QString decodeUtf8(QByteArrayView bytes, bool wide) {
    QString out;
    out.reserve(bytes.size());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const auto b = uchar(bytes[i]);
        if (b < 0x80) {
            out += QChar(b);
            ++i;
            continue;
        }
        int length = 0;
        char32_t code = 0;
        uchar low = 0x80, high = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            code = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            code = b & 0x0F;
            if (b == 0xE0)
                low = 0xA0;
            else if (b == 0xED && !wide)
                high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            code = b & 0x07;
            if (b == 0xF0)
                low = 0x90;
            else if (b == 0xF4)
                high = 0x8F;
        }
        bool valid = length > 0 && i + length <= n;
        for (int k = 1; valid && k < length; ++k) {
            const auto c = uchar(bytes[i + k]);
            valid = continuation(c) && (k > 1 || (c >= low && c <= high));
            code = code << 6 | (c & 0x3F);
        }
        if (!valid) {
            out += escape(b);
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            out += QChar(QChar::highSurrogate(code));
            out += QChar(QChar::lowSurrogate(code));
        } else {
            out += QChar(char16_t(code));
        }
        i += length;
    }
    return out;
}

std::optional<QByteArray> encodeUtf8(const QString &text, bool wide) {
    QByteArray out;
    out.reserve(text.size() * 3);
    bool escaped = false;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t u = text[i].unicode();
        if (u < 0x80) {
            out += char(u);
            continue;
        }
        if (QChar::isHighSurrogate(u) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            u = QChar::surrogateToUcs4(char16_t(u), text[++i].unicode());
        } else if (QChar::isSurrogate(u) && !wide) {
            if (!FileEncodings::isEscape(QChar(char16_t(u))))
                return std::nullopt;
            out += char(u - FileEncodings::kEscapeBase);
            escaped = true;
            continue;
        }
        if (u < 0x800) {
            out += char(0xC0 | u >> 6);
        } else if (u < 0x10000) {
            out += char(0xE0 | u >> 12);
            out += char(0x80 | (u >> 6 & 0x3F));
        } else {
            out += char(0xF0 | u >> 18);
            out += char(0x80 | (u >> 12 & 0x3F));
            out += char(0x80 | (u >> 6 & 0x3F));
        }
        out += char(0x80 | (u & 0x3F));
    }
    if (escaped && decodeUtf8(out, wide) != text)
        return std::nullopt;
    return out;
}

bool bigEndian(FileEncoding encoding) {
    return encoding == FileEncoding::Utf16Be;
}

} // namespace

namespace FileEncodings {

FileEncoding detect(QByteArrayView fileBytes) {
    if (fileBytes.startsWith(QByteArrayView(kUtf8Bom, 3)))
        return FileEncoding::Utf8Bom;
    if (fileBytes.startsWith("\xFF\xFE"))
        return FileEncoding::Utf16Le;
    if (fileBytes.startsWith("\xFE\xFF"))
        return FileEncoding::Utf16Be;
    return FileEncoding::Cp936;
}

QByteArray toParserBytes(const QByteArray &fileBytes, FileEncoding encoding, QByteArray *oddByte) {
    switch (encoding) {
    case FileEncoding::Cp936:
        return fileBytes;
    case FileEncoding::Utf8Bom:
        return fileBytes.sliced(3);
    case FileEncoding::Utf16Le:
    case FileEncoding::Utf16Be:
        break;
    }
    const qsizetype units = (fileBytes.size() - 2) / 2;
    QString text(units, Qt::Uninitialized);
    const auto *src = reinterpret_cast<const uchar *>(fileBytes.constData()) + 2;
    const bool big = bigEndian(encoding);
    for (qsizetype i = 0; i < units; ++i, src += 2)
        text[i] = QChar(big ? char16_t(src[0] << 8 | src[1]) : char16_t(src[1] << 8 | src[0]));
    if (oddByte)
        *oddByte = (fileBytes.size() - 2) % 2 ? fileBytes.right(1) : QByteArray();
    return encodeUtf8(text, true).value_or(QByteArray());
}

QByteArray toFileBytes(const QByteArray &parserBytes, FileEncoding encoding,
                       const QByteArray &oddByte) {
    switch (encoding) {
    case FileEncoding::Cp936:
        return parserBytes;
    case FileEncoding::Utf8Bom:
        return QByteArray(kUtf8Bom, 3) + parserBytes;
    case FileEncoding::Utf16Le:
    case FileEncoding::Utf16Be:
        break;
    }
    const QString text = decodeUtf8(parserBytes, true);
    const bool big = bigEndian(encoding);
    QByteArray out(2 + text.size() * 2, Qt::Uninitialized);
    auto *dst = reinterpret_cast<uchar *>(out.data());
    *dst++ = big ? 0xFE : 0xFF;
    *dst++ = big ? 0xFF : 0xFE;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        *dst++ = uchar(big ? u >> 8 : u & 0xFF);
        *dst++ = uchar(big ? u & 0xFF : u >> 8);
    }
    return out + oddByte;
}

QString decode(QByteArrayView parserBytes, FileEncoding encoding) {
    switch (encoding) {
    case FileEncoding::Cp936:
        return Gbk::decode(parserBytes);
    case FileEncoding::Utf8Bom:
        return decodeUtf8(parserBytes, false);
    case FileEncoding::Utf16Le:
    case FileEncoding::Utf16Be:
        return decodeUtf8(parserBytes, true);
    }
    return {};
}

std::optional<QByteArray> encode(const QString &text, FileEncoding encoding) {
    switch (encoding) {
    case FileEncoding::Cp936:
        return Gbk::encode(text);
    case FileEncoding::Utf8Bom:
        return encodeUtf8(text, false);
    case FileEncoding::Utf16Le:
    case FileEncoding::Utf16Be:
        return encodeUtf8(text, true);
    }
    return std::nullopt;
}

} // namespace FileEncodings
