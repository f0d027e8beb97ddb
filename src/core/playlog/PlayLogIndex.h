#pragma once

#include "PlayLog.h"

#include <QFile>

#include <vector>

// A month file read once from start to end, keeping of each row only where it starts and its
// task and event kind as numbers: a month of millions of rows costs 16 bytes a row, and a
// row's text is read from the file when it is wanted. The file is only ever appended to, so
// the places stay true while it grows.
class PlayLogIndex {
public:
    // Reads the file in pieces; an unreadable file gives an empty index and an error text.
    static PlayLogIndex scan(const QString &path, QString *error = nullptr);

    const QString &path() const { return m_path; }
    qsizetype size() const { return static_cast<qsizetype>(m_rows.size()); }
    // The tasks named (sorted) and the event kinds (in order of first appearance).
    QStringList tasks() const;
    const QStringList &events() const { return m_events; }

    // The row numbers of the task and event kind (empty: any), newest first.
    std::vector<quint32> select(const QString &task, const QString &event) const;
    // Row `number` as the file holds it; `file` is this index's file, open for reading.
    PlayLogRow row(QFile &file, quint32 number) const;
    // Writes the rows, in the order given, as a log file is written; false with an error text.
    bool exportRows(const std::vector<quint32> &numbers, const QString &to, QString *error) const;

private:
    struct Entry {
        qint64 offset;
        quint32 task;
        quint32 event;
    };
    QString m_path;
    std::vector<Entry> m_rows;
    qint64 m_end = 0; // where the last row read ends
    QStringList m_taskNames;
    QStringList m_events;
};
