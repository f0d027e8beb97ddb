#pragma once

#include <QString>

// Texts of the user's data as the window shows them (table cells, list boxes, caption):
// cut before layout, so that no stored text, however long, makes a repaint slow. The
// stored text itself is never cut.
namespace DisplayText {

// Longer than any cell or caption can show whole.
constexpr qsizetype kMaxLength = 260;

QString shown(const QString &text, qsizetype maxLength = kMaxLength);
QStringList shown(const QStringList &texts, qsizetype maxLength = kMaxLength);

} // namespace DisplayText
