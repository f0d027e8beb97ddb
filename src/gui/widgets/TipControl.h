#pragma once

#include <QColor>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>

class QLabel;
class QWidget;

// One tip window shared by several tools: while the pointer rests on a tool for the delay
// time, its text appears near the pointer, wrapped at the maximum width, in the tip colour;
// it goes again after ten times the delay, on leaving or on a click.
class CTipControl : public QObject {
    Q_OBJECT
public:
    explicit CTipControl(QObject *parent = nullptr);
    ~CTipControl() override;

    void addTool(QWidget *tool, const QString &text);
    QString toolText(const QWidget *tool) const;
    int toolCount() const { return int(m_tools.size()); }

    void activate(bool active);
    bool isActive() const { return m_active; }
    void setMaxTipWidth(int pixels);
    int maxTipWidth() const { return m_maxWidth; }
    void setTipTextColor(const QColor &color);
    QColor tipTextColor() const { return m_color; }
    // The time the pointer must rest before the tip shows.
    void setDelayTime(int milliseconds);
    int delayTime() const { return m_delay; }

    // The tip window, or null before the first tip.
    QLabel *tipWindow() const { return m_tip.get(); }
    // The tool whose tip is showing, or null.
    QWidget *shownTool() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void arm(QWidget *tool);
    void showTip();
    void hideTip();

    QHash<const QWidget *, QString> m_tools;
    QPointer<QWidget> m_pending;
    QPointer<QWidget> m_shown;
    std::unique_ptr<QLabel> m_tip;
    QTimer m_delayTimer;
    QTimer m_popTimer;
    bool m_active = false;
    int m_maxWidth = 0;
    int m_delay = 500;
    QColor m_color = Qt::black;
};
