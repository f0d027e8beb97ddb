#include "HolidayCalendarDlg.h"

#include "CalendarImportDlg.h"
#include "OffThread.h"
#include "WorkProgress.h"
#include "scheduler/ClockTexts.h"
#include "store/IcsCalendar.h"
#include "tasktable/DisplayText.h"

#include <QAbstractListModel>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTextCharFormat>
#include <QVBoxLayout>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");
const QColor kHolidayColour(255, 200, 200);
const QColor kMakeupColour(190, 215, 255);
const QDate kNowhere(1000, 1, 1);

QString chooseCalendarFile(QWidget *parent) {
    return QFileDialog::getOpenFileName(parent, QStringLiteral("导入日历文件"), QString(),
                                        QStringLiteral("iCalendar 日历文件 (*.ics);;所有文件 (*)"));
}

void warn(QWidget *parent, const QString &text) {
    QMessageBox::warning(parent, QStringLiteral("Horalet"), text);
}

QPushButton *button(const QString &text, const QString &name, QWidget *parent) {
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

} // namespace

// A list shown straight from the data it shows: rows and texts are asked for as the view
// paints them.
class DayListModel : public QAbstractListModel {
public:
    DayListModel(std::function<int()> count, std::function<QString(int)> text,
                 std::function<QString(int)> tip, QObject *parent)
        : QAbstractListModel(parent), m_count(std::move(count)), m_text(std::move(text)),
          m_tip(std::move(tip)) {}
    int rowCount(const QModelIndex &parent = {}) const override {
        return parent.isValid() ? 0 : m_count();
    }
    QVariant data(const QModelIndex &index, int role) const override {
        if (!index.isValid() || index.row() >= m_count())
            return {};
        if (role == Qt::DisplayRole)
            return m_text(index.row());
        if (role == Qt::ToolTipRole && m_tip)
            if (const QString tip = m_tip(index.row()); !tip.isEmpty())
                return tip;
        return {};
    }
    void reset() {
        beginResetModel();
        endResetModel();
    }

private:
    std::function<int()> m_count;
    std::function<QString(int)> m_text;
    std::function<QString(int)> m_tip;
};

