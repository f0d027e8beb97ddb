#pragma once

#include <QColor>
#include <QHeaderView>
#include <QStringList>

// The task table's column header, painted by the program: each section a vertical colour
// gradient (base colour less a step per pixel row, each channel held at 0), titles of its
// own in its own font and colour, and a height scaled from the natural one.
class CHeaderCtrlCl : public QHeaderView {
    Q_OBJECT
public:
    explicit CHeaderCtrlCl(QWidget *parent = nullptr);

    // One title and one alignment code ('0' left, '1' centred, '2' right) per column.
    void appendColumn(const QString &title, QChar alignmentCode);
    const QStringList &titles() const { return m_titles; }
    const QString &alignmentCodes() const { return m_codes; }
    // Left, centred or right (as the code) for a column; unknown codes centre.
    Qt::Alignment columnAlignment(int column) const;

    void setShade(int red, int green, int blue, int step);
    QColor baseColor() const { return QColor(m_red, m_green, m_blue); }
    int shadeStep() const { return m_step; }
    // The colour of pixel row y of a section.
    QColor shadeAt(int y) const;

    void setHeightScale(float scale);
    float heightScale() const { return m_scale; }
    // The height the header would have unscaled.
    int naturalHeight() const;

    // Pixel height and average character width (0: the font's own) of the titles.
    void setTitleFont(int height, int width);
    QFont titleFont() const;
    void setTitleColor(const QColor &color);
    QColor titleColor() const { return m_titleColor; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void paintShade(QPainter &painter, int left, int right, int height) const;

    QStringList m_titles;
    QString m_codes;
    int m_red = 171;
    int m_green = 199;
    int m_blue = 235;
    int m_step = 8;
    float m_scale = 1.0f;
    int m_fontHeight = 15;
    int m_fontWidth = 0;
    QColor m_titleColor = Qt::black;
};
