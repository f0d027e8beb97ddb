#include "TaskDlgBase.h"

#include "dialogs/TimeEntry.h"
#include "tasktable/DisplayText.h"
#include "tasktable/TaskNames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QStringList chooseMediaFiles(QWidget *parent, const QStringList &filters) {
    QFileDialog dialog(parent, QStringLiteral("打开"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

void warn(QWidget *parent, const QString &text) {
    QMessageBox::warning(parent, QStringLiteral("Horalet"), text);
}

bool ask(QWidget *parent, const QString &text) {
    return QMessageBox::question(parent, QStringLiteral("Horalet"), text,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

} // namespace

CTaskDlgBase::CTaskDlgBase(QWidget *parent)
    : QDialog(parent), m_chooseFiles(chooseMediaFiles), m_notice(warn), m_question(ask) {}

template <typename T> T *CTaskDlgBase::control(const char *name) {
    T *found = findChild<T *>(QString::fromLatin1(name));
    Q_ASSERT_X(found, "CTaskDlgBase", name);
    return found;
}

void CTaskDlgBase::bindControls() {
    m_name = control<QLineEdit>("nameEdit1004");
    m_mode = control<QLineEdit>("modeEdit1005");
    m_start = control<QTimeEdit>("startPicker1006");
    m_date = control<QDateEdit>("datePicker1009");
    m_end = control<QTimeEdit>("endPicker1044");
    m_volume = control<QComboBox>("volumeCombo1012");
    m_everyDay = control<QRadioButton>("everyDayRadio1013");
    m_oneDay = control<QRadioButton>("oneDayRadio1014");
    m_weekly = control<QRadioButton>("weeklyRadio1017");
    const char *days[] = {"dayMonday1085", "dayTuesday1086",  "dayWednesday1087", "dayThursday1088",
                          "dayFriday1089", "daySaturday1090", "daySunday1091"};
    for (int i = 0; i < 7; ++i)
        m_days[i] = control<QCheckBox>(days[i]);
    m_loop = control<QRadioButton>("loopRadio1116");
    m_sequential = control<QRadioButton>("sequentialRadio1117");
    m_random = control<QRadioButton>("randomRadio1118");
    m_list = control<QListWidget>("playList1032");

    m_mode->hide();
    TimeEntry::install(m_start);
    TimeEntry::install(m_end);
    // Four-digit years, in the order the store writes dates.
    m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    // Typing "5" must stay "5", not complete to an entry.
    m_volume->setCompleter(nullptr);
    m_volume->setInsertPolicy(QComboBox::NoInsert);
    m_volume->addItems(TaskForms::volumeEntries());
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);

    connect(m_everyDay, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            setWeekdaysEnabled(false);
    });
    connect(m_oneDay, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            setWeekdaysEnabled(false);
    });
    connect(m_weekly, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            for (QCheckBox *day : m_days)
                day->setEnabled(true);
    });
    const std::pair<QRadioButton *, QString> modes[] = {{m_loop, TaskText::Loop},
                                                        {m_sequential, TaskText::Sequential},
                                                        {m_random, TaskText::Random}};
    for (const auto &[radio, text] : modes)
        connect(radio, &QRadioButton::toggled, this, [this, text = text](bool on) {
            if (on)
                m_mode->setText(text);
        });

    connect(control<QPushButton>("addFilesButton1033"), &QPushButton::clicked, this,
            &CTaskDlgBase::AddMediaFiles);
    connect(control<QPushButton>("deleteItemButton1034"), &QPushButton::clicked, this,
            &CTaskDlgBase::DeleteItem);
    connect(control<QPushButton>("deleteAllButton1035"), &QPushButton::clicked, this,
            &CTaskDlgBase::DeleteAllItems);
    setupNextStart();
    setupVolumePercent();
    connect(control<QPushButton>("okButton1"), &QPushButton::clicked, this, &CTaskDlgBase::accept);
    connect(control<QPushButton>("cancelButton2"), &QPushButton::clicked, this,
            &CTaskDlgBase::reject);
}

