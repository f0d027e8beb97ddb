#pragma once

#include <QString>
#include <QStringList>

// Where the program's help lives. appDirectory is the running executable's directory.
namespace HelpTargets {
// "Help.chm" beside the executable: a compiled help file put there by the user wins over the
// manual.
QString helpChm(const QString &appDirectory);
// Where the manual's index.html may be, in order: beside the program (build tree, carried
// along), under the install prefix, then the XDG data directories.
QStringList manualCandidates(const QString &appDirectory);
// The first candidate that exists; empty when none does.
QString manualFile(const QString &appDirectory);
// What Help opens: Help.chm when it exists, else the manual; empty when neither exists.
QString helpFile(const QString &appDirectory);
} // namespace HelpTargets
