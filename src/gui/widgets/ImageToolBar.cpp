#include "ImageToolBar.h"

#include <QAction>
#include <QActionEvent>
#include <QIcon>
#include <QPixmap>

CImageToolBar::CImageToolBar(const QString &title, QWidget *parent) : QToolBar(title, parent) {}

QList<QImage> CImageToolBar::cutStrip(const QString &path, int buttonWidth) {
    QImage strip(path);
    if (strip.isNull() || buttonWidth <= 0 || strip.width() < buttonWidth)
        return {};
    strip = strip.convertToFormat(QImage::Format_ARGB32);
    const QRgb transparent = strip.pixel(0, strip.height() - 1);
    for (int y = 0; y < strip.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(strip.scanLine(y));
        for (int x = 0; x < strip.width(); ++x) {
            if (line[x] == transparent)
                line[x] = qRgba(0, 0, 0, 0);
        }
    }
    QList<QImage> images;
    for (int x = 0; x + buttonWidth <= strip.width(); x += buttonWidth)
        images.append(strip.copy(x, 0, buttonWidth, strip.height()));
    return images;
}

bool CImageToolBar::LoadImageLists(int buttonWidth, const QString &normal, const QString &hot,
                                   const QString &disabled) {
    const QString paths[ListCount] = {normal, hot, disabled};
    bool complete = true;
    for (int list = 0; list < ListCount; ++list) {
        if (list == Disabled && disabled.isEmpty())
            break;
        QList<QImage> images = cutStrip(paths[list], buttonWidth);
        if (images.isEmpty()) {
            complete = false;
            break;
        }
        m_lists[list] = std::move(images);
    }
    if (!m_lists[Normal].isEmpty())
        setIconSize(m_lists[Normal].first().size());
    applyImages();
    return complete;
}

void CImageToolBar::applyImages() {
    int index = 0;
    const auto all = actions();
    for (QAction *action : all) {
        if (action->isSeparator())
            continue;
        if (index < m_lists[Normal].size()) {
            QIcon icon(QPixmap::fromImage(m_lists[Normal].at(index)));
            // QToolButton shows the Active mode under the pointer.
            if (index < m_lists[Hot].size())
                icon.addPixmap(QPixmap::fromImage(m_lists[Hot].at(index)), QIcon::Active);
            if (index < m_lists[Disabled].size())
                icon.addPixmap(QPixmap::fromImage(m_lists[Disabled].at(index)), QIcon::Disabled);
            action->setIcon(icon);
        }
        ++index;
    }
}

void CImageToolBar::actionEvent(QActionEvent *event) {
    QToolBar::actionEvent(event);
    if (event->type() == QEvent::ActionAdded && !m_lists[Normal].isEmpty())
        applyImages();
}