void CTaskDlgBase::setupNextStart() {
    m_endNote = new QLabel(this);
    m_endNote->setObjectName(QStringLiteral("endNoteLabel"));
    if (auto *row = qobject_cast<QBoxLayout *>(m_end->parentWidget()->layout())) {
        const int at = row->indexOf(m_end);
        if (at >= 0)
            row->insertWidget(at + 1, m_endNote);
    }
    m_nextStart = new QLabel(this);
    m_nextStart->setObjectName(QStringLiteral("nextStartLabel"));
    m_nextStart->hide();
    if (auto *layout = qobject_cast<QVBoxLayout *>(this->layout())) {
        const int at = layout->indexOf(findChild<QWidget *>(QStringLiteral("timeGroup")));
        layout->insertWidget(at >= 0 ? at + 1 : layout->count(), m_nextStart);
    }
    const auto refresh = [this] { refreshNextStart(); };
    for (QRadioButton *radio : {m_everyDay, m_oneDay, m_weekly})
        connect(radio, &QRadioButton::toggled, this, refresh);
    for (QCheckBox *day : m_days)
        connect(day, &QCheckBox::toggled, this, refresh);
    connect(m_start, &QTimeEdit::timeChanged, this, refresh);
    // An end equal to the start holds the task back.
    connect(m_end, &QTimeEdit::timeChanged, this, refresh);
    connect(m_date, &QDateEdit::dateChanged, this, refresh);
    // Today's next start becomes tomorrow's as the clock passes it.
    auto *ticker = new QTimer(this);
    connect(ticker, &QTimer::timeout, this, refresh);
    ticker->start(1000);
}

void CTaskDlgBase::setTimetables(const QStringList &timetables, const QString &current) {
    if (!m_timetable) {
        auto *row = new QHBoxLayout;
        auto *label = new QLabel(QStringLiteral("作息表："), this);
        m_timetable = new QComboBox(this);
        m_timetable->setObjectName(QStringLiteral("timetableChoice"));
        m_timetable->setToolTip(QStringLiteral("任务只在所选作息表的日期内播放"));
        label->setBuddy(m_timetable);
        row->addWidget(label);
        row->addWidget(m_timetable, 1);
        if (auto *layout = qobject_cast<QVBoxLayout *>(this->layout())) {
            const int at = layout->indexOf(m_nextStart);
            layout->insertLayout(at >= 0 ? at + 1 : layout->count(), row);
        }
        connect(m_timetable, &QComboBox::currentIndexChanged, this, [this] { refreshNextStart(); });
    }
    const QSignalBlocker quiet(m_timetable);
    m_timetable->clear();
    m_timetable->addItem(QStringLiteral("全年"), QString());
    for (const QString &name : timetables)
        m_timetable->addItem(name, name);
    if (!current.isEmpty() && !timetables.contains(current))
        m_timetable->addItem(QStringLiteral("%1（不存在）").arg(current), current);
    m_timetable->setCurrentIndex(std::max(0, m_timetable->findData(current)));
    refreshNextStart();
}

std::optional<QString> CTaskDlgBase::timetableChoice() const {
    if (!m_timetable)
        return std::nullopt;
    return m_timetable->currentData().toString();
}

void CTaskDlgBase::setZones(const QStringList &zones, const QStringList &current) {
    if (!m_zoneChoice) {
        auto *row = new QHBoxLayout;
        auto *label = new QLabel(QStringLiteral("广播分区："), this);
        m_zoneChoice = new QToolButton(this);
        m_zoneChoice->setObjectName(QStringLiteral("zoneChoice"));
        m_zoneChoice->setToolTip(QStringLiteral("任务在所选分区的终端播放；“全部”为所有终端"));
        m_zoneChoice->setPopupMode(QToolButton::InstantPopup);
        m_zoneChoice->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_zoneMenu = new QMenu(m_zoneChoice);
        m_zoneChoice->setMenu(m_zoneMenu);
        label->setBuddy(m_zoneChoice);
        row->addWidget(label);
        row->addWidget(m_zoneChoice, 1);
        if (auto *layout = qobject_cast<QVBoxLayout *>(this->layout())) {
            const int at = layout->indexOf(m_nextStart);
            layout->insertLayout(at >= 0 ? at + 1 : layout->count(), row);
        }
        connect(m_zoneMenu, &QMenu::triggered, this, &CTaskDlgBase::zoneTicked);
    }
    m_zonesBefore = current;
    m_zoneMenu->clear();
    auto add = [this](const QString &text, const QString &zone, bool ticked) {
        QAction *action = m_zoneMenu->addAction(DisplayText::shown(text));
        action->setCheckable(true);
        action->setChecked(ticked);
        action->setData(zone);
    };
    add(QStringLiteral("全部"), QString(), current.isEmpty());
    for (const QString &zone : zones)
        add(zone, zone, current.contains(zone));
    for (const QString &zone : current)
        if (!zones.contains(zone))
            add(QStringLiteral("%1（不存在）").arg(zone), zone, true);
    zoneTicked(nullptr);
}

