// Draws the program's own images: the clock's seven-segment glyphs (13 x 23: digits 0-9,
// colon, blank, dash) and the toolbar's strips of twelve 32 x 32 icons, normal and hot, as
// 24-bit images whose bottom-left pixel is the transparent colour.
// usage: horalet_make_images <src/res>
#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>

namespace {

// ---- seven-segment glyphs ----

constexpr int GlyphWidth = 13;
constexpr int GlyphHeight = 23;

enum Segment { A = 1, B = 2, C = 4, D = 8, E = 16, F = 32, G = 64 };

// Each segment bevelled: a full row or column next to the cell edge, a shorter one inside.
void segmentPixels(int segment, const std::function<void(int, int)> &set) {
    auto row = [&](int y, int from, int to) {
        for (int x = from; x <= to; ++x)
            set(x, y);
    };
    auto column = [&](int x, int from, int to) {
        for (int y = from; y <= to; ++y)
            set(x, y);
    };
    switch (segment) {
    case A:
        row(1, 3, 9);
        row(2, 4, 8);
        break;
    case B:
        column(11, 3, 9);
        column(10, 4, 8);
        break;
    case C:
        column(11, 13, 19);
        column(10, 14, 18);
        break;
    case D:
        row(21, 3, 9);
        row(20, 4, 8);
        break;
    case E:
        column(1, 13, 19);
        column(2, 14, 18);
        break;
    case F:
        column(1, 3, 9);
        column(2, 4, 8);
        break;
    case G:
        row(10, 4, 8);
        row(11, 3, 9);
        row(12, 4, 8);
        break;
    }
}

QImage glyphStrip() {
    const int digits[10] = {A | B | C | D | E | F, B | C,         A | B | G | E | D,
                            A | B | G | C | D,     F | G | B | C, A | F | G | C | D,
                            A | F | G | E | D | C, A | B | C,     A | B | C | D | E | F | G,
                            A | B | C | D | F | G};
    QImage strip(GlyphWidth * 13, GlyphHeight, QImage::Format_Indexed8);
    strip.setColorTable({qRgb(0, 0, 0), qRgb(128, 0, 0), qRgb(255, 0, 0)});
    strip.fill(0);
    auto drawSegments = [&](int cell, int lit) {
        for (int segment = A; segment <= G; segment <<= 1) {
            const uint colour = (lit & segment) ? 2 : 1;
            segmentPixels(segment,
                          [&](int x, int y) { strip.setPixel(cell * GlyphWidth + x, y, colour); });
        }
    };
    for (int digit = 0; digit < 10; ++digit)
        drawSegments(digit, digits[digit]);
    // colon: two lit dots on black
    for (int y : {6, 7, 8, 14, 15, 16}) {
        for (int x = 5; x <= 7; ++x)
            strip.setPixel(10 * GlyphWidth + x, y, 2);
    }
    drawSegments(11, 0); // blank
    drawSegments(12, G); // dash
    return strip;
}

// ---- toolbar icons ----

constexpr int IconSize = 32;
constexpr int IconCount = 12;
const QColor Transparent(255, 0, 255);
// What the soft edges are mixed with: close to the toolbar's own ground.
const QColor EdgeGround(236, 236, 236);

struct Look {
    bool hot;
    QColor operator()(const QColor &colour) const { return hot ? colour.lighter(118) : colour; }
};

QPen outline(const QColor &colour, qreal width = 1.2) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void page(QPainter &p, const Look &c) {
    QPainterPath path;
    path.moveTo(6.5, 3.5);
    path.lineTo(19.5, 3.5);
    path.lineTo(25.5, 9.5);
    path.lineTo(25.5, 28.5);
    path.lineTo(6.5, 28.5);
    path.closeSubpath();
    p.setPen(outline(c(QColor(90, 100, 120))));
    p.setBrush(c(QColor(250, 250, 252)));
    p.drawPath(path);
    QPainterPath fold;
    fold.moveTo(19.5, 3.5);
    fold.lineTo(19.5, 9.5);
    fold.lineTo(25.5, 9.5);
    p.setBrush(c(QColor(205, 212, 225)));
    p.drawPath(fold);
    p.setPen(outline(c(QColor(150, 165, 190)), 1.0));
    for (int y : {13, 17, 21})
        p.drawLine(QPointF(10, y), QPointF(20, y));
}

void badge(QPainter &p, const Look &c, const QColor &colour) {
    p.setPen(outline(c(colour.darker(140))));
    p.setBrush(c(colour));
    p.drawEllipse(QPointF(23, 23), 7.5, 7.5);
}

void calendar(QPainter &p, const Look &c, int kind) {
    p.setPen(outline(c(QColor(80, 80, 90))));
    p.setBrush(c(QColor(252, 252, 252)));
    p.drawRoundedRect(QRectF(3.5, 6.5, 25, 23), 2, 2);
    p.setBrush(c(QColor(205, 50, 45)));
    p.drawRect(QRectF(3.5, 6.5, 25, 6));
    p.setPen(outline(c(QColor(60, 60, 70)), 2));
    p.drawLine(QPointF(9, 3.5), QPointF(9, 9));
    p.drawLine(QPointF(23, 3.5), QPointF(23, 9));
    // a grid of 7 x 4 days, three pixels each
    const QColor day = c(QColor(175, 180, 190));
    const QColor mark = kind == 0   ? c(QColor(235, 140, 20))
                        : kind == 1 ? c(QColor(40, 110, 215))
                                    : c(QColor(40, 160, 80));
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 7; ++col) {
            const bool marked =
                kind == 2 || (kind == 1 && row == 1) || (kind == 0 && row == 1 && col == 3);
            p.setBrush(marked ? mark : day);
            const QRectF cell(5.5 + col * 3.2, 15 + row * 3.4, 2.4, 2.4);
            p.drawRect(kind == 0 && marked ? cell.adjusted(-1.2, -1.2, 1.2, 1.2) : cell);
        }
    }
}

