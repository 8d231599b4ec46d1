#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>

#include "read/name_order.h"
#include "sweep/listed_folder.h"
#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;

// As the original platform's file system lists them: ASCII letters as capitals, so that "@"
// comes before every letter, the characters between "Z" and "a" after every letter, and "B.LOG"
// between "a.log" and "b2.log"; other bytes as they are.
TEST(NameOrderTest, AFolderIsListedAsTheOriginalPlatformListsIt) {
    std::vector<fs::path> expected = {"@.log",  "a.log",  "A1.log",  "B.LOG",  "b2.log",
                                      "Z.log",  "z1.log", "[x].log", "]x.log", "^.log",
                                      "_a.log", "`.log",  "{.log",   "}.log",  "~.log"};
#ifndef _WIN32
    // Names that differ only in letter case follow their bytes; UTF-8 comes after ASCII.
    expected.insert(expected.begin() + 3, {"aB.log", "ab.log"});
    expected.push_back("\xC3\xA9.log");
#endif
    TempFolder folder;
    for (auto at = expected.rbegin(); at != expected.rend(); ++at) {
        folder.write(*at, "");
    }
    const auto native = vesk::makeNativeFileSystem();
    const vesk::ListedFolder listed(*native, folder.path(), vesk::LogSizes::skipped);
    std::vector<fs::path> names;
    for (const vesk::ListedFile* log : listed.logs()) {
        names.push_back(log->name);
    }
    EXPECT_EQ(names, expected);
}

// Sorting by keys made once gives the order the comparison defines.
TEST(NameOrderTest, SortingByKeysAgreesWithTheComparison) {
    std::mt19937 random(7);
    const std::string letters = "aAbB_[.~0\xC3";
    for (int round = 0; round < 50; ++round) {
        std::set<std::string> unique;
        while (unique.size() < 40) {
            std::string name(1 + random() % 4, ' ');
            for (char& c : name) {
                c = letters[random() % letters.size()];
            }
            unique.insert(name);
        }
        std::vector<fs::path> sorted(unique.begin(), unique.end());
        std::shuffle(sorted.begin(), sorted.end(), random);
        std::vector<fs::path> expected = sorted;
        std::sort(expected.begin(), expected.end(),
                  [](const fs::path& a, const fs::path& b) { return vesk::comesBefore(a, b); });
        vesk::sortByName(sorted, std::identity());
        ASSERT_EQ(sorted, expected);
    }
}

}  // namespace