// "全部" and the zones exclude each other: ticking a zone unticks 全部, ticking 全部 or
// unticking the last zone leaves 全部 alone.
void CTaskDlgBase::zoneTicked(QAction *action) {
    const QList<QAction *> actions = m_zoneMenu->actions();
    if (actions.isEmpty())
        return;
    QAction *all = actions.first();
    if (action == all) {
        for (QAction *zone : actions.mid(1))
            zone->setChecked(false);
        all->setChecked(true);
    } else {
        const bool any = std::any_of(actions.cbegin() + 1, actions.cend(),
                                     [](const QAction *a) { return a->isChecked(); });
        all->setChecked(!any);
    }
    const QStringList chosen = *zoneChoice();
    m_zoneChoice->setText(chosen.isEmpty() ? QStringLiteral("全部")
                                           : DisplayText::shown(chosen.join(QStringLiteral("、"))));
}

std::optional<QStringList> CTaskDlgBase::zoneChoice() const {
    if (!m_zoneMenu)
        return std::nullopt;
    QStringList ticked;
    for (const QAction *action : m_zoneMenu->actions().mid(1))
        if (action->isChecked())
            ticked << action->data().toString();
    // The task's own order first: it is the order the play log names them in.
    QStringList chosen;
    for (const QString &zone : m_zonesBefore)
        if (ticked.contains(zone))
            chosen << zone;
    for (const QString &zone : ticked)
        if (!chosen.contains(zone))
            chosen << zone;
    return chosen;
}

// The stored scale runs to 65535: the share of the loudest beside the field shows at once
// what a typed number means.
void CTaskDlgBase::setupVolumePercent() {
    m_volumePercent = new QLabel(this);
    m_volumePercent->setObjectName(QStringLiteral("volumePercentLabel"));
    m_volumePercent->setToolTip(QStringLiteral("音量的范围是 0 到 65535，65535 为最大音量"));
    // Wide enough for "≈ 100.0 %", so the row does not jump while typing.
    m_volumePercent->setMinimumWidth(
        m_volumePercent->fontMetrics().horizontalAdvance(QStringLiteral("≈ 100.0 %")));
    if (auto *row = findChild<QHBoxLayout *>(QStringLiteral("volumeModeRow")))
        row->insertWidget(row->indexOf(m_volume) + 1, m_volumePercent);
    const auto refresh = [this] { m_volumePercent->setText(volumePercentShown()); };
    connect(m_volume, &QComboBox::currentTextChanged, this, refresh);
    refresh();
}

QString CTaskDlgBase::volumePercentShown() const {
    return TaskForms::volumePercentText(m_volume->currentText());
}

void CTaskDlgBase::setNextStart(NextStartText text) {
    m_nextStartText = std::move(text);
    m_nextStart->setVisible(bool(m_nextStartText));
    refreshNextStart();
}

void CTaskDlgBase::refreshNextStart() {
    m_endNote->setText(TaskForms::endNote(form()));
    if (m_nextStartText)
        m_nextStart->setText(m_nextStartText(task()));
}

QString CTaskDlgBase::endNoteShown() const {
    return m_endNote ? m_endNote->text() : QString();
}

QString CTaskDlgBase::nextStartShown() const {
    return m_nextStart ? m_nextStart->text() : QString();
}

void CTaskDlgBase::setWeekdaysEnabled(bool enabled) {
    for (QCheckBox *day : m_days) {
        day->setEnabled(enabled);
        if (!enabled)
            day->setChecked(false);
    }
}

void CTaskDlgBase::checkOnly(const QList<QRadioButton *> &group, QRadioButton *checked) {
    // Auto-exclusive radios cannot be unchecked one by one; a stored text matching none of
    // them must show none.
    for (QRadioButton *radio : group) {
        radio->setAutoExclusive(false);
        radio->setChecked(radio == checked);
    }
    for (QRadioButton *radio : group)
        radio->setAutoExclusive(true);
}

