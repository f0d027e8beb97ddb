#pragma once

#include "StoreResult.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

// Weekend days made working days by the official holiday plan (调休上班), kept in
// "调休上班.ini", section "调休上班", one key per date: "YYYY-MM-DD=周X", the value naming
// the weekday whose timetable the day follows. Entries this program cannot read are kept
// as they stand and written back, so a hand edit is never lost.
class MakeupWorkdays {
public:
    struct Entry {
        QString date;    // the key as stored
        QString weekday; // the value as stored
        // The followed weekday, 0 = Sunday .. 6 = Saturday, or -1 when the entry cannot be
        // read (then it never changes a day).
        int followed = -1;
        bool valid() const { return followed >= 0; }
    };

    static QString fileName();
    static QString section();
    // "周日".."周六" -> 0..6, else -1.
    static int weekdayOfName(const QString &name);
    // Whether the text is a real date written "YYYY-MM-DD".
    static bool isDateText(const QString &text);

    explicit MakeupWorkdays(QString directory);

    // A missing file reads as no days; an unreadable one as no days with *error set.
    void load(QString *error = nullptr);
    // In date order.
    const QList<Entry> &entries() const { return m_entries; }
    // Date text -> followed weekday, for the day gate; readable entries only.
    const QHash<QString, int> &followedWeekdays() const { return m_followed; }
    bool contains(const QString &date) const;

    // Adds or re-points a date (weekday 0..6) and rewrites the file. A failed write leaves
    // the list as it was.
    StoreResult set(const QString &date, int weekday);
    // Adds several at once, one write.
    StoreResult setAll(const QList<std::pair<QString, int>> &days);
    StoreResult remove(const QString &date);

private:
    StoreResult write(const QList<Entry> &entries) const;
    void take(QList<Entry> entries);
    QString path() const;

    QString m_directory;
    QList<Entry> m_entries;
    QHash<QString, int> m_followed;
};
