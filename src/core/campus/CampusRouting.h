#pragma once

#include "CampusConfig.h"
#include "CampusRoom.h"

#include <QString>
#include <QStringList>

// Which rooms hear a task: every room of its zones is unmuted and every other room the
// server knows is muted; a task without an entry reaches every room.
struct CampusRoute {
    QStringList zones;   // the task's zones as named; empty: all rooms
    QStringList unmute;  // ids of known rooms that are to hear the task
    QStringList mute;    // ids of known rooms that are not
    QStringList offline; // rooms of the task's zones that are not connected (or unknown)
    // For the play log: "教学楼 2/2，操场 0/1 在线", with the rooms not connected named
    // after it by their names on the server (the id in brackets where two share a name).
    QString logText;
};

// `uncontrolled`: rooms the server lists beyond what can be controlled, told in the log row.
CampusRoute routeFor(const CampusConfig &config, const QString &task, const CampusRooms &rooms,
                     int uncontrolled = 0);
