#include "progress_rule.h"

#include <algorithm>
#include <cmath>

namespace vesk {

ProgressRule::ProgressRule(int logEntryCount)
    : count_(logEntryCount), increment_(logEntryCount > 0 ? 100.0 / logEntryCount : 0.0) {}

float ProgressRule::next(float current, int logsRead) const {
    double value = current;
    if (count_ > 100) {
        value = std::floor(static_cast<double>(logsRead) * 100.0 / count_);
    } else if (current < 100.0f) {
        value = std::floor(static_cast<double>(current) + increment_);
    }
    return static_cast<float>(std::clamp(value, 0.0, 100.0));
}

}  // namespace vesk