CHolidayCalendarDlg::CHolidayCalendarDlg(CalendarDays &days, const QDate &today, QWidget *parent)
    : QDialog(parent), m_days(days), m_today(today), m_chooseFile(chooseCalendarFile),
      m_notice(warn), m_runImport([](CCalendarImportDlg &d) { return d.exec() == Accepted; }) {
    setWindowTitle(QStringLiteral("节假日和调休"));
    auto *outer = new QVBoxLayout(this);
    auto *body = new QHBoxLayout;
    outer->addLayout(body);

    auto *lists = new QVBoxLayout;
    body->addLayout(lists);
    lists->addWidget(new QLabel(QStringLiteral("节假日(不播放):"), this));
    m_holidayModel = new DayListModel(
        [this] { return int(m_days.holidays().dates().size()); },
        [this](int row) { return DisplayText::shown(m_days.holidays().dates().at(row)); }, {},
        this);
    m_holidayList = new QListView(this);
    m_holidayList->setObjectName(QStringLiteral("holidayList"));
    m_holidayList->setUniformItemSizes(true);
    m_holidayList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_holidayList->setModel(m_holidayModel);
    lists->addWidget(m_holidayList);
    lists->addWidget(new QLabel(QStringLiteral("调休上班(按所列星期的课表播放):"), this));
    m_makeupModel = new DayListModel(
        [this] { return int(m_days.makeup().entries().size()); },
        [this](int row) {
            const MakeupWorkdays::Entry &entry = m_days.makeup().entries().at(row);
            const QDate date = QDate::fromString(entry.date, kDateFormat);
            const QString own = date.isValid() ? Weekday::name(Weekday::of(date)) : QString();
            return DisplayText::shown(
                QStringLiteral("%1 %2 → 按%3").arg(entry.date, own, entry.weekday));
        },
        [this](int row) {
            return m_days.makeup().entries().at(row).valid()
                       ? QString()
                       : QStringLiteral("无法识别的日期或星期,此项不起作用.");
        },
        this);
    m_makeupList = new QListView(this);
    m_makeupList->setObjectName(QStringLiteral("makeupList"));
    m_makeupList->setUniformItemSizes(true);
    m_makeupList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_makeupList->setModel(m_makeupModel);
    lists->addWidget(m_makeupList);

    auto *dateRow = new QHBoxLayout;
    dateRow->addWidget(new QLabel(QStringLiteral("日期"), this));
    m_date = new QDateEdit(today, this);
    m_date->setObjectName(QStringLiteral("datePicker"));
    m_date->setDisplayFormat(kDateFormat);
    m_date->setCalendarPopup(true);
    dateRow->addWidget(m_date);
    dateRow->addWidget(new QLabel(QStringLiteral("按"), this));
    m_followed = new QComboBox(this);
    m_followed->setObjectName(QStringLiteral("followedWeekday"));
    for (int i = 1; i <= 7; ++i)
        m_followed->addItem(Weekday::name(i % 7));
    dateRow->addWidget(m_followed);
    lists->addLayout(dateRow);

    auto *holidayButtons = new QHBoxLayout;
    QPushButton *addHoliday = button(QStringLiteral("增加节假日"), "addHolidayButton", this);
    QPushButton *deleteHoliday = button(QStringLiteral("删除节假日"), "deleteHolidayButton", this);
    holidayButtons->addWidget(addHoliday);
    holidayButtons->addWidget(deleteHoliday);
    lists->addLayout(holidayButtons);
    auto *makeupButtons = new QHBoxLayout;
    QPushButton *addMakeup = button(QStringLiteral("增加调休上班日"), "addMakeupButton", this);
    QPushButton *deleteMakeup =
        button(QStringLiteral("删除调休上班日"), "deleteMakeupButton", this);
    makeupButtons->addWidget(addMakeup);
    makeupButtons->addWidget(deleteMakeup);
    lists->addLayout(makeupButtons);
    QPushButton *import = button(QStringLiteral("导入日历文件…"), "importButton", this);
    lists->addWidget(import);

    // The year at a glance: twelve months, holidays and make-up workdays in their colours.
    auto *yearBox = new QGroupBox(QStringLiteral("全年"), this);
    auto *yearLayout = new QVBoxLayout(yearBox);
    auto *yearRow = new QHBoxLayout;
    m_year = new QSpinBox(yearBox);
    m_year->setObjectName(QStringLiteral("yearSpin"));
    m_year->setRange(1900, 9999);
    m_year->setSuffix(QStringLiteral(" 年"));
    yearRow->addWidget(m_year);
    auto *legend = new QLabel(
        QStringLiteral("<span style=\"background:%1\">&nbsp;节假日&nbsp;</span>&nbsp;&nbsp;"
                       "<span style=\"background:%2\">&nbsp;调休上班&nbsp;</span>")
            .arg(kHolidayColour.name(), kMakeupColour.name()),
        yearBox);
    yearRow->addWidget(legend);
    yearRow->addStretch();
    yearLayout->addLayout(yearRow);
    auto *grid = new QGridLayout;
    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.8));
    for (int m = 0; m < 12; ++m) {
        auto *month = new QCalendarWidget(yearBox);
        month->setObjectName(QStringLiteral("month%1").arg(m + 1));
        month->setNavigationBarVisible(false);
        month->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
        month->setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);
        month->setFirstDayOfWeek(Qt::Monday);
        month->setFont(small);
        month->setDateRange(kNowhere, QDate(9999, 12, 31));
        auto *cell = new QVBoxLayout;
        auto *title = new QLabel(QStringLiteral("%1月").arg(m + 1), yearBox);
        title->setAlignment(Qt::AlignCenter);
        cell->addWidget(title);
        cell->addWidget(month);
        // Three months a row: four do not fit a 1280 pixel screen beside the lists.
        grid->addLayout(cell, m / 3, m % 3);
        m_months.at(size_t(m)) = month;
        connect(month, &QCalendarWidget::clicked, this, [this, month, m](const QDate &date) {
            setDate(date);
            parkSelection(month, m + 1);
        });
    }
    yearLayout->addLayout(grid);
    auto *scroll = new QScrollArea(this);
    scroll->setWidget(yearBox);
    scroll->setWidgetResizable(true);
    body->addWidget(scroll, 1);

    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    QPushButton *close = button(QStringLiteral("关闭"), "closeButton", this);
    bottom->addWidget(close);
    outer->addLayout(bottom);

    connect(addHoliday, &QPushButton::clicked, this, [this] { AddHoliday(); });
    connect(deleteHoliday, &QPushButton::clicked, this, [this] { DeleteHoliday(); });
    connect(addMakeup, &QPushButton::clicked, this, [this] { AddMakeup(); });
    connect(deleteMakeup, &QPushButton::clicked, this, [this] { DeleteMakeup(); });
    connect(import, &QPushButton::clicked, this, [this] { ImportFile(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_year, &QSpinBox::valueChanged, this, &CHolidayCalendarDlg::showYear);
    connect(m_holidayList->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                const QStringList &dates = m_days.holidays().dates();
                m_selectedHoliday = current.isValid() ? dates.value(current.row()) : QString();
                if (!m_selectedHoliday.isEmpty())
                    setDate(QDate::fromString(m_selectedHoliday, kDateFormat));
            });
    connect(m_makeupList->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                const int row = current.isValid() ? current.row() : -1;
                const QList<MakeupWorkdays::Entry> &entries = m_days.makeup().entries();
                if (row < 0 || row >= entries.size())
                    return;
                setDate(QDate::fromString(entries[row].date, kDateFormat));
                if (entries[row].valid())
                    setFollowedWeekday(entries[row].followed);
            });

    m_year->setValue(today.year());
    refresh();
    resize(1180, 720);
}

