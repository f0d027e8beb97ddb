#pragma once

#include <QIcon>

// The application icon (window, tray, about box; the desktop entry's pictures) and one icon
// drawn per toolbar command.
namespace AppIcon {
QIcon application();
QIcon command(int id);
} // namespace AppIcon
