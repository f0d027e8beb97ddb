#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QPointer>

// A check box that takes the title place of a group box and enables what lies inside the
// group only while it is ticked (and, when asked, shows it only then).
class CGroupCheck : public QCheckBox {
    Q_OBJECT
public:
    explicit CGroupCheck(QWidget *parent = nullptr);
    explicit CGroupCheck(const QString &text, QWidget *parent = nullptr);

    // Clears the group's title, puts the box in its place and applies the current state.
    void AttachToGroup(QGroupBox *group, bool hideWithCheck = false);
    QGroupBox *group() const { return m_group; }

    // The controls the box governs: the group's own child widgets and, when the box stands
    // beside the group, the widgets whose rectangles meet it; never the box or the group.
    QList<QWidget *> governedWidgets() const;

private:
    void applyState();

    QPointer<QGroupBox> m_group;
    bool m_hideWithCheck = false;
};
