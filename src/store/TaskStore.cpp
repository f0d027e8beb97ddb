#include "TaskStore.h"

#include "ProfileStore.h"
#include "StoreDirectory.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace {

const QString kSongFile = QStringLiteral("song.ini");
const QString kItemsSection = QStringLiteral("歌曲");
const QString kItemKey = QStringLiteral("歌曲名称%1");
const QString kCountSection = QStringLiteral("多媒体文件数量");
const QString kCountKey = QStringLiteral("数量");
// A count beyond this is a damaged file, not a playlist; reading it would exhaust memory.
constexpr int kMaxPlaylistItems = 100000;

QString sectionFor(qsizetype row) { return QStringLiteral("FileInfo%1").arg(row); }

PlayTask readTask(const ProfileFile::SectionRef &section, bool lowerNameKeys)
{
    PlayTask task;
    task.Name = section.string(lowerNameKeys ? QLatin1StringView("name") : QLatin1StringView("Name"));
    task.Time = section.string(QLatin1StringView("Time"));
    task.Duration = section.string(QLatin1StringView("Duration"));
    task.Type = section.string(lowerNameKeys ? QLatin1StringView("type") : QLatin1StringView("Type"));
    task.Device = section.string(QLatin1StringView("Device"));
    task.Recurrence = section.string(QLatin1StringView("Recurrence"));
    task.Notes = section.string(QLatin1StringView("Notes"));
    return task;
}

// Table rows address sections by number; the schedule reads them by the names as listed.
QList<PlayTask> rowsFrom(const ProfileFile &file)
{
    const qsizetype count = file.sectionCount();
    QList<PlayTask> rows;
    rows.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        rows << readTask(file.asciiSection("FileInfo" + QByteArray::number(i)), false);
    return rows;
}

ScheduleTable scheduleFrom(const ProfileFile &file)
{
    const qsizetype count = file.sectionCount();
    ScheduleTable table;
    table.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        table << readTask(file.sectionNamedAs(i), true);
    return table;
}

StoreResult checkPlaylistItems(const TaskPlaylist &items)
{
    for (const QString &item : items) {
        if (item.contains(QLatin1Char('\r')) || item.contains(QLatin1Char('\n')))
            return StoreResult::failure(QStringLiteral("播放列表项“%1”含有换行符，无法保存。").arg(item));
        if (!Gbk::canEncode(item))
            return StoreResult::failure(
                QStringLiteral("播放列表项“%1”含有无法保存的字符，请改名后再添加。").arg(item));
    }
    return StoreResult::success();
}

} // namespace

int leadingInt(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    qint64 value = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > qint64(std::numeric_limits<int>::max()) + 1)
            break;
    }
    if (negative)
        value = -value;
    return int(std::clamp<qint64>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

TaskStore::TaskStore(QString directory) : m_directory(std::move(directory)) {}

QString TaskStore::songFile() const { return StoreDirectory::filePath(m_directory, kSongFile); }

QString TaskStore::playlistPath(const QString &name, QString *error) const
{
    auto refuse = [&](const QString &why) {
        if (error)
            *error = why;
        return QString();
    };
    if (name.isEmpty())
        return refuse(QStringLiteral("播放任务名称为空，无法找到它的播放列表文件。"));
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
        name.contains(QChar(u'\0')) || name == QLatin1String(".") || name == QLatin1String(".."))
        return refuse(QStringLiteral("播放任务名称“%1”不能用作文件名。").arg(name));
    // Names on disk are UTF-8, where a file name holds at most 255 bytes.
    if (QFile::encodeName(name + QStringLiteral(".ini")).size() > 255)
        return refuse(QStringLiteral("播放任务名称“%1”太长，无法用作文件名。").arg(name));
    const QString path = StoreDirectory::filePath(m_directory, name + QStringLiteral(".ini"));
    if (QFileInfo(path).absolutePath() != QFileInfo(m_directory + QStringLiteral("/x")).absolutePath())
        return refuse(QStringLiteral("播放任务名称“%1”不能用作文件名。").arg(name));
    return path;
}

QList<PlayTask> TaskStore::ReadTaskRows() const
{
    return rowsFrom(ProfileFile::load(songFile()));
}

ScheduleTable TaskStore::LoadScheduleTable() const
{
    return scheduleFrom(ProfileFile::load(songFile()));
}

StoreResult TaskStore::RewriteTaskStore(const QList<PlayTask> &rows) const
{
    if (rows.isEmpty())
        return ProfileStore::deleteFile(songFile());
    // A file saved as UTF-8 or UTF-16 elsewhere stays so.
    ProfileFile file;
    file.setEncoding(ProfileFile::encodingOf(songFile()));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const PlayTask &t = rows[i];
        const StoreResult r = file.appendSection(
            sectionFor(i), {{QLatin1StringView("Name"), t.Name},
                            {QLatin1StringView("Time"), t.Time},
                            {QLatin1StringView("Duration"), t.Duration},
                            {QLatin1StringView("Type"), t.Type},
                            {QLatin1StringView("Device"), t.Device},
                            {QLatin1StringView("Recurrence"), t.Recurrence},
                            {QLatin1StringView("Notes"), t.Notes}});
        if (!r)
            return r;
    }
    return file.save(songFile());
}

