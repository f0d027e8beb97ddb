#include "ListCtrlCl.h"

#include "HeaderCtrlCl.h"
#include "widgets/SongFont.h"

#include <QHeaderView>
#include <QIcon>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {
// Paints each cell whole: its fill, an icon where the model gives one (the mark of a row or
// of a cell), and the text in the table's cell font, colours and column alignment.
class ListCtrlClDelegate : public QStyledItemDelegate {
public:
    explicit ListCtrlClDelegate(CListCtrlCl *table) : QStyledItemDelegate(table), m_table(table) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        const int row = index.row();
        const int column = index.column();
        // Column 0's text stands 2 px in from its fill, as the label of a list item does.
        QRect label = option.rect;
        if (column == 0)
            label.setLeft(label.left() + 2);
        QRect fill = label;
        if (column == 0)
            fill.setLeft(fill.left() - 2);

        painter->save();
        painter->setClipRect(option.rect);
        painter->fillRect(fill, m_table->cellBackground(row, column, selected));

        {
            const QVariant decoration = index.data(Qt::DecorationRole);
            QPixmap pixmap;
            const int side = qMin(16, label.height());
            if (decoration.canConvert<QIcon>())
                pixmap = decoration.value<QIcon>().pixmap(side, side);
            if (pixmap.isNull() && decoration.canConvert<QPixmap>())
                pixmap = decoration.value<QPixmap>();
            if (!pixmap.isNull()) {
                const QRect icon(label.left(), label.top() + (label.height() - side) / 2, side,
                                 side);
                painter->drawPixmap(icon, pixmap);
                label.setLeft(icon.right() + 3);
            }
        }

        const QFont font = m_table->cellFont();
        const QFontMetrics metrics(font);
        label.translate(0, (label.height() - metrics.height()) / 2);
        painter->setFont(font);
        painter->setPen(m_table->cellTextColor(row, column, selected));
        painter->drawText(label,
                          int(m_table->columnAlignment(column) | Qt::AlignTop) | Qt::TextDontClip,
                          index.data(Qt::DisplayRole).toString());
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        QSize hint = QStyledItemDelegate::sizeHint(option, index);
        if (m_table->fixedRowHeight() > 0)
            hint.setHeight(m_table->fixedRowHeight());
        return hint;
    }

private:
    CListCtrlCl *m_table;
};
} // namespace

CListCtrlCl::CListCtrlCl(QWidget *parent) : QTableView(parent) {
    m_header = new CHeaderCtrlCl(this);
    setHorizontalHeader(m_header);
    setItemDelegate(new ListCtrlClDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setShowGrid(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
}

int CListCtrlCl::InsertColumn(int column, const QString &title, int format, int width,
                              int subItem) {
    Q_UNUSED(subItem)
    QChar code = QLatin1Char('1');
    if (format == FormatLeft)
        code = QLatin1Char('0');
    else if (format == FormatRight)
        code = QLatin1Char('2');
    m_header->appendColumn(title, code);
    setColumnWidth(column, width);
    return column;
}

void CListCtrlCl::setColumnWidths(const QList<int> &widths) {
    for (int column = 0; column < widths.size(); ++column)
        setColumnWidth(column, widths.at(column));
}

void CListCtrlCl::SetRowHeight(int height) {
    m_rowHeight = height;
    if (height <= 0)
        return;
    QHeaderView *rows = verticalHeader();
    rows->setMinimumSectionSize(qMin(rows->minimumSectionSize(), height));
    rows->setDefaultSectionSize(height);
    rows->setSectionResizeMode(QHeaderView::Fixed);
}

void CListCtrlCl::SetHeaderHeightScale(float scale) {
    m_header->setHeightScale(scale);
    updateGeometries();
}

void CListCtrlCl::SetHeaderFont(int height, int width) {
    m_header->setTitleFont(height, width);
}

void CListCtrlCl::SetHeaderTitleColor(const QColor &color) {
    m_header->setTitleColor(color);
}

void CListCtrlCl::SetHeaderShade(int red, int green, int blue, int step) {
    m_header->setShade(red, green, blue, step);
}

void CListCtrlCl::SetColumnBkColor(int column, const QColor &color) {
    m_columnBackgrounds.append({-1, column, color});
    viewport()->update();
}

void CListCtrlCl::SetCellBkColor(int column, int row, const QColor &color) {
    m_cellBackgrounds.append({row, column, color});
    viewport()->update();
}

void CListCtrlCl::SetColumnTextColor(int column, const QColor &color) {
    m_columnTextColors.append({-1, column, color});
    viewport()->update();
}

void CListCtrlCl::SetCellTextColor(int column, int row, const QColor &color) {
    m_cellTextColors.append({row, column, color});
    viewport()->update();
}

bool CListCtrlCl::SetDefaultTextColor(const QColor &color) {
    m_defaultTextColor = color;
    viewport()->update();
    return true;
}

void CListCtrlCl::SetCellFont(int height, int width) {
    m_cellFontHeight = height;
    m_cellFontWidth = width;
    viewport()->update();
}

std::optional<QColor> CListCtrlCl::find(const QList<ColorRecord> &records, int row, int column) {
    for (const ColorRecord &record : records) {
        if (record.column == column && record.row == row)
            return record.color;
    }
    return std::nullopt;
}

QColor CListCtrlCl::cellBackground(int row, int column, bool selected) const {
    // Selection is shown in the active colours, focus or not, as the list control does.
    if (selected)
        return palette().color(QPalette::Active, QPalette::Highlight);
    if (const auto cell = find(m_cellBackgrounds, row, column))
        return *cell;
    if (const auto own = find(m_columnBackgrounds, -1, column))
        return *own;
    return palette().color(QPalette::Active, QPalette::Base);
}

QColor CListCtrlCl::cellTextColor(int row, int column, bool selected) const {
    if (selected)
        return palette().color(QPalette::Active, QPalette::HighlightedText);
    if (const auto cell = find(m_cellTextColors, row, column))
        return *cell;
    if (const auto own = find(m_columnTextColors, -1, column))
        return *own;
    return m_defaultTextColor;
}

QFont CListCtrlCl::cellFont() const {
    return SongFont::font(m_cellFontHeight, m_cellFontWidth);
}

Qt::Alignment CListCtrlCl::columnAlignment(int column) const {
    return m_header->columnAlignment(column);
}
