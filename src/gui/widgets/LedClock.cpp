#include "LedClock.h"

#include <QPainter>

namespace {
const QImage &glyphStrip() {
    static const QImage strip(QStringLiteral(":/led/glyphs.png"));
    return strip;
}

void appendNumber(QList<int> &cells, int value, int digits) {
    QList<int> number;
    for (int index = 0; index < digits; ++index) {
        number.prepend(value % 10);
        value /= 10;
    }
    cells += number;
}
} // namespace

CLedClock::CLedClock(QWidget *parent)
    : QWidget(parent), m_now([] { return QDateTime::currentDateTime(); }) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CLedClock::tick);
}

CLedClock::~CLedClock() = default;

QList<int> CLedClock::cellGlyphs(const QDateTime &moment) {
    const QDate date = moment.date();
    const QTime time = moment.time();
    QList<int> cells;
    appendNumber(cells, date.year(), 4);
    cells.append(Dash);
    appendNumber(cells, date.month(), 2);
    cells.append(Dash);
    appendNumber(cells, date.day(), 2);
    cells.append(Blank);
    appendNumber(cells, time.hour(), 2);
    cells.append(Colon);
    appendNumber(cells, time.minute(), 2);
    cells.append(Colon);
    appendNumber(cells, time.second(), 2);
    return cells;
}

QImage CLedClock::glyph(int index) {
    const QImage &strip = glyphStrip();
    const QSize size = glyphSize();
    if (index < 0 || index >= GlyphCount || strip.width() < size.width() * (index + 1))
        return {};
    return strip.copy(index * size.width(), 0, size.width(), size.height());
}

void CLedClock::setTimeSource(std::function<QDateTime()> source) {
    m_now = std::move(source);
    if (isRunning())
        tick();
}

QSize CLedClock::sizeHint() const {
    return {glyphSize().width() * CellCount, glyphSize().height()};
}

void CLedClock::tick() {
    m_cells = cellGlyphs(m_now());
    update();
    armForNextSecond();
}

// Ticks just after each second begins, so no second is skipped or shown twice.
void CLedClock::armForNextSecond() {
    if (!isVisible() || (window()->windowState() & Qt::WindowMinimized))
        return;
    const int intoSecond = QTime::currentTime().msec();
    m_timer.start(1000 - intoSecond + 5);
}

void CLedClock::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (m_cells.isEmpty())
        return;
    // All 19 cells fit: the last second digit is the one that moves.
    const int cellWidth = width() / CellCount;
    const int cellHeight = height();
    const QImage &strip = glyphStrip();
    const QSize size = glyphSize();
    for (int cell = 0; cell < m_cells.size(); ++cell) {
        const int index = m_cells.at(cell);
        if (strip.width() < size.width() * (index + 1))
            continue;
        // Nearest pixels only: the segments keep their exact colours.
        painter.drawImage(QRect(cell * cellWidth, 0, cellWidth, cellHeight), strip,
                          QRect(index * size.width(), 0, size.width(), size.height()));
    }
}

void CLedClock::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    tick();
}

// Also sent, spontaneously, to every child when the window is minimised.
void CLedClock::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    m_timer.stop();
}
