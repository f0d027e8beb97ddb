#include "TipControl.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>

CTipControl::CTipControl(QObject *parent) : QObject(parent) {
    m_delayTimer.setSingleShot(true);
    m_popTimer.setSingleShot(true);
    connect(&m_delayTimer, &QTimer::timeout, this, &CTipControl::showTip);
    connect(&m_popTimer, &QTimer::timeout, this, &CTipControl::hideTip);
}

CTipControl::~CTipControl() = default;

void CTipControl::addTool(QWidget *tool, const QString &text) {
    if (!tool)
        return;
    if (!m_tools.contains(tool)) {
        tool->installEventFilter(this);
        connect(tool, &QObject::destroyed, this,
                [this, tool] { m_tools.remove(static_cast<const QWidget *>(tool)); });
    }
    m_tools.insert(tool, text);
}

QString CTipControl::toolText(const QWidget *tool) const {
    return m_tools.value(tool);
}

void CTipControl::activate(bool active) {
    m_active = active;
    if (!active)
        hideTip();
}

void CTipControl::setMaxTipWidth(int pixels) {
    m_maxWidth = pixels;
}

void CTipControl::setTipTextColor(const QColor &color) {
    m_color = color;
}

void CTipControl::setDelayTime(int milliseconds) {
    m_delay = qMax(0, milliseconds);
}

QWidget *CTipControl::shownTool() const {
    return m_tip && m_tip->isVisible() ? m_shown.data() : nullptr;
}

bool CTipControl::eventFilter(QObject *watched, QEvent *event) {
    auto *tool = qobject_cast<QWidget *>(watched);
    if (!tool || !m_tools.contains(tool))
        return false;
    switch (event->type()) {
    case QEvent::ToolTip:
        // The tools' own tips would compete with ours.
        return m_active;
    case QEvent::Enter:
    case QEvent::HoverEnter:
    case QEvent::MouseMove:
        if (m_active && tool != m_shown && tool != m_pending)
            arm(tool);
        break;
    case QEvent::Leave:
    case QEvent::MouseButtonPress:
    case QEvent::Hide:
    case QEvent::Wheel:
        if (tool == m_pending || tool == m_shown)
            hideTip();
        break;
    default:
        break;
    }
    return false;
}

void CTipControl::arm(QWidget *tool) {
    hideTip();
    m_pending = tool;
    m_delayTimer.start(m_delay);
}

void CTipControl::showTip() {
    QWidget *tool = m_pending;
    m_pending = nullptr;
    if (!m_active || !tool || !tool->isVisible())
        return;
    if (!m_tip) {
        m_tip = std::make_unique<QLabel>(nullptr, Qt::ToolTip | Qt::BypassGraphicsProxyWidget);
        m_tip->setObjectName(QStringLiteral("tipWindow"));
        m_tip->setWordWrap(true);
        m_tip->setMargin(3);
        m_tip->setFrameStyle(QFrame::Box | QFrame::Plain);
        m_tip->setTextFormat(Qt::PlainText);
        m_tip->setAutoFillBackground(true);
    }
    QPalette palette = m_tip->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::ToolTipBase));
    palette.setColor(QPalette::WindowText, m_color);
    m_tip->setPalette(palette);
    m_tip->setFont(tool->font());
    m_tip->setText(m_tools.value(tool));
    // As wide as the text needs up to the maximum width, then wrapped at that width.
    const int chrome = 2 * (m_tip->margin() + m_tip->frameWidth()) + 2;
    const int natural = m_tip->fontMetrics().horizontalAdvance(m_tip->text()) + chrome;
    const int width = m_maxWidth > 0 ? qMin(natural, m_maxWidth) : natural;
    m_tip->setFixedSize(width, m_tip->heightForWidth(width));

    QPoint at = QCursor::pos() + QPoint(2, 20);
    if (const QScreen *screen = QGuiApplication::screenAt(QCursor::pos())) {
        const QRect area = screen->availableGeometry();
        at.setX(qMin(at.x(), area.right() - m_tip->width()));
        at.setY(qMin(at.y(), area.bottom() - m_tip->height()));
    }
    m_tip->move(at);
    m_tip->show();
    m_shown = tool;
    m_popTimer.start(10 * m_delay);
}

void CTipControl::hideTip() {
    m_delayTimer.stop();
    m_popTimer.stop();
    m_pending = nullptr;
    m_shown = nullptr;
    if (m_tip)
        m_tip->hide();
}
