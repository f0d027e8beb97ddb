#include "BackupCommands.h"

#include "CommandIds.h"
#include "dialogs/WorkProgress.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

namespace {
// Lines of a failure report shown in the box itself; all of them under its details.
constexpr int kShownLines = 16;
} // namespace

BackupCommands::BackupCommands(QString storeDirectory, std::function<void()> reloadFromStore,
                               QWidget *dialogParent)
    : QObject(dialogParent), m_directory(std::move(storeDirectory)),
      m_reload(std::move(reloadFromStore)), m_dialogParent(dialogParent),
      m_chooseFolder(&BackupCommands::chooseFolder) {}

QList<std::pair<int, std::function<void()>>> BackupCommands::commands() {
    return {
        {CommandId::Backup, [this] { Backup(); }},
        {CommandId::Import, [this] { Import(); }},
    };
}

QString BackupCommands::chooseFolder(QWidget *parent, const QString &title) {
    // Qt's folder dialogs are resizable and offer a new-folder button.
    QString start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!QFileInfo(start).isDir())
        start = QDir::homePath();
    return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
}

void BackupCommands::Backup() {
    run(StoreTransfer::Direction::Backup);
}

void BackupCommands::Import() {
    run(StoreTransfer::Direction::Import);
}

void BackupCommands::run(StoreTransfer::Direction direction) {
    const QString folder = m_chooseFolder(m_dialogParent, StoreTransfer::chooserTitle(direction));
    if (folder.isEmpty())
        return;
    const bool backup = direction == StoreTransfer::Direction::Backup;
    // The copy runs beside the schedule: a slow stick or network folder delays no bell.
    WorkProgress progress(backup ? QStringLiteral("备份定时播放任务")
                                 : QStringLiteral("导入定时播放任务"),
                          m_dialogParent);
    if (m_showProgress)
        connect(&progress, &WorkProgress::appeared, this,
                [this, &progress] { m_showProgress(progress); });
    const QString directory = m_directory;
    const std::function<void()> pace = m_pace;
    const StoreTransfer::Outcome outcome = progress.run([&] {
        return StoreTransfer::run(
            direction, directory, folder, [&](int number, int total, const QString &source) {
                if (pace)
                    pace();
                return progress.step(number, total,
                                     QStringLiteral("正在复制第 %1 个文件，共 %2 个：%3")
                                         .arg(number)
                                         .arg(total)
                                         .arg(QFileInfo(source).fileName()));
            });
    });
    // Whatever arrived is read at once, before the user can click anything that writes.
    if (outcome.storeChanged && m_reload)
        m_reload();
    tell(outcome.message, outcome.success());
}

void BackupCommands::tell(const QString &text, bool success) {
    QMessageBox box(success ? QMessageBox::Information : QMessageBox::Warning,
                    QStringLiteral("Horalet"), text, QMessageBox::Ok, m_dialogParent);
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() > kShownLines + 1) {
        box.setText(lines.mid(0, kShownLines + 1).join(QLatin1Char('\n')) +
                    QStringLiteral("\n……（共 %1 项，见详细信息）").arg(lines.size() - 1));
        box.setDetailedText(text);
    }
    box.exec();
}
