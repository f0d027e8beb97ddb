#include "AppIcon.h"

QIcon AppIcon::application() {
    // The same pictures the desktop's menu shows (src/res/icons, rendered from the SVG).
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/horalet-%1.png").arg(size), QSize(size, size));
    return icon;
}
