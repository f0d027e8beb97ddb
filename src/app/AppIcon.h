#pragma once

#include <QIcon>

// Icons drawn by the program itself: the application icon (window, tray, about box) and
// one icon per toolbar command.
namespace AppIcon {
QIcon application();
QIcon command(int id);
} // namespace AppIcon
