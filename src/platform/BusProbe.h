#pragma once

#include <QString>

// Whether a D-Bus bus answers, asked with a time limit before anything of Qt's connects to it.
// A bus daemon that takes connections and never answers would hold Qt's connection (and with
// it the start-up, in the accessibility bridge) for good; one found so is put out of reach for
// this process, so every later use fails at once and says why.
namespace BusProbe {

enum class Bus { Session, System };

constexpr int DefaultLimitMs = 2500;

// Connects to the address ("unix:path=…", "unix:abstract=…", "tcp:host=…,port=…", several
// separated by ';') and starts the authentication; empty when the bus answered within
// limitMs, else why not. An address of a kind it cannot try counts as answering.
QString ask(const QString &address, int limitMs = DefaultLimitMs);

// The address the bus has for this process (DBUS_SESSION_BUS_ADDRESS,
// DBUS_SYSTEM_BUS_ADDRESS or the system's default socket); empty when none is set.
QString addressOf(Bus bus);

// Asks both buses, and puts each that does not answer out of reach. Call before the
// application object is made.
void checkAtStartup(int limitMs = DefaultLimitMs);
// Why the bus was put out of reach at start-up, in the interface's language; empty if it was not.
QString problem(Bus bus);

} // namespace BusProbe
