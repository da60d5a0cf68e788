// Dialog units to pixels, the way the dialog manager converts a template:
// base units from the dialog font, then x * cx / 4 and y * cy / 8.
#pragma once

#include <QFont>
#include <QRect>

namespace zelkor::qt {

struct BaseUnits {
    int cx = 0;  // average character width
    int cy = 0;  // character cell height
};

// Rounds half away from zero, as the platform's MulDiv does.
int MulDiv(int value, int numerator, int denominator);

// The average width of the 52 letters, rounded the dialog manager's way,
// and the font's cell height (ascent + descent, each rounded up).
BaseUnits BaseUnitsFor(const QFont& font);

// A template rectangle (x, y, w, h in dialog units) in pixels; position and
// size are converted separately.
QRect DialogUnitsToPixels(const BaseUnits& units, int x, int y, int w, int h);

// Pixel size of a point size at a vertical resolution, as a negative
// font height is computed from points.
int PointsToPixels(int points, int dpi);

// The em size that gives a font a cell height of `cellHeight` pixels (a
// positive font height asks for the cell, not the em).
int EmPixelsForCellHeight(const QFont& font, int cellHeight);

}  // namespace zelkor::qt
