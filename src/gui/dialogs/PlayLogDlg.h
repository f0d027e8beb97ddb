#pragma once

#include "playlog/PlayLog.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

// 播放记录: one month of the play log, filtered by task and by event kind, newest first, and
// the rows shown exported to a CSV file of the same form.
class CPlayLogDlg : public QDialog {
    Q_OBJECT
public:
    CPlayLogDlg(const QString &storeDirectory, QWidget *parent = nullptr);

    QComboBox *monthBox() const { return m_month; }
    QComboBox *taskBox() const { return m_task; }
    QComboBox *eventBox() const { return m_event; }
    QTableWidget *table() const { return m_table; }
    const QList<PlayLogRow> &shownRows() const { return m_shown; }

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
    QTableWidget *m_table = nullptr;
    QLabel *m_status = nullptr;
    QList<PlayLogRow> m_rows;
    QList<PlayLogRow> m_shown;
};
