#include "StoreTransfer.h"

#include "HolidayList.h"
#include "OptionFlags.h"
#include "ProfileStore.h"
#include "ShutdownTimeFile.h"
#include "StoreFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

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

class Copier {
public:
    Copier(CopyReport &report, QStringList filesOnly)
        : m_report(report), m_filesOnly(std::move(filesOnly)) {}

    void copyFolder(const QString &source, const QString &destination) {
        const QFileInfo from(source);
        if (!from.isDir()) {
            fail(QStringLiteral("目录“%1”不存在。").arg(source));
            return;
        }
        if (!makeFolder(destination))
            return;
        if (m_destinationRoot.isEmpty())
            m_destinationRoot = resolvedPath(destination);
        const QString real = resolvedPath(source);
        m_open.append(real);

        QDir dir(source);
        if (!dir.isReadable()) {
            fail(QStringLiteral("无法读取目录“%1”。").arg(source));
            m_open.removeLast();
            return;
        }
        // Sockets and pipes are no files to copy (reading a pipe would never end).
        const QFileInfoList entries = dir.entryInfoList(
            {QStringLiteral("*.ini")},
            QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
        QFileInfoList files;
        QFileInfoList folders;
        const QFileInfo *song = nullptr;
        for (const QFileInfo &entry : entries) {
            if (entry.isDir())
                folders.append(entry);
            else if (entry.fileName().compare(kSongFile, Qt::CaseInsensitive) == 0 && !song)
                song = &entry;
            else
                files.append(entry);
        }
        // The task list last: its tasks' playlists are in place before it names them.
        if (song)
            files.append(*song);
        for (const QFileInfo &file : files)
            copyFile(file.filePath(), destination + QLatin1Char('/') + file.fileName());
        const bool top = m_open.size() == 1;
        for (const QFileInfo &folder : folders) {
            if (top && m_filesOnly.contains(folder.fileName(), Qt::CaseInsensitive)) {
                fail(QStringLiteral("“%1”是一个文件夹，而“%2”应当是程序的数据文件，未复制。")
                         .arg(folder.filePath(), folder.fileName()));
                continue;
            }
            copySubfolder(folder, destination + QLatin1Char('/') + folder.fileName());
        }
        m_open.removeLast();
    }

private:
    void fail(const QString &reason) { m_report.failures.append(reason); }

    bool makeFolder(const QString &path) {
        if (QFileInfo(path).isDir())
            return true;
        const QByteArray encoded = QFile::encodeName(path);
        if (::mkdir(encoded.constData(), 0777) == 0)
            return true;
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

    void copyFile(const QString &source, const QString &destination) {
        QFile in(source);
        if (!in.open(QIODevice::ReadOnly)) {
            fail(QStringLiteral("无法读取文件“%1”：%2").arg(source, in.errorString()));
            return;
        }
        const QByteArray bytes = in.readAll();
        if (in.error() != QFileDevice::NoError) {
            fail(QStringLiteral("无法读取文件“%1”：%2").arg(source, in.errorString()));
            return;
        }
        in.close();
        if (QFileInfo(destination).isDir()) {
            fail(QStringLiteral("无法替换“%1”：那里是一个同名的文件夹。").arg(destination));
            return;
        }
        const StoreResult written = ProfileStore::writeFileAtomically(destination, bytes);
        if (!written) {
            fail(written.error);
            return;
        }
        m_report.copied.append(destination);
    }

    void copySubfolder(const QFileInfo &folder, const QString &destination) {
        const QString real = resolvedPath(folder.filePath());
        // Copying a folder into itself would never end.
        if (isWithin(m_destinationRoot, real)) {
            fail(QStringLiteral("文件夹“%1”包含目标目录，不能复制到它自己里面。")
                     .arg(folder.filePath()));
            return;
        }
        for (const QString &open : m_open) {
            if (isWithin(open, real)) {
                fail(QStringLiteral("文件夹“%1”指向它的上层目录，已跳过。").arg(folder.filePath()));
                return;
            }
        }
        copyFolder(folder.filePath(), destination);
    }

    CopyReport &m_report;
    QStringList m_filesOnly;
    QString m_destinationRoot;
    QStringList m_open; // source folders being copied, outermost first
};

QString failureMessage(Direction direction, const CopyReport &report) {
    const bool backup = direction == Direction::Backup;
    QString text = (backup ? QStringLiteral("备份未完成：已备份 %1 个文件，以下 %2 项未能备份：")
                           : QStringLiteral("导入未完成：已导入 %1 个文件，以下 %2 项未能导入："))
                       .arg(report.copied.size())
                       .arg(report.failures.size());
    for (const QString &failure : report.failures)
        text += QLatin1Char('\n') + failure;
    return text;
}

} // namespace

CopyReport copyIniEntries(const QString &source, const QString &destination,
                          const QStringList &filesOnly) {
    CopyReport report;
    Copier(report, filesOnly).copyFolder(source, destination);
    return report;
}

QStringList storeFileNames() {
    QStringList names;
    for (const QString &stem : StoreFiles::ownStems())
        names << stem + QStringLiteral(".ini");
    return names;
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

Outcome run(Direction direction, const QString &storeDirectory, const QString &folder) {
    Outcome outcome;
    outcome.message = refusal(direction, storeDirectory, folder);
    if (!outcome.message.isEmpty()) {
        outcome.refused = true;
        return outcome;
    }
    const bool backup = direction == Direction::Backup;
    outcome.report = backup ? copyIniEntries(storeDirectory, folder)
                            : copyIniEntries(folder, storeDirectory, storeFileNames());
    outcome.storeChanged = !backup;
    if (!outcome.report.ok())
        outcome.message = failureMessage(direction, outcome.report);
    else if (outcome.report.copied.isEmpty())
        outcome.message =
            backup
                ? QStringLiteral("数据目录（%1）中没有任务文件（*.ini），没有备份任何文件。")
                      .arg(storeDirectory)
                : QStringLiteral("目录“%1”中没有任务文件（*.ini），没有导入任何文件。").arg(folder);
    else
        outcome.message = doneMessage(direction);
    return outcome;
}

QString chooserTitle(Direction direction) {
    return direction == Direction::Backup
               ? QStringLiteral("您要备份定时播放任务到下列哪个目录?,请选择")
               : QStringLiteral("请选择定时播放任务存放的目录");
}

QString doneMessage(Direction direction) {
    return direction == Direction::Backup ? QStringLiteral("已备份定时播放任务")
                                          : QStringLiteral("已导入定时播放任务，请重新启动软件");
}

} // namespace StoreTransfer
