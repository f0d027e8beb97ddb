#pragma once

#include <QColor>
#include <QList>
#include <QTableView>
#include <optional>

class CHeaderCtrlCl;

// The task table: a report view with full-row selection of several rows, no editing in
// place, drawn by the program: a background and text colour per column and per cell (the
// first colour set for a column or cell wins), its own cell font and row height, and the
// gradient header of CHeaderCtrlCl.
class CListCtrlCl : public QTableView {
    Q_OBJECT
public:
    // Alignment of InsertColumn, numbered as the Windows list control's formats.
    enum Format { FormatLeft = 0, FormatRight = 1, FormatCenter = 2 };

    explicit CListCtrlCl(QWidget *parent = nullptr);

    CHeaderCtrlCl *header() const { return m_header; }

    // Records the column's title and alignment for the header (left "0", centred "1",
    // right "2", any other format centred) and sets its width; returns the column.
    int InsertColumn(int column, const QString &title, int format, int width, int subItem = -1);
    // Left-aligned columns of fixed start widths, in model column order.
    void setColumnWidths(const QList<int> &widths);

    // Pixels per row; 0 leaves the platform's height.
    void SetRowHeight(int height);
    int fixedRowHeight() const { return m_rowHeight; }
    void SetHeaderHeightScale(float scale);
    void SetHeaderFont(int height, int width);
    void SetHeaderTitleColor(const QColor &color);
    void SetHeaderShade(int red, int green, int blue, int step);

    void SetColumnBkColor(int column, const QColor &color);
    void SetCellBkColor(int column, int row, const QColor &color);
    void SetColumnTextColor(int column, const QColor &color);
    void SetCellTextColor(int column, int row, const QColor &color);
    bool SetDefaultTextColor(const QColor &color);
    void SetCellFont(int height, int width);

    // What a cell is drawn with.
    QColor cellBackground(int row, int column, bool selected) const;
    QColor cellTextColor(int row, int column, bool selected) const;
    QFont cellFont() const;
    Qt::Alignment columnAlignment(int column) const;

private:
    struct ColorRecord {
        int row; // -1 for a column record
        int column;
        QColor color;
    };
    static std::optional<QColor> find(const QList<ColorRecord> &records, int row, int column);

    CHeaderCtrlCl *m_header = nullptr;
    int m_rowHeight = 0;
    QList<ColorRecord> m_columnBackgrounds;
    QList<ColorRecord> m_cellBackgrounds;
    QList<ColorRecord> m_columnTextColors;
    QList<ColorRecord> m_cellTextColors;
    QColor m_defaultTextColor = Qt::black;
    int m_cellFontHeight = 12;
    int m_cellFontWidth = 0;
};
