#include "ScreenFit.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QVariant>
#include <QWidget>

namespace ScreenFit {

namespace {
// Frame of a window the window manager has not framed yet: a usual title bar and border.
constexpr QSize UnknownFrame(12, 40);

const QScreen *screenOf(const QWidget *window) {
    if (const QScreen *own = window->screen())
        return own;
    return QGuiApplication::primaryScreen();
}

bool frameKnown(const QWidget *window) {
    return window->frameGeometry() != window->geometry();
}

QSize frameOf(const QWidget *window) {
    return frameKnown(window) ? window->frameGeometry().size() - window->geometry().size()
                              : UnknownFrame;
}

// Set from the show until the window manager has framed the window.
const char *const PendingProperty = "horaletScreenFitPending";
// The minimum size the window was made with, before any screen bounded it.
const char *const DesignedMinimumProperty = "horaletScreenFitMinimum";

class Fitter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        const QEvent::Type type = event->type();
        if (!watched->isWidgetType() ||
            (type != QEvent::Show && type != QEvent::Move && type != QEvent::Resize))
            return false;
        auto *widget = static_cast<QWidget *>(watched);
        const Qt::WindowType kind = widget->windowType();
        if (!widget->isWindow() || (kind != Qt::Window && kind != Qt::Dialog))
            return false;
        if (type == QEvent::Show) {
            fit(widget);
            widget->setProperty(PendingProperty, !frameKnown(widget));
        } else if (widget->property(PendingProperty).toBool() && frameKnown(widget)) {
            // Framed now: the real frame decides, and the window can be placed by it.
            widget->setProperty(PendingProperty, false);
            fit(widget);
        }
        return false;
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
    QRect outer = window->frameGeometry();
    if (outer.right() > available.right())
        outer.moveRight(available.right());
    if (outer.bottom() > available.bottom())
        outer.moveBottom(available.bottom());
    if (outer.left() < available.left())
        outer.moveLeft(available.left());
    if (outer.top() < available.top())
        outer.moveTop(available.top());
    if (outer.topLeft() != window->frameGeometry().topLeft())
        window->move(outer.topLeft());
}

void install(QApplication *application) {
    application->installEventFilter(new Fitter(application));
}

} // namespace ScreenFit
