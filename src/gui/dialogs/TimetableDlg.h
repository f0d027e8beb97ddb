#pragma once

#include "Prompts.h"

#include "store/PlayTask.h"
#include "store/TaskStore.h"
#include "store/Timetables.h"

#include <QDate>
#include <QDialog>

#include <functional>

class QDateEdit;
class QLabel;
class QLineEdit;
class QTableWidget;

// The range of a new timetable, with what it would share days with shown as it is chosen.
class CSeasonRangeDlg : public QDialog {
    Q_OBJECT
public:
    // overlap: the text telling what a range overlaps.
    CSeasonRangeDlg(const QString &title, const QString &label, const SeasonRange &proposed,
                    std::function<QString(const SeasonRange &)> overlap, QWidget *parent = nullptr);

    SeasonRange range() const;
    void setRange(const SeasonRange &range);
    QString overlapShown() const;

private:
    void showOverlap();

    std::function<QString(const SeasonRange &)> m_overlap;
    QDateEdit *m_from = nullptr;
    QDateEdit *m_to = nullptr;
    QLabel *m_overlapLabel = nullptr;
};

// "作息表": the seasonal timetables with their yearly ranges, which is in force today and
// when that changes next. Add, change (name and range), delete, and copy one timetable's
// tasks into a new one. Every change is written at once.
class CTimetableDlg : public QDialog {
    Q_OBJECT
public:
    enum Column { NameColumn, RangeColumn, TasksColumn, OverlapColumn };

    CTimetableDlg(Timetables &timetables, const TaskStore &store, const QDate &today,
                  QWidget *parent = nullptr);

    // Message boxes and the questions of 复制为…; tests answer them without a display.
    Prompts::Tell tell;
    Prompts::Tell inform; // a change done
    Prompts::Ask ask;
    // Asks for a text (caption, label, proposed text); nothing when the user cancels.
    Prompts::AskText askText;
    // Runs the range question of 复制为… (modally here); true when the user chose a range.
    using RangeRunner = std::function<bool(CSeasonRangeDlg &)>;
    RangeRunner runRange;

    // The commands of the buttons, acting on the fields and the selected row.
    void AddTimetable();
    void ChangeTimetable();
    void RemoveTimetable();
    void CopyTimetable();

    void select(const QString &name);
    void setFields(const QString &name, const SeasonRange &range);
    QTableWidget *table() const { return m_table; }
    QString todayText() const;
    QString switchText() const;
    // What a range would share days with: "与夏季、寒假重叠", or that it shares none.
    QString overlapText(const SeasonRange &range) const;
    // Whether tasks were added (by a copy), so the caller reads the task list anew.
    bool addedTasks() const { return m_addedTasks; }

private:
    void showTimetables(const QString &current);
    void showSelected();
    QString selectedName() const;
    SeasonRange fieldRange() const;
    // Runs a change on a copy off the GUI thread, then puts the copy in place.
    bool change(const std::function<StoreResult(Timetables &)> &work);

    Timetables &m_timetables;
    TaskStore m_store;
    QDate m_today;
    QTableWidget *m_table = nullptr;
    QLineEdit *m_name = nullptr;
    QDateEdit *m_from = nullptr;
    QDateEdit *m_to = nullptr;
    QLabel *m_today_ = nullptr;
    QLabel *m_switch = nullptr;
    bool m_addedTasks = false;
};
