#pragma once

namespace vesk {

// How far the bar moves after each swept log. Each step adds 100 / count and drops the fraction;
// with more than 100 logs that step would be below one and never move the bar, so it then shows
// the share of logs read. The bar never passes 100, even when more logs turn up than were counted.
class ProgressRule {
public:
    explicit ProgressRule(int logEntryCount);
    float next(float current, int logsRead) const;

private:
    int count_;
    double increment_;
};

}  // namespace vesk
