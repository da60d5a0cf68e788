// The selectors' text starts near the frame and runs up to the arrow, as in
// the platform's combo box, so the longest band label fits the template width.
#pragma once

#include <QProxyStyle>

namespace zelkor::qt {

class SelectorStyle final : public QProxyStyle {
public:
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override;
};

}  // namespace zelkor::qt
