#include "CampusRouting.h"

#include "tasktable/DisplayText.h"

#include <QHash>
#include <QSet>

namespace {

// Names in a log row: a hand-edited file or a server may hold very long ones.
constexpr qsizetype kShownLength = 40;

QString shown(const QString &name) {
    return DisplayText::shown(name, kShownLength);
}

QString counted(const QString &label, int connected, int total) {
    return QStringLiteral("%1 %2/%3").arg(label).arg(connected).arg(total);
}

} // namespace

CampusRoute routeFor(const CampusConfig &config, const QString &task, const CampusRooms &rooms) {
    CampusRoute route;
    route.zones = config.zonesOf(task);
    QHash<QString, const CampusRoom *> known;
    for (const CampusRoom &room : rooms)
        known.insert(room.id, &room);

    QStringList parts, missing;
    QSet<QString> heard, away;
    auto offline = [&](const QString &id) {
        if (!away.contains(id)) {
            away.insert(id);
            route.offline.append(id);
        }
    };
    if (route.zones.isEmpty()) {
        int connected = 0;
        for (const CampusRoom &room : rooms) {
            if (heard.contains(room.id))
                continue;
            heard.insert(room.id);
            route.unmute.append(room.id);
            if (room.connected)
                ++connected;
            else
                offline(room.id);
        }
        parts.append(counted(QStringLiteral("全部"), connected, int(route.unmute.size())));
    } else {
        for (const QString &name : route.zones) {
            const CampusConfig::Zone *zone = config.findZone(name);
            if (!zone) {
                parts.append(counted(shown(name), 0, 0));
                missing.append(shown(name));
                continue;
            }
            int connected = 0;
            for (const QString &id : zone->rooms) {
                const CampusRoom *room = known.value(id);
                if (room && room->connected)
                    ++connected;
                else
                    offline(id);
                // A known room that is away now still hears the task once it is back.
                if (room && !heard.contains(id)) {
                    heard.insert(id);
                    route.unmute.append(id);
                }
            }
            parts.append(counted(shown(name), connected, int(zone->rooms.size())));
        }
    }
    for (const CampusRoom &room : rooms)
        if (!heard.contains(room.id)) {
            heard.insert(room.id); // a room the server lists twice is muted once
            route.mute.append(room.id);
        }

    route.logText = parts.join(QStringLiteral("，")) + QStringLiteral(" 在线");
    if (!missing.isEmpty())
        route.logText += QStringLiteral("；无此分区：") + missing.join(QStringLiteral("、"));
    if (!route.offline.isEmpty())
        route.logText += QStringLiteral("；未连接：") +
                         DisplayText::shown(route.offline, kShownLength).join(QStringLiteral("、"));
    return route;
}
