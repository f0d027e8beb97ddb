#include "PlayLogIndex.h"

#include "program/SystemErrors.h"
#include "store/BoundedRead.h"

#include <QDir>
#include <QHash>
#include <QSaveFile>

#include <array>
#include <cstring>
#include <limits>

namespace {

constexpr qsizetype ChunkBytes = 1 << 20;
// A file of more distinct names than any school has is still shown whole; the names past
// these are only not offered as filters.
constexpr qsizetype MaxNames = 10000;
constexpr quint32 Unnamed = 0xFFFFFFFF;
// A task or event kind is kept this long at most while the month is read: a file with a
// row of hundreds of megabytes costs no more than any other.
constexpr qsizetype MaxNameBytes = 4096;

// The rows of CSV bytes fed in pieces, cut where PlayLog::parse cuts them (quotes may hold
// commas and line breaks; CR, LF or CRLF end a row; blank lines are no rows).
class RowScanner {
public:
    using Cells = std::array<QByteArray, 5>;

    // Keeps every cell when true, else only the event and the task.
    bool keepAll = true;
    qsizetype maxCellBytes = std::numeric_limits<qsizetype>::max();

    template <class OnRow> void feed(const char *bytes, qsizetype n, qint64 at, OnRow &&onRow) {
        const char *const end = bytes + n;
        for (const char *p = bytes; p < end;) {
            if (m_skipLf) {
                m_skipLf = false;
                if (*p == '\n') {
                    ++p;
                    continue;
                }
            }
            if (m_state == State::Quoted) {
                const char *quote = static_cast<const char *>(std::memchr(p, '"', size_t(end - p)));
                const char *stop = quote ? quote : end;
                keep(p, stop - p);
                p = stop;
                if (quote) {
                    m_state = State::QuoteInQuoted;
                    ++p;
                }
                continue;
            }
            if (m_state == State::QuoteInQuoted) {
                m_state = State::Quoted;
                if (*p == '"') {
                    keep(p, 1);
                    ++p;
                    continue;
                }
                m_state = State::Plain;
            }
            switch (*p) {
            case '"':
                m_state = State::Quoted;
                mark(at + (p - bytes));
                ++p;
                break;
            case ',':
                ++m_field;
                mark(at + (p - bytes));
                ++p;
                break;
            case '\r':
            case '\n':
                m_skipLf = *p == '\r';
                if (m_any)
                    onRow(m_start, m_cells, m_field + 1);
                clear();
                ++p;
                break;
            default: {
                const char *stop = p + 1;
                while (stop < end && !isSpecial(*stop))
                    ++stop;
                mark(at + (p - bytes));
                keep(p, stop - p);
                p = stop;
            }
            }
        }
    }
    // The end of the bytes: an unfinished last row is a row, as parse reads it.
    template <class OnRow> void finish(OnRow &&onRow) {
        if (m_any)
            onRow(m_start, m_cells, m_field + 1);
        clear();
    }

private:
    enum class State { Plain, Quoted, QuoteInQuoted };

    void mark(qint64 at) {
        if (!m_any) {
            m_any = true;
            m_start = at;
        }
    }
    static bool isSpecial(char c) { return c == '"' || c == ',' || c == '\r' || c == '\n'; }
    void keep(const char *bytes, qsizetype n) {
        if (m_field >= 5 || (!keepAll && m_field != 1 && m_field != 2))
            return;
        QByteArray &cell = m_cells[m_field];
        n = std::min(n, maxCellBytes - cell.size());
        if (n > 0)
            cell.append(bytes, n);
    }
    void clear() {
        for (QByteArray &cell : m_cells)
            cell.clear();
        m_field = 0;
        m_any = false;
        m_state = State::Plain;
    }

    State m_state = State::Plain;
    bool m_skipLf = false;
    bool m_any = false;
    int m_field = 0;
    qint64 m_start = 0;
    Cells m_cells;
};

QStringList cellsOf(const RowScanner::Cells &cells, int count) {
    QStringList out;
    for (int i = 0; i < std::min(count, 5); ++i)
        out << QString::fromUtf8(cells[i]);
    return out;
}

QString readError(const QString &path, const QFile &file) {
    return QStringLiteral("无法读取 %1：%2")
        .arg(QDir::toNativeSeparators(path), SystemErrors::translated(file.errorString()));
}

// Numbers for the distinct texts of one column; the bytes of the row before are looked up
// first, as runs of one task or kind are the rule.
class Names {
public:
    explicit Names(QStringList &names) : m_names(names) {}
    quint32 of(const QByteArray &cell) {
        if (m_hasLast && cell == m_lastBytes)
            return m_last;
        const auto found = m_byBytes.constFind(cell);
        quint32 id;
        if (found != m_byBytes.constEnd()) {
            id = *found;
        } else {
            const QString text = PlayLog::asTyped(QString::fromUtf8(cell));
            id = m_byText.value(text, Unnamed);
            if (id == Unnamed && m_names.size() < MaxNames) {
                id = static_cast<quint32>(m_names.size());
                m_names << text;
                m_byText.insert(text, id);
            }
            if (m_byBytes.size() < MaxNames * 2)
                m_byBytes.insert(cell, id);
        }
        m_lastBytes = cell;
        m_last = id;
        m_hasLast = true;
        return id;
    }

private:
    QStringList &m_names;
    QHash<QByteArray, quint32> m_byBytes;
    QHash<QString, quint32> m_byText;
    QByteArray m_lastBytes;
    quint32 m_last = 0;
    bool m_hasLast = false;
};

} // namespace

