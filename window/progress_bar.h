#pragma once

#include <QProgressBar>

// A bar from 0 to 100 whose value is a single-precision number. A new value is painted at once,
// so the bar moves while a sweep keeps the event loop waiting.
class ProgressBar : public QProgressBar {
    Q_OBJECT

public:
    explicit ProgressBar(QWidget* parent);

    float exactValue() const { return value_; }
    void setExactValue(float value);

private:
    float value_ = 0;
};
