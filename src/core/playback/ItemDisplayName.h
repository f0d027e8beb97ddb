#pragma once

#include <QString>

// The name shown in the caption for a playlist item: the last path component without
// its last four characters (meant for ".mp3" and the like).
QString ItemDisplayName(const QString &item);
