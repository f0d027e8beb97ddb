#pragma once

#include "store/StoreTransfer.h"

#include <QObject>
#include <QString>
#include <functional>

class QWidget;

// The backup menu: "备份定时播放任务" copies the store's files into a folder the user picks,
// "导入定时播放任务" copies a picked folder's files into the store and then has the program
// read everything anew, so nothing held in memory can later overwrite what was imported.
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

private:
    void run(StoreTransfer::Direction direction);
    void tell(const QString &text);

    QString m_directory;
    std::function<void()> m_reload;
    QWidget *m_dialogParent;
    FolderChooser m_chooseFolder;
};
