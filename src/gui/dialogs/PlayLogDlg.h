#pragma once

#include "playlog/PlayLogModel.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

// 播放记录: one month of the play log, filtered by task and by event kind, newest first, and
// the rows shown exported to a CSV file of the same form. The month is read on a thread of
// its own and its rows from the file as they come into view, so a month of millions of
// rows opens in seconds and holds little memory.
class CPlayLogDlg : public QDialog {
    Q_OBJECT
public:
    CPlayLogDlg(const QString &storeDirectory, QWidget *parent = nullptr);

    QComboBox *monthBox() const { return m_month; }
    QComboBox *taskBox() const { return m_task; }
    QComboBox *eventBox() const { return m_event; }
    QTableView *table() const { return m_table; }
    const PlayLogModel &rows() const { return m_rows; }

    // Reads the month chosen in the box again (the log grows while the dialog is open).
    void reload();
    // Writes the shown rows; false with the reason shown to the user.
    bool exportTo(const QString &path, QString *error = nullptr);

private:
    void fillFilters();
    void showRows();
    void exportChosen();

    QString m_directory;
    QComboBox *m_month = nullptr;
    QComboBox *m_task = nullptr;
    QComboBox *m_event = nullptr;
    QTableView *m_table = nullptr;
    QLabel *m_status = nullptr;
    PlayLogModel m_rows;
};
