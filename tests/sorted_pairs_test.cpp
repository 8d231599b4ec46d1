#include "platform/sorted_pairs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Values = std::vector<std::uint64_t>;

// Each key's values in the order they came, whatever the order of the keys; those taken out gone,
// one or all of a key, and the list swept of them once they are half of it, the rest kept.
TEST(SortedPairs, GivesEachKeysValuesLeftInTheOrderTheyCame) {
    vesk::SortedPairs pairs;
    const auto values = [&](std::uint64_t key) {
        Values found;
        pairs.forEach(key, [&](std::uint64_t value) { found.push_back(value); });
        return found;
    };
    for (std::uint64_t value = 1; value <= 8; ++value) {
        pairs.insert(value % 3, value);
    }
    EXPECT_EQ(values(0), (Values{3, 6}));
    EXPECT_EQ(values(1), (Values{1, 4, 7}));
    EXPECT_TRUE(pairs.contains(2, 5));
    EXPECT_FALSE(pairs.contains(2, 4));
    pairs.erase(1, 4);
    EXPECT_EQ(values(1), (Values{1, 7}));
    pairs.erase(2);
    EXPECT_EQ(values(2), Values{});
    pairs.erase(0, 3);  // five of eight gone: swept
    pairs.erase(1, 1);
    pairs.insert(1, 9);
    EXPECT_EQ(values(0), Values{6});
    EXPECT_EQ(values(1), (Values{7, 9}));
    EXPECT_EQ(values(3), Values{});
}

}  // namespace
