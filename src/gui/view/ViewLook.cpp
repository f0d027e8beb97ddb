#include "ViewLook.h"

#include "ListCtrlCl.h"
#include "program/MakerInfo.h"
#include "tasktable/TaskTableModel.h"
#include "widgets/ScrollingText.h"

namespace {
const QColor kColumnBackgrounds[TaskTableModel::ColumnCount] = {
    {255, 240, 240}, {228, 203, 216}, {249, 205, 178},
    {247, 239, 186}, {204, 233, 206}, {136, 255, 196},
};
} // namespace

QColor ViewLook::columnBackground(int column) {
    if (column < 0 || column >= TaskTableModel::ColumnCount)
        return {};
    return kColumnBackgrounds[column];
}

void ViewLook::configureTaskTable(CListCtrlCl &table) {
    table.setShowGrid(true);
    for (int column = 0; column < TaskTableModel::ColumnCount; ++column) {
        table.SetColumnBkColor(column, columnBackground(column));
        table.SetColumnTextColor(column, Qt::black);
    }
    table.SetRowHeight(18);
    table.SetHeaderHeightScale(1.6f);
    table.SetHeaderFont(18, 0);
    table.SetHeaderTitleColor(Qt::white);
    table.SetCellFont(15, 0);
    for (int column = 0; column < TaskTableModel::ColumnCount; ++column) {
        table.InsertColumn(column, TaskTableModel::columnTitle(column), CListCtrlCl::FormatLeft,
                           TaskTableModel::columnWidth(column));
    }
}

void ViewLook::configureCaption(CScrollingText &caption) {
    caption.SetBackColor(captionBackground());
    caption.SetSpeed(CaptionSpeed);
    caption.AddText(welcomeLine(), captionTextColor());
}

void ViewLook::showCaption(CScrollingText &caption, const QString &text) {
    caption.RemoveSegment(0);
    caption.AddText(text, captionTextColor());
}

QString ViewLook::welcomeLine() {
    const QString welcome =
        QStringLiteral("欢迎使用%1 %2").arg(MakerInfo::productName(), MakerInfo::version());
    // The manual's file address is no home page to show.
    return MakerInfo::hasHomePage() ? welcome + QStringLiteral("    主页: ") + MakerInfo::homePage()
                                    : welcome;
}
