#include "ScreenFit.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
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

QSize frameOf(const QWidget *window) {
    const QSize frame = window->frameGeometry().size() - window->geometry().size();
    return frame.isEmpty() || frame == QSize(0, 0) ? UnknownFrame : frame.expandedTo({0, 0});
}

class Fitter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto *widget = static_cast<QWidget *>(watched);
            const Qt::WindowType type = widget->windowType();
            if (widget->isWindow() && (type == Qt::Window || type == Qt::Dialog))
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
    const QSize space = room(window);
    if (!window->minimumSize().boundedTo(space).isEmpty())
        window->setMinimumSize(window->minimumSize().boundedTo(space));
    if (window->width() > space.width() || window->height() > space.height())
        window->resize(window->size().boundedTo(space));

    // Onto the screen: the frame's top left corner inside, then as far in as the size needs.
    const QRect available = screen->availableGeometry();
    const QSize frame = frameOf(window);
    QRect outer(window->frameGeometry().topLeft(), window->size() + frame);
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
