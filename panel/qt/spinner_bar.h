// The IF-gain spinner: a vertical scroll bar that never moves by itself.
// Every user action becomes one spinner message for the panel logic, which
// then sets the position; the up arrow therefore raises the value, unlike
// Qt's own sense of a vertical bar.
#pragma once

#include <QScrollBar>

#include "events.h"

namespace zelkor::qt {

class SpinnerBar final : public QScrollBar {
    Q_OBJECT
public:
    explicit SpinnerBar(QWidget* parent = nullptr);

signals:
    // `thumb` is the thumb's position for ThumbTrack and ThumbPosition.
    void SpinnerMessage(zelkor::ScrollCode code, int thumb);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnAction(int action);

    bool mouseDown_ = false;
};

}  // namespace zelkor::qt
