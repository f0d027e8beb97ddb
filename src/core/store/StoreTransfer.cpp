#include "StoreTransfer.h"

#include "BoundedRead.h"
#include "HolidayList.h"
#include "OptionFlags.h"
#include "ProfileStore.h"
#include "ShutdownTimeFile.h"
#include "StoreFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace StoreTransfer {

namespace {

const QString kSongFile = QStringLiteral("song.ini");

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// The real location of a path, also for one that does not exist yet: its nearest existing
// ancestor resolved (symbolic links followed), the rest appended.
QString resolvedPath(const QString &path) {
    QString rest;
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo::exists(existing)) {
        const int cut = existing.lastIndexOf(QLatin1Char('/'));
        if (cut <= 0)
            return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
        rest.prepend(existing.mid(cut));
        existing.truncate(cut);
    }
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    return QDir::cleanPath((canonical.isEmpty() ? existing : canonical) + rest);
}

// path is folder or lies below it.
bool isWithin(const QString &path, const QString &folder) {
    if (path == folder)
        return true;
    return path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

// One step of a copy, planned before anything is written.
struct Step {
    enum Kind { Folder, File } kind = File;
    QString source;
    QString destination;
    std::optional<QByteArray> bytes; // read and checked while planning
};

// Walks the source and lists what is to be done; reads nothing but the listings, except
// what the caller asks to check.
class Planner {
public:
    Planner(CopyReport &report, QStringList filesOnly)
        : m_report(report), m_filesOnly(std::move(filesOnly)) {}

    QList<Step> plan(const QString &source, const QString &destination) {
        m_destinationRoot = resolvedPath(destination);
        walk(source, destination);
        return std::move(m_steps);
    }

private:
    void fail(const QString &reason) { m_report.failures.append(reason); }
    void skip(const QString &reason) { m_report.skipped.append(reason); }

    void walk(const QString &source, const QString &destination) {
        // The chosen folder may itself be reached through a link; what lies in it may not.
        if (!QFileInfo(source).isDir()) {
            fail(QStringLiteral("目录“%1”不存在。").arg(source));
            return;
        }
        QDir dir(source);
        if (!dir.isReadable()) {
            fail(QStringLiteral("无法读取目录“%1”。").arg(source));
            return;
        }
        m_steps.append({Step::Folder, source, destination, std::nullopt});
        m_open.append(resolvedPath(source));
        const QStringList names = dir.entryList(
            {QStringLiteral("*.ini")},
            QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        QStringList files;
        QStringList folders;
        QString song;
        for (const QString &name : names) {
            const QString path = source + QLatin1Char('/') + name;
            const BoundedRead::Entry entry = BoundedRead::inspect(path, false);
            switch (entry.kind) {
            case BoundedRead::Kind::Regular:
                if (entry.size > MaxFileBytes)
                    skip(QStringLiteral("文件“%1”太大（%2，最多 %3），未复制。")
                             .arg(path, BoundedRead::sizeText(entry.size),
                                  BoundedRead::sizeText(MaxFileBytes)));
                else if (name.compare(kSongFile, Qt::CaseInsensitive) == 0 && song.isEmpty())
                    song = name;
                else
                    files.append(name);
                break;
            case BoundedRead::Kind::Folder:
                folders.append(name);
                break;
            case BoundedRead::Kind::Missing:
                fail(QStringLiteral("无法读取“%1”：%2").arg(path, systemError(entry.error)));
                break;
            case BoundedRead::Kind::Link:
                skip(QStringLiteral("“%1”是符号链接，未复制。").arg(path));
                break;
            default:
                skip(QStringLiteral("“%1”是%2，不是普通文件，未复制。")
                         .arg(path, BoundedRead::kindName(entry.kind)));
                break;
            }
        }
        // The task list last: its tasks' playlists are in place before it names them.
        if (!song.isEmpty())
            files.append(song);
        for (const QString &name : files)
            m_steps.append({Step::File, source + QLatin1Char('/') + name,
                            destination + QLatin1Char('/') + name, std::nullopt});
        const bool top = m_open.size() == 1;
        for (const QString &name : folders) {
            const QString path = source + QLatin1Char('/') + name;
            if (top && m_filesOnly.contains(name, Qt::CaseInsensitive)) {
                fail(QStringLiteral("“%1”是一个文件夹，而“%2”应当是程序的数据文件，未复制。")
                         .arg(path, name));
                continue;
            }
            const QString real = resolvedPath(path);
            // Copying a folder into itself would never end.
            if (isWithin(m_destinationRoot, real)) {
                fail(QStringLiteral("文件夹“%1”包含目标目录，不能复制到它自己里面。").arg(path));
                continue;
            }
            if (std::any_of(m_open.cbegin(), m_open.cend(),
                            [&](const QString &open) { return isWithin(open, real); })) {
                fail(QStringLiteral("文件夹“%1”指向它的上层目录，已跳过。").arg(path));
                continue;
            }
            walk(path, destination + QLatin1Char('/') + name);
        }
        m_open.removeLast();
    }

    CopyReport &m_report;
    QStringList m_filesOnly;
    QString m_destinationRoot;
    QStringList m_open; // source folders being walked, outermost first
    QList<Step> m_steps;
};

// Carries out planned steps, remembering what it changed so that it can be undone.
class Copier {
public:
    struct Written {
        QString path;
        bool existed;
    };

    explicit Copier(CopyReport &report) : m_report(report) {}

    // false when stopped by the progress answer.
    bool run(const QList<Step> &steps, const Progress &progress, int first, int total) {
        int number = first;
        for (const Step &step : steps) {
            if (std::any_of(m_lostFolders.cbegin(), m_lostFolders.cend(),
                            [&](const QString &lost) { return isWithin(step.destination, lost); }))
                continue;
            if (step.kind == Step::Folder) {
                if (!makeFolder(step.destination))
                    m_lostFolders.append(step.destination);
                continue;
            }
            if (progress && !progress(++number, total, step.source)) {
                m_report.cancelled = true;
                return false;
            }
            copyFile(step);
        }
        return true;
    }

    const QList<Written> &written() const { return m_written; }
    const QStringList &madeFolders() const { return m_made; }

private:
    void fail(const QString &reason) { m_report.failures.append(reason); }

    bool makeFolder(const QString &path) {
        if (QFileInfo(path).isDir())
            return true;
        const QByteArray encoded = QFile::encodeName(path);
        if (::mkdir(encoded.constData(), 0777) == 0) {
            m_made.append(path);
            return true;
        }
        int code = errno;
        if (code == ENOENT) {
            // Missing parents: made as well, then the reason of the last step if it fails.
            QDir().mkpath(QFileInfo(path).absolutePath());
            if (::mkdir(encoded.constData(), 0777) == 0 || QFileInfo(path).isDir())
                return true;
            code = errno;
        }
        fail(QStringLiteral("无法创建目录“%1”：%2").arg(path, systemError(code)));
        return false;
    }

    void copyFile(const Step &step) {
        QString why;
        const std::optional<QByteArray> bytes =
            step.bytes ? step.bytes : BoundedRead::read(step.source, MaxFileBytes, false, &why);
        if (!bytes) {
            fail(why);
            return;
        }
        const BoundedRead::Entry there = BoundedRead::inspect(step.destination, false);
        if (there.kind == BoundedRead::Kind::Folder) {
            fail(QStringLiteral("无法替换“%1”：那里是一个同名的文件夹。").arg(step.destination));
            return;
        }
        const StoreResult written = ProfileStore::writeFileAtomically(step.destination, *bytes);
        if (!written) {
            fail(written.error);
            return;
        }
        m_report.copied.append(step.destination);
        m_written.append({step.destination, there.kind != BoundedRead::Kind::Missing});
    }

    CopyReport &m_report;
    QStringList m_lostFolders; // not made: nothing goes below them
    QStringList m_made;
    QList<Written> m_written;
};

int fileCount(const QList<Step> &steps) {
    return int(std::count_if(steps.cbegin(), steps.cend(),
                             [](const Step &s) { return s.kind == Step::File; }));
}

void appendLines(QString &text, const QString &heading, const QStringList &lines) {
    if (lines.isEmpty())
        return;
    text += QLatin1Char('\n') + heading.arg(lines.size());
    for (const QString &line : lines)
        text += QLatin1Char('\n') + line;
}

QString keptCopyLine(const Outcome &outcome, const QString &storeDirectory) {
    return QStringLiteral("导入前的数据已保存在“%1”；要回到导入前的状态，把其中的文件复制回数据"
                          "目录（%2）并重新启动软件。")
        .arg(outcome.keptCopy, storeDirectory);
}

QString message(Direction direction, const Outcome &outcome, const QString &storeDirectory,
                const QString &folder) {
    const bool backup = direction == Direction::Backup;
    const CopyReport &report = outcome.report;
    QString text;
    if (report.cancelled) {
        text = backup ? QStringLiteral("备份已取消：已备份的 %1 个文件留在“%2”中。")
                            .arg(report.copied.size())
                            .arg(folder)
                      : QStringLiteral("导入已取消，数据目录保持导入前的样子。");
    } else if (!report.ok()) {
        text = (backup ? QStringLiteral("备份未完成：已备份 %1 个文件，以下 %2 项未能备份：")
                       : QStringLiteral("导入未完成：已导入 %1 个文件，以下 %2 项未能导入："))
                   .arg(report.copied.size())
                   .arg(report.failures.size());
    } else if (report.copied.isEmpty()) {
        text =
            backup
                ? QStringLiteral("数据目录（%1）中没有任务文件（*.ini），没有备份任何文件。")
                      .arg(storeDirectory)
                : QStringLiteral("目录“%1”中没有任务文件（*.ini），没有导入任何文件。").arg(folder);
    } else {
        text = doneMessage(direction);
        if (!backup)
            text += QStringLiteral("\n已导入 %1 个文件。").arg(report.copied.size());
    }
    if (!report.cancelled)
        for (const QString &failure : report.failures)
            text += QLatin1Char('\n') + failure;
    appendLines(text, QStringLiteral("以下 %1 项不是普通文件或太大，已跳过："), report.skipped);
    if (report.cancelled && !report.failures.isEmpty())
        appendLines(text, QStringLiteral("以下 %1 项未能恢复："), report.failures);
    if (!outcome.keptCopy.isEmpty() && !(report.cancelled && report.failures.isEmpty()))
        text += QLatin1Char('\n') + keptCopyLine(outcome, storeDirectory);
    return text;
}

// A folder of its own for the store's files as they are now, named by the time.
QString newKeptCopyFolder(const QString &storeDirectory) {
    const QString base = storeDirectory + QLatin1Char('/') + keptCopyPrefix() +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = base;
    for (int n = 2; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++n)
        path = base + QStringLiteral("-%1").arg(n);
    return path;
}

// Puts back what an import wrote: the kept copies where a file was replaced, nothing where
// one was added. Failures go to the report.
void undo(const Copier &copier, const QString &storeDirectory, const QString &keptCopy,
          CopyReport &report) {
    const QDir store(storeDirectory);
    const QList<Copier::Written> &written = copier.written();
    for (auto it = written.crbegin(); it != written.crend(); ++it) {
        const QByteArray path = QFile::encodeName(it->path);
        if (!it->existed) {
            if (::unlink(path.constData()) != 0 && errno != ENOENT)
                report.failures.append(
                    QStringLiteral("无法删除导入的文件“%1”：%2").arg(it->path, systemError(errno)));
            continue;
        }
        QString why;
        const std::optional<QByteArray> before =
            keptCopy.isEmpty()
                ? std::nullopt
                : BoundedRead::read(keptCopy + QLatin1Char('/') + store.relativeFilePath(it->path),
                                    MaxFileBytes, false, &why);
        const StoreResult restored =
            before ? ProfileStore::writeFileAtomically(it->path, *before)
                   : StoreResult::failure(QStringLiteral("“%1”没有导入前的副本。").arg(it->path));
        if (!restored)
            report.failures.append(restored.error);
    }
    const QStringList &made = copier.madeFolders();
    for (auto it = made.crbegin(); it != made.crend(); ++it)
        ::rmdir(QFile::encodeName(*it).constData());
}

} // namespace

CopyReport copyIniEntries(const QString &source, const QString &destination,
                          const QStringList &filesOnly, const Progress &progress) {
    CopyReport report;
    const QList<Step> steps = Planner(report, filesOnly).plan(source, destination);
    Copier(report).run(steps, progress, 0, fileCount(steps));
    return report;
}

QStringList storeFileNames() {
    QStringList names;
    for (const QString &stem : StoreFiles::ownStems())
        names << stem + QStringLiteral(".ini");
    return names;
}

QString keptCopyPrefix() {
    return QStringLiteral("导入前备份-");
}

QString taskListProblem(const QByteArray &bytes) {
    const FileEncoding encoding = FileEncodings::detect(bytes);
    QByteArray odd;
    const QString text =
        FileEncodings::decode(FileEncodings::toParserBytes(bytes, encoding, &odd), encoding);
    const auto unreadable = std::count_if(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() == 0 || FileEncodings::isEscape(c);
    });
    // A damaged byte here and there is a hand edit; a NUL or many of them is no text.
    if (text.contains(QChar(u'\0')) || (unreadable > 16 && unreadable * 100 > text.size()))
        return QStringLiteral("内容无法识别为文本（有 %1 处无法解码的字节）").arg(unreadable);
    const ProfileFile file = ProfileFile::fromBytes(bytes);
    static const QRegularExpression numbered(QStringLiteral("^FileInfo[0-9]+$"),
                                             QRegularExpression::CaseInsensitiveOption);
    for (const QString &section : file.sectionNames())
        if (numbered.match(section).hasMatch() || file.value(section, QStringLiteral("Name")))
            return {};
    return QStringLiteral("其中没有播放任务（没有 [FileInfo0] 这样的任务段）");
}

