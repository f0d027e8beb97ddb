#include "TaskSort.h"

#include "store/ProfileStore.h"

#include <algorithm>
#include <numeric>

void SortState::click(int clicked) {
    if (clicked == column) {
        direction = direction == 1 ? -1 : 1;
    } else {
        column = clicked;
        direction = 1;
    }
}

namespace TaskSort {

QString columnText(const PlayTask &task, int column) {
    switch (column) {
    case 0:
        return task.Name;
    case 1:
        return task.Time;
    case 2:
        return task.Duration;
    case 3:
        return task.Type;
    case 4:
        return task.Device;
    case 5:
        return task.Recurrence;
    default:
        return {};
    }
}

QByteArray sortKey(const QString &text) {
    // Stored texts always come from GBK files; anything else still gets a stable key.
    if (auto bytes = Gbk::encode(text))
        return *bytes;
    return text.toUtf8();
}

int compareTexts(const QString &a, const QString &b) {
    // QByteArray compares as unsigned bytes, which orders a double-byte character by its
    // lead byte, then its trail byte: the same as comparing 16-bit character codes.
    return sortKey(a).compare(sortKey(b));
}

QList<int> sortedOrder(const QList<PlayTask> &shown, int column, int direction) {
    QList<QByteArray> keys;
    keys.reserve(shown.size());
    for (const PlayTask &task : shown)
        keys.append(sortKey(columnText(task, column)));
    QList<int> order(shown.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int result = keys[a].compare(keys[b]);
        return direction == -1 ? result > 0 : result < 0;
    });
    return order;
}

} // namespace TaskSort
