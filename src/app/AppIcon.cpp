#include "AppIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QtMath>

namespace {
QPixmap clockFace(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal r = size / 2.0;
    painter.setPen(QPen(QColor(20, 70, 150), size / 16.0));
    painter.setBrush(QColor(60, 140, 230));
    painter.drawEllipse(QRectF(size / 16.0, size / 16.0, size * 7 / 8.0, size * 7 / 8.0));
    painter.setPen(QPen(Qt::white, size / 12.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(r, r), QPointF(r, r - size * 0.3));
    painter.drawLine(QPointF(r, r), QPointF(r + size * 0.22, r + size * 0.08));
    return pixmap;
}
} // namespace

QIcon AppIcon::application() {
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(clockFace(size));
    return icon;
}
