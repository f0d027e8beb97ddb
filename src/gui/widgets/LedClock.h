#pragma once

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QTimer>
#include <QWidget>
#include <functional>

// Date and time in seven-segment cells: "YYYY-MM-DD hh:mm:ss", 19 cells stretched over the
// control, redrawn once a second. It stands still while nobody can see it.
class CLedClock : public QWidget {
    Q_OBJECT
public:
    // Glyphs: the digits 0-9, then colon, blank (all segments unlit) and dash.
    enum Glyph { Colon = 10, Blank = 11, Dash = 12, GlyphCount = 13 };
    static constexpr int CellCount = 19;

    explicit CLedClock(QWidget *parent = nullptr);
    ~CLedClock() override;

    // The glyph of each cell for a moment.
    static QList<int> cellGlyphs(const QDateTime &moment);
    // One glyph at its own size (13 x 23); a null image when it could not be loaded.
    static QImage glyph(int index);
    static QSize glyphSize() { return {13, 23}; }

    // Where "now" comes from; the system's local time unless set.
    void setTimeSource(std::function<QDateTime()> source);
    // The cells shown; empty before the first tick.
    const QList<int> &cells() const { return m_cells; }
    bool isRunning() const { return m_timer.isActive(); }
    QSize sizeHint() const override;

public slots:
    // Reads the time, shows it and waits for the next second.
    void tick();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void armForNextSecond();

    std::function<QDateTime()> m_now;
    QList<int> m_cells;
    QTimer m_timer;
};
