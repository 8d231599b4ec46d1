#include "cli/terminal_progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "sweep/listed_folder.h"
#include "sweep_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Sweeps the folder with the progress drawn into a file, on a clock that each read of a log
// moves on by the step given.
std::string drawnWhileSweeping(const fs::path& folder, std::chrono::milliseconds step) {
    const TempFolder reports;
    ForwardingFileSystem fileSystem;
    std::chrono::steady_clock::time_point now{};
    fileSystem.onRead = [&](const auto&, auto& log, std::uint64_t at, char* data, std::size_t size,
                            auto& ec) {
        now += step;
        return log.readAt(at, data, size, ec);
    };
    const vesk::ListedFolder listed(fileSystem, folder, vesk::LogSizes::listed);
    std::FILE* terminal = std::fopen((reports / "terminal").c_str(), "w");
    vesk::TerminalProgress progress(terminal, listed.logBytes(), [&] { return now; });
    const FixedClock clock({2001, 7, 10});
    // Read on one thread, so that the clock moves with each read as the scanner takes it.
    vesk::Sweep(fileSystem, clock, reports.path(), {.blockSize = 16, .readers = 0})
        .run({&listed}, progress);
    progress.finish();
    std::fclose(terminal);
    return readBytes(reports / "terminal");
}

TEST(TerminalProgress, MovesWithinALargeLogAndIsDrawnAtMostTenTimesASecondForTinyOnes) {
    TempFolder large;
    large.write("server-with-a-long-name.log", std::string(64, 'x'));  // four blocks read
    std::string drawn = drawnWhileSweeping(large.path(), 150ms);
    for (const char* shown :
         {"[#######.......................]  25%  server-with-a-long-na...  ",
          "[###############...............]  50%  server-with-a-long-na...  ",
          "[######################........]  75%  server-with-a-long-na...  ",
          "[##############################] 100%  server-with-a-long-na...  "}) {
        EXPECT_NE(drawn.find(shown), std::string::npos) << shown << " in " << drawn;
    }
    EXPECT_NE(drawn.find("  107 B/s  0:00 left"), std::string::npos) << drawn;
    EXPECT_TRUE(drawn.ends_with("] 100%  64 B read in 0:01\x1b[K\n")) << drawn;

    TempFolder tiny;
    for (int i = 0; i < 500; ++i) {
        tiny.write("tiny" + std::to_string(i) + ".log", "x");
    }
    drawn = drawnWhileSweeping(tiny.path(), 1ms);                     // half a second in all
    const auto draws = std::count(drawn.begin(), drawn.end(), '\r');  // each starts the line anew
    EXPECT_LE(draws, 6) << drawn;
    EXPECT_GE(draws, 5) << drawn;
}

}  // namespace
