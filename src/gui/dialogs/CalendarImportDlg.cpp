#include "CalendarImportDlg.h"

#include "scheduler/ClockTexts.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

enum Column { DateColumn, WeekdayColumn, SummaryColumn, KindColumn, FollowColumn, ColumnCount };

// The weekday combo lists 周一 .. 周日; weekday numbers count from Sunday.
int comboOfWeekday(int weekday) {
    return (weekday + 6) % 7;
}
int weekdayOfCombo(int index) {
    return (index + 1) % 7;
}

CalendarDays::Choice::Kind kindOf(IcsCalendar::Kind kind) {
    switch (kind) {
    case IcsCalendar::Kind::Holiday:
        return CalendarDays::Choice::Holiday;
    case IcsCalendar::Kind::Makeup:
        return CalendarDays::Choice::Makeup;
    case IcsCalendar::Kind::Unsorted:
        break;
    }
    return CalendarDays::Choice::Skip;
}

} // namespace

CCalendarImportDlg::CCalendarImportDlg(const QList<IcsCalendar::Day> &days,
                                       const CalendarDays &listed, QWidget *parent)
    : QDialog(parent), m_days(days) {
    setWindowTitle(QStringLiteral("导入日历文件"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("请确认要导入的日期.摘要含“休”或“假”的预选为节假日,含“班”的预选为调休上班日;"
                       "调休上班日按所选星期的课表播放."),
        this));
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("importNote"));
    m_note->setWordWrap(true);
    m_note->hide();
    layout->addWidget(m_note);
    m_table = new QTableWidget(static_cast<int>(days.size()), ColumnCount, this);
    m_table->setObjectName(QStringLiteral("importTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("日期"), QStringLiteral("星期"),
                                        QStringLiteral("摘要"), QStringLiteral("导入为"),
                                        QStringLiteral("按星期")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    for (int row = 0; row < days.size(); ++row) {
        const IcsCalendar::Day &day = days[row];
        const QString date = day.date.toString(QStringLiteral("yyyy-MM-dd"));
        const CalendarDays::Listed already = listed.listed(date);
        m_listed.append(already != CalendarDays::Listed::No);
        m_table->setItem(row, DateColumn, new QTableWidgetItem(date));
        m_table->setItem(row, WeekdayColumn,
                         new QTableWidgetItem(Weekday::name(Weekday::of(day.date))));
        m_table->setItem(row, SummaryColumn, new QTableWidgetItem(day.summary));

        auto *kind = new QComboBox(m_table);
        kind->addItems(
            {QStringLiteral("不导入"), QStringLiteral("节假日"), QStringLiteral("调休上班")});
        auto *follow = new QComboBox(m_table);
        for (int i = 1; i <= 7; ++i)
            follow->addItem(Weekday::name(i % 7));
        m_table->setCellWidget(row, KindColumn, kind);
        m_table->setCellWidget(row, FollowColumn, follow);
        connect(kind, &QComboBox::currentIndexChanged, follow,
                [follow](int index) { follow->setEnabled(index == CalendarDays::Choice::Makeup); });
        if (m_listed.last()) {
            kind->setCurrentIndex(CalendarDays::Choice::Skip);
            kind->setEnabled(false);
            follow->setEnabled(false);
            const QString already_text = already == CalendarDays::Listed::Holiday
                                             ? QStringLiteral("已在节假日列表中")
                                             : QStringLiteral("已在调休上班列表中");
            m_table->item(row, SummaryColumn)
                ->setText(day.summary + QStringLiteral(" (") + already_text + u')');
        } else {
            kind->setCurrentIndex(kindOf(day.kind));
            follow->setEnabled(kind->currentIndex() == CalendarDays::Choice::Makeup);
        }
        follow->setCurrentIndex(comboOfWeekday(1));
    }
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table);

    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("导入"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(720, 480);
}

void CCalendarImportDlg::setNote(const QString &note) {
    m_note->setText(note);
    m_note->setVisible(!note.isEmpty());
}

QComboBox *CCalendarImportDlg::kindBox(int row) const {
    return qobject_cast<QComboBox *>(m_table->cellWidget(row, KindColumn));
}

QComboBox *CCalendarImportDlg::weekdayBox(int row) const {
    return qobject_cast<QComboBox *>(m_table->cellWidget(row, FollowColumn));
}

int CCalendarImportDlg::rowCount() const {
    return m_table->rowCount();
}

bool CCalendarImportDlg::isListed(int row) const {
    return m_listed.value(row, false);
}

void CCalendarImportDlg::choose(int row, CalendarDays::Choice::Kind kind, int weekday) {
    if (row < 0 || row >= rowCount() || isListed(row))
        return;
    kindBox(row)->setCurrentIndex(kind);
    weekdayBox(row)->setCurrentIndex(comboOfWeekday(weekday));
}

CalendarDays::Choice CCalendarImportDlg::choice(int row) const {
    CalendarDays::Choice choice;
    choice.date = m_days[row].date.toString(QStringLiteral("yyyy-MM-dd"));
    choice.kind = isListed(row)
                      ? CalendarDays::Choice::Skip
                      : static_cast<CalendarDays::Choice::Kind>(kindBox(row)->currentIndex());
    choice.weekday = weekdayOfCombo(weekdayBox(row)->currentIndex());
    return choice;
}

QList<CalendarDays::Choice> CCalendarImportDlg::choices() const {
    QList<CalendarDays::Choice> chosen;
    for (int row = 0; row < rowCount(); ++row)
        if (const CalendarDays::Choice c = choice(row); c.kind != CalendarDays::Choice::Skip)
            chosen.append(c);
    return chosen;
}
