#include "window/presenter/progress_rule.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The bar's value after each log read, from 0, for a list that counted `count` logs.
std::vector<int> valuesAfterEachLog(int count, int logs) {
    vesk::ProgressRule rule(count);
    std::vector<int> values;
    float value = 0;
    for (int read = 1; read <= logs; ++read) {
        value = rule.next(value, read);
        values.push_back(static_cast<int>(value));
    }
    return values;
}

TEST(ProgressRule, DropsTheFractionAfterEveryStepAndStaysWithinTheBar) {
    // A list's count of logs, and the bar's values as they are read.
    const std::vector<std::pair<int, std::vector<int>>> table = {
        {1, {100}},
        {3, {33, 66, 99}},
        {4, {25, 50, 75, 100}},
        {6, {16, 32, 48, 64, 80, 96}},
        {7, {14, 28, 42, 56, 70, 84, 98}},
        {100, std::vector<int>(1, 1)},
        {3, {33, 66, 99, 100, 100}},  // more logs than the list counted
    };
    for (const auto& [count, values] : table) {
        EXPECT_EQ(valuesAfterEachLog(count, static_cast<int>(values.size())), values)
            << count << " logs";
    }
    EXPECT_EQ(valuesAfterEachLog(100, 100).back(), 100);
    // Above 100 logs a step would drop to nothing: the bar shows the share of logs read.
    const auto many = valuesAfterEachLog(300, 301);
    EXPECT_EQ((std::vector<int>{many[0], many[2], many[149], many[300]}),
              (std::vector<int>{0, 1, 50, 100}));
    EXPECT_EQ(valuesAfterEachLog(101, 2), (std::vector<int>{0, 1}));
}

}  // namespace
