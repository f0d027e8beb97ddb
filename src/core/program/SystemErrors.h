#pragma once

#include <QString>

// The system's error texts in the user's language. What the C library or Qt says is in
// English ("No such file or directory"); the user reads Chinese. Nothing is printed here: the
// caller knows which file or device failed and says so where it matters.
namespace SystemErrors {
// The text for an errno value.
QString text(int code);
// A text Qt took from the system (QFile::errorString() and the like): the Chinese one when
// it is one of the common errno texts, else the original unchanged.
QString translated(const QString &systemText);
} // namespace SystemErrors