void CTaskDlgBase::showForm(const TaskForm &form) {
    // A name too long for any playlist file (a hand-edited store) is shown cut: the store
    // refuses it as a file name either way, and a field of megabytes lays out for ages.
    m_name->setText(DisplayText::shown(form.name));
    QRadioButton *mode = form.playMode == TaskText::Sequential ? m_sequential
                         : form.playMode == TaskText::Random   ? m_random
                         : form.playMode == TaskText::Loop     ? m_loop
                                                               : nullptr;
    checkOnly({m_loop, m_sequential, m_random}, mode);
    // The field, not the radios, is what OK stores: an unknown mode is kept as it was.
    m_mode->setText(form.playMode);

    for (int i = 0; i < 7; ++i)
        m_days[i]->setChecked(form.weekdays[i]);
    QRadioButton *rule = form.rule == DateRule::EveryDay ? m_everyDay
                         : form.rule == DateRule::OneDay ? m_oneDay
                         : form.rule == DateRule::Weekly ? m_weekly
                                                         : nullptr;
    checkOnly({m_everyDay, m_oneDay, m_weekly}, rule);
    if (rule == m_everyDay || rule == m_oneDay)
        setWeekdaysEnabled(false);
    else if (rule == m_weekly)
        setWeekdaysEnabled(true);

    m_start->setTime(form.start);
    m_date->setDate(form.date);
    m_end->setTime(form.end);

    const int entry = TaskForms::volumeEntryIndex(form.volume);
    if (entry >= 0)
        m_volume->setCurrentIndex(entry);
    else {
        m_volume->setCurrentIndex(-1);
        m_volume->setEditText(form.volume);
    }
    refreshNextStart();
}

TaskForm CTaskDlgBase::form() const {
    TaskForm form;
    form.name = m_name->text();
    form.playMode = m_mode->text();
    form.rule = m_everyDay->isChecked() ? DateRule::EveryDay
                : m_oneDay->isChecked() ? DateRule::OneDay
                : m_weekly->isChecked() ? DateRule::Weekly
                                        : DateRule::None;
    for (int i = 0; i < 7; ++i)
        form.weekdays[i] = m_days[i]->isChecked();
    form.date = m_date->date();
    form.start = m_start->time();
    form.end = m_end->time();
    form.volume = m_volume->currentText();
    return form;
}

TaskPlaylist CTaskDlgBase::playlist() const {
    TaskPlaylist items;
    for (int i = 0; i < m_list->count(); ++i)
        items.append(m_list->item(i)->text());
    return items;
}

PlayTask CTaskDlgBase::task() const {
    return TaskForms::taskFromForm(form(), m_stored);
}

void CTaskDlgBase::setPlaylist(const TaskPlaylist &items) {
    m_list->clear();
    appendItems(items);
}

void CTaskDlgBase::appendItems(const QStringList &items) {
    m_list->setUpdatesEnabled(false);
    for (const QString &item : items)
        m_list->addItem(item);
    m_list->setUpdatesEnabled(true);
}

void CTaskDlgBase::notify(const QString &text) {
    if (m_notice)
        m_notice(this, text);
}

void CTaskDlgBase::AddMediaFiles() {
    const QStringList chosen =
        m_chooseFiles ? m_chooseFiles(this, TaskForms::mediaFileFilters()) : QStringList();
    QStringList accepted;
    QStringList problems;
    for (const QString &path : chosen) {
        const QString problem = TaskNames::itemProblem(path);
        if (problem.isEmpty())
            accepted.append(path);
        else
            problems.append(problem);
    }
    appendItems(accepted);
    if (!problems.isEmpty())
        notify(problems.join(u'\n'));
}

void CTaskDlgBase::DeleteItem() {
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    if (!selected.isEmpty())
        delete m_list->takeItem(m_list->row(selected.first()));
}

void CTaskDlgBase::DeleteAllItems() {
    m_list->clear();
}

void CTaskDlgBase::accept() {
    if (!m_commit)
        return;
    const QString volume = m_volume->currentText();
    if (TaskForms::volumeNearlySilent(volume) &&
        !m_question(this, QStringLiteral("音量 %1 约为最大音量的 %2，播放时几乎听不到。\n"
                                         "音量的范围是 0 到 65535，65535 为最大音量。\n\n"
                                         "确定要以这个音量保存吗？")
                              .arg(DisplayText::shown(volume), volumePercentShown()))) {
        m_volume->setFocus();
        return;
    }
    const PlayTask edited = task();
    m_outcome = m_commit(edited, playlist());
    if (!m_outcome.ok) {
        notify(m_outcome.message);
        if (m_outcome.message == TaskNames::volumeProblem(edited.Type))
            m_volume->setFocus();
        return;
    }
    QDialog::accept();
}
