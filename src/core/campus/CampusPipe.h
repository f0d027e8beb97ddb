#pragma once

#include "CampusRoom.h"

#include <QString>

// Whether the campus server reads the pipe the campus sink writes: sound written to a pipe
// no source reads reaches no room, however well the rooms answer.
namespace CampusPipe {

// The pipe source that reads `pipe`; nullptr when there is none.
const CampusStream *readerOf(const CampusStreams &streams, const QString &pipe);

// Empty when a pipe source reads `pipe`; else "服务器没有读取管道 /x", with the pipes the
// server does read.
QString notRead(const CampusStreams &streams, const QString &pipe);

// Empty while the source reading `pipe` plays: what the pipe carries reaches the server. Else
// why it does not: no source reads the pipe (notRead()), or its source stays idle (a server
// that reads another file at that path, as one with a private /tmp does).
QString notPlaying(const CampusStreams &streams, const QString &pipe);

} // namespace CampusPipe
