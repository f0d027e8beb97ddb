#include "SongFont.h"

#include <QFontMetrics>

QStringList SongFont::families() {
    return {QStringLiteral("宋体"),
            QStringLiteral("SimSun"),
            QStringLiteral("Noto Serif CJK SC"),
            QStringLiteral("Noto Sans CJK SC"),
            QStringLiteral("WenQuanYi Zen Hei"),
            QStringLiteral("Droid Sans Fallback")};
}

QFont SongFont::font(int pixelHeight, int averageWidth) {
    QFont font;
    font.setFamilies(families());
    font.setPixelSize(qMax(1, pixelHeight));
    font.setWeight(QFont::Normal);
    if (averageWidth > 0) {
        const int natural = QFontMetrics(font).averageCharWidth();
        if (natural > 0)
            font.setStretch(qBound(1, 100 * averageWidth / natural, 4000));
    }
    return font;
}
