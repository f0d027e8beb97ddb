#include "ColorTextStatic.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

CColorTextStatic::CColorTextStatic(QWidget *parent) : QFrame(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFrameShape(QFrame::NoFrame);
}

CColorTextStatic::~CColorTextStatic() = default;

bool CColorTextStatic::PutSegment(int index, const TextSegment &segment) {
    if (index < 0 || index > segmentCount() || segment.text.isEmpty())
        return false;
    if (index < segmentCount()) {
        RemoveSegment(index);
        m_segments.insert(index, segment);
    } else {
        m_segments.append(segment);
    }
    segmentsChanged();
    return true;
}

TextSegment CColorTextStatic::GetSegment(int index) const {
    if (index < 0 || index >= segmentCount())
        return {};
    return m_segments.at(index);
}

bool CColorTextStatic::AddText(const QString &text, const QColor &color, const QColor &background) {
    TextSegment segment;
    segment.text = text;
    segment.color = color;
    segment.background = background;
    return AddSegment(segment);
}

bool CColorTextStatic::AddSegment(const TextSegment &segment) {
    return PutSegment(segmentCount(), segment);
}

bool CColorTextStatic::RemoveSegment(int index) {
    if (index < 0 || index >= segmentCount())
        return false;
    m_segments.removeAt(index);
    segmentsChanged();
    return true;
}

void CColorTextStatic::RemoveAllSegments() {
    for (int index = segmentCount() - 1; index >= 0; --index)
        m_segments.removeAt(index);
    segmentsChanged();
}

void CColorTextStatic::SetBackColor(const QColor &color) {
    m_background = color;
    segmentsChanged();
}

QColor CColorTextStatic::backColor() const {
    return m_background.isValid() ? m_background : palette().color(QPalette::Window);
}

void CColorTextStatic::SetText(const QString &text) {
    RemoveAllSegments();
    AddText(text, Qt::black);
}

QString CColorTextStatic::text() const {
    QString joined;
    for (const TextSegment &segment : m_segments)
        joined += segment.text;
    return joined;
}

void CColorTextStatic::SetFontFollowsHeight(bool follows) {
    m_fontFollowsHeight = follows;
    segmentsChanged();
}

QFont CColorTextStatic::segmentFont(const TextSegment &segment) const {
    QFont segmentFont = font();
    if (m_fontFollowsHeight && height() > 0) {
        // The line's height is the height of the characters' cells, leading included.
        segmentFont.setPixelSize(height());
        const int cell = QFontMetrics(segmentFont).height();
        if (cell > height())
            segmentFont.setPixelSize(qMax(1, height() * height() / cell));
    }
    segmentFont.setBold(segment.bold);
    segmentFont.setItalic(segment.italic);
    segmentFont.setUnderline(segment.underline);
    return segmentFont;
}

const QList<CColorTextStatic::Measure> &CColorTextStatic::measures() const {
    if (!m_measuresValid) {
        m_measures.clear();
        for (const TextSegment &segment : m_segments) {
            Measure measure;
            measure.font = segmentFont(segment);
            const QFontMetrics metrics(measure.font);
            measure.width = metrics.horizontalAdvance(segment.text);
            measure.height = metrics.height();
            measure.ascent = metrics.ascent();
            m_measures.append(measure);
        }
        m_measuresValid = true;
    }
    return m_measures;
}

int CColorTextStatic::lineWidth() const {
    int width = 0;
    for (const Measure &measure : measures())
        width += measure.width;
    return width;
}

void CColorTextStatic::segmentsChanged() {
    m_measuresValid = false;
    update();
}

int CColorTextStatic::paintLine(QPainter &painter, int x, const QRect &area) {
    const QList<Measure> &sizes = measures();
    const QColor ground = backColor();
    m_starts.clear();
    int left = x;
    for (int index = 0; index < segmentCount(); ++index) {
        const TextSegment &segment = m_segments.at(index);
        const Measure &measure = sizes.at(index);
        const int width = measure.width;
        m_starts.append(left);
        // Text outside the area to repaint (one column while scrolling) is not laid out.
        if (left < area.right() + 1 && left + width > area.left()) {
            const int top = qMax(0, (height() - measure.height) / 2);
            const QColor background = segment.background.isValid() ? segment.background : ground;
            if (background != ground)
                painter.fillRect(QRect(left, top, width, measure.height), background);
            painter.setFont(measure.font);
            painter.setPen(segment.color);
            painter.drawText(QPoint(left, top + measure.ascent), segment.text);
        }
        left += width;
    }
    return left - x;
}

void CColorTextStatic::paintEvent(QPaintEvent *event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), backColor());
    paintLine(painter, contentsRect().left(), event->rect());
}

void CColorTextStatic::resizeEvent(QResizeEvent *event) {
    QFrame::resizeEvent(event);
    if (m_fontFollowsHeight)
        m_measuresValid = false;
    update();
}

void CColorTextStatic::changeEvent(QEvent *event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        segmentsChanged();
}