StoreResult TaskStore::WriteTaskPlaylist(const QString &name, const TaskPlaylist &items) const
{
    QString error;
    const QString path = playlistPath(name, &error);
    if (path.isEmpty())
        return StoreResult::failure(error);
    if (auto r = checkPlaylistItems(items); !r)
        return r;
    // Keys beyond the new count stay in the file; the count decides what is read.
    ProfileFile file = ProfileFile::load(path, &error);
    if (!error.isEmpty())
        return StoreResult::failure(error);
    for (qsizetype i = 0; i < items.size(); ++i)
        if (auto r = file.setValue(kItemsSection, kItemKey.arg(i), items[i]); !r)
            return r;
    if (auto r = file.setValue(kCountSection, kCountKey, QString::number(items.size())); !r)
        return r;
    return file.save(path);
}

TaskPlaylist TaskStore::ReadTaskPlaylist(const QString &name, QString *error) const
{
    const QString path = playlistPath(name, error);
    if (path.isEmpty())
        return {};
    const ProfileFile file = ProfileFile::load(path, error);
    const int count = qBound(0, file.integer(kCountSection, kCountKey, 0), kMaxPlaylistItems);
    TaskPlaylist items;
    items.reserve(count);
    // One section lookup for all items: a damaged count may ask for very many.
    const ProfileFile::SectionRef section = file.section(kItemsSection);
    for (int i = 0; i < count; ++i)
        items << section.value(kItemKey.arg(i)).value_or(QString());
    return items;
}

StoreResult TaskStore::DeleteTaskPlaylist(const QString &name) const
{
    QString error;
    const QString path = playlistPath(name, &error);
    if (path.isEmpty())
        return StoreResult::failure(error);
    return ProfileStore::deleteFile(path);
}

TaskStore::ChangeResult TaskStore::finish(StoreResult result) const
{
    QString error;
    const ProfileFile file = ProfileFile::load(songFile(), &error);
    if (result && !error.isEmpty())
        result = StoreResult::failure(error);
    return {result, rowsFrom(file), scheduleFrom(file)};
}

namespace {

// The rows as stored; a song.ini that exists but cannot be read must never be taken for an
// empty one, or the rewrite would drop every task.
StoreResult loadRows(const QString &songFile, QList<PlayTask> *rows)
{
    QString error;
    const ProfileFile file = ProfileFile::load(songFile, &error);
    if (!error.isEmpty())
        return StoreResult::failure(error);
    *rows = rowsFrom(file);
    return StoreResult::success();
}

StoreResult checkSelected(const QList<PlayTask> &rows, int row, const PlayTask &expected)
{
    if (row < 0 || row >= rows.size() || rows[row] != expected)
        return StoreResult::failure(
            QStringLiteral("所选的播放任务已被更改或删除，请重新选择后再试。"));
    return StoreResult::success();
}

} // namespace

TaskStore::ChangeResult TaskStore::AddTask(const PlayTask &task, const TaskPlaylist &items) const
{
    return storeTask(-1, nullptr, task, items);
}

TaskStore::ChangeResult TaskStore::ModifyTask(int row, const PlayTask &expected, const PlayTask &task,
                                              const TaskPlaylist &items) const
{
    return storeTask(row, &expected, task, items);
}

TaskStore::ChangeResult TaskStore::storeTask(int row, const PlayTask *expected, const PlayTask &task,
                                             const TaskPlaylist &items) const
{
    QString error;
    if (playlistPath(task.Name, &error).isEmpty())
        return finish(StoreResult::failure(error));
    if (auto r = checkPlaylistItems(items); !r)
        return finish(r);
    QList<PlayTask> rows;
    if (auto r = loadRows(songFile(), &rows); !r)
        return finish(r);
    const QList<PlayTask> before = rows;
    if (!expected) {
        rows.append(task);
    } else {
        if (auto r = checkSelected(rows, row, *expected); !r)
            return finish(r);
        rows[row] = task;
    }
    if (auto r = RewriteTaskStore(rows); !r)
        return finish(r);
    // A task must not stay stored without its playlist: undo the rewrite when it fails.
    if (auto r = WriteTaskPlaylist(task.Name, items); !r) {
        RewriteTaskStore(before);
        return finish(r);
    }
    return finish(StoreResult::success());
}

TaskStore::ChangeResult TaskStore::DeleteTask(int row, const PlayTask &expected) const
{
    QList<PlayTask> rows;
    if (auto r = loadRows(songFile(), &rows); !r)
        return finish(r);
    if (auto r = checkSelected(rows, row, expected); !r)
        return finish(r);
    rows.removeAt(row);
    // The task goes first: a failure after it leaves a stray playlist, never a task without one.
    if (auto r = RewriteTaskStore(rows); !r)
        return finish(r);
    const bool shared = std::any_of(rows.cbegin(), rows.cend(),
                                    [&](const PlayTask &t) { return t.Name == expected.Name; });
    if (!shared && !playlistPath(expected.Name).isEmpty()) {
        if (auto r = DeleteTaskPlaylist(expected.Name); !r)
            return finish(StoreResult::failure(
                QStringLiteral("播放任务已删除，但它的播放列表文件未能删除：%1").arg(r.error)));
    }
    return finish(StoreResult::success());
}
