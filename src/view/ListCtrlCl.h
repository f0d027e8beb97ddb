#pragma once

#include <QTableView>

// The task table: a report view with full-row selection of several rows, no editing in place.
class CListCtrlCl : public QTableView {
    Q_OBJECT
public:
    explicit CListCtrlCl(QWidget *parent = nullptr);

    // Left-aligned columns of fixed start widths, in model column order.
    void setColumnWidths(const QList<int> &widths);
};
