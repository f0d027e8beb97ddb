#pragma once

#include <QString>

// Start at login through XDG autostart: $XDG_CONFIG_HOME/autostart/horalet.desktop. The file
// itself is the setting; nothing else records it.
namespace AutostartEntry {
QString filePath();
// True when the file exists and is not switched off (Hidden=true, or GNOME's
// X-GNOME-Autostart-enabled=false).
bool isEnabled();
// The entry's text: runs `executable --minimized`, with `--store storeDirectory` when one is given.
QString entryText(const QString &executable, const QString &storeDirectory = {});
// One argument of an Exec line, quoted by the rules of the desktop entry Exec key.
QString quoteExecArgument(const QString &argument);
// Writes the file whole (or leaves the old one); false with *error set on failure.
bool enable(const QString &executable, const QString &storeDirectory, QString *error);
// Removes the file; a missing file is success.
bool disable(QString *error);
} // namespace AutostartEntry
