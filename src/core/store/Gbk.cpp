#include "Cp936Table.h"
#include "FileEncoding.h"
#include "ProfileStore.h"

#include <array>

namespace {

// Character -> code (a byte below 0x100, else lead * 256 + trail); 0 = none.
const std::array<quint16, 0x10000> &encodeTable() {
    static const std::array<quint16, 0x10000> table = [] {
        std::array<quint16, 0x10000> t{};
        t[Cp936::kSingle0x80] = 0x80;
        for (int lead = 0x81; lead <= 0xFE; ++lead)
            for (int trail = 0x40; trail <= 0xFE; ++trail)
                if (const char16_t c = Cp936::pair(uchar(lead), uchar(trail)))
                    t[c] = quint16(lead << 8 | trail);
        return t;
    }();
    return table;
}

bool isAscii(QByteArrayView bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

namespace Gbk {

QString decode(QByteArrayView bytes) {
    if (isAscii(bytes))
        return QString::fromLatin1(bytes.data(), bytes.size());
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *dst = out.data();
    const auto escape = [](uchar b) { return QChar(char16_t(FileEncodings::kEscapeBase + b)); };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = uchar(bytes[i]);
        if (b < 0x80) {
            *dst++ = QChar(b);
        } else if (b == 0x80) {
            *dst++ = QChar(Cp936::kSingle0x80);
        } else if (Cp936::isLead(b) && i + 1 < bytes.size() &&
                   Cp936::isTrail(uchar(bytes[i + 1]))) {
            // A pair stays a pair even when undefined, as the parser sees it: its trail byte
            // may be ']' or a letter and must not turn into one.
            const auto trail = uchar(bytes[++i]);
            if (const char16_t c = Cp936::pair(b, trail)) {
                *dst++ = QChar(c);
            } else {
                *dst++ = escape(b);
                // An ASCII trail byte shows as itself (escapes are for bytes above 0x7F).
                *dst++ = trail < 0x80 ? QChar(trail) : escape(trail);
            }
        } else {
            *dst++ = escape(b);
        }
    }
    out.truncate(dst - out.constData());
    return out;
}

std::optional<QByteArray> encode(const QString &text) {
    const auto &table = encodeTable();
    QByteArray out;
    out.reserve(text.size() * 2);
    bool escaped = false;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80) {
            out += char(u);
        } else if (FileEncodings::isEscape(c)) {
            out += char(u - FileEncodings::kEscapeBase);
            escaped = true;
        } else if (const quint16 code = table[u]; code == 0) {
            return std::nullopt;
        } else if (code < 0x100) {
            out += char(code);
        } else {
            out += char(code >> 8);
            out += char(code & 0xFF);
        }
    }
    // Carried bytes must meet their neighbours as they stood, or they would read back as
    // another character.
    if (escaped && decode(out) != text)
        return std::nullopt;
    return out;
}

bool canEncode(const QString &text) {
    return encode(text).has_value();
}

} // namespace Gbk
