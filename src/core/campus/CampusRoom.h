#pragma once

#include <QList>
#include <QString>

// One room terminal as the Snapcast server reports it: a snapclient, known by its client id
// (the room's --hostID). The id is opaque: it is sent back exactly as the server gave it,
// whatever it holds. Names come from the network and are cut to bounded lengths before they
// get here; they are shown, never used as paths.
struct CampusRoom {
    QString id;
    QString name; // the name set on the server, else the host's name; cleaned
    bool connected = false;
    int volume = 100; // percent
    bool muted = false;
    // False for a room the lists leave out (an id that cannot be shown as it is, or too many
    // rooms): it is still muted and unmuted like any other.
    bool shown = true;
    QString stream = {}; // the source its group plays ("" when not reported); cleaned

    bool operator==(const CampusRoom &) const = default;
};

using CampusRooms = QList<CampusRoom>;

// An audio source of the server (a Snapcast stream), as Server.GetStatus lists it.
struct CampusStream {
    QString id;     // cleaned, for messages
    QString status; // "idle", "playing", …; cleaned
    QString scheme; // "pipe" for a pipe source
    QString path;   // the file it reads (uri.path), as the server gave it

    bool operator==(const CampusStream &) const = default;
};

using CampusStreams = QList<CampusStream>;
