#include "digits_edit.h"

#include <QApplication>
#include <QKeyEvent>

namespace zelkor::qt {

void DigitsEdit::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    const bool command = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (!command && text.size() == 1 && text.at(0).isPrint() && !text.at(0).isDigit()) {
        event->accept();
        QApplication::beep();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

}  // namespace zelkor::qt
