#pragma once

#include <QElapsedTimer>
#include <QProgressBar>

// A bar from 0 to 100 whose value is a single-precision number. A value that changes what the bar
// shows is painted at once, so that the bar moves while a sweep keeps the event loop waiting, but
// at most thirty times a second; the event loop paints the latest value when it runs again. A
// value that changes nothing on screen costs nothing, however many logs a sweep reads.
class ProgressBar : public QProgressBar {
    Q_OBJECT

public:
    explicit ProgressBar(QWidget* parent);

    float exactValue() const { return value_; }
    void setExactValue(float value);

private:
    float value_ = 0;
    QElapsedTimer lastPainted_;
};
