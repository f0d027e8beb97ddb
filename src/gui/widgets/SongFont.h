#pragma once

#include <QFont>
#include <QStringList>

// The interface's Song-style face ("宋体"): the first CJK font this system has, Song
// style first.
namespace SongFont {
QStringList families();
// A font of `pixelHeight` as a Windows font height of that value gives; an average
// character width of 0 leaves the proportions to the font.
QFont font(int pixelHeight, int averageWidth = 0);
} // namespace SongFont
