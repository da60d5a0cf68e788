// A line edit that takes only digit keys; pasted text goes in as it is, as
// with the platform's digits-only edit.
#pragma once

#include <QLineEdit>

namespace zelkor::qt {

class DigitsEdit final : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace zelkor::qt
