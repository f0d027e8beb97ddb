#pragma once

#include <QIcon>

// The application icon (window, tray, about box; the desktop entry's pictures).
namespace AppIcon {
QIcon application();
} // namespace AppIcon
