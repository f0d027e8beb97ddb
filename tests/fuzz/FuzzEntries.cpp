#include "FuzzEntries.h"

#include "campus/SnapcastProtocol.h"
#include "store/FileEncoding.h"
#include "store/ProfileStore.h"
#include "store/TaskStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <QJsonObject>
#include <QSet>

#include <algorithm>

namespace {

std::string show(const QString &text) {
    return text.left(80).toStdString();
}

// The input as a file part and a tail of operations: the first two bytes give the length of
// the file part.
struct Split {
    QByteArray file;
    QByteArray tail;
};
Split split(const uint8_t *data, size_t size) {
    const QByteArray all(reinterpret_cast<const char *>(data), qsizetype(size));
    if (all.size() < 2)
        return {all, {}};
    const qsizetype length = qMin<qsizetype>(uchar(all[0]) | uchar(all[1]) << 8, all.size() - 2);
    return {all.mid(2, length), all.mid(2 + length)};
}

// Raw UTF-16 code units, lone surrogates and all.
QString units(QByteArrayView bytes) {
    QString text(bytes.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(char16_t(uchar(bytes[2 * i]) | uchar(bytes[2 * i + 1]) << 8));
    return text;
}

bool sameFile(const ProfileFile &a, const ProfileFile &b) {
    return a.encoding() == b.encoding() && a.sectionNames() == b.sectionNames() &&
           a.toBytes() == b.toBytes();
}

} // namespace

namespace FuzzEntries {

std::string profileFile(const uint8_t *data, size_t size) {
    const Split input = split(data, size);
    ProfileFile file = ProfileFile::fromBytes(input.file);
    // Written back, the file reads as it did, and writing it again changes nothing.
    const ProfileFile reread = ProfileFile::fromBytes(file.toBytes());
    if (!sameFile(file, reread))
        return "a file read and written back reads differently";
    for (const QString &name : file.sectionNames()) {
        for (const char *key : {"Name", "Time", "数量"}) {
            if (file.value(name, QString::fromUtf8(key)) !=
                reread.value(name, QString::fromUtf8(key)))
                return "value of [" + show(name) + "] " + key + " changed by a rewrite";
        }
    }

    // Writes: section, key and value separated by NUL code units.
    const QStringList parts = units(input.tail).split(QChar(u'\0'));
    for (qsizetype i = 0; i + 2 < parts.size(); i += 3) {
        const QString &section = parts[i], &key = parts[i + 1], &value = parts[i + 2];
        const QStringList before = file.sectionNames();
        if (!file.setValue(section, key, value))
            continue;
        if (file.value(section, key) != value)
            return "[" + show(section) + "] " + show(key) + " reads otherwise than just set";
        const ProfileFile written = ProfileFile::fromBytes(file.toBytes());
        if (written.value(section, key) != value)
            return "[" + show(section) + "] " + show(key) + " reads back otherwise than written";
        if (!sameFile(written, ProfileFile::fromBytes(written.toBytes())))
            return "a written file is not stable";
        const qsizetype added = written.sectionNames().size() - before.size();
        if (added < 0 || added > 1 || written.sectionNames().first(before.size()) != before)
            return "a write changed other sections";
        file = written;
    }
    return {};
}

std::string codePage(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (FileEncoding encoding : {FileEncoding::Cp936, FileEncoding::Utf8Bom}) {
        const QString text = FileEncodings::decode(bytes, encoding);
        if (FileEncodings::encode(text, encoding) != bytes)
            return "bytes changed by decoding and encoding";
    }
    // A UTF-16 file survives the parser's form unchanged, odd byte included.
    for (const char *mark : {"\xFF\xFE", "\xFE\xFF"}) {
        const QByteArray file = QByteArray(mark, 2) + bytes;
        const FileEncoding encoding = FileEncodings::detect(file);
        QByteArray odd;
        const QByteArray parsed = FileEncodings::toParserBytes(file, encoding, &odd);
        if (FileEncodings::toFileBytes(parsed, encoding, odd) != file)
            return "UTF-16 file changed by the parser's form";
    }
    const QString text = units(bytes);
    for (FileEncoding encoding :
         {FileEncoding::Cp936, FileEncoding::Utf8Bom, FileEncoding::Utf16Le}) {
        if (auto encoded = FileEncodings::encode(text, encoding);
            encoded && FileEncodings::decode(*encoded, encoding) != text)
            return "text that encodes does not decode back to itself";
    }
    if (Gbk::canEncode(text) != Gbk::encode(text).has_value())
        return "canEncode disagrees with encode";
    return {};
}

std::string taskStore(const uint8_t *data, size_t size) {
    // In memory where the system has it: every input rewrites files, and a flush to a disk
    // per input would be most of the fuzzer's time.
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/horalet-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/horalet-fuzz-XXXXXX"));
    const Split input = split(data, size);
    const TaskStore store(dir.path());
    for (const QString &name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
        QFile::remove(dir.filePath(name));
    const auto put = [&](const QString &name, const QByteArray &bytes) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    if (!put(QStringLiteral("song.ini"), input.file) || !put(QStringLiteral("p.ini"), input.tail))
        return "cannot write the input files";

    const QList<PlayTask> rows = store.ReadTaskRows();
    const ScheduleTable schedule = store.LoadScheduleTable();
    if (schedule.size() != rows.size())
        return "the table and the schedule count different tasks";
    TaskPlaylist items = store.ReadTaskPlaylist(QStringLiteral("p"));
    // A name that would put the playlist in place of song.ini is another matter.
    if (rows.isEmpty() || store.playlistPath(rows[0].Name).isEmpty() ||
        rows[0].Name == QLatin1String("song"))
        return {};
    // Items are taken as the dialog would: only what code page 936 holds. A damaged count
    // gives up to 100,000 items, whose rewrite checks nothing more, only slowly.
    if (items.size() > 1000 || !std::all_of(items.cbegin(), items.cend(), Gbk::canEncode))
        items.clear();

    // Changing the first task must store it and leave every other one as it read.
    PlayTask changed = rows[0];
    changed.Type = QStringLiteral("30000");
    const TaskStore::ChangeResult result = store.ModifyTask(0, rows[0], changed, items);
    if (!result.result)
        return "a task change failed: " + show(result.result.error);
    const QList<PlayTask> after = store.ReadTaskRows();
    if (after.size() != rows.size() || after[0] != changed)
        return "the changed task reads back otherwise";
    for (qsizetype i = 1; i < rows.size(); ++i)
        if (after[i] != rows[i])
            return "task " + std::to_string(i) + " changed by an edit of another";
    if (store.ReadTaskPlaylist(rows[0].Name) != items)
        return "the playlist reads back otherwise";
    return {};
}

std::string snapcast(const uint8_t *data, size_t size) {
    const QByteArray all(reinterpret_cast<const char *>(data), qsizetype(size));
    // The first byte sets the size of the pieces the stream arrives in.
    const qsizetype piece = all.isEmpty() ? 1 : 1 + uchar(all[0]) * 16;
    Snapcast::LineFramer framer;
    Snapcast::RoomState rooms;
    for (qsizetype at = 1; at < all.size() && !framer.failed(); at += piece) {
        QList<QByteArray> lines;
        framer.feed(all.mid(at, piece), lines);
        if (framer.pending() > Snapcast::MaxLineBytes)
            return "the framer holds more than a line's bound";
        for (const QByteArray &line : lines) {
            const Snapcast::Message message = Snapcast::parse(line);
            if (message.error.size() > Snapcast::MaxTextLength + 1)
                return "an error text over its bound";
            if (message.kind == Snapcast::Message::Kind::Notification)
                rooms.apply(message.method, message.params);
            else if (message.kind == Snapcast::Message::Kind::Reply && message.result.isObject())
                rooms.setStatus(message.result.toObject());
        }
    }
    if (rooms.rooms().size() > Snapcast::MaxRooms)
        return "more rooms than the bound";
    if (rooms.streams().size() > Snapcast::MaxStreams)
        return "more streams than the bound";
    for (const CampusStream &stream : rooms.streams())
        if (stream.path.size() > Snapcast::MaxPathLength ||
            stream.status.size() > Snapcast::MaxTextLength + 1)
            return "a stream's text over its bound";
    QSet<QString> ids;
    int shown = 0;
    for (const CampusRoom &room : rooms.rooms()) {
        // Kept whole, whatever they hold; shown only as they are.
        if (room.id.size() > Snapcast::MaxIdLength || ids.contains(room.id))
            return "a room id over its bound or twice: " + show(room.id);
        if (room.shown && (!Snapcast::showableId(room.id) || ++shown > Snapcast::MaxShownRooms))
            return "a room shown that cannot be: " + show(room.id);
        ids.insert(room.id);
        if (room.name.size() > Snapcast::MaxTextLength + 1 ||
            Snapcast::cleanText(room.name, Snapcast::MaxTextLength + 1) != room.name)
            return "a room name not cut or cleaned: " + show(room.name);
        if (room.volume < 0 || room.volume > 100)
            return "a percent out of range";
    }
    return {};
}

} // namespace FuzzEntries
