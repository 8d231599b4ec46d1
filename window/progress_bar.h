#pragma once

#include <QElapsedTimer>
#include <QProgressBar>
#include <QTimer>

// A bar from 0 to 100 whose value is a single-precision number. What it shows changes at most
// thirty times a second, the latest value always shown in the end: each painting is a round trip
// to the display, and a sweep of many small logs moves the bar faster than anyone can see.
class ProgressBar : public QProgressBar {
    Q_OBJECT

public:
    explicit ProgressBar(QWidget* parent);

    float exactValue() const { return value_; }
    void setExactValue(float value);

private:
    void showValue();

    float value_ = 0;
    QElapsedTimer lastShown_;
    QTimer pending_;
};