QString refusal(Direction direction, const QString &storeDirectory, const QString &folder) {
    if (folder.isEmpty())
        return QStringLiteral("所选的项目不是文件系统中的目录。");
    const QString store = resolvedPath(storeDirectory);
    const QString picked = resolvedPath(folder);
    if (direction == Direction::Backup) {
        if (picked == store)
            return QStringLiteral("不能备份到数据目录本身（%1），请选择其他目录。")
                .arg(storeDirectory);
        if (isWithin(picked, store))
            return QStringLiteral(
                       "不能备份到数据目录（%1）之中的文件夹，请选择数据目录以外的目录。")
                .arg(storeDirectory);
        return {};
    }
    if (picked == store)
        return QStringLiteral("所选目录就是数据目录（%1），请选择存放备份的目录。")
            .arg(storeDirectory);
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("目录“%1”不存在。").arg(folder);
    return {};
}

Outcome run(Direction direction, const QString &storeDirectory, const QString &folder,
            const Progress &progress) {
    Outcome outcome;
    auto refuse = [&](const QString &why) {
        outcome.refused = true;
        outcome.message = why;
        return outcome;
    };
    if (const QString why = refusal(direction, storeDirectory, folder); !why.isEmpty())
        return refuse(why);
    CopyReport &report = outcome.report;
    if (direction == Direction::Backup) {
        const QList<Step> steps = Planner(report, {}).plan(storeDirectory, folder);
        Copier(report).run(steps, progress, 0, fileCount(steps));
        outcome.message = message(direction, outcome, storeDirectory, folder);
        return outcome;
    }

    QList<Step> steps = Planner(report, storeFileNames()).plan(folder, storeDirectory);
    // The task list is read before anything is replaced: one that is no task list would
    // empty the table.
    const QString songTarget = storeDirectory + QLatin1Char('/') + kSongFile;
    for (Step &step : steps) {
        if (step.kind != Step::File ||
            step.destination.compare(songTarget, Qt::CaseInsensitive) != 0)
            continue;
        QString why;
        step.bytes = BoundedRead::read(step.source, MaxFileBytes, false, &why);
        if (step.bytes && !(why = taskListProblem(*step.bytes)).isEmpty())
            why = QStringLiteral("“%1”不是播放任务文件：%2。").arg(step.source, why);
        if (!why.isEmpty())
            return refuse(QStringLiteral("没有导入：%1\n数据目录中的文件没有任何改动。").arg(why));
    }
    const int importing = fileCount(steps);
    if (importing == 0) {
        outcome.message = message(direction, outcome, storeDirectory, folder);
        return outcome;
    }

    // The store as it is now, kept inside it before the first file is replaced.
    CopyReport keptReport;
    const QString kept = newKeptCopyFolder(storeDirectory);
    const QList<Step> keep = Planner(keptReport, {}).plan(storeDirectory, kept);
    const int keeping = fileCount(keep);
    const int total = keeping + importing;
    if (keeping > 0) {
        Copier(keptReport).run(keep, progress, 0, total);
        if (keptReport.cancelled) {
            QDir(kept).removeRecursively();
            report.cancelled = true;
            outcome.message = message(direction, outcome, storeDirectory, folder);
            return outcome;
        }
        if (!keptReport.ok()) {
            QDir(kept).removeRecursively();
            return refuse(QStringLiteral("没有导入：无法先保存数据目录中现有的文件，"
                                         "数据目录中的文件没有任何改动。\n") +
                          keptReport.failures.join(QLatin1Char('\n')));
        }
        outcome.keptCopy = kept;
    }

    outcome.storeChanged = true;
    Copier copier(report);
    if (!copier.run(steps, progress, keeping, total)) {
        report.failures.clear();
        undo(copier, storeDirectory, outcome.keptCopy, report);
        report.copied.clear();
        // All put back: the store is as it was, without a copy of itself.
        if (report.failures.isEmpty() && !outcome.keptCopy.isEmpty()) {
            QDir(outcome.keptCopy).removeRecursively();
            outcome.keptCopy.clear();
        }
    }
    pruneKeptCopies(storeDirectory, QDateTime::currentDateTime());
    outcome.message = message(direction, outcome, storeDirectory, folder);
    return outcome;
}

