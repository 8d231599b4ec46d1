#include "marker_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vesk::MarkerFilter;

struct FilterCase {
    const char* name;
    std::vector<std::string> lines;
    std::vector<std::string> passed;
};

std::vector<std::string> passedLines(MarkerFilter& filter, const std::vector<std::string>& lines) {
    std::vector<std::string> passed;
    for (const auto& line : lines) {
        if (filter.feed(line)) {
            passed.push_back(line);
        }
    }
    return passed;
}

TEST(MarkerFilter, PassesExactlyTheLinesAfterMarkerLines) {
    const std::string m = "ScriptLog: ####";
    const std::vector<FilterCase> cases = {
        {"line after marker", {m, "Player1 caught"}, {"Player1 caught"}},
        {"only the next line", {m, "a", "b"}, {"a"}},
        {"three number signs", {"ScriptLog: ###", "x"}, {}},
        {"lower case", {"scriptlog: ####", "x"}, {}},
        {"leading blank", {" " + m, "x"}, {}},
        {"marker with more text", {m + " cheat detected", "x"}, {"x"}},
        {"two markers", {m, m, "x"}, {m, "x"}},
        {"marker as last line", {"a", m}, {}},
        {"empty line passes", {m, "", "x"}, {""}},
        {"short line clears flag", {m, "Scr", "x"}, {"Scr"}},
        {"binary bytes", {m, std::string("\0\xff\x01", 3)}, {std::string("\0\xff\x01", 3)}},
        {"marker prefix only", {"ScriptLog: ###x", "y"}, {}},
    };
    for (const auto& c : cases) {
        MarkerFilter filter;
        EXPECT_EQ(passedLines(filter, c.lines), c.passed) << c.name;
    }
}

TEST(MarkerFilter, FlagCarriesUntilReset) {
    MarkerFilter filter;
    EXPECT_FALSE(filter.feed("ScriptLog: ####"));
    EXPECT_TRUE(filter.feed("y")) << "the flag carries from one log to the next";
    filter.feed("ScriptLog: ####");
    filter.reset();
    EXPECT_FALSE(filter.feed("first line of a new run"));
}

}  // namespace
