#include "ScreenFit.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QVariant>
#include <QWidget>
#include <QWindow>

namespace ScreenFit {

namespace {
// Frame of a window the window manager has not framed yet: a usual title bar and border.
constexpr QSize UnknownFrame(12, 40);

const QScreen *screenOf(const QWidget *window) {
    if (const QScreen *own = window->screen())
        return own;
    return QGuiApplication::primaryScreen();
}

// The window's own frame as the window system reports it now (a widget's frame geometry
// is refreshed only by later events).
bool frameKnown(const QWidget *window) {
    const QWindow *handle = window->windowHandle();
    return handle && !handle->frameMargins().isNull();
}

QRect outerOf(const QWidget *window) {
    const QWindow *handle = window->windowHandle();
    return handle ? handle->frameGeometry() : window->frameGeometry();
}

QSize frameOf(const QWidget *window) {
    if (!frameKnown(window))
        return UnknownFrame;
    const QMargins margins = window->windowHandle()->frameMargins();
    return {margins.left() + margins.right(), margins.top() + margins.bottom()};
}

// The minimum size the window was made with, before any screen bounded it.
const char *const DesignedMinimumProperty = "horaletScreenFitMinimum";

// How often, and how long, a shown window is looked at until the window manager has framed
// it.
constexpr int FramePollMs = 50;
constexpr int FramePolls = 200;

class Fitter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::Show || !watched->isWidgetType())
            return false;
        auto *widget = static_cast<QWidget *>(watched);
        const Qt::WindowType kind = widget->windowType();
        // Only windows the window manager frames and places: an embedded tray icon is not one.
        const Qt::WindowFlags unmanaged =
            Qt::FramelessWindowHint | Qt::BypassWindowManagerHint | Qt::X11BypassWindowManagerHint;
        if (!widget->isWindow() || (kind != Qt::Window && kind != Qt::Dialog) ||
            (widget->windowFlags() & unmanaged))
            return false;
        fit(widget);
        if (!frameKnown(widget))
            fitOnceFramed(widget, FramePolls);
        return false;
    }

private:
    // Placed by the real frame once there is one.
    void fitOnceFramed(QWidget *widget, int pollsLeft) {
        QTimer::singleShot(FramePollMs, this,
                           [this, window = QPointer<QWidget>(widget), pollsLeft] {
                               if (!window || !window->isVisible())
                                   return;
                               if (frameKnown(window))
                                   fit(window);
                               else if (pollsLeft > 1)
                                   fitOnceFramed(window, pollsLeft - 1);
                           });
    }
};
} // namespace

QSize room(const QWidget *window) {
    const QScreen *screen = screenOf(window);
    if (!screen)
        return {};
    return (screen->availableGeometry().size() - frameOf(window)).expandedTo({100, 100});
}

void fit(QWidget *window) {
    const QScreen *screen = screenOf(window);
    if (!screen)
        return;
    QVariant designed = window->property(DesignedMinimumProperty);
    if (!designed.isValid()) {
        designed = window->minimumSize();
        window->setProperty(DesignedMinimumProperty, designed);
    }
    const QSize space = room(window);
    const QSize minimum = designed.toSize().boundedTo(space);
    if (window->minimumSize() != minimum)
        window->setMinimumSize(minimum);
    const QSize size = window->size().boundedTo(space).expandedTo(minimum);
    if (size != window->size())
        window->resize(size);

    // Placed by its frame only once the frame is known: before that a move places the
    // client area, and the title bar would end up above the screen.
    if (!frameKnown(window))
        return;
    const QRect available = screen->availableGeometry();
    const QRect framed = outerOf(window);
    QRect outer = framed;
    if (outer.right() > available.right())
        outer.moveRight(available.right());
    if (outer.bottom() > available.bottom())
        outer.moveBottom(available.bottom());
    if (outer.left() < available.left())
        outer.moveLeft(available.left());
    if (outer.top() < available.top())
        outer.moveTop(available.top());
    if (outer.topLeft() != framed.topLeft())
        window->move(window->pos() + (outer.topLeft() - framed.topLeft()));
}

void install(QApplication *application) {
    application->installEventFilter(new Fitter(application));
}

} // namespace ScreenFit
