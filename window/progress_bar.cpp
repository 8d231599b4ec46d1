#include "progress_bar.h"

#include <algorithm>

namespace {

constexpr qint64 kShowEveryMs = 33;

}  // namespace

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(false);
    setFocusPolicy(Qt::NoFocus);
    pending_.setSingleShot(true);
    connect(&pending_, &QTimer::timeout, this, &ProgressBar::showValue);
}

void ProgressBar::setExactValue(float value) {
    value_ = std::clamp(value, 0.0f, 100.0f);
    if (pending_.isActive()) {
        return;  // it shows the latest value when it fires
    }
    const qint64 wait = lastShown_.isValid() ? kShowEveryMs - lastShown_.elapsed() : 0;
    if (wait > 0) {
        pending_.start(static_cast<int>(wait));
    } else {
        showValue();
    }
}

void ProgressBar::showValue() {
    const int shown = static_cast<int>(value_);
    if (shown != value()) {
        lastShown_.start();
        setValue(shown);
    }
}
