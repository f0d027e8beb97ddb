#pragma once

#include <QString>

// Whether a local file opens as media: its container is recognised and it holds a sound or
// picture stream. Empty when it does, else the reason in words. Safe on any thread.
namespace MediaProbe {
QString probe(const QString &path);
}
