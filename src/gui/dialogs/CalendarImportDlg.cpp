#include "CalendarImportDlg.h"

#include "scheduler/ClockTexts.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace {

enum Column { DateColumn, WeekdayColumn, SummaryColumn, KindColumn, FollowColumn, ColumnCount };

const QStringList &kindNames() {
    static const QStringList names{QStringLiteral("不导入"), QStringLiteral("节假日"),
                                   QStringLiteral("调休上班")};
    return names;
}

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

// The two choice columns are edited with a drop-down list that applies at once.
class ChoiceDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &,
                          const QModelIndex &index) const override {
        auto *box = new QComboBox(parent);
        if (index.column() == KindColumn)
            box->addItems(kindNames());
        else
            for (int i = 1; i <= 7; ++i)
                box->addItem(Weekday::name(i % 7));
        connect(box, &QComboBox::activated, this, [this, box] {
            auto *self = const_cast<ChoiceDelegate *>(this);
            emit self->commitData(box);
            emit self->closeEditor(box);
        });
        return box;
    }
    void setEditorData(QWidget *editor, const QModelIndex &index) const override {
        static_cast<QComboBox *>(editor)->setCurrentIndex(index.data(Qt::EditRole).toInt());
    }
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override {
        model->setData(index, static_cast<QComboBox *>(editor)->currentIndex(), Qt::EditRole);
    }
};

} // namespace

// The days and the choice made for each.
class CalendarImportRows : public QAbstractTableModel {
public:
    CalendarImportRows(const QList<IcsCalendar::Day> &days, const CalendarDays &listed,
                       QObject *parent)
        : QAbstractTableModel(parent), m_days(days) {
        m_rows.reserve(days.size());
        for (const IcsCalendar::Day &day : days) {
            Row row;
            row.date = day.date.toString(QStringLiteral("yyyy-MM-dd"));
            row.listed = listed.listed(row.date);
            row.kind = row.listed == CalendarDays::Listed::No ? kindOf(day.kind)
                                                              : CalendarDays::Choice::Skip;
            m_rows.append(row);
        }
    }

