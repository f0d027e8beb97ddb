#pragma once

#include "store/CalendarDays.h"
#include "store/IcsCalendar.h"

#include <QDialog>

class QLabel;
class QTableView;
class CalendarImportRows;

// The days found in a calendar file, each to be taken as holiday, as make-up workday (with
// the weekday it follows, Monday unless chosen) or not at all. Pre-sorted by the summary's
// keywords; days already listed are shown but cannot be added again. The table is a view
// over the days: a long file costs no widget per day, the choices are edited in place.
class CCalendarImportDlg : public QDialog {
    Q_OBJECT
public:
    CCalendarImportDlg(const QList<IcsCalendar::Day> &days, const CalendarDays &listed,
                       QWidget *parent = nullptr);

    // Why fewer days are listed than the file names; shown above the list.
    void setNote(const QString &note);

    int rowCount() const;
    // Choice of row: CalendarDays::Choice::Kind; weekday 0 = Sunday.
    void choose(int row, CalendarDays::Choice::Kind kind, int weekday = 1);
    CalendarDays::Choice choice(int row) const;
    bool isListed(int row) const;
    // What OK adds: every row not skipped.
    QList<CalendarDays::Choice> choices() const;

private:
    CalendarImportRows *m_rows = nullptr;
    QTableView *m_table = nullptr;
    QLabel *m_note = nullptr;
};
