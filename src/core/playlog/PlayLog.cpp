#include "PlayLog.h"

#include "program/SystemErrors.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray Bom("\xEF\xBB\xBF");
const QStringList Columns = {QStringLiteral("时间"), QStringLiteral("事件"), QStringLiteral("任务"),
                             QStringLiteral("项目"), QStringLiteral("说明")};

// A spreadsheet opening the file takes a field starting with one of these as a formula.
bool startsLikeFormula(QStringView text) {
    if (text.isEmpty())
        return false;
    switch (text.front().unicode()) {
    case u'=':
    case u'+':
    case u'-':
    case u'@':
    case u'\t':
    case u'\r':
        return true;
    case u'\'':
        // A typed quote before such a character gets a quote of its own, so reading back
        // removes exactly the one written.
        return startsLikeFormula(text.mid(1));
    default:
        return false;
    }
}

QByteArray field(const QString &typed) {
    const QString text = startsLikeFormula(typed) ? u'\'' + typed : typed;
    QByteArray utf8 = text.toUtf8();
    if (utf8.contains(',') || utf8.contains('"') || utf8.contains('\r') || utf8.contains('\n'))
        return '"' + utf8.replace("\"", "\"\"") + '"';
    return utf8;
}

QDate monthOfName(const QString &name) {
    static const QRegularExpression pattern(QStringLiteral("^(\\d{4})-(\\d{2})\\.csv$"));
    const QRegularExpressionMatch m = pattern.match(name);
    if (!m.hasMatch())
        return {};
    return QDate(m.captured(1).toInt(), m.captured(2).toInt(), 1);
}

} // namespace

PlayLog::PlayLog(const QString &storeDirectory, QObject *parent)
    : QObject(parent), m_directory(storeDirectory) {}

QString PlayLog::folderIn(const QString &storeDirectory) {
    return QDir(storeDirectory).filePath(QStringLiteral("播放记录"));
}

QString PlayLog::fileName(const QDate &month) {
    return month.toString(QStringLiteral("yyyy-MM")) + QStringLiteral(".csv");
}

QString PlayLog::pathOf(const QDate &month) const {
    return QDir(folder()).filePath(fileName(month));
}

bool PlayLog::openFor(const QDate &month) {
    const QDate first(month.year(), month.month(), 1);
    if (m_file.isOpen() && m_month == first)
        return true;
    m_file.close();
    if (!QDir().mkpath(folder()))
        return false;
    // Not blocking, and a regular file only: a pipe put in the file's place would hold this
    // thread, and every bell after it, until something read it.
    const int fd = ::open(QFile::encodeName(pathOf(first)).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::fcntl(fd, F_SETFL, O_APPEND) != 0 ||
        !m_file.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    m_month = first;
    if (m_file.size() == 0) {
        const QByteArray header = headerBytes();
        if (m_file.write(header) != header.size() || !m_file.flush()) {
            m_file.close();
            return false;
        }
    }
    return true;
}

bool PlayLog::append(const QDateTime &at, const QString &event, const QString &task,
                     const QString &item, const QString &note) {
    const QDateTime when = at.isValid() ? at : QDateTime::currentDateTime();
    const QByteArray row =
        rowBytes({when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), event, task, item, note});
    bool ok = openFor(when.date());
    if (ok) {
        ok = m_file.write(row) == row.size() && m_file.flush();
        if (!ok)
            m_file.close(); // reopened at the next event, which may succeed
    }
    if (!ok && !m_failing) {
        m_failing = true;
        emit writeFailed(QStringLiteral("播放记录无法写入（%1），定时播放照常进行")
                             .arg(QDir::toNativeSeparators(folder())));
    } else if (ok) {
        m_failing = false;
    }
    return ok;
}

