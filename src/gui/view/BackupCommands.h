#pragma once

#include "store/StoreTransfer.h"

#include <QObject>
#include <QString>
#include <functional>

class QWidget;
class WorkProgress;

// The backup menu: "备份定时播放任务" copies the store's files into a folder the user picks,
// "导入定时播放任务" copies a picked folder's files into the store and then has the program
// read everything anew, so nothing held in memory can later overwrite what was imported.
// Both copy off the GUI thread, file by file, with a window that can stop them.
class BackupCommands : public QObject {
    Q_OBJECT
public:
    // Shows the folder chooser; an empty result means the user cancelled. Tests answer it.
    using FolderChooser = std::function<QString(QWidget *parent, const QString &title)>;

    BackupCommands(QString storeDirectory, std::function<void()> reloadFromStore,
                   QWidget *dialogParent);

    // The commands by id, for the menu.
    QList<std::pair<int, std::function<void()>>> commands();

    void Backup();
    void Import();

    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }
    static QString chooseFolder(QWidget *parent, const QString &title);
    // For tests: called on the copying thread before each file (a slow medium), and when
    // the progress window appears.
    void setPace(std::function<void()> beforeEachFile) { m_pace = std::move(beforeEachFile); }
    void setProgressWatcher(std::function<void(WorkProgress &)> watcher) {
        m_showProgress = std::move(watcher);
    }

private:
    void run(StoreTransfer::Direction direction);
    void tell(const QString &text, bool success);

    QString m_directory;
    std::function<void()> m_reload;
    QWidget *m_dialogParent;
    FolderChooser m_chooseFolder;
    std::function<void()> m_pace;
    std::function<void(WorkProgress &)> m_showProgress;
};
