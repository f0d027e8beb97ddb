#include "LockKeys.h"

#include <QGuiApplication>

#include <X11/XKBlib.h>

namespace {
bool indicatorOn(Display *display, const char *name) {
    const Atom atom = XInternAtom(display, name, True);
    if (atom == 0)
        return false;
    int on = 0;
    if (!XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr))
        return false;
    return on != 0;
}
} // namespace

LockKeys::State LockKeys::query() {
    State state;
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display *display = x11 ? x11->display() : nullptr;
    if (!display)
        return state;
    state.capsLock = indicatorOn(display, "Caps Lock");
    state.numLock = indicatorOn(display, "Num Lock");
    return state;
}
