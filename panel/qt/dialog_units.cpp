#include "dialog_units.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <cmath>

namespace zelkor::qt {

int MulDiv(int value, int numerator, int denominator) {
    if (denominator == 0) return -1;
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = std::llabs(static_cast<long long>(denominator)) / 2;
    const bool negative = (product < 0) != (denominator < 0);
    const long long magnitude = (std::llabs(product) + half) / std::llabs(static_cast<long long>(denominator));
    return static_cast<int>(negative ? -magnitude : magnitude);
}

BaseUnits BaseUnitsFor(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // The platform rounds ascent and descent up each; Qt's integer metrics
    // round the descent to nearest.
    const QFontMetricsF exact(font);
    const int height = static_cast<int>(std::ceil(exact.ascent()) + std::ceil(exact.descent()));
    return BaseUnits{(width / 26 + 1) / 2, height};
}

QRect DialogUnitsToPixels(const BaseUnits& units, int x, int y, int w, int h) {
    return QRect(MulDiv(x, units.cx, 4), MulDiv(y, units.cy, 8), MulDiv(w, units.cx, 4), MulDiv(h, units.cy, 8));
}

int PointsToPixels(int points, int dpi) { return MulDiv(points, dpi, 72); }

int EmPixelsForCellHeight(const QFont& font, int cellHeight) {
    // Measured at a large size so hinting does not skew the ratio.
    QFont probe(font);
    probe.setPixelSize(1000);
    const QFontMetricsF metrics(probe);
    const qreal cellPerEm = (metrics.ascent() + metrics.descent()) / 1000.0;
    return cellPerEm > 0 ? static_cast<int>(std::lround(cellHeight / cellPerEm)) : cellHeight;
}

}  // namespace zelkor::qt
