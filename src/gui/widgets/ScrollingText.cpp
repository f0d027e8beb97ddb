#include "ScrollingText.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <cstdlib>

CScrollingText::CScrollingText(QWidget *parent) : CColorTextStatic(parent) {
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CScrollingText::ScrollStep);
    setCursor(Qt::ArrowCursor);
    setMouseTracking(true);
}

// The timer is a member: it stops with the control, so no step reaches a dead window.
CScrollingText::~CScrollingText() = default;

void CScrollingText::SetSpeed(int speed) {
    if (speed < -MaxSpeed || speed > MaxSpeed)
        return;
    m_speed = speed;
    if (speed != 0)
        m_interval = std::abs(10000 / speed);
    updateRunning();
}

bool CScrollingText::seen() const {
    if (!isVisible())
        return false;
    const QWidget *top = window();
    return !(top->windowState() & Qt::WindowMinimized);
}

void CScrollingText::updateRunning() {
    if (m_speed != 0 && seen()) {
        if (!m_timer.isActive() || m_timer.interval() != m_interval)
            m_timer.start(m_interval);
    } else {
        m_timer.stop();
    }
}

void CScrollingText::ScrollStep() {
    if (segmentCount() == 0 || m_speed == 0)
        return;
    const QRect client = contentsRect();
    const int width = lineWidth();
    if (m_speed > 0) {
        --m_offset;
        if (m_offset + width < client.left()) {
            m_offset = client.right() + 1;
            update();
            return;
        }
        scroll(-1, 0, client);
    } else {
        ++m_offset;
        if (m_offset > client.right() + 1) {
            m_offset = client.left() - width;
            update();
            return;
        }
        scroll(1, 0, client);
    }
}

void CScrollingText::segmentsChanged() {
    m_line = QPixmap();
    CColorTextStatic::segmentsChanged();
}

void CScrollingText::paintEvent(QPaintEvent *event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), backColor());
    if (segmentCount() == 0)
        return;
    if (m_line.isNull()) {
        const qreal ratio = devicePixelRatioF();
        const QSize size(qMax(1, lineWidth()), qMax(1, height()));
        m_line = QPixmap(size * ratio);
        m_line.setDevicePixelRatio(ratio);
        m_line.fill(backColor());
        QPainter line(&m_line);
        paintLine(line, 0, QRect(QPoint(0, 0), size));
    }
    painter.setClipRect(contentsRect() & event->rect());
    painter.drawPixmap(m_offset, 0, m_line);
}

void CScrollingText::resizeEvent(QResizeEvent *event) {
    m_line = QPixmap();
    CColorTextStatic::resizeEvent(event);
    update();
}

void CScrollingText::showEvent(QShowEvent *event) {
    CColorTextStatic::showEvent(event);
    updateRunning();
}

// Also sent, spontaneously, to every child when the window is minimised.
void CScrollingText::hideEvent(QHideEvent *event) {
    CColorTextStatic::hideEvent(event);
    m_timer.stop();
}

// Button presses belong to the parent (a press on the form moves the window).
void CScrollingText::mousePressEvent(QMouseEvent *event) {
    event->ignore();
}

void CScrollingText::mouseReleaseEvent(QMouseEvent *event) {
    event->ignore();
}

void CScrollingText::mouseDoubleClickEvent(QMouseEvent *event) {
    event->ignore();
}

void CScrollingText::mouseMoveEvent(QMouseEvent *event) {
    m_lastPointer = event->position().toPoint();
    event->ignore();
}
