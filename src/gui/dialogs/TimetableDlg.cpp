#include "TimetableDlg.h"

#include "OffThread.h"
#include "tasktable/DisplayText.h"
#include "tasktable/TaskChanges.h"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// The pickers show month and day of a leap year, so 02-29 can be chosen.
constexpr int PickerYear = 2024;

QDate pickerDate(int monthDay) {
    return QDate(PickerYear, monthDay / 100, monthDay % 100);
}

int monthDayOf(const QDate &date) {
    return date.month() * 100 + date.day();
}

QDateEdit *monthDayPicker(QWidget *parent) {
    auto *edit = new QDateEdit(parent);
    edit->setDisplayFormat(QStringLiteral("M月d日"));
    edit->setDateRange(QDate(PickerYear, 1, 1), QDate(PickerYear, 12, 31));
    edit->setCalendarPopup(true);
    return edit;
}

// "M月d日 至 M月d日": the two pickers of a yearly range side by side.
QHBoxLayout *rangeRow(QWidget *parent, QDateEdit *from, QDateEdit *to) {
    auto *range = new QHBoxLayout;
    range->addWidget(from);
    range->addWidget(new QLabel(QStringLiteral("至"), parent));
    range->addWidget(to);
    range->addStretch();
    return range;
}

const QString RangeNote =
    QStringLiteral("结束日期早于开始日期时跨年（如 10月1日 至 4月30日）；2月29日在平年"
                   "作开始时为3月1日，作结束时为2月28日。");

// Names shown in an overlap text before the rest are counted.
constexpr int ShownOverlaps = 5;

} // namespace

CSeasonRangeDlg::CSeasonRangeDlg(const QString &title, const QString &label,
                                 const SeasonRange &proposed,
                                 std::function<QString(const SeasonRange &)> overlap,
                                 QWidget *parent)
    : QDialog(parent), m_overlap(std::move(overlap)) {
    setWindowTitle(title);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(label, this));
    m_from = monthDayPicker(this);
    m_to = monthDayPicker(this);
    QHBoxLayout *range = rangeRow(this, m_from, m_to);
    layout->addLayout(range);
    m_overlapLabel = new QLabel(this);
    m_overlapLabel->setObjectName(QStringLiteral("overlapLabel"));
    m_overlapLabel->setWordWrap(true);
    layout->addWidget(m_overlapLabel);
    auto *note = new QLabel(RangeNote, this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setRange(proposed);
    connect(m_from, &QDateEdit::dateChanged, this, &CSeasonRangeDlg::showOverlap);
    connect(m_to, &QDateEdit::dateChanged, this, &CSeasonRangeDlg::showOverlap);
}

SeasonRange CSeasonRangeDlg::range() const {
    return {monthDayOf(m_from->date()), monthDayOf(m_to->date())};
}

void CSeasonRangeDlg::setRange(const SeasonRange &range) {
    m_from->setDate(pickerDate(range.from));
    m_to->setDate(pickerDate(range.to));
    showOverlap();
}

QString CSeasonRangeDlg::overlapShown() const {
    return m_overlapLabel->text();
}

void CSeasonRangeDlg::showOverlap() {
    const SeasonRange chosen = range();
    const QString overNewYear = chosen.overNewYear() ? QStringLiteral("（跨年）") : QString();
    m_overlapLabel->setText(chosen.text() + overNewYear + QStringLiteral("：") +
                            (m_overlap ? m_overlap(chosen) : QString()));
}

