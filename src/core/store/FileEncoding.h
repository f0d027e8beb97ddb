#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The encodings a profile file may have, as Windows tells them apart: a byte-order mark
// for UTF-8 and UTF-16, code page 936 otherwise.
//
// The parser works on bytes in which every ASCII byte stands for itself except, in code
// page 936, as the trail byte of a double-byte character. UTF-8 files are parsed as they
// are; UTF-16 files are turned into generalised UTF-8 (lone surrogates kept) and back.
//
// Bytes a code page cannot decode come out as U+DC80..U+DCFF, one per byte, and are
// encoded back to the same byte, so a damaged value survives a rewrite unchanged.
enum class FileEncoding { Cp936, Utf8Bom, Utf16Le, Utf16Be };

namespace FileEncodings {

FileEncoding detect(QByteArrayView fileBytes);
// The file's bytes without the mark, in the parser's form; an odd last byte of a UTF-16
// file does not belong to any character and is handed back in *oddByte.
QByteArray toParserBytes(const QByteArray &fileBytes, FileEncoding encoding, QByteArray *oddByte);
QByteArray toFileBytes(const QByteArray &parserBytes, FileEncoding encoding,
                       const QByteArray &oddByte = QByteArray());

// Text of parser bytes and back; encode fails on text the file cannot hold.
QString decode(QByteArrayView parserBytes, FileEncoding encoding);
std::optional<QByteArray> encode(const QString &text, FileEncoding encoding);

// Whether byte c opens a double-byte character whose second byte may be any ASCII
// punctuation (only code page 936 has such characters).
inline bool doubleByte(FileEncoding encoding) {
    return encoding == FileEncoding::Cp936;
}

constexpr char16_t kEscapeBase = 0xDC00;
inline bool isEscape(QChar c) {
    return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF;
}

} // namespace FileEncodings
