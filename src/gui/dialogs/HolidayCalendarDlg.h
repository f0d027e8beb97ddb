#pragma once

#include "store/CalendarDays.h"

#include <QDate>
#include <QDialog>

#include <array>
#include <functional>

class CCalendarImportDlg;
class QCalendarWidget;
class QComboBox;
class QDateEdit;
class QLabel;
class QListView;
class QSpinBox;
class DayListModel;
class WorkProgress;

// "节假日和调休": the holiday list (the form's own) and the make-up workdays with add and
// delete, a year at a glance with both kinds of days marked, and import of a calendar file.
class CHolidayCalendarDlg : public QDialog {
    Q_OBJECT
public:
    using FileChooser = std::function<QString(QWidget *parent)>;
    using Notice = std::function<void(QWidget *parent, const QString &text)>;
    // Runs the import confirmation; true when the user confirmed.
    using ImportRunner = std::function<bool(CCalendarImportDlg &)>;

    CHolidayCalendarDlg(CalendarDays &days, const QDate &today, QWidget *parent = nullptr);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    void setNotice(Notice notice) { m_notice = std::move(notice); }
    void setImportRunner(ImportRunner runner) { m_runImport = std::move(runner); }
    // For tests: called when the window beside a long calendar read appears, and on the
    // reading thread at each step of the read (a slow disk).
    void setProgressWatcher(std::function<void(WorkProgress &)> watcher) {
        m_showProgress = std::move(watcher);
    }
    void setReadPace(std::function<void()> pace) { m_readPace = std::move(pace); }

    // The date the add buttons take, and the weekday a make-up day follows (0 = Sunday).
    void setDate(const QDate &date);
    void setFollowedWeekday(int weekday);
    void selectHoliday(int row);
    void selectMakeup(int row);

    void AddHoliday();
    void DeleteHoliday();
    void AddMakeup();
    void DeleteMakeup();
    void ImportFile();
    void ImportFile(const QString &path);

    QStringList holidaysShown() const;
    QStringList makeupShown() const;
    int yearShown() const;
    void showYear(int year);
    QCalendarWidget *monthView(int month) const { return m_months.at(size_t(month - 1)); }

signals:
    // The holiday list changed: the form shows it anew.
    void holidaysChanged();

private:
    void refresh();
    void markYear();
    void parkSelection(QCalendarWidget *month, int monthNumber);
    void report(const StoreResult &result);
    // A change of the lists, made on copies off the GUI thread: a long list's rewrite must
    // not hold up the schedule or the window.
    template <class Change> auto changeDays(Change change);
    void notify(const QString &text);
    QString chosenDate() const;

    CalendarDays &m_days;
    QDate m_today;
    // Models over the lists themselves: a hundred thousand dates cost no item each.
    DayListModel *m_holidayModel = nullptr;
    DayListModel *m_makeupModel = nullptr;
    QListView *m_holidayList = nullptr;
    QListView *m_makeupList = nullptr;
    QString m_selectedHoliday; // the date, not the row: rows move as dates come and go
    QDateEdit *m_date = nullptr;
    QComboBox *m_followed = nullptr;
    QSpinBox *m_year = nullptr;
    std::array<QCalendarWidget *, 12> m_months{};
    FileChooser m_chooseFile;
    Notice m_notice;
    ImportRunner m_runImport;
    std::function<void(WorkProgress &)> m_showProgress;
    std::function<void()> m_readPace;
};
