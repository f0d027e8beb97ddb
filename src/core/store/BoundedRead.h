#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Files handed to the program from outside (an import folder, a calendar file) are looked
// at before they are opened: a pipe would block the reader for ever, a device would feed it
// without end, a link may lead to what the user never meant to give. Only regular files of
// a bounded size are read, and the open file is checked again, so nothing swapped in
// between the look and the open gets through.
namespace BoundedRead {

enum class Kind { Missing, Regular, Folder, Link, Pipe, Device, Socket, Other };

struct Entry {
    Kind kind = Kind::Missing;
    qint64 size = 0;
    int error = 0; // errno of a failed look
};

// What is at path; a final symbolic link is itself looked at unless followLinks.
Entry inspect(const QString &path, bool followLinks);

// "符号链接", "管道（FIFO）" …: the kind named as the user knows it.
QString kindName(Kind kind);

// A size as the user reads it: "64 MiB", "1.5 KiB".
QString sizeText(qint64 bytes);

// The bytes of a regular file of at most maxBytes, read without blocking; else nothing, with
// the reason naming the file in *why.
std::optional<QByteArray> read(const QString &path, qint64 maxBytes, bool followLinks,
                               QString *why);

// The bound on a store file: far beyond the largest timetable a school keeps, well below
// what would exhaust the memory.
inline constexpr qint64 MaxStoreFileBytes = qint64(64) * 1024 * 1024;

// How a store file the program reads for itself is read: through a link (the user may have
// put one there), never a pipe, a device or a folder, never beyond the bound.
enum class Stored { Missing, Whole, Refused };
// Missing (only when nothing is there) leaves *why empty; Refused says why, naming the file.
Stored readStored(const QString &path, QByteArray *bytes, QString *why,
                  qint64 maxBytes = MaxStoreFileBytes);

} // namespace BoundedRead
