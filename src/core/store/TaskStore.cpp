#include "TaskStore.h"

#include "BoundedRead.h"
#include "ProfileStore.h"
#include "StoreDirectory.h"
#include "StoreFiles.h"
#include "Timetables.h"
#include "campus/CampusConfig.h"
#include "program/SystemErrors.h"
#include "tasktable/DisplayText.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include <unistd.h>

namespace {

const QString kItemsSection = QStringLiteral("歌曲");
const QString kItemKeyStem = QStringLiteral("歌曲名称");
const QString kItemKey = kItemKeyStem + QStringLiteral("%1");
const QString kCountSection = QStringLiteral("多媒体文件数量");
const QString kCountKey = QStringLiteral("数量");
// A count beyond this is a damaged file, not a playlist; reading it would exhaust memory.
constexpr int kMaxPlaylistItems = 100000;

// The file a playlist name comes to, as a disk that ignores letter case sees it.
QString playlistFileKey(const QString &name) {
    return QFile::decodeName(QFile::encodeName(name)).toCaseFolded();
}

// Whether the name loses something on its way to a file name (undecodable bytes).
bool losesInFileName(const QString &name) {
    return QFile::decodeName(QFile::encodeName(name)) != name;
}

QString sectionFor(qsizetype row) {
    return QStringLiteral("FileInfo%1").arg(row);
}

const QLatin1StringView kTaskKeys[] = {
    QLatin1StringView("Name"),  QLatin1StringView("Time"),   QLatin1StringView("Duration"),
    QLatin1StringView("Type"),  QLatin1StringView("Device"), QLatin1StringView("Recurrence"),
    QLatin1StringView("Notes"),
};

PlayTask readTask(const ProfileFile::SectionRef &section) {
    // Key names are compared without case ("name" finds Name).
    return {section.string(kTaskKeys[0]), section.string(kTaskKeys[1]),
            section.string(kTaskKeys[2]), section.string(kTaskKeys[3]),
            section.string(kTaskKeys[4]), section.string(kTaskKeys[5]),
            section.string(kTaskKeys[6])};
}

bool isNumberedTaskName(const QString &name) {
    static const QLatin1StringView prefix("FileInfo");
    if (name.size() <= prefix.size() || !name.startsWith(prefix, Qt::CaseInsensitive))
        return false;
    for (qsizetype i = prefix.size(); i < name.size(); ++i)
        if (name[i] < u'0' || name[i] > u'9')
            return false;
    return true;
}

// A task section is one of the numbered form or one holding any task key; anything else
// (a note added by hand) is no task and is carried through every rewrite as it stands.
bool isTaskSection(const ProfileFile &file, qsizetype index) {
    if (isNumberedTaskName(file.sectionNameAt(index)))
        return true;
    const ProfileFile::SectionRef section = file.sectionAt(index);
    return std::any_of(std::begin(kTaskKeys), std::end(kTaskKeys),
                       [&](QLatin1StringView key) { return section.value(key).has_value(); });
}

// The one list of tasks: what the table shows, the schedule plays and a rewrite stores.
// Every task section in file order, each read from its own lines, so a gap, an order of
// numbers of its own or a repeated header loses no task.
QList<PlayTask> tasksFrom(const ProfileFile &file) {
    const qsizetype count = file.sectionCount();
    QList<PlayTask> tasks;
    tasks.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        if (isTaskSection(file, i))
            tasks << readTask(file.sectionAt(i));
    return tasks;
}

StoreResult checkPlaylistItems(const TaskPlaylist &items) {
    for (const QString &item : items) {
        if (item.contains(QLatin1Char('\r')) || item.contains(QLatin1Char('\n')))
            return StoreResult::failure(QStringLiteral("播放列表项“%1”含有换行符，无法保存。")
                                            .arg(DisplayText::shown(item)));
        if (!Gbk::canEncode(item))
            return StoreResult::failure(
                QStringLiteral("播放列表项“%1”含有无法保存的字符，请改名后再添加。")
                    .arg(DisplayText::shown(item)));
    }
    return StoreResult::success();
}

} // namespace

int leadingInt(const QString &text) {
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
    return int(std::clamp<qint64>(value, std::numeric_limits<int>::min(),
                                  std::numeric_limits<int>::max()));
}

TaskStore::TaskStore(QString directory) : m_directory(std::move(directory)) {}

