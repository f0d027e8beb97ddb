#include "HeaderCtrlCl.h"

#include "widgets/SongFont.h"

#include <QFontMetrics>
#include <QPainter>

CHeaderCtrlCl::CHeaderCtrlCl(QWidget *parent) : QHeaderView(Qt::Horizontal, parent) {}

void CHeaderCtrlCl::appendColumn(const QString &title, QChar alignmentCode) {
    m_titles.append(title);
    m_codes.append(alignmentCode);
    viewport()->update();
}

Qt::Alignment CHeaderCtrlCl::columnAlignment(int column) const {
    const QChar code = column >= 0 && column < m_codes.size() ? m_codes.at(column) : QChar();
    if (code == QLatin1Char('0'))
        return Qt::AlignLeft;
    if (code == QLatin1Char('2'))
        return Qt::AlignRight;
    return Qt::AlignHCenter;
}

void CHeaderCtrlCl::setShade(int red, int green, int blue, int step) {
    m_red = red;
    m_green = green;
    m_blue = blue;
    m_step = step;
    viewport()->update();
}

QColor CHeaderCtrlCl::shadeAt(int y) const {
    const auto channel = [this, y](int base) { return qBound(0, base - m_step * y, 255); };
    return QColor(channel(m_red), channel(m_green), channel(m_blue));
}

void CHeaderCtrlCl::setHeightScale(float scale) {
    m_scale = scale;
    updateGeometry();
}

int CHeaderCtrlCl::naturalHeight() const {
    return QHeaderView::sizeHint().height();
}

QSize CHeaderCtrlCl::sizeHint() const {
    QSize hint = QHeaderView::sizeHint();
    hint.setHeight(int(float(hint.height()) * m_scale));
    return hint;
}

void CHeaderCtrlCl::setTitleFont(int height, int width) {
    m_fontHeight = height;
    m_fontWidth = width;
    viewport()->update();
}

QFont CHeaderCtrlCl::titleFont() const {
    return SongFont::font(m_fontHeight, m_fontWidth);
}

void CHeaderCtrlCl::setTitleColor(const QColor &color) {
    m_titleColor = color;
    viewport()->update();
}

void CHeaderCtrlCl::paintShade(QPainter &painter, int left, int right, int height) const {
    // One flat row at a time: the exact colours, no blending.
    for (int y = 0; y < height; ++y)
        painter.fillRect(QRect(left + 1, y, right - left - 1, 1), shadeAt(y));
}

void CHeaderCtrlCl::paintEvent(QPaintEvent *) {
    QPainter painter(viewport());
    const int height = viewport()->height();
    // What no section covers: the one-pixel seams between sections.
    painter.fillRect(viewport()->rect(), palette().color(QPalette::Button));
    const QFont font = titleFont();
    const QFontMetrics metrics(font);
    painter.setFont(font);
    painter.setPen(m_titleColor);
    int lastRight = 0;
    for (int visual = 0; visual < count(); ++visual) {
        const int logical = logicalIndex(visual);
        if (isSectionHidden(logical))
            continue;
        const int left = sectionViewportPosition(logical);
        const int right = left + sectionSize(logical);
        lastRight = qMax(lastRight, right);
        if (right < 0 || left > viewport()->width())
            continue;
        paintShade(painter, left, right, height);

        QRect text(left, 0, right - left, height);
        const Qt::Alignment alignment = columnAlignment(logical);
        if (alignment == Qt::AlignLeft)
            text.setLeft(text.left() + 3);
        else if (alignment == Qt::AlignRight)
            text.setRight(text.right() - 3);
        text.translate(0, (height - metrics.height()) / 2);
        const QString title = logical < m_titles.size() ? m_titles.at(logical)
                              : model() ? model()->headerData(logical, orientation()).toString()
                                        : QString();
        painter.save();
        painter.setClipRect(QRect(left, 0, right - left, height));
        painter.drawText(text, int(alignment | Qt::AlignTop) | Qt::TextDontClip, title);
        painter.restore();
    }
    if (lastRight < viewport()->width())
        paintShade(painter, lastRight, viewport()->width(), height);
}