int PlayLog::removeOld(const QDate &today) {
    const QDate oldestKept = QDate(today.year(), today.month(), 1).addMonths(-KeepMonths);
    int removed = 0;
    // A folder the user linked elsewhere is written to, but nothing is deleted there: the
    // files of another place are not ours to remove.
    if (QFileInfo(folder()).isSymLink())
        return 0;
    const QDir dir(folder());
    const QFileInfoList entries = dir.entryInfoList({QStringLiteral("*.csv")}, QDir::Files);
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink())
            continue;
        const QDate month = monthOfName(entry.fileName());
        if (month.isValid() && month < oldestKept && QFile::remove(entry.filePath()))
            ++removed;
    }
    return removed;
}

QList<QDate> PlayLog::months(const QString &storeDirectory) {
    QList<QDate> result;
    const QDir dir(folderIn(storeDirectory));
    for (const QString &name : dir.entryList({QStringLiteral("*.csv")}, QDir::Files)) {
        const QDate month = monthOfName(name);
        if (month.isValid())
            result.append(month);
    }
    std::sort(result.begin(), result.end(), std::greater<>());
    return result;
}

const QByteArray &PlayLog::bom() {
    return Bom;
}

QString PlayLog::asTyped(const QString &cell) {
    return cell.startsWith(u'\'') && startsLikeFormula(QStringView(cell).mid(1)) ? cell.mid(1)
                                                                                 : cell;
}

bool PlayLog::isHeader(const QStringList &cells) {
    return cells == Columns;
}

PlayLogRow PlayLog::rowOf(const QStringList &cells) {
    return {asTyped(cells.value(0)), asTyped(cells.value(1)), asTyped(cells.value(2)),
            asTyped(cells.value(3)), asTyped(cells.value(4))};
}

QByteArray PlayLog::headerBytes() {
    return Bom + rowBytes(Columns);
}

QByteArray PlayLog::rowBytes(const QStringList &fields) {
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        line += field(fields[i]);
    }
    return line + "\r\n";
}

QList<QStringList> PlayLog::parse(const QByteArray &input) {
    const QByteArray bytes = input.startsWith(Bom) ? input.mid(Bom.size()) : input;
    QList<QStringList> rows;
    QStringList row;
    QByteArray cell;
    bool quoted = false;
    bool any = false; // something of the current row was read
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < bytes.size() && bytes[i + 1] == '"') {
                    cell += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                cell += c;
            }
            continue;
        }
        if (c == '"') {
            quoted = true;
            any = true;
        } else if (c == ',') {
            row << QString::fromUtf8(cell);
            cell.clear();
            any = true;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            if (any || !cell.isEmpty()) {
                row << QString::fromUtf8(cell);
                rows << row;
            }
            row.clear();
            cell.clear();
            any = false;
        } else {
            cell += c;
            any = true;
        }
    }
    if (any || !cell.isEmpty()) {
        row << QString::fromUtf8(cell);
        rows << row;
    }
    return rows;
}

QList<PlayLogRow> PlayLog::read(const QString &path, QString *error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("无法读取 %1：%2")
                         .arg(QDir::toNativeSeparators(path),
                              SystemErrors::translated(file.errorString()));
        return {};
    }
    QList<PlayLogRow> rows;
    const QList<QStringList> cells = parse(file.readAll());
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i == 0 && isHeader(cells[i]))
            continue;
        rows << rowOf(cells[i]);
    }
    return rows;
}

bool PlayLog::write(const QString &path, const QList<PlayLogRow> &rows, QString *error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("无法写入 %1：%2")
                         .arg(QDir::toNativeSeparators(path),
                              SystemErrors::translated(file.errorString()));
        return false;
    }
    file.write(headerBytes());
    for (const PlayLogRow &r : rows)
        file.write(rowBytes({r.time, r.event, r.task, r.item, r.note}));
    if (!file.commit()) {
        if (error)
            *error = QStringLiteral("无法写入 %1：%2")
                         .arg(QDir::toNativeSeparators(path),
                              SystemErrors::translated(file.errorString()));
        return false;
    }
    return true;
}