QString TaskStore::songFile() const {
    return StoreDirectory::filePath(m_directory, StoreFiles::SongStem + QStringLiteral(".ini"));
}

QString TaskStore::playlistPath(const QString &name, QString *error) const {
    auto refuse = [&](const QString &why) {
        if (error)
            *error = why;
        return QString();
    };
    if (name.isEmpty())
        return refuse(QStringLiteral("播放任务名称为空，无法找到它的播放列表文件。"));
    // Over 255 characters is over 255 bytes: told before any scan of a name that may run to
    // megabytes in a hand-edited store.
    const auto tooLong = [&] {
        return refuse(
            QStringLiteral("播放任务名称“%1”太长，无法用作文件名。").arg(DisplayText::shown(name)));
    };
    if (name.size() > 255)
        return tooLong();
    // Names reach the store from files carried over or edited by hand, not only from the
    // dialogs: a store file must never be read, written or deleted as a playlist.
    if (const QString stem = StoreFiles::ownStemOf(name); !stem.isEmpty())
        return refuse(QStringLiteral("播放任务名称“%1”与程序的数据文件“%2.ini”同名，"
                                     "不能用作播放列表文件，请修改任务名称。")
                          .arg(DisplayText::shown(name), stem));
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
        name.contains(QChar(u'\0')) || name == QLatin1String(".") || name == QLatin1String(".."))
        return refuse(
            QStringLiteral("播放任务名称“%1”不能用作文件名。").arg(DisplayText::shown(name)));
    // Names on disk are UTF-8, where a file name holds at most 255 bytes.
    if (QFile::encodeName(name + QStringLiteral(".ini")).size() > 255)
        return tooLong();
    const QString path = StoreDirectory::filePath(m_directory, name + QStringLiteral(".ini"));
    if (QFileInfo(path).absolutePath() !=
        QFileInfo(m_directory + QStringLiteral("/x")).absolutePath())
        return refuse(
            QStringLiteral("播放任务名称“%1”不能用作文件名。").arg(DisplayText::shown(name)));
    return path;
}

QString TaskStore::sharedPlaylistProblem(const QList<PlayTask> &rows, const QString &name) {
    const QString key = playlistFileKey(name);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (rows[i].Name == name)
            return {}; // stored first under its file name: the file is its own
        if (playlistFileKey(rows[i].Name) != key)
            continue;
        // Undecodable bytes look alike on screen: the positions tell the two apart.
        qsizetype self = i + 1;
        while (self < rows.size() && rows[self].Name != name)
            ++self;
        return QStringLiteral("第 %1 个播放任务“%2”和第 %3 个播放任务“%4”的播放列表会是同一个文件，"
                              "后者的播放列表不能读写，请修改其中一个任务的名称。")
            .arg(i + 1)
            .arg(DisplayText::shown(rows[i].Name))
            .arg(self + 1)
            .arg(DisplayText::shown(name));
    }
    return {};
}

QList<PlayTask> TaskStore::ReadTaskRows(QString *error) const {
    return tasksFrom(ProfileFile::load(songFile(), error));
}

ScheduleTable TaskStore::LoadScheduleTable(QString *error) const {
    return tasksFrom(ProfileFile::load(songFile(), error));
}

QString TaskStore::unreadableAtStartup(const QString &error) {
    return QStringLiteral("播放任务文件无法读取，已保存的播放任务没有载入，也不会播放。\n%1\n\n"
                          "文件保持原样；在它能够读取之前，不能新增、修改或删除播放任务。")
        .arg(error);
}

namespace {

// song.ini anew from the rows, numbered from 0, with what the old file held besides tasks
// (lines before the first section, sections of no task) kept as it stands.
StoreResult songBytes(const ProfileFile &current, const QList<PlayTask> &rows,
                      FileEncoding encoding, QByteArray *bytes) {
    ProfileFile file;
    file.setEncoding(encoding);
    file.copyPreambleOf(current);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const PlayTask &t = rows[i];
        const StoreResult r = file.appendSection(sectionFor(i), {{kTaskKeys[0], t.Name},
                                                                 {kTaskKeys[1], t.Time},
                                                                 {kTaskKeys[2], t.Duration},
                                                                 {kTaskKeys[3], t.Type},
                                                                 {kTaskKeys[4], t.Device},
                                                                 {kTaskKeys[5], t.Recurrence},
                                                                 {kTaskKeys[6], t.Notes}});
        if (!r)
            return r;
    }
    for (qsizetype i = 0; i < current.sectionCount(); ++i)
        if (!isTaskSection(current, i))
            file.appendSectionOf(current, i);
    *bytes = file.toBytes();
    return StoreResult::success();
}

