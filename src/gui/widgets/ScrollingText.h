#pragma once

#include "ColorTextStatic.h"

#include <QPixmap>
#include <QPoint>
#include <QTimer>

// A CColorTextStatic whose line moves sideways one pixel per step and comes back in from the
// other edge once it has left. It stands still while nobody can see it (hidden, minimised).
class CScrollingText : public CColorTextStatic {
    Q_OBJECT
public:
    static constexpr int MaxSpeed = 1000;

    explicit CScrollingText(QWidget *parent = nullptr);
    ~CScrollingText() override;

    // -1000..1000, else ignored. Positive moves right to left; the step interval is
    // |10000 / speed| ms; 0 stands still.
    void SetSpeed(int speed);
    int speed() const { return m_speed; }
    int interval() const { return m_interval; }
    // The x of the line's left end.
    int offset() const { return m_offset; }
    // True while steps are being taken.
    bool isScrolling() const { return m_timer.isActive(); }
    // The last point the pointer moved to.
    QPoint lastPointerPos() const { return m_lastPointer; }

public slots:
    // One step of the timer.
    void ScrollStep();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

    void segmentsChanged() override;

private:
    void updateRunning();
    bool seen() const;

    int m_speed = 0;
    int m_interval = 100;
    int m_offset = 0;
    QPoint m_lastPointer;
    QTimer m_timer;
    // The whole line drawn once; each step only copies a column of it.
    QPixmap m_line;
};
