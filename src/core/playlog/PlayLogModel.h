#pragma once

#include "PlayLogIndex.h"

#include <QAbstractTableModel>
#include <QCache>
#include <QFile>

// The rows of one month chosen by task and event kind, newest first, read from the file as
// they are shown: a view scrolls through millions of rows holding only what it displays.
class PlayLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit PlayLogModel(QObject *parent = nullptr);

    void setIndex(PlayLogIndex index);
    const PlayLogIndex &index() const { return m_index; }
    // Empty: any.
    void choose(const QString &task, const QString &event);
    const std::vector<quint32> &shown() const { return m_shown; }
    PlayLogRow shownRow(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    PlayLogIndex m_index;
    std::vector<quint32> m_shown;
    mutable QFile m_file;
    mutable QCache<quint32, PlayLogRow> m_cache{4096};
};
