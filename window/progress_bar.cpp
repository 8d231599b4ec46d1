#include "progress_bar.h"

#include <algorithm>

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(false);
    setFocusPolicy(Qt::NoFocus);
}

void ProgressBar::setExactValue(float value) {
    value_ = std::clamp(value, 0.0f, 100.0f);
    const int shown = static_cast<int>(value_);
    if (shown == this->value()) {
        return;
    }
    // QProgressBar paints a large change at once by itself: left to the event loop instead.
    setUpdatesEnabled(false);
    setValue(shown);
    setUpdatesEnabled(true);
}
