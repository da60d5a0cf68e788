#include "selector_style.h"

#include <QStyleOptionComplex>

namespace zelkor::qt {

QRect SelectorStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                                    const QWidget* widget) const {
    if (control != CC_ComboBox) return QProxyStyle::subControlRect(control, option, part, widget);
    const QRect frame = option->rect.adjusted(1, 1, -1, -1);
    const int arrowWidth = 12;
    switch (part) {
    case SC_ComboBoxArrow: return QRect(frame.right() - arrowWidth + 1, frame.top(), arrowWidth, frame.height());
    case SC_ComboBoxEditField: return frame.adjusted(1, 0, -arrowWidth, 0);
    default: return QProxyStyle::subControlRect(control, option, part, widget);
    }
}

}  // namespace zelkor::qt
