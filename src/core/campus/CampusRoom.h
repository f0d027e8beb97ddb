#pragma once

#include <QList>
#include <QString>

// One room terminal as the Snapcast server reports it: a snapclient, known by its client id
// (the room's --hostID). Texts come from the network and are cut to bounded lengths before
// they get here; they are shown, never used as paths.
struct CampusRoom {
    QString id;
    QString name; // the name set on the server, else the host's name
    bool connected = false;
    int volume = 100; // percent
    bool muted = false;

    bool operator==(const CampusRoom &) const = default;
};

using CampusRooms = QList<CampusRoom>;
