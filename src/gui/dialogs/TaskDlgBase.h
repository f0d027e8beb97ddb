#pragma once

#include "tasktable/TaskChanges.h"
#include "tasktable/TaskForm.h"

#include <QDialog>
#include <array>
#include <functional>
#include <optional>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QToolButton;
class QRadioButton;
class QTimeEdit;

// What the new-task and modify-task dialogs share: the same controls (found by the ids
// their names end with), handlers and OK steps. A dialog edits one task and its playlist
// and hands them to its commit function, which makes the one change in the store; when
// that is refused or fails, the dialog says why and stays open.
class CTaskDlgBase : public QDialog {
    Q_OBJECT
public:
    using Commit = std::function<TaskChangeOutcome(const PlayTask &, const TaskPlaylist &)>;
    using FileChooser = std::function<QStringList(QWidget *parent, const QStringList &filters)>;
    using Notice = std::function<void(QWidget *parent, const QString &text)>;
    // A Yes/No question; true for Yes.
    using Question = std::function<bool(QWidget *parent, const QString &text)>;

    void setCommit(Commit commit) { m_commit = std::move(commit); }
    // Replace the open-file dialog and the message box (tests drive the dialog without them).
    void setFileChooser(FileChooser chooser) { m_chooseFiles = std::move(chooser); }
    void setNotice(Notice notice) { m_notice = std::move(notice); }
    void setQuestion(Question question) { m_question = std::move(question); }
    // The share of the loudest the volume field plays at, as shown beside it.
    QString volumePercentShown() const;
    // When the task as edited would next play ("下次播放：…"), shown under the times and
    // updated as the user edits and as time passes.
    using NextStartText = std::function<QString(const PlayTask &)>;
    void setNextStart(NextStartText text);
    QString nextStartShown() const;
    void refreshNextStart();
    // What shows beside the end time ("次日 01:00:00" for a one-day task past midnight).
    QString endNoteShown() const;

    // The 作息表 choice: "全年" first, then the timetables; `current` is the task's own (a
    // missing one stays offered, marked, so OK does not change it unasked).
    void setTimetables(const QStringList &timetables, const QString &current);
    // The chosen timetable, empty for 全年; nothing when the dialog offers no choice.
    std::optional<QString> timetableChoice() const;
    // The 广播分区 choice: "全部" (every room) or any number of zones; `current` is the task's
    // own, missing ones offered marked as the timetable's are.
    void setZones(const QStringList &zones, const QStringList &current);
    // The chosen zones in the task's order, empty for 全部; nothing when not offered.
    std::optional<QStringList> zoneChoice() const;

    TaskForm form() const;
    TaskPlaylist playlist() const;
    // The task OK would store.
    PlayTask task() const;
    // The outcome of the last OK, if any.
    const TaskChangeOutcome &outcome() const { return m_outcome; }

    void accept() override;

    // The commands of the buttons, callable as the buttons call them.
    void AddMediaFiles();
    void DeleteItem();
    void DeleteAllItems();

protected:
    explicit CTaskDlgBase(QWidget *parent);
    // After the form is set up: finds the shared controls and connects their handlers.
    void bindControls();
    void showForm(const TaskForm &form);
    void setPlaylist(const TaskPlaylist &items);
    void appendItems(const QStringList &items);
    void notify(const QString &text);
    // The task as stored, for what a form with no date rule keeps.
    PlayTask m_stored;

    QLineEdit *m_name = nullptr;
    QLineEdit *m_mode = nullptr;
    QTimeEdit *m_start = nullptr;
    QDateEdit *m_date = nullptr;
    QTimeEdit *m_end = nullptr;
    QComboBox *m_volume = nullptr;
    QRadioButton *m_everyDay = nullptr;
    QRadioButton *m_oneDay = nullptr;
    QRadioButton *m_weekly = nullptr;
    std::array<QCheckBox *, 7> m_days{};
    QRadioButton *m_loop = nullptr;
    QRadioButton *m_sequential = nullptr;
    QRadioButton *m_random = nullptr;
    QListWidget *m_list = nullptr;

private:
    template <typename T> T *control(const char *name);
    void setupNextStart();
    void setupVolumePercent();
    void setWeekdaysEnabled(bool enabled);
    void zoneTicked(QAction *action);
    static void checkOnly(const QList<QRadioButton *> &group, QRadioButton *checked);

    Commit m_commit;
    FileChooser m_chooseFiles;
    Notice m_notice;
    Question m_question;
    TaskChangeOutcome m_outcome;
    NextStartText m_nextStartText;
    QLabel *m_nextStart = nullptr;
    QLabel *m_endNote = nullptr;
    QComboBox *m_timetable = nullptr;
    QToolButton *m_zoneChoice = nullptr;
    QMenu *m_zoneMenu = nullptr;
    QStringList m_zonesBefore;
    QLabel *m_volumePercent = nullptr;
};