void drawIcon(QPainter &p, int index, const Look &c) {
    switch (index) {
    case 0: { // new
        page(p, c);
        badge(p, c, QColor(45, 160, 70));
        p.setPen(outline(Qt::white, 2.4));
        p.drawLine(QPointF(23, 19), QPointF(23, 27));
        p.drawLine(QPointF(19, 23), QPointF(27, 23));
        break;
    }
    case 1: { // modify: a pencil across the page
        page(p, c);
        p.save();
        p.translate(19, 19);
        p.rotate(-45);
        p.setPen(outline(c(QColor(120, 80, 20))));
        p.setBrush(c(QColor(250, 195, 40)));
        p.drawRect(QRectF(-9, -3, 14, 6));
        p.setBrush(c(QColor(235, 130, 150)));
        p.drawRect(QRectF(5, -3, 4, 6));
        QPainterPath tip;
        tip.moveTo(-9, -3);
        tip.lineTo(-14, 0);
        tip.lineTo(-9, 3);
        tip.closeSubpath();
        p.setBrush(c(QColor(240, 215, 170)));
        p.drawPath(tip);
        p.restore();
        break;
    }
    case 2: { // delete
        page(p, c);
        badge(p, c, QColor(215, 50, 45));
        p.setPen(outline(Qt::white, 2.4));
        p.drawLine(QPointF(20, 20), QPointF(26, 26));
        p.drawLine(QPointF(26, 20), QPointF(20, 26));
        break;
    }
    case 3: // today
    case 4: // week
    case 5: // month
        calendar(p, c, index - 3);
        break;
    case 6: { // all: a list
        p.setPen(outline(c(QColor(70, 90, 130))));
        p.setBrush(c(QColor(245, 248, 255)));
        p.drawRoundedRect(QRectF(3.5, 4.5, 25, 23), 2, 2);
        for (int row = 0; row < 4; ++row) {
            const qreal y = 9 + row * 5;
            p.setPen(Qt::NoPen);
            p.setBrush(c(QColor(40, 110, 215)));
            p.drawEllipse(QPointF(8.5, y), 1.8, 1.8);
            p.setPen(outline(c(QColor(90, 100, 120)), 1.6));
            p.drawLine(QPointF(12, y), QPointF(25, y));
        }
        break;
    }
    case 7: { // mail: an envelope
        p.setPen(outline(c(QColor(120, 95, 40))));
        p.setBrush(c(QColor(250, 235, 180)));
        p.drawRect(QRectF(3.5, 8.5, 25, 17));
        QPainterPath flap;
        flap.moveTo(3.5, 8.5);
        flap.lineTo(16, 18);
        flap.lineTo(28.5, 8.5);
        p.setBrush(c(QColor(240, 215, 140)));
        p.drawPath(flap);
        p.drawLine(QPointF(3.5, 25.5), QPointF(13, 16.5));
        p.drawLine(QPointF(28.5, 25.5), QPointF(19, 16.5));
        break;
    }
    case 8: { // home page: a house
        p.setPen(outline(c(QColor(110, 80, 50))));
        p.setBrush(c(QColor(245, 225, 190)));
        p.drawRect(QRectF(7.5, 15.5, 17, 13));
        QPainterPath roof;
        roof.moveTo(3.5, 16.5);
        roof.lineTo(16, 4.5);
        roof.lineTo(28.5, 16.5);
        roof.closeSubpath();
        p.setPen(outline(c(QColor(140, 30, 25))));
        p.setBrush(c(QColor(210, 55, 45)));
        p.drawPath(roof);
        p.setPen(outline(c(QColor(90, 60, 30))));
        p.setBrush(c(QColor(150, 95, 50)));
        p.drawRect(QRectF(10.5, 19.5, 5, 9));
        p.setBrush(c(QColor(120, 185, 240)));
        p.drawRect(QRectF(18.5, 19.5, 4, 4));
        break;
    }
    case 9: { // help: a question mark on a blue disc
        p.setPen(outline(c(QColor(25, 80, 160))));
        p.setBrush(c(QColor(50, 125, 220)));
        p.drawEllipse(QPointF(16, 16), 13, 13);
        QPainterPath mark;
        mark.moveTo(11.5, 12.5);
        mark.cubicTo(11.5, 6.5, 21, 6.5, 21, 12);
        mark.cubicTo(21, 15.5, 16, 15.5, 16, 19.5);
        p.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(mark);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(16, 24), 2, 2);
        break;
    }
    case 10: { // exit: the power sign on a red disc
        p.setPen(outline(c(QColor(140, 25, 20))));
        p.setBrush(c(QColor(205, 45, 35)));
        p.drawEllipse(QPointF(16, 16), 13, 13);
        p.setPen(QPen(Qt::white, 2.8, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(9, 9.5, 14, 14), 125 * 16, 290 * 16);
        p.drawLine(QPointF(16, 7), QPointF(16, 15));
        break;
    }
    case 11: { // the bell of the timetable
        QPainterPath bell;
        bell.moveTo(6, 23.5);
        bell.cubicTo(9, 21, 8.5, 16, 9.5, 12);
        bell.cubicTo(10.5, 6.5, 21.5, 6.5, 22.5, 12);
        bell.cubicTo(23.5, 16, 23, 21, 26, 23.5);
        bell.closeSubpath();
        p.setPen(outline(c(QColor(150, 105, 10))));
        p.setBrush(c(QColor(245, 190, 40)));
        p.drawPath(bell);
        p.setBrush(c(QColor(200, 140, 20)));
        p.drawEllipse(QPointF(16, 26), 2.6, 2.6);
        p.drawEllipse(QPointF(16, 5.5), 1.8, 1.8);
        p.setPen(outline(c(QColor(255, 240, 180)), 1.6));
        p.drawLine(QPointF(12.5, 11.5), QPointF(11.5, 18));
        break;
    }
    }
}

