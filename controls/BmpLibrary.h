#pragma once
// The suite's bitmap library: button glyphs by number, and the check-box images by
// resource name. Our own drawings, made at the size asked (18 and 24 pixels are the
// sizes the forms use), on a transparent background: the lower-left pixel is always
// transparent, as a glyph's transparent colour is taken from there.
//
// Numbers with a drawing: 1 OK, 2 cancel, 3 add, 4 clear all (two glyphs: the second is
// its disabled image), 5 save, 6 open, 7 print, 8 look-up, 9 date, 10 refresh, 11 people (recipients), 47 delete.

#include <QImage>
#include <QString>

// The highest glyph number.
int GetMaxBmpID();
// Fills bitmap with glyph number n at the given height; false when the library has no
// drawing of that number (bitmap then unchanged).
bool LoadBmp(QImage& bitmap, int number, int size = 18);
// The check-box images "CHECKED", "GRAYED" and "UNCHECKED" (names without regard to
// case); a null image for any other name.
QImage LoadBmpResource(const QString& name, int size = 13);
