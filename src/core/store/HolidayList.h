#pragma once

#include "StoreResult.h"

#include <QString>
#include <QStringList>

// The days on which nothing plays, kept in date.ini and shown as a sorted list. Every stored
// date is held and honoured, however many there are. Dates are texts "YYYY-MM-DD" compared
// as texts; a date written in another form is kept but never matches a day.
class HolidayList {
public:
    static QString fileName();

    explicit HolidayList(QString directory);

    // Reads the file; the list shows the dates sorted. A missing count reads as no dates;
    // a date key missing below the count reads as an empty entry, which matches no day.
    void load();
    // In list order: ascending, equal dates side by side.
    const QStringList &dates() const { return m_dates; }
    bool contains(const QString &date) const;

    // Inserts the date in sorted position (a date already present is added again) and
    // rewrites the file. Returns the index the date took; -1 when the file could not be
    // written, and then the list is as before. removeAt likewise changes nothing on failure.
    int add(const QString &date, StoreResult *result = nullptr);
    // Inserts every date in sorted position and rewrites the file once.
    StoreResult addAll(const QStringList &dates);
    // Removes the item at index; an index outside the list removes nothing. The file is
    // rewritten either way.
    StoreResult removeAt(int index);

private:
    // The whole file anew: "Holiday" Date0.. in list order, then the count.
    StoreResult rewrite() const;
    QString path() const;

    QString m_directory;
    QStringList m_dates;
};
