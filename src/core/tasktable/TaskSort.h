#pragma once

#include "store/PlayTask.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Column-title sorting of the task table: the first click on a column sorts it ascending,
// the next descending, and so on; another column starts ascending. The state lives for the
// whole run and is not reset by refilling the table.
struct SortState {
    int column = -1;
    int direction = 1; // 1 ascending, -1 descending

    void click(int clicked);
};

namespace TaskSort {
// The text a table column shows for a task (columns 0..5: name, start, end, volume, date
// rule, play mode).
QString columnText(const PlayTask &task, int column);
// Texts are ordered by their code-page-936 bytes, so times and dates sort as text and
// Chinese names by their GBK codes.
QByteArray sortKey(const QString &text);
int compareTexts(const QString &a, const QString &b);
// The new order of the shown rows (positions into shown); rows with equal texts keep
// their relative order.
QList<int> sortedOrder(const QList<PlayTask> &shown, int column, int direction);
} // namespace TaskSort
