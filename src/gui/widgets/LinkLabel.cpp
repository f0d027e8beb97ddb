#include "LinkLabel.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEnterEvent>
#include <QFileInfo>
#include <QHelpEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QToolTip>
#include <QUrl>

CLinkLabel::CLinkLabel(QWidget *parent) : QLabel(parent) {
    init();
}

CLinkLabel::CLinkLabel(const QString &text, QWidget *parent) : QLabel(text, parent) {
    init();
}

void CLinkLabel::init() {
    // The text is shown as it is, never as markup.
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    applyLook();
}

void CLinkLabel::SetLinkTarget(const QString &target) {
    m_target = target;
    if (text().isEmpty())
        setText(target);
    refit();
}

QString CLinkLabel::GetLinkTarget() const {
    return m_target.isEmpty() ? text() : m_target;
}

void CLinkLabel::SetLinkColors(const QColor &link, const QColor &visited, const QColor &hover) {
    m_linkColor = link;
    m_visitedColor = visited;
    m_hoverColor = hover;
    applyLook();
}

QColor CLinkLabel::hoverColor() const {
    return m_hoverColor.isValid() ? m_hoverColor : palette().color(QPalette::Highlight);
}

void CLinkLabel::MarkVisited(bool visited) {
    m_visited = visited;
    applyLook();
}

void CLinkLabel::SetHoverCursor(const QCursor &cursor) {
    setCursor(cursor);
}

void CLinkLabel::SetUnderlineMode(int mode) {
    if (mode == m_underlineMode)
        return;
    m_underlineMode = mode;
    applyLook();
}

void CLinkLabel::SetFitToText(bool fit) {
    m_fitToText = fit;
    refit();
}

QColor CLinkLabel::currentColor() const {
    if (m_pointerOver)
        return hoverColor();
    return m_visited ? m_visitedColor : m_linkColor;
}

void CLinkLabel::applyLook() {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, currentColor());
    setPalette(colours);
    QFont look = font();
    look.setUnderline(m_underlineMode == UnderlineAlways ||
                      (m_underlineMode == UnderlineOnHover && m_pointerOver));
    setFont(look);
    refit();
}

void CLinkLabel::refit() {
    if (m_fitToText) {
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        if (!parentWidget() || !parentWidget()->layout())
            adjustSize();
    } else {
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    }
    updateGeometry();
}

int CLinkLabel::OpenLinkTarget(const QString &target) {
    const QString trimmed = target.trimmed();
    if (trimmed.isEmpty())
        return FileNotFound;
    const QUrl url = QUrl::fromUserInput(trimmed, QDir::currentPath(), QUrl::AssumeLocalFile);
    if (!url.isValid())
        return FileNotFound;
    if (url.isLocalFile()) {
        const QFileInfo file(url.toLocalFile());
        if (!file.exists())
            return file.dir().exists() ? FileNotFound : PathNotFound;
    }
    return QDesktopServices::openUrl(url) ? Opened : NoAssociation;
}

QString CLinkLabel::errorMessage(int result) {
    QString reason;
    switch (result) {
    case 0:
        reason = QStringLiteral("The operating system is out\nof memory or resources.");
        break;
    case 2:
        reason = QStringLiteral("The specified file was not found.");
        break;
    case 3:
        reason = QStringLiteral("The specified path was not found.");
        break;
    case 5:
        reason = QStringLiteral("The operating system denied\naccess to the specified file.");
        break;
    case 8:
        reason = QStringLiteral("There was not enough memory to complete the operation.");
        break;
    case 11:
        reason =
            QStringLiteral("The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
        break;
    case 26:
        reason = QStringLiteral("A sharing violation occurred. ");
        break;
    case 27:
        reason = QStringLiteral("The filename association is\nincomplete or invalid.");
        break;
    case 28:
        reason = QStringLiteral(
            "The DDE transaction could not\nbe completed because the request timed out.");
        break;
    case 29:
        reason = QStringLiteral("The DDE transaction failed.");
        break;
    case 30:
        reason = QStringLiteral("The DDE transaction could not\nbe completed because other DDE "
                                "transactions\nwere being processed.");
        break;
    case 31:
        reason = QStringLiteral(
            "There is no application associated\nwith the given filename extension.");
        break;
    case 32:
        reason = QStringLiteral("The specified dynamic-link library was not found.");
        break;
    default:
        reason = QStringLiteral("Unknown Error (%1) occurred.").arg(result);
        break;
    }
    return QStringLiteral("Unable to open hyperlink:\n\n") + reason;
}

void CLinkLabel::open() {
    m_pointerOver = false;
    const QString target = GetLinkTarget();
    const int result = OpenLinkTarget(target);
    if (result > 32) {
        MarkVisited(true);
        emit linkOpened(target);
        return;
    }
    applyLook();
    QApplication::beep();
    QMessageBox::warning(this, QStringLiteral("Horalet"), errorMessage(result));
}

void CLinkLabel::enterEvent(QEnterEvent *event) {
    QLabel::enterEvent(event);
    if (!m_pointerOver) {
        m_pointerOver = true;
        applyLook();
    }
}

void CLinkLabel::leaveEvent(QEvent *event) {
    QLabel::leaveEvent(event);
    if (m_pointerOver) {
        m_pointerOver = false;
        applyLook();
    }
}

void CLinkLabel::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent *event) {
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click) {
        event->accept();
        open();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

bool CLinkLabel::event(QEvent *event) {
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        QToolTip::showText(help->globalPos(), GetLinkTarget(), this);
        return true;
    }
    return QLabel::event(event);
}
