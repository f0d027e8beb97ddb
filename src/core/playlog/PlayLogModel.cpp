#include "PlayLogModel.h"

PlayLogModel::PlayLogModel(QObject *parent) : QAbstractTableModel(parent) {}

void PlayLogModel::setIndex(PlayLogIndex index) {
    beginResetModel();
    m_index = std::move(index);
    m_shown = m_index.select({}, {});
    m_cache.clear();
    m_file.close();
    m_file.setFileName(m_index.path());
    // Only a month the index could read is opened again (never a pipe, on this thread).
    if (m_index.size() > 0)
        m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    endResetModel();
}

void PlayLogModel::choose(const QString &task, const QString &event) {
    beginResetModel();
    m_shown = m_index.select(task, event);
    endResetModel();
}

PlayLogRow PlayLogModel::shownRow(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= m_shown.size())
        return {};
    const quint32 number = m_shown[static_cast<size_t>(row)];
    if (const PlayLogRow *cached = m_cache.object(number))
        return *cached;
    auto *read = new PlayLogRow(m_index.row(m_file, number));
    const PlayLogRow copy = *read;
    m_cache.insert(number, read);
    return copy;
}

int PlayLogModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(std::min<size_t>(m_shown.size(), INT_MAX));
}

int PlayLogModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : 5;
}

QVariant PlayLogModel::data(const QModelIndex &index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    const PlayLogRow row = shownRow(index.row());
    switch (index.column()) {
    case 0:
        return row.time;
    case 1:
        return row.event;
    case 2:
        return row.task;
    case 3:
        return row.item;
    case 4:
        return row.note;
    default:
        return {};
    }
}

QVariant PlayLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const QStringList names = {QStringLiteral("时间"), QStringLiteral("事件"),
                                      QStringLiteral("任务"), QStringLiteral("项目"),
                                      QStringLiteral("说明")};
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal)
        return names.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}