void CHolidayCalendarDlg::setDate(const QDate &date) {
    if (!date.isValid())
        return;
    m_date->setDate(date);
    if (date.year() != m_year->value())
        m_year->setValue(date.year());
}

void CHolidayCalendarDlg::setFollowedWeekday(int weekday) {
    m_followed->setCurrentIndex((weekday + 6) % 7);
}

void CHolidayCalendarDlg::selectHoliday(int row) {
    m_holidayList->setCurrentIndex(m_holidayModel->index(row));
}

void CHolidayCalendarDlg::selectMakeup(int row) {
    m_makeupList->setCurrentIndex(m_makeupModel->index(row));
}

QString CHolidayCalendarDlg::chosenDate() const {
    return m_date->date().toString(kDateFormat);
}

template <class Change> auto CHolidayCalendarDlg::changeDays(Change change) {
    HolidayList holidays = m_days.holidays();
    MakeupWorkdays makeup = m_days.makeup();
    auto result = waitOffThread([&] {
        CalendarDays days(holidays, makeup);
        return change(days);
    });
    m_days.take(std::move(holidays), std::move(makeup));
    return result;
}

void CHolidayCalendarDlg::AddHoliday() {
    const QString date = chosenDate();
    report(changeDays([&](CalendarDays &days) { return days.addHoliday(date); }));
    emit holidaysChanged();
}

void CHolidayCalendarDlg::DeleteHoliday() {
    const int row = m_holidayList->currentIndex().row();
    const QStringList &dates = m_days.holidays().dates();
    if (row < 0 || row >= dates.size()) {
        notify(QStringLiteral("请先在节假日列表中选择一个日期."));
        return;
    }
    const QString date = dates.at(row);
    report(changeDays([&](CalendarDays &days) { return days.removeHoliday(date); }));
    emit holidaysChanged();
}

void CHolidayCalendarDlg::AddMakeup() {
    const QString date = chosenDate();
    const int weekday = (m_followed->currentIndex() + 1) % 7;
    report(changeDays([&](CalendarDays &days) { return days.addMakeup(date, weekday); }));
}

void CHolidayCalendarDlg::DeleteMakeup() {
    const int row = m_makeupList->currentIndex().row();
    const QList<MakeupWorkdays::Entry> &entries = m_days.makeup().entries();
    if (row < 0 || row >= entries.size()) {
        notify(QStringLiteral("请先在调休上班列表中选择一个日期."));
        return;
    }
    const QString date = entries[row].date;
    report(changeDays([&](CalendarDays &days) { return days.removeMakeup(date); }));
}

void CHolidayCalendarDlg::ImportFile() {
    const QString path = m_chooseFile ? m_chooseFile(this) : QString();
    if (!path.isEmpty())
        ImportFile(path);
}

void CHolidayCalendarDlg::ImportFile(const QString &path) {
    // Read beside the schedule: a large or hostile file delays no bell and can be stopped.
    WorkProgress progress(QStringLiteral("导入日历文件"), this);
    if (m_showProgress)
        connect(&progress, &WorkProgress::appeared, this,
                [this, &progress] { m_showProgress(progress); });
    const QString name = QFileInfo(path).fileName();
    const QDate today = m_today;
    const std::function<void()> pace = m_readPace;
    const IcsCalendar::Result read = progress.run([&] {
        return IcsCalendar::read(path, today, [&](qint64 done, qint64 total) {
            if (pace)
                pace();
            const int permille = total > 0 ? int(done * 1000 / total) : 0;
            return progress.step(permille, 1000,
                                 QStringLiteral("正在读取日历文件“%1”……").arg(name));
        });
    });
    if (read.cancelled)
        return;
    if (!read.error.isEmpty()) {
        notify(read.error);
        return;
    }
    CCalendarImportDlg confirm(read.days, m_days, this);
    confirm.setNote(read.note);
    if (!m_runImport || !m_runImport(confirm))
        return;
    const QList<CalendarDays::Choice> choices = confirm.choices();
    if (choices.isEmpty()) {
        notify(QStringLiteral("没有选择要导入的日期,什么也没有添加."));
        return;
    }
    const CalendarDays::ImportReport added =
        changeDays([&](CalendarDays &days) { return days.add(choices); });
    refresh();
    emit holidaysChanged();
    notify(added.summary());
}

