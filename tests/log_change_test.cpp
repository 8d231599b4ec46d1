#include "follow/log_change.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/log_print.h"

namespace {

// A log in memory, as it is opened now; a read past failFrom fails.
struct MemoryLog final : vesk::InputFile {
    std::string bytes;
    vesk::FileIdentity file{1, 7};
    vesk::FileTimes stamps{100, 100};
    std::uint64_t failFrom = UINT64_MAX;

    std::size_t readAt(std::uint64_t offset, char* data, std::size_t size,
                       std::error_code& ec) override {
        if (offset + size > failFrom) {
            ec = std::make_error_code(std::errc::io_error);
            return 0;
        }
        const std::size_t n = offset < bytes.size() ? std::min(size, bytes.size() - offset) : 0;
        std::memcpy(data, bytes.data() + offset, n);
        return n;
    }
    std::uint64_t size() const override { return bytes.size(); }
    vesk::FileIdentity identity() const override { return file; }
    vesk::FileTimes times() const override { return stamps; }
};

TEST(TellChangeTest, TellsAGrownLogFromOneWrittenAgain) {
    using vesk::LogChange;
    std::string text;
    for (int i = 0; text.size() < 4096; ++i) {
        text += "line " + std::to_string(1000 + i) + "\r\n";
    }
    MemoryLog before;
    before.bytes = text;
    std::error_code ec;
    const vesk::LogMark known{before.file, text.size(), before.stamps,
                              vesk::LogPrint::of(before, text.size(), ec), 0};
    ASSERT_FALSE(ec);
    const auto at = [&](std::size_t offset, char c) {
        std::string changed = text;
        changed[offset] = c;
        return changed;
    };
    struct Case {
        const char* what;
        std::string bytes;
        LogChange expected;
        vesk::FileIdentity file{1, 7};
        vesk::FileTimes stamps{100, 100};
        std::uint64_t failFrom = UINT64_MAX;
    };
    const std::vector<Case> cases = {
        {"as it was", text, LogChange::unchanged},
        {"written on", text + "more\r\n", LogChange::grown},
        {"written on, its time moved", text + "more\r\n", LogChange::grown, {1, 7}, {200, 200}},
        {"as long, written in place", at(2000, 'x'), LogChange::rewritten, {1, 7}, {200, 200}},
        {"as long, its entry alone changed (touch -r)",
         text,
         LogChange::rewritten,
         {1, 7},
         {100, 200}},
        {"shorter", text.substr(0, 4000), LogChange::rewritten},
        {"another file by its name", text, LogChange::rewritten, {1, 8}},
        {"the same file on another volume", text, LogChange::rewritten, {2, 7}},
        {"longer, its first bytes others", at(3, 'X') + "more\r\n", LogChange::rewritten},
        {"longer, its last bytes others", at(4090, 'X') + "more\r\n", LogChange::rewritten},
        {"longer, unreadable where it was read",
         text + "more\r\n",
         LogChange::rewritten,
         {1, 7},
         {100, 100},
         0},
    };
    for (const Case& c : cases) {
        MemoryLog now;
        now.bytes = c.bytes;
        now.file = c.file;
        now.stamps = c.stamps;
        now.failFrom = c.failFrom;
        std::error_code told;
        EXPECT_EQ(vesk::tellChange(known, now, told), c.expected) << c.what;
        EXPECT_EQ(static_cast<bool>(told), c.failFrom != UINT64_MAX) << c.what;
    }
}

}  // namespace