PlayLogIndex PlayLogIndex::scan(const QString &path, QString *error) {
    PlayLogIndex index;
    index.m_path = path;
    // A pipe put in the log's place would hold the reader for good.
    if (const BoundedRead::Entry entry = BoundedRead::inspect(path, true);
        entry.kind != BoundedRead::Kind::Regular && entry.kind != BoundedRead::Kind::Missing) {
        if (error)
            *error = QStringLiteral("无法读取 %1：它是%2，不是普通文件")
                         .arg(QDir::toNativeSeparators(path), BoundedRead::kindName(entry.kind));
        return index;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = readError(path, file);
        return index;
    }
    Names tasks(index.m_taskNames);
    Names events(index.m_events);
    RowScanner scanner;
    scanner.maxCellBytes = MaxNameBytes;
    bool first = true;
    auto onRow = [&](qint64 start, const RowScanner::Cells &cells, int count) {
        if (first) {
            first = false;
            scanner.keepAll = false;
            if (PlayLog::isHeader(cellsOf(cells, count)))
                return;
        }
        index.m_rows.push_back({start, count > 2 ? tasks.of(cells[2]) : tasks.of({}),
                                count > 1 ? events.of(cells[1]) : events.of({})});
    };
    QByteArray chunk(ChunkBytes, Qt::Uninitialized);
    qint64 at = 0;
    for (;;) {
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0) {
            if (error)
                *error = readError(path, file);
            break;
        }
        if (n == 0)
            break;
        qsizetype skip = 0;
        if (at == 0 && chunk.startsWith(PlayLog::bom()))
            skip = PlayLog::bom().size();
        scanner.feed(chunk.constData() + skip, n - skip, at + skip, onRow);
        at += n;
    }
    scanner.finish(onRow);
    index.m_end = at;
    index.m_rows.shrink_to_fit();
    return index;
}

QStringList PlayLogIndex::tasks() const {
    QStringList names = m_taskNames;
    names.removeAll(QString());
    names.sort();
    return names;
}

std::vector<quint32> PlayLogIndex::select(const QString &task, const QString &event) const {
    const quint32 taskId =
        task.isEmpty() ? Unnamed : static_cast<quint32>(m_taskNames.indexOf(task));
    const quint32 eventId =
        event.isEmpty() ? Unnamed : static_cast<quint32>(m_events.indexOf(event));
    std::vector<quint32> numbers;
    // A name that is not in the month matches no row (indexOf gave Unnamed).
    if ((!task.isEmpty() && taskId == Unnamed) || (!event.isEmpty() && eventId == Unnamed))
        return numbers;
    // Rows are appended as they happen, so the file's order is the order of events even
    // within one second.
    for (qsizetype i = size() - 1; i >= 0; --i) {
        const Entry &e = m_rows[static_cast<size_t>(i)];
        if ((task.isEmpty() || e.task == taskId) && (event.isEmpty() || e.event == eventId))
            numbers.push_back(static_cast<quint32>(i));
    }
    return numbers;
}

PlayLogRow PlayLogIndex::row(QFile &file, quint32 number) const {
    if (number >= m_rows.size())
        return {};
    const qint64 start = m_rows[number].offset;
    const qint64 end = number + 1 < m_rows.size() ? m_rows[number + 1].offset : m_end;
    QByteArray bytes(end - start, Qt::Uninitialized);
    if (!file.seek(start))
        return {};
    const qint64 n = file.read(bytes.data(), bytes.size());
    if (n < 0)
        return {};
    RowScanner scanner;
    QStringList cells;
    auto onRow = [&cells](qint64, const RowScanner::Cells &c, int count) {
        if (cells.isEmpty())
            cells = cellsOf(c, count);
    };
    scanner.feed(bytes.constData(), n, start, onRow);
    scanner.finish(onRow);
    return PlayLog::rowOf(cells);
}

bool PlayLogIndex::exportRows(const std::vector<quint32> &numbers, const QString &to,
                              QString *error) const {
    QFile in(m_path);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = readError(m_path, in);
        return false;
    }
    QSaveFile out(to);
    auto failed = [&] {
        if (error)
            *error =
                QStringLiteral("无法写入 %1：%2")
                    .arg(QDir::toNativeSeparators(to), SystemErrors::translated(out.errorString()));
        return false;
    };
    if (!out.open(QIODevice::WriteOnly))
        return failed();
    out.write(PlayLog::headerBytes());
    for (const quint32 number : numbers) {
        const PlayLogRow r = row(in, number);
        out.write(PlayLog::rowBytes({r.time, r.event, r.task, r.item, r.note}));
    }
    return out.commit() || failed();
}