void CHolidayCalendarDlg::report(const StoreResult &result) {
    refresh();
    if (!result)
        notify(result.error.isEmpty() ? QStringLiteral("设置未能保存。") : result.error);
}

void CHolidayCalendarDlg::notify(const QString &text) {
    if (m_notice)
        m_notice(this, text);
}

void CHolidayCalendarDlg::refresh() {
    const QStringList &dates = m_days.holidays().dates();
    const QString holiday = m_selectedHoliday;
    // The models are asked anew; the selection follows the date, not the row.
    m_holidayList->selectionModel()->blockSignals(true);
    m_holidayModel->reset();
    m_holidayList->selectionModel()->blockSignals(false);
    m_makeupList->selectionModel()->blockSignals(true);
    m_makeupModel->reset();
    m_makeupList->selectionModel()->blockSignals(false);
    if (!holiday.isEmpty()) {
        const auto at = std::lower_bound(dates.cbegin(), dates.cend(), holiday,
                                         [](const QString &a, const QString &b) {
                                             return QString::compare(a, b, Qt::CaseInsensitive) < 0;
                                         });
        if (at != dates.cend() && *at == holiday)
            m_holidayList->selectionModel()->setCurrentIndex(
                m_holidayModel->index(int(at - dates.cbegin())), QItemSelectionModel::NoUpdate);
        else
            m_selectedHoliday.clear();
    }
    markYear();
}

QStringList CHolidayCalendarDlg::holidaysShown() const {
    QStringList shown;
    for (int i = 0; i < m_holidayModel->rowCount(); ++i)
        shown << m_holidayModel->index(i).data().toString();
    return shown;
}

QStringList CHolidayCalendarDlg::makeupShown() const {
    QStringList shown;
    for (int i = 0; i < m_makeupModel->rowCount(); ++i)
        shown << m_makeupModel->index(i).data().toString();
    return shown;
}

int CHolidayCalendarDlg::yearShown() const {
    return m_year->value();
}

void CHolidayCalendarDlg::showYear(int year) {
    if (m_year->value() != year) {
        m_year->setValue(year); // comes back here through valueChanged
        return;
    }
    for (int m = 0; m < 12; ++m)
        parkSelection(m_months.at(size_t(m)), m + 1);
    markYear();
}

void CHolidayCalendarDlg::parkSelection(QCalendarWidget *month, int monthNumber) {
    // A selected day is painted as selected, hiding its mark (and a month always has one):
    // keep the selection on a day no page of ours shows.
    month->setSelectedDate(kNowhere);
    month->setCurrentPage(m_year->value(), monthNumber);
}

void CHolidayCalendarDlg::markYear() {
    QTextCharFormat holiday;
    holiday.setBackground(kHolidayColour);
    holiday.setToolTip(QStringLiteral("节假日"));
    QTextCharFormat makeup;
    makeup.setBackground(kMakeupColour);
    for (QCalendarWidget *month : m_months)
        month->setDateTextFormat(QDate(), QTextCharFormat()); // clears every mark
    // Only the year shown: the sorted list is entered where the year begins.
    const QString year = QStringLiteral("%1-").arg(m_year->value(), 4, 10, QLatin1Char('0'));
    const QStringList &dates = m_days.holidays().dates();
    auto at = std::lower_bound(dates.cbegin(), dates.cend(), year,
                               [](const QString &a, const QString &b) {
                                   return QString::compare(a, b, Qt::CaseInsensitive) < 0;
                               });
    for (; at != dates.cend() && at->startsWith(year); ++at)
        if (const QDate d = QDate::fromString(*at, kDateFormat); d.isValid())
            m_months.at(size_t(d.month() - 1))->setDateTextFormat(d, holiday);
    for (const MakeupWorkdays::Entry &entry : m_days.makeup().entries()) {
        if (!entry.valid() || !entry.date.startsWith(year))
            continue;
        const QDate d = QDate::fromString(entry.date, kDateFormat);
        if (!d.isValid())
            continue;
        makeup.setToolTip(QStringLiteral("调休上班,按%1").arg(entry.weekday));
        m_months.at(size_t(d.month() - 1))->setDateTextFormat(d, makeup);
    }
}