QImage iconStrip(bool hot) {
    QImage strip(IconSize * IconCount, IconSize, QImage::Format_RGB888);
    strip.fill(Transparent);
    for (int index = 0; index < IconCount; ++index) {
        QImage icon(IconSize, IconSize, QImage::Format_ARGB32);
        icon.fill(Qt::transparent);
        QPainter painter(&icon);
        painter.setRenderHint(QPainter::Antialiasing);
        drawIcon(painter, index, Look{hot});
        painter.end();
        // A transparent colour leaves no room for soft edges: half-covered pixels become
        // solid, mixed with a toolbar-like grey; the rest is transparent.
        for (int y = 0; y < IconSize; ++y) {
            for (int x = 0; x < IconSize; ++x) {
                const QRgb pixel = icon.pixel(x, y);
                const int alpha = qAlpha(pixel);
                if (alpha < 110)
                    continue;
                const auto mix = [alpha](int colour, int ground) {
                    return (colour * alpha + ground * (255 - alpha)) / 255;
                };
                QColor colour(mix(qRed(pixel), EdgeGround.red()),
                              mix(qGreen(pixel), EdgeGround.green()),
                              mix(qBlue(pixel), EdgeGround.blue()));
                if (colour == Transparent)
                    colour = colour.darker(101);
                strip.setPixelColor(index * IconSize + x, y, colour);
            }
        }
    }
    strip.setPixelColor(0, IconSize - 1, Transparent);
    return strip;
}

bool save(const QImage &image, const QString &path) {
    if (!image.save(path, "PNG", 0)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <res directory>\n", argv[0]);
        return 2;
    }
    const QDir res(QString::fromLocal8Bit(argv[1]));
    res.mkpath(QStringLiteral("led"));
    res.mkpath(QStringLiteral("toolbar"));
    const bool ok = save(glyphStrip(), res.filePath(QStringLiteral("led/glyphs.png"))) &&
                    save(iconStrip(false), res.filePath(QStringLiteral("toolbar/normal.png"))) &&
                    save(iconStrip(true), res.filePath(QStringLiteral("toolbar/hot.png")));
    return ok ? 0 : 1;
}