// What a rewrite makes of a song.ini whose tasks are left as they are: lines in task
// sections beyond the seven keys, other key spellings or orders do not survive it.
QByteArray songRewrite(const QByteArray &stored) {
    const ProfileFile file = ProfileFile::fromBytes(stored);
    QByteArray bytes;
    if (!songBytes(file, tasksFrom(file), file.encoding(), &bytes))
        return QByteArray(1, '\0'); // differs from any file: keep the stored one
    return bytes.trimmed().isEmpty() ? KeptOriginals::profileRewrite(stored) : bytes;
}

StoreResult rewriteFrom(const ProfileFile &current, const QList<PlayTask> &rows,
                        const QString &songFile) {
    // A file saved as UTF-8 or UTF-16 elsewhere stays so.
    QByteArray bytes;
    if (auto r = songBytes(current, rows, ProfileFile::encodingOf(songFile), &bytes); !r)
        return r;
    if (!bytes.trimmed().isEmpty())
        return ProfileStore::rewriteStoreFile(songFile, bytes, songRewrite);
    // No task and nothing else: no file, as after deleting the last task.
    if (auto r = ProfileStore::refuseReadOnly(songFile); !r)
        return r;
    if (auto r = KeptOriginals::beforeRewrite(songFile, songRewrite); !r)
        return r;
    return ProfileStore::deleteFile(songFile);
}

// The stored file and its tasks; a song.ini that exists but cannot be read must never be
// taken for an empty one, or the rewrite would drop every task.
StoreResult loadTasks(const QString &songFile, ProfileFile *file, QList<PlayTask> *rows) {
    QString error;
    *file = ProfileFile::load(songFile, &error);
    if (!error.isEmpty())
        return StoreResult::failure(error);
    *rows = tasksFrom(*file);
    return StoreResult::success();
}

} // namespace

StoreResult TaskStore::RewriteTaskStore(const QList<PlayTask> &rows) const {
    ProfileFile current;
    QList<PlayTask> stored;
    if (auto r = loadTasks(songFile(), &current, &stored); !r)
        return r;
    return rewriteFrom(current, rows, songFile());
}

