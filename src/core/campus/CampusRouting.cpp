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

// A room as the user named it: its id alone where it has no name of its own or is unknown
// to the server, its id in brackets where another room has the same name.
QStringList roomLabels(const QStringList &ids, const QHash<QString, const CampusRoom *> &known,
                       const CampusRooms &rooms) {
    QHash<QString, int> uses;
    for (const CampusRoom &room : rooms)
        ++uses[room.name];
    QStringList labels;
    for (const QString &id : ids) {
        const CampusRoom *room = known.value(id);
        const QString name = room ? room->name.trimmed() : QString();
        if (name.isEmpty() || name == id)
            labels.append(shown(id));
        else if (uses.value(room->name) > 1)
            labels.append(shown(name) + QStringLiteral("（") + shown(id) + QStringLiteral("）"));
        else
            labels.append(shown(name));
    }
    return labels;
}

} // namespace

CampusRoute routeFor(const CampusConfig &config, const QString &task, const CampusRooms &rooms,
                     int uncontrolled) {
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
    // Rooms the lists leave out are controlled all the same; the row says they exist.
    const QSet<QString> muted(route.mute.cbegin(), route.mute.cend());
    qsizetype unlisted = 0, unlistedMuted = 0;
    for (const CampusRoom &room : rooms)
        if (!room.shown) {
            ++unlisted;
            unlistedMuted += muted.contains(room.id) ? 1 : 0;
        }
    if (route.zones.isEmpty() && unlisted > 0)
        route.logText += QStringLiteral("（其中 %1 个终端未列出）").arg(unlisted);
    else if (unlistedMuted > 0)
        route.logText += QStringLiteral("；另有 %1 个未列出的终端已静音").arg(unlistedMuted);
    if (uncontrolled > 0)
        route.logText += QStringLiteral("；服务器另列出 %1 个无法控制的终端").arg(uncontrolled);
    if (!missing.isEmpty())
        route.logText += QStringLiteral("；无此分区：") + missing.join(QStringLiteral("、"));
    if (!route.offline.isEmpty())
        route.logText += QStringLiteral("；未连接：") +
                         roomLabels(route.offline, known, rooms).join(QStringLiteral("、"));
    return route;
}
