#pragma once

#include "store/StoreResult.h"
#include "store/TaskBoundSection.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// The campus settings in "广播分区.ini" (code page 936, CRLF, through ProfileStore):
//   [服务器] 启用, 地址, 控制端口, 管道, 管道用户组 (optional: the group an external server
//            reads the pipe as)
//   [分区]   zone name=room ids, comma-separated
//   [任务分区] task name=zone names, comma-separated; a task without an entry plays to all rooms
// No file, or 启用=0: the program plays on this machine only.
class CampusConfig {
public:
    struct Server {
        bool enabled = false;
        QString address = QStringLiteral("127.0.0.1");
        int controlPort = 1705;
        QString pipe = QStringLiteral("/tmp/snapfifo");
        // Empty: the pipe is made 0600, for a server running as this program's user; else
        // 0660 with this group.
        QString pipeGroup;
        bool operator==(const Server &) const = default;
    };
    struct Zone {
        QString name;
        QStringList rooms; // Snapcast client ids, in file order
        bool operator==(const Zone &) const = default;
    };

    static QString fileName();    // "广播分区.ini"
    static QString taskSection(); // "任务分区"
    // Why a zone name or room id cannot be stored (code page 936, no '=' '[' ',' , not
    // empty, bounded length), in the interface's words; an empty text when it can.
    static QString nameProblem(const QString &name);
    // Far beyond any campus; a zone or a task given more is refused with the reason. A file
    // made by hand with more is read whole all the same.
    static constexpr qsizetype MaxZones = 1000;
    static constexpr qsizetype MaxRoomsPerZone = 5000;

    explicit CampusConfig(QString directory);

    // A missing file reads as switched off with no zones; an unreadable one the same, with
    // *error set.
    void load(QString *error = nullptr);

    const Server &server() const { return m_server; }
    bool enabled() const { return m_server.enabled; }
    const QList<Zone> &zones() const { return m_zones; }
    const Zone *findZone(const QString &name) const;
    // Task name -> zone names.
    const QHash<QString, QStringList> &taskZones() const { return m_tasks.values(); }
    // The zones a task names; empty for all rooms.
    QStringList zonesOf(const QString &task) const { return m_tasks.valueOf(task); }

    // Each change rewrites the file once; a failed write leaves everything as it was.
    StoreResult setServer(const Server &server);
    StoreResult setZone(const QString &name, const QStringList &rooms);
    // Renames a zone and re-points the tasks that name it.
    StoreResult renameZone(const QString &from, const QString &to);
    // Drops the zone from every task's entry; a task left without a zone plays to all rooms.
    StoreResult removeZone(const QString &name);
    // An empty list removes the task's entry.
    StoreResult setTaskZones(const QString &task, const QStringList &zones);
    // Several task entries at once (empty list: removed), and entries of tasks not in
    // `existing` dropped when it is given.
    StoreResult setTaskZonesOf(const QHash<QString, QStringList> &entries,
                               const QSet<QString> *existing = nullptr);
    // The tasks whose entry names the zone.
    QStringList tasksOf(const QString &zone) const;

private:
    void takeZones(QList<Zone> zones);

    QString m_directory;
    Server m_server;
    QList<Zone> m_zones;
    QHash<QString, qsizetype> m_zoneAt; // zone name -> its first place in m_zones
    TaskBoundSection<QStringList> m_tasks;
};
