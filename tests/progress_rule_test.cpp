#include "progress_rule.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

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

TEST(ProgressRule, DropsTheFractionAfterEveryStep) {
    struct Row {
        int count;
        std::vector<int> values;
    };
    const std::vector<Row> table = {
        {1, {100}},
        {3, {33, 66, 99}},
        {4, {25, 50, 75, 100}},
        {6, {16, 32, 48, 64, 80, 96}},
        {7, {14, 28, 42, 56, 70, 84, 98}},
        {100, std::vector<int>(1, 1)},
    };
    for (const auto& row : table) {
        EXPECT_EQ(valuesAfterEachLog(row.count, static_cast<int>(row.values.size())), row.values)
            << row.count << " logs";
    }
    EXPECT_EQ(valuesAfterEachLog(100, 100).back(), 100);
}

TEST(ProgressRule, StaysWithinTheBar) {
    EXPECT_EQ(valuesAfterEachLog(3, 5), (std::vector<int>{33, 66, 99, 100, 100}));
    EXPECT_EQ(valuesAfterEachLog(2, 4), (std::vector<int>{50, 100, 100, 100}));
    const auto many = valuesAfterEachLog(300, 301);
    EXPECT_EQ(many[0], 0);
    EXPECT_EQ(many[2], 1);
    EXPECT_EQ(many[149], 50);
    EXPECT_EQ(many[300], 100);
}

}  // namespace
