#pragma once

#include <QColor>
#include <QFrame>
#include <QList>

// One piece of a CColorTextStatic line.
struct TextSegment {
    QString text;
    QColor color = Qt::black;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    // Invalid: the line's own background.
    QColor background;
};

// A one-line static built from segments, each with its own colours and style, drawn one
// after the other from the left edge.
class CColorTextStatic : public QFrame {
    Q_OBJECT
public:
    explicit CColorTextStatic(QWidget *parent = nullptr);
    ~CColorTextStatic() override;

    int segmentCount() const { return int(m_segments.size()); }
    // index 0..count: below count replaces that segment, at count appends. Refused (false)
    // for any other index and for an empty text.
    virtual bool PutSegment(int index, const TextSegment &segment);
    // A copy; outside 0..count-1 an empty segment (no text, black on the line's background).
    virtual TextSegment GetSegment(int index) const;
    virtual bool AddText(const QString &text, const QColor &color,
                         const QColor &background = QColor());
    virtual bool AddSegment(const TextSegment &segment);
    virtual bool RemoveSegment(int index);
    virtual void RemoveAllSegments();

    // An invalid colour stands for the system's face colour.
    void SetBackColor(const QColor &color);
    QColor backColor() const;
    // One segment, black on the line's background.
    void SetText(const QString &text);
    // All segment texts joined.
    QString text() const;
    void SetFontFollowsHeight(bool follows);
    bool fontFollowsHeight() const { return m_fontFollowsHeight; }

    // The font a segment is drawn in at the control's current height.
    QFont segmentFont(const TextSegment &segment) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

    // Paints the whole line with its left end at x, within the area to repaint; returns
    // the line's width. Start positions of the segments are kept in segmentStarts().
    int paintLine(QPainter &painter, int x, const QRect &area);
    const QList<int> &segmentStarts() const { return m_starts; }
    // Fonts and sizes of the segments; measured once per change of text, font or size.
    struct Measure {
        QFont font;
        int width = 0;
        int height = 0;
        int ascent = 0;
    };
    const QList<Measure> &measures() const;
    int lineWidth() const;
    virtual void segmentsChanged();

private:
    QList<TextSegment> m_segments;
    QColor m_background;
    bool m_fontFollowsHeight = true;
    QList<int> m_starts;
    mutable QList<Measure> m_measures;
    mutable bool m_measuresValid = false;
};