StoreResult TaskStore::WriteTaskPlaylist(const QString &name, const TaskPlaylist &items) const {
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

TaskPlaylist TaskStore::ReadTaskPlaylist(const QString &name, QString *error) const {
    const QString path = playlistPath(name, error);
    if (path.isEmpty())
        return {};
    // Only such names can share a file on this disk; the task list is read for them alone.
    if (losesInFileName(name)) {
        if (QString problem = sharedPlaylistProblem(ReadTaskRows(), name); !problem.isEmpty()) {
            if (error)
                *error = problem;
            return {};
        }
    }
    const ProfileFile file = ProfileFile::load(path, error);
    const int count = qBound(0, file.integer(kCountSection, kCountKey, 0), kMaxPlaylistItems);
    return file.section(kItemsSection).numbered(kItemKeyStem, count);
}

StoreResult TaskStore::DeleteTaskPlaylist(const QString &name) const {
    QString error;
    const QString path = playlistPath(name, &error);
    if (path.isEmpty())
        return StoreResult::failure(error);
    return ProfileStore::deleteFile(path);
}

TaskStore::ChangeResult TaskStore::finish(StoreResult result) const {
    QString error;
    const ProfileFile file = ProfileFile::load(songFile(), &error);
    if (result && !error.isEmpty())
        result = StoreResult::failure(error);
    const QList<PlayTask> tasks = tasksFrom(file);
    return {result, tasks, tasks};
}

namespace {

StoreResult checkSelected(const QList<PlayTask> &rows, int row, const PlayTask &expected) {
    if (row < 0 || row >= rows.size() || rows[row] != expected)
        return StoreResult::failure(
            QStringLiteral("所选的播放任务已被更改或删除，请重新选择后再试。"));
    return StoreResult::success();
}

// A playlist file as it was before a change, to put back when the change fails: a second
// name for the same file where the file system has them (putting it back then needs no
// space on the disk), else its bytes.
struct PlaylistBefore {
    bool existed = false;
    QByteArray link;
    QByteArray bytes;
    ~PlaylistBefore() {
        if (!link.isEmpty())
            ::unlink(link.constData());
    }
};

StoreResult keepPlaylist(const QString &path, PlaylistBefore *before) {
    QString error;
    QByteArray bytes;
    const BoundedRead::Stored read = BoundedRead::readStored(path, &bytes, &error);
    if (read == BoundedRead::Stored::Refused)
        return StoreResult::failure(error);
    before->existed = read == BoundedRead::Stored::Whole;
    if (!before->existed)
        return StoreResult::success();
    // The temporaries' pattern, so a link left by a killed process goes at the next start.
    QByteArray link = QFile::encodeName(QFileInfo(path).absolutePath()) + "/.horalet-XXXXXX";
    if (const int fd = ::mkstemp(link.data()); fd >= 0) {
        ::close(fd);
        ::unlink(link.constData());
        if (::link(QFile::encodeName(path).constData(), link.constData()) == 0) {
            before->link = link;
            return StoreResult::success();
        }
    }
    before->bytes = std::move(bytes);
    return StoreResult::success();
}

QSet<QString> namesOf(const QList<PlayTask> &rows) {
    QSet<QString> names;
    for (const PlayTask &row : rows)
        names.insert(row.Name);
    return names;
}

// Entries of names no task has any more: the dropped name of a rename or a deletion, and
// any left by a change that was cut short.
StoreResult dropEntriesOfNoTask(Timetables &timetables, CampusConfig &campus,
                                const QList<PlayTask> &rows, const QString &done) {
    if (timetables.taskTimetables().isEmpty() && campus.taskZones().isEmpty())
        return StoreResult::success();
    const QSet<QString> names = namesOf(rows);
    QStringList failed;
    if (!timetables.taskTimetables().isEmpty())
        if (auto r = timetables.setTaskTimetables({}, &names); !r)
            failed << QStringLiteral("作息表文件未能更新：%1").arg(r.error);
    if (!campus.taskZones().isEmpty())
        if (auto r = campus.setTaskZonesOf({}, &names); !r)
            failed << QStringLiteral("广播分区文件未能更新：%1").arg(r.error);
    if (failed.isEmpty())
        return StoreResult::success();
    return StoreResult::failure(done + QStringLiteral("，但") + failed.join(QStringLiteral("；")));
}

StoreResult restorePlaylist(const QString &path, PlaylistBefore &before) {
    if (!before.link.isEmpty()) {
        if (::rename(before.link.constData(), QFile::encodeName(path).constData()) == 0) {
            before.link.clear();
            return StoreResult::success();
        }
        return StoreResult::failure(SystemErrors::text(errno));
    }
    return before.existed ? ProfileStore::writeFileAtomically(path, before.bytes)
                          : ProfileStore::deleteFile(path);
}

} // namespace

TaskStore::ChangeResult TaskStore::AddTask(const PlayTask &task, const TaskPlaylist &items,
                                           const TaskBindings &bindings) const {
    return storeTask(-1, nullptr, task, items, bindings);
}

TaskStore::ChangeResult TaskStore::ModifyTask(int row, const PlayTask &expected,
                                              const PlayTask &task, const TaskPlaylist &items,
                                              const TaskBindings &bindings) const {
    return storeTask(row, &expected, task, items, bindings);
}

TaskStore::ChangeResult TaskStore::storeTask(int row, const PlayTask *expected,
                                             const PlayTask &task, const TaskPlaylist &items,
                                             const TaskBindings &bindings) const {
    QString error;
    const QString path = playlistPath(task.Name, &error);
    if (path.isEmpty())
        return finish(StoreResult::failure(error));
    if (auto r = checkPlaylistItems(items); !r)
        return finish(r);
    if (auto r = ProfileStore::refuseReadOnly(songFile()); !r)
        return finish(r);
    ProfileFile current;
    QList<PlayTask> rows;
    if (auto r = loadTasks(songFile(), &current, &rows); !r)
        return finish(r);
    Timetables timetables(m_directory);
    if (timetables.load(&error); !error.isEmpty())
        return finish(StoreResult::failure(error));
    CampusConfig campus(m_directory);
    if (campus.load(&error); !error.isEmpty())
        return finish(StoreResult::failure(error));
    const QString wanted = bindings.timetable ? *bindings.timetable
                           : expected         ? timetables.timetableOf(expected->Name)
                                              : QString();
    const QString before = timetables.timetableOf(task.Name);
    const QStringList wantedZones = bindings.zones ? *bindings.zones
                                    : expected     ? campus.zonesOf(expected->Name)
                                                   : QStringList();
    const QStringList zonesBefore = campus.zonesOf(task.Name);
    if (!expected) {
        rows.append(task);
    } else {
        if (auto r = checkSelected(rows, row, *expected); !r)
            return finish(r);
        rows[row] = task;
    }
    // A new or renamed task must not take a file another task's name comes to, and a task
    // stored after one that has its file may not write it: the reason names both.
    const bool newName = !expected || expected->Name != task.Name;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const PlayTask &other = rows[i];
        if ((newName || i < row) && other.Name != task.Name &&
            playlistFileKey(other.Name) == playlistFileKey(task.Name))
            return finish(StoreResult::failure(
                QStringLiteral("第 %1 个播放任务“%2”和这个任务“%3”的播放列表会是同一个文件，"
                               "请修改名称。")
                    .arg(i + 1)
                    .arg(DisplayText::shown(other.Name), DisplayText::shown(task.Name))));
    }
    // The playlist goes first: a crash between the two writes leaves at most a playlist no
    // task uses, never a task without its playlist.
    PlaylistBefore kept;
    if (auto r = keepPlaylist(path, &kept); !r)
        return finish(r);
    if (auto r = WriteTaskPlaylist(task.Name, items); !r)
        return finish(r);
    auto putBack = [&](StoreResult r) {
        if (auto restored = restorePlaylist(path, kept); !restored)
            r.error +=
                QStringLiteral("\n播放列表文件“%1”未能恢复原样：%2").arg(path, restored.error);
        if (timetables.timetableOf(task.Name) != before)
            if (auto restored = timetables.setTaskTimetable(task.Name, before); !restored)
                r.error += QStringLiteral("\n作息表文件未能恢复原样：%1").arg(restored.error);
        if (campus.zonesOf(task.Name) != zonesBefore)
            if (auto restored = campus.setTaskZones(task.Name, zonesBefore); !restored)
                r.error += QStringLiteral("\n广播分区文件未能恢复原样：%1").arg(restored.error);
        return finish(r);
    };
    // Like the playlist, the entries go before the task.
    if (wanted != before)
        if (auto r = timetables.setTaskTimetable(task.Name, wanted); !r)
            return putBack(r);
    if (wantedZones != zonesBefore)
        if (auto r = campus.setTaskZones(task.Name, wantedZones); !r)
            return putBack(r);
    if (auto r = rewriteFrom(current, rows, songFile()); !r)
        return putBack(r);
    return finish(dropEntriesOfNoTask(timetables, campus, rows, QStringLiteral("播放任务已保存")));
}

