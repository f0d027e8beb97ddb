#pragma once

#include <QSize>

class QApplication;
class QWidget;

// Keeps every top-level window inside the screen it opens on: a window designed for a large
// screen is made smaller (down from its minimum size too) and moved fully onto the screen,
// so no button or column lies beyond the edge of a 1280x800 one.
namespace ScreenFit {
// The size a window's client area may have on its screen: the available geometry less the
// window frame (a usual title bar and border while the frame is not known yet).
QSize room(const QWidget *window);
// Bounds the window's minimum size and size by that room and moves it onto the screen.
void fit(QWidget *window);
// Fits each top-level window as it is shown, for the life of the application.
void install(QApplication *application);
} // namespace ScreenFit
