#pragma once

#include <QString>
#include <QStringList>

// The program's options. Parsed before any window exists, so --help, --version and a wrong
// option answer without a display.
struct CommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Error };

    Action action = Action::Run;
    bool minimized = false;
    // From --store; empty when not given.
    QString storeDirectory;
    // What to print before exiting (help, version, or the error and the usage).
    QString output;

    // arguments[0] is the program. Options of Qt's own (-platform, -style, ...) are accepted
    // and left to the application object.
    static CommandLine parse(const QStringList &arguments);
    // 0 for help and version, 2 for a wrong command line; Run does not exit.
    int exitCode() const;
};
