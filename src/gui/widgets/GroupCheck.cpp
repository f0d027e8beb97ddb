#include "GroupCheck.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QLayout>
#include <QPalette>

CGroupCheck::CGroupCheck(QWidget *parent) : CGroupCheck(QString(), parent) {}

CGroupCheck::CGroupCheck(const QString &text, QWidget *parent) : QCheckBox(text, parent) {
    // The form's one coloured caption.
    QPalette red = palette();
    red.setColor(QPalette::WindowText, Qt::red);
    red.setColor(QPalette::ButtonText, Qt::red);
    setPalette(red);
    // Also when ticked by code, so the group never disagrees with the box.
    connect(this, &QCheckBox::toggled, this, &CGroupCheck::applyState);
}

void CGroupCheck::AttachToGroup(QGroupBox *group, bool hideWithCheck) {
    m_group = group;
    m_hideWithCheck = hideWithCheck;
    if (!group)
        return;
    group->setTitle(QString());

    const QSize size = sizeHint();
    if (group->isAncestorOf(this)) {
        // A form laid out by layouts: the box leaves its row and sits on the group's top
        // edge, hiding the frame line behind it; the contents move down to make room.
        if (QLayout *layout = group->layout()) {
            layout->removeWidget(this);
            QMargins margins = layout->contentsMargins();
            margins.setTop(std::max(margins.top(), size.height() + 2));
            layout->setContentsMargins(margins);
        }
        setParent(group);
        setGeometry(10, 0, size.width(), size.height());
    } else {
        // Placed by coordinates beside the group: over its top edge, as a title.
        if (parentWidget() != group->parentWidget())
            setParent(group->parentWidget());
        setGeometry(group->x() + 10, group->y() - 5, size.width(), size.height());
    }
    setAutoFillBackground(true);
    raise();
    show();
    applyState();
}

QList<QWidget *> CGroupCheck::governedWidgets() const {
    QList<QWidget *> governed;
    if (!m_group)
        return governed;
    for (QWidget *child : m_group->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child != this && !child->isWindow())
            governed.append(child);
    }
    // Rectangles say what lies inside only on a form placed by coordinates; a laid-out
    // group holds its contents as children.
    if (m_group->isAncestorOf(this))
        return governed;
    if (QWidget *parent = m_group->parentWidget()) {
        const QRect area = m_group->geometry();
        for (QWidget *sibling : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (sibling != this && sibling != m_group && !sibling->isWindow() &&
                sibling->geometry().intersects(area))
                governed.append(sibling);
        }
    }
    return governed;
}

void CGroupCheck::applyState() {
    const bool on = isChecked();
    for (QWidget *widget : governedWidgets()) {
        widget->setEnabled(on);
        if (m_hideWithCheck)
            widget->setVisible(on);
    }
    // A box inside the group would vanish with it and could never be ticked again.
    if (m_hideWithCheck && m_group && !m_group->isAncestorOf(this))
        m_group->setVisible(on);
}
