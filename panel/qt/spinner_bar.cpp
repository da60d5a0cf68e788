#include "spinner_bar.h"

#include <QMouseEvent>

namespace zelkor::qt {

SpinnerBar::SpinnerBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {
    // Not a tab stop, and no "Scroll here" menu: that one sets the value
    // without an action.
    setFocusPolicy(Qt::NoFocus);
    setContextMenuPolicy(Qt::PreventContextMenu);
    setTracking(true);
    connect(this, &QAbstractSlider::actionTriggered, this, &SpinnerBar::OnAction);
    connect(this, &QAbstractSlider::sliderReleased, this,
            [this] { emit SpinnerMessage(ScrollCode::ThumbPosition, sliderPosition()); });
}

void SpinnerBar::OnAction(int action) {
    // Qt has moved the slider position but not yet the value; the handler
    // decides the value, and the slider is put back onto it so the pending
    // update from Qt changes nothing.
    switch (action) {
    case SliderSingleStepSub: emit SpinnerMessage(ScrollCode::LineUp, 0); break;
    case SliderSingleStepAdd: emit SpinnerMessage(ScrollCode::LineDown, 0); break;
    case SliderPageStepSub: emit SpinnerMessage(ScrollCode::PageUp, 0); break;
    case SliderPageStepAdd: emit SpinnerMessage(ScrollCode::PageDown, 0); break;
    case SliderToMinimum: emit SpinnerMessage(ScrollCode::Top, 0); break;
    case SliderToMaximum: emit SpinnerMessage(ScrollCode::Bottom, 0); break;
    case SliderMove: emit SpinnerMessage(ScrollCode::ThumbTrack, sliderPosition()); break;
    default: break;
    }
    setSliderPosition(value());
}

void SpinnerBar::mousePressEvent(QMouseEvent* event) {
    QScrollBar::mousePressEvent(event);
    if (event->isAccepted() && event->button() != Qt::RightButton) mouseDown_ = true;
}

void SpinnerBar::mouseReleaseEvent(QMouseEvent* event) {
    QScrollBar::mouseReleaseEvent(event);
    // Releasing the last button ends the scroll, after the thumb's final
    // position if it was being dragged.
    if (mouseDown_ && event->buttons() == Qt::NoButton) {
        mouseDown_ = false;
        emit SpinnerMessage(ScrollCode::EndScroll, 0);
    }
}

void SpinnerBar::wheelEvent(QWheelEvent* event) { event->ignore(); }

void SpinnerBar::keyPressEvent(QKeyEvent* event) { event->ignore(); }

}  // namespace zelkor::qt
