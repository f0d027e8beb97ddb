#pragma once

#include <QIcon>

// The application icon (window, tray, about box), drawn by the program itself.
namespace AppIcon {
QIcon application();
} // namespace AppIcon
