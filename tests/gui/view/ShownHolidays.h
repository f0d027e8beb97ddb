#pragma once

#include <QAbstractItemModel>
#include <QListView>
#include <QStringList>
#include <QWidget>

// The dates the form's holiday list shows, top to bottom.
inline QStringList shownHolidays(const QWidget &view) {
    const auto *list = view.findChild<QListView *>(QStringLiteral("holidayList1081"));
    QStringList dates;
    for (int row = 0; row < list->model()->rowCount(); ++row)
        dates << list->model()->index(row, 0).data().toString();
    return dates;
}
