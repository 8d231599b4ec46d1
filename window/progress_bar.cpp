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
    setValue(static_cast<int>(value_));
    repaint();
}