int pruneKeptCopies(const QString &storeDirectory, const QDateTime &now) {
    static const QRegularExpression named(QLatin1Char('^') + keptCopyPrefix() +
                                          QStringLiteral("(\\d{8}-\\d{6})(?:-(\\d+))?$"));
    struct Kept {
        QDateTime made;
        int order;
        QString path;
    };
    std::vector<Kept> all;
    const QDir store(storeDirectory);
    for (const QString &name : store.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch m = named.match(name);
        const QDateTime made =
            m.hasMatch() ? QDateTime::fromString(m.captured(1), QStringLiteral("yyyyMMdd-HHmmss"))
                         : QDateTime();
        const QString path = store.filePath(name);
        // A link with our name leads somewhere that is not ours to delete.
        if (made.isValid() && BoundedRead::inspect(path, false).kind == BoundedRead::Kind::Folder)
            all.push_back({made, m.captured(2).toInt(), path});
    }
    std::sort(all.begin(), all.end(), [](const Kept &a, const Kept &b) {
        return a.made != b.made ? a.made > b.made : a.order > b.order;
    });
    const QDateTime oldestKept = now.addDays(-KeptCopyDays);
    int removed = 0;
    for (size_t i = KeptCopiesKept; i < all.size(); ++i)
        if (all[i].made < oldestKept && QDir(all[i].path).removeRecursively())
            ++removed;
    return removed;
}

QString chooserTitle(Direction direction) {
    return direction == Direction::Backup
               ? QStringLiteral("您要备份定时播放任务到下列哪个目录?,请选择")
               : QStringLiteral("请选择定时播放任务存放的目录");
}

QString doneMessage(Direction direction) {
    return direction == Direction::Backup
               ? QStringLiteral("已备份定时播放任务")
               : QStringLiteral("已导入定时播放任务，导入的任务和设置已立即生效。");
}

} // namespace StoreTransfer
