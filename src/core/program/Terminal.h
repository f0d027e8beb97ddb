#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

// Text for the terminal in the terminal's own encoding: Qt 6 writes UTF-8 whatever the
// locale, which a zh_CN.GBK terminal shows as garbage.
namespace Terminal {
// The code set of the locale the environment names (LC_ALL, LC_CTYPE, LANG), as iconv
// names it; empty where that is UTF-8 or plain ASCII (the C locale's terminals take UTF-8).
QByteArray codeset();
// `text` in `codeset` (empty: UTF-8); a character the code set cannot hold becomes '?'.
QByteArray encode(const QString &text, const QByteArray &codeset);
// Writes `text` in the terminal's code set.
void write(std::FILE *stream, const QString &text);
// Qt's messages (warnings, logging categories) in the terminal's code set on the standard
// error, formatted as Qt formats them (QT_MESSAGE_PATTERN).
void installMessageHandler();
} // namespace Terminal
