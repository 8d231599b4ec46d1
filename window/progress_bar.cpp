#include "progress_bar.h"

#include <algorithm>

namespace {

// Each painting is a round trip to the display; more than thirty a second shows nothing more.
constexpr qint64 kPaintEveryMs = 33;

}  // namespace

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
    // QProgressBar paints a large change at once by itself: it is held to the pace here instead.
    // What is not painted now, the event loop paints when it runs again.
    setUpdatesEnabled(false);
    setValue(shown);
    setUpdatesEnabled(true);
    if (!lastPainted_.isValid() || lastPainted_.hasExpired(kPaintEveryMs)) {
        repaint();
        lastPainted_.start();
    }
}