CTimetableDlg::CTimetableDlg(Timetables &timetables, const TaskStore &store, const QDate &today,
                             QWidget *parent)
    : QDialog(parent), m_timetables(timetables), m_store(store), m_today(today) {
    setWindowTitle(QStringLiteral("作息表"));
    tell = Prompts::warning(QStringLiteral("作息表"));
    inform = Prompts::information(QStringLiteral("作息表"));
    ask = Prompts::question(QStringLiteral("作息表"));
    askText = Prompts::text();
    runRange = [](CSeasonRangeDlg &prompt) { return prompt.exec() == QDialog::Accepted; };

    auto *layout = new QVBoxLayout(this);
    m_today_ = new QLabel(this);
    m_switch = new QLabel(this);
    layout->addWidget(m_today_);
    layout->addWidget(m_switch);
    m_table = new QTableWidget(0, 4, this);
    m_table->setHorizontalHeaderLabels({QStringLiteral("名称"), QStringLiteral("日期范围"),
                                        QStringLiteral("任务数"), QStringLiteral("重叠")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table, 1);

    auto *form = new QFormLayout;
    m_name = new QLineEdit(this);
    m_from = monthDayPicker(this);
    m_to = monthDayPicker(this);
    QHBoxLayout *range = rangeRow(this, m_from, m_to);
    form->addRow(QStringLiteral("名称："), m_name);
    form->addRow(QStringLiteral("日期："), range);
    layout->addLayout(form);
    layout->addWidget(new QLabel(RangeNote, this));

    auto *buttons = new QHBoxLayout;
    const struct {
        const char *title;
        void (CTimetableDlg::*command)();
    } commands[] = {{"添加", &CTimetableDlg::AddTimetable},
                    {"修改", &CTimetableDlg::ChangeTimetable},
                    {"删除", &CTimetableDlg::RemoveTimetable},
                    {"复制为...", &CTimetableDlg::CopyTimetable}};
    for (const auto &c : commands) {
        auto *button = new QPushButton(QString::fromUtf8(c.title), this);
        connect(button, &QPushButton::clicked, this, c.command);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    auto *close = new QPushButton(QStringLiteral("关闭"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(m_table, &QTableWidget::itemSelectionChanged, this, &CTimetableDlg::showSelected);
    setFields(QString(), SeasonRange{});
    showTimetables(QString());
    resize(560, 420);
}

QString CTimetableDlg::todayText() const {
    const QStringList names = m_timetables.inForce(m_today);
    return QStringLiteral("今天（%1月%2日）：%3")
        .arg(m_today.month())
        .arg(m_today.day())
        .arg(names.isEmpty() ? QStringLiteral("无作息表") : names.join(QStringLiteral("、")));
}

QString CTimetableDlg::switchText() const {
    return m_timetables.nextSwitchText(m_today);
}

QString CTimetableDlg::overlapText(const SeasonRange &range) const {
    QStringList names;
    qsizetype count = 0;
    for (const Timetables::Timetable &t : m_timetables.timetables())
        if (t.range && t.range->overlaps(range) && count++ < ShownOverlaps)
            names << DisplayText::shown(t.name);
    if (count == 0)
        return QStringLiteral("不与其他作息表重叠");
    QString text = names.join(QStringLiteral("、"));
    if (count > ShownOverlaps)
        text += QStringLiteral("等 %1 个作息表").arg(count);
    return QStringLiteral("与%1重叠").arg(text);
}

void CTimetableDlg::showTimetables(const QString &current) {
    const QSignalBlocker quiet(m_table);
    const QList<Timetables::Timetable> &all = m_timetables.timetables();
    // A few names in the cell, then how many more: a cell naming every other of hundreds of
    // timetables would cost the opening seconds and show nothing readable.
    const QList<Timetables::Overlap> overlaps = m_timetables.overlaps(3);
    const QHash<QString, qsizetype> taskCounts = m_timetables.taskCounts();
    m_table->setRowCount(int(all.size()));
    for (int row = 0; row < all.size(); ++row) {
        const Timetables::Timetable &t = all[row];
        const Timetables::Overlap &overlap = overlaps[row];
        const QString range =
            t.range ? t.range->text() +
                          (t.range->overNewYear() ? QStringLiteral("（跨年）") : QString())
                    : t.rangeText + QStringLiteral("（无法识别）");
        const QString others = DisplayText::shown(overlap.named, 20).join(QStringLiteral("、")) +
                               (overlap.count > overlap.named.size()
                                    ? QStringLiteral("等 %1 个作息表").arg(overlap.count)
                                    : QString());
        const QString texts[] = {DisplayText::shown(t.name), DisplayText::shown(range),
                                 QString::number(taskCounts.value(t.name)),
                                 overlap.count == 0 ? QString()
                                                    : QStringLiteral("与%1重叠").arg(others)};
        for (int column = 0; column < 4; ++column)
            m_table->setItem(row, column, new QTableWidgetItem(texts[column]));
        if (t.name == current)
            m_table->selectRow(row);
    }
    m_today_->setText(todayText());
    const QString next = switchText();
    m_switch->setText(next);
    m_switch->setVisible(!next.isEmpty());
}

QString CTimetableDlg::selectedName() const {
    const int row = m_table->currentRow();
    const QList<Timetables::Timetable> &all = m_timetables.timetables();
    if (row < 0 || row >= all.size() || !m_table->item(row, 0) ||
        !m_table->item(row, 0)->isSelected())
        return {};
    return all.at(row).name;
}

void CTimetableDlg::select(const QString &name) {
    showTimetables(name);
    showSelected();
}

void CTimetableDlg::showSelected() {
    const Timetables::Timetable *t = m_timetables.find(selectedName());
    if (t)
        setFields(t->name, t->range.value_or(SeasonRange{}));
}

void CTimetableDlg::setFields(const QString &name, const SeasonRange &range) {
    m_name->setText(name);
    m_from->setDate(pickerDate(range.from));
    m_to->setDate(pickerDate(range.to));
}

SeasonRange CTimetableDlg::fieldRange() const {
    return {monthDayOf(m_from->date()), monthDayOf(m_to->date())};
}

bool CTimetableDlg::change(const std::function<StoreResult(Timetables &)> &work) {
    Timetables changed = m_timetables;
    const StoreResult result = waitOffThread([&] { return work(changed); });
    if (!result) {
        tell(this, result.error);
        return false;
    }
    m_timetables = std::move(changed);
    return true;
}

void CTimetableDlg::AddTimetable() {
    const QString name = m_name->text().trimmed();
    if (m_timetables.find(name)) {
        tell(this, QStringLiteral("已有名为“%1”的作息表，要改它的日期请点“修改”。").arg(name));
        return;
    }
    const SeasonRange range = fieldRange();
    if (change([&](Timetables &t) { return t.setTimetable(name, range); }))
        showTimetables(name);
}

void CTimetableDlg::ChangeTimetable() {
    const QString old = selectedName();
    if (old.isEmpty()) {
        tell(this, QStringLiteral("请先选择要修改的作息表。"));
        return;
    }
    const QString name = m_name->text().trimmed();
    const SeasonRange range = fieldRange();
    // A rename re-points the tasks too; both are one write each, the rename first.
    if (name != old && !change([&](Timetables &t) { return t.renameTimetable(old, name); })) {
        showTimetables(old);
        return;
    }
    change([&](Timetables &t) { return t.setTimetable(name, range); });
    showTimetables(name);
}

void CTimetableDlg::RemoveTimetable() {
    const QString name = selectedName();
    if (name.isEmpty()) {
        tell(this, QStringLiteral("请先选择要删除的作息表。"));
        return;
    }
    const qsizetype tasks = m_timetables.tasksOf(name).size();
    const QString question =
        tasks > 0 ? QStringLiteral("作息表“%1”有 %2 个播放任务。删除后这些任务将不再播放，"
                                   "直到为它们选择别的作息表。确实要删除吗？")
                        .arg(name)
                        .arg(tasks)
                  : QStringLiteral("确实要删除作息表“%1”吗？").arg(name);
    if (!ask(this, question))
        return;
    if (change([&](Timetables &t) { return t.removeTimetable(name); }))
        showTimetables(QString());
}

void CTimetableDlg::CopyTimetable() {
    const QString from = selectedName();
    const Timetables::Timetable *source = m_timetables.find(from);
    if (!source) {
        tell(this, QStringLiteral("请先选择要复制的作息表。"));
        return;
    }
    const std::optional<QString> answer =
        askText(this, QStringLiteral("复制为"),
                QStringLiteral("把作息表“%1”的播放任务复制到新的作息表：").arg(from), QString());
    if (!answer)
        return;
    const QString to = answer->trimmed();
    QString problem = Timetables::nameProblem(to);
    if (problem.isEmpty() && m_timetables.find(to))
        problem = QStringLiteral("已有名为“%1”的作息表。").arg(to);
    if (!problem.isEmpty()) {
        tell(this, problem);
        return;
    }
    // The days the old set leaves out are offered; the user chooses, seeing what overlaps.
    const QString label = source->range ? QStringLiteral("新作息表“%1”的日期（“%2”是 %3）：")
                                              .arg(to, from, source->range->text())
                                        : QStringLiteral("新作息表“%1”的日期：").arg(to);
    CSeasonRangeDlg prompt(
        QStringLiteral("复制为"), label,
        source->range ? source->range->complement() : SeasonRange{},
        [this](const SeasonRange &range) { return overlapText(range); }, this);
    if (!runRange(prompt))
        return;
    const SeasonRange range = prompt.range();
    const std::optional<QString> suffix =
        askText(this, QStringLiteral("复制为"), QStringLiteral("新任务的名称在原名称后加上："),
                QStringLiteral("（%1）").arg(to));
    if (!suffix)
        return;
    Timetables changed = m_timetables;
    const TaskChanges changes(m_store);
    const TaskChangeOutcome outcome = waitOffThread([&] {
        TaskChangeOutcome done = changes.copyTimetable(changed, from, to, range, *suffix);
        changed.load(); // the copies' entries were written by the store
        return done;
    });
    m_timetables = std::move(changed);
    m_addedTasks = m_addedTasks || outcome.touched;
    (outcome.ok ? inform : tell)(this, outcome.message);
    select(outcome.ok ? to : from);
}
