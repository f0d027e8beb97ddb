#pragma once

#include <QColor>
#include <QString>

class CListCtrlCl;
class CScrollingText;

// How the main form's table, clock and status line look, set once by the initial update.
namespace ViewLook {
QColor columnBackground(int column);
inline QColor captionBackground() {
    return QColor(202, 225, 243);
}
inline QColor captionTextColor() {
    return QColor(0, 128, 255);
}
constexpr int CaptionSpeed = 500;

// Colours, fonts, heights and the six columns of the task table.
void configureTaskTable(CListCtrlCl &table);
// Ground, speed and the welcome line of the status line.
void configureCaption(CScrollingText &caption);
// Replaces the status line's text.
void showCaption(CScrollingText &caption, const QString &text);
QString welcomeLine();
} // namespace ViewLook