    int rowCount(const QModelIndex &parent = {}) const override {
        return parent.isValid() ? 0 : int(m_rows.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override {
        return parent.isValid() ? 0 : ColumnCount;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const QStringList titles{QStringLiteral("日期"), QStringLiteral("星期"),
                                        QStringLiteral("摘要"), QStringLiteral("导入为"),
                                        QStringLiteral("按星期")};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
            return titles.value(section);
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    Qt::ItemFlags flags(const QModelIndex &index) const override {
        Qt::ItemFlags flags = Qt::ItemIsEnabled;
        const Row &row = m_rows[index.row()];
        const bool listed = row.listed != CalendarDays::Listed::No;
        if (index.column() == KindColumn && !listed)
            flags |= Qt::ItemIsEditable;
        if (index.column() == FollowColumn) {
            if (listed || row.kind != CalendarDays::Choice::Makeup)
                return Qt::NoItemFlags;
            flags |= Qt::ItemIsEditable;
        }
        if (listed && index.column() == KindColumn)
            return Qt::NoItemFlags;
        return flags;
    }
    QVariant data(const QModelIndex &index, int role) const override {
        if (!index.isValid())
            return {};
        const Row &row = m_rows[index.row()];
        const IcsCalendar::Day &day = m_days[index.row()];
        if (role == Qt::EditRole) {
            if (index.column() == KindColumn)
                return int(row.kind);
            if (index.column() == FollowColumn)
                return comboOfWeekday(row.weekday);
            return {};
        }
        if (role != Qt::DisplayRole)
            return {};
        switch (index.column()) {
        case DateColumn:
            return row.date;
        case WeekdayColumn:
            return Weekday::name(Weekday::of(day.date));
        case SummaryColumn:
            if (row.listed == CalendarDays::Listed::Holiday)
                return day.summary + QStringLiteral(" (已在节假日列表中)");
            if (row.listed == CalendarDays::Listed::Makeup)
                return day.summary + QStringLiteral(" (已在调休上班列表中)");
            return day.summary;
        case KindColumn:
            return kindNames().value(row.kind);
        case FollowColumn:
            return Weekday::name(row.weekday);
        }
        return {};
    }
    bool setData(const QModelIndex &index, const QVariant &value, int role) override {
        if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
            return false;
        Row &row = m_rows[index.row()];
        const int chosen = value.toInt();
        if (index.column() == KindColumn && chosen >= 0 && chosen < kindNames().size())
            row.kind = static_cast<CalendarDays::Choice::Kind>(chosen);
        else if (index.column() == FollowColumn && chosen >= 0 && chosen < 7)
            row.weekday = weekdayOfCombo(chosen);
        else
            return false;
        emit dataChanged(this->index(index.row(), KindColumn),
                         this->index(index.row(), FollowColumn));
        return true;
    }

    bool isListed(int row) const { return m_rows[row].listed != CalendarDays::Listed::No; }
    CalendarDays::Choice choice(int row) const {
        const Row &r = m_rows[row];
        return {r.date, isListed(row) ? CalendarDays::Choice::Skip : r.kind, r.weekday};
    }

private:
    struct Row {
        QString date;
        CalendarDays::Listed listed = CalendarDays::Listed::No;
        CalendarDays::Choice::Kind kind = CalendarDays::Choice::Skip;
        int weekday = 1;
    };
    QList<IcsCalendar::Day> m_days;
    QList<Row> m_rows;
};

CCalendarImportDlg::CCalendarImportDlg(const QList<IcsCalendar::Day> &days,
                                       const CalendarDays &listed, QWidget *parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("导入日历文件"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("请确认要导入的日期.摘要含“休”或“假”的预选为节假日,含“班”的预选为调休上班日;"
                       "调休上班日按所选星期的课表播放.点击“导入为”和“按星期”一栏可以修改."),
        this));
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("importNote"));
    m_note->setWordWrap(true);
    m_note->hide();
    layout->addWidget(m_note);
    m_rows = new CalendarImportRows(days, listed, this);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("importTable"));
    m_table->setModel(m_rows);
    m_table->setItemDelegate(new ChoiceDelegate(m_table));
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setEditTriggers(QAbstractItemView::CurrentChanged |
                             QAbstractItemView::SelectedClicked | QAbstractItemView::DoubleClicked);
    // Widths from the header and a few rows, not from every row.
    QHeaderView *header = m_table->horizontalHeader();
    header->setResizeContentsPrecision(32);
    header->resizeSections(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(KindColumn, QHeaderView::Interactive);
    header->resizeSection(KindColumn, std::max(header->sectionSize(KindColumn), 96));
    header->resizeSection(FollowColumn, std::max(header->sectionSize(FollowColumn), 80));
    header->setStretchLastSection(true);
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

int CCalendarImportDlg::rowCount() const {
    return m_rows->rowCount();
}

bool CCalendarImportDlg::isListed(int row) const {
    return row >= 0 && row < rowCount() && m_rows->isListed(row);
}

void CCalendarImportDlg::choose(int row, CalendarDays::Choice::Kind kind, int weekday) {
    if (row < 0 || row >= rowCount() || isListed(row))
        return;
    m_rows->setData(m_rows->index(row, KindColumn), int(kind), Qt::EditRole);
    m_rows->setData(m_rows->index(row, FollowColumn), comboOfWeekday(weekday), Qt::EditRole);
}

CalendarDays::Choice CCalendarImportDlg::choice(int row) const {
    return m_rows->choice(row);
}

QList<CalendarDays::Choice> CCalendarImportDlg::choices() const {
    QList<CalendarDays::Choice> chosen;
    for (int row = 0; row < rowCount(); ++row)
        if (const CalendarDays::Choice c = choice(row); c.kind != CalendarDays::Choice::Skip)
            chosen.append(c);
    return chosen;
}
