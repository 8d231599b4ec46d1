#pragma once

#include <QProgressBar>

// A bar from 0 to 100 whose value is a single-precision number. The event loop paints it, once
// for however many values came in since it last ran.
class ProgressBar : public QProgressBar {
    Q_OBJECT

public:
    explicit ProgressBar(QWidget* parent);

    float exactValue() const { return value_; }
    void setExactValue(float value);

private:
    float value_ = 0;
};
