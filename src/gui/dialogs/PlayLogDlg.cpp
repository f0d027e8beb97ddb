#include "PlayLogDlg.h"

#include "OffThread.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace {

const QString AnyTask = QStringLiteral("全部任务");
const QString AnyEvent = QStringLiteral("全部事件");

} // namespace

CPlayLogDlg::CPlayLogDlg(const QString &storeDirectory, QWidget *parent)
    : QDialog(parent), m_directory(storeDirectory) {
    setWindowTitle(QStringLiteral("播放记录"));
    resize(860, 520);

    m_month = new QComboBox(this);
    m_month->setObjectName(QStringLiteral("monthBox"));
    m_task = new QComboBox(this);
    m_task->setObjectName(QStringLiteral("taskBox"));
    m_event = new QComboBox(this);
    m_event->setObjectName(QStringLiteral("eventBox"));
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("logTable"));
    m_table->setModel(&m_rows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    // Rows of one height: the view places millions of them without measuring each.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->setWordWrap(false);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLabel"));

    auto *filters = new QHBoxLayout;
    filters->addWidget(new QLabel(QStringLiteral("月份："), this));
    filters->addWidget(m_month);
    filters->addWidget(new QLabel(QStringLiteral("任务："), this));
    filters->addWidget(m_task, 1);
    filters->addWidget(new QLabel(QStringLiteral("事件："), this));
    filters->addWidget(m_event);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton *exportButton =
        buttons->addButton(QStringLiteral("导出…"), QDialogButtonBox::ActionRole);
    exportButton->setObjectName(QStringLiteral("exportButton"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(exportButton, &QPushButton::clicked, this, &CPlayLogDlg::exportChosen);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_status);
    layout->addWidget(buttons);

    for (const QDate &month : PlayLog::months(m_directory))
        m_month->addItem(month.toString(QStringLiteral("yyyy年MM月")), month);
    connect(m_month, &QComboBox::currentIndexChanged, this, &CPlayLogDlg::reload);
    connect(m_task, &QComboBox::currentIndexChanged, this, &CPlayLogDlg::showRows);
    connect(m_event, &QComboBox::currentIndexChanged, this, &CPlayLogDlg::showRows);
    reload();
}

void CPlayLogDlg::reload() {
    QString error;
    const QDate month = m_month->currentData().toDate();
    const QString path =
        month.isValid() ? QDir(PlayLog::folderIn(m_directory)).filePath(PlayLog::fileName(month))
                        : QString();
    if (!path.isEmpty()) {
        m_status->setText(QStringLiteral("正在读取 %1…").arg(m_month->currentText()));
        m_status->repaint();
    }
    m_rows.setIndex(path.isEmpty() ? PlayLogIndex() : waitOffThread([&path, &error] {
        return PlayLogIndex::scan(path, &error);
    }));
    fillFilters();
    showRows();
    if (!error.isEmpty())
        m_status->setText(error);
    else if (!month.isValid())
        m_status->setText(QStringLiteral("还没有播放记录。"));
}

void CPlayLogDlg::fillFilters() {
    const QString task = m_task->currentIndex() > 0 ? m_task->currentText() : QString();
    const QString event = m_event->currentIndex() > 0 ? m_event->currentText() : QString();
    const QStringList tasks = m_rows.index().tasks();
    const QStringList &events = m_rows.index().events();
    const QSignalBlocker blockTask(m_task);
    const QSignalBlocker blockEvent(m_event);
    m_task->clear();
    m_task->addItem(AnyTask);
    m_task->addItems(tasks);
    m_event->clear();
    m_event->addItem(AnyEvent);
    m_event->addItems(events);
    // A chosen filter stays chosen when the month has it.
    m_task->setCurrentIndex(std::max(0, static_cast<int>(tasks.indexOf(task)) + 1));
    m_event->setCurrentIndex(std::max(0, static_cast<int>(events.indexOf(event)) + 1));
}

void CPlayLogDlg::showRows() {
    const QString task = m_task->currentIndex() > 0 ? m_task->currentText() : QString();
    const QString event = m_event->currentIndex() > 0 ? m_event->currentText() : QString();
    m_rows.choose(task, event);
    // Measured on the first rows only (the header's resize precision), never the whole month.
    m_table->resizeColumnsToContents();
    m_status->setText(QStringLiteral("共 %1 条").arg(m_rows.shown().size()));
}

bool CPlayLogDlg::exportTo(const QString &path, QString *error) {
    return waitOffThread(
        [this, &path, error] { return m_rows.index().exportRows(m_rows.shown(), path, error); });
}

void CPlayLogDlg::exportChosen() {
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("导出播放记录"), QDir::home().filePath(QStringLiteral("播放记录.csv")),
        QStringLiteral("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (exportTo(path, &error))
        m_status->setText(QStringLiteral("已导出 %1 条到 %2")
                              .arg(m_rows.shown().size())
                              .arg(QDir::toNativeSeparators(path)));
    else
        QMessageBox::warning(this, QStringLiteral("导出播放记录"), error);
}
