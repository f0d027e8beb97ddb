#pragma once

#include "CampusRoom.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// How the rooms were (muted or not) before the program first muted or unmuted them, so that
// switching the campus off leaves them as they were found. Kept in a file of its own in the
// store (广播终端原状.ini, section 原状: 静音 and 有声, room ids as in 广播分区.ini) so that a
// restart between the bells and the switch-off does not lose it; without a directory it is
// kept in memory only.
class RoomMemory {
public:
    explicit RoomMemory(QString directory = QString());

    static QString fileName();
    // Reads the file anew; what cannot be read is an empty memory (the rooms stay as they are).
    void load();

    bool isEmpty() const { return m_muted.isEmpty(); }
    std::optional<bool> mutedBefore(const QString &id) const;
    // Remembers the touched rooms the server lists that are not remembered yet; the file is
    // written when that adds any. The failure's text, or empty.
    QString remember(const CampusRooms &rooms, const QStringList &touched);
    // Everything set back: forgotten, and the file removed.
    void clear();

private:
    QString path() const;
    QString save() const;

    QString m_directory;
    QHash<QString, bool> m_muted; // room id -> muted before the first change
};