TaskStore::ChangeResult TaskStore::DeleteTask(int row, const PlayTask &expected) const {
    if (auto r = ProfileStore::refuseReadOnly(songFile()); !r)
        return finish(r);
    ProfileFile current;
    QList<PlayTask> rows;
    if (auto r = loadTasks(songFile(), &current, &rows); !r)
        return finish(r);
    if (auto r = checkSelected(rows, row, expected); !r)
        return finish(r);
    Timetables timetables(m_directory);
    QString error;
    if (timetables.load(&error); !error.isEmpty())
        return finish(StoreResult::failure(error));
    CampusConfig campus(m_directory);
    if (campus.load(&error); !error.isEmpty())
        return finish(StoreResult::failure(error));
    rows.removeAt(row);
    // The task goes first: a failure after it leaves a stray playlist, never a task without one.
    if (auto r = rewriteFrom(current, rows, songFile()); !r)
        return finish(r);
    // Nor a file another task's name comes to (letter case, undecodable bytes).
    const QString key = playlistFileKey(expected.Name);
    const bool shared = std::any_of(rows.cbegin(), rows.cend(), [&](const PlayTask &t) {
        return playlistFileKey(t.Name) == key;
    });
    // A name that is no usable playlist (one of the store's own files among them) has no
    // playlist of its own to delete.
    if (!shared && !playlistPath(expected.Name).isEmpty()) {
        if (auto r = DeleteTaskPlaylist(expected.Name); !r)
            return finish(StoreResult::failure(
                QStringLiteral("播放任务已删除，但它的播放列表文件未能删除：%1").arg(r.error)));
    }
    return finish(dropEntriesOfNoTask(timetables, campus, rows, QStringLiteral("播放任务已删除")));
}
