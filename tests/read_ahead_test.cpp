#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <mutex>

#include "read/log_blocks.h"
#include "sweep/sweep.h"
#include "sweep_fixture.h"

namespace {

namespace fs = std::filesystem;

// Logs read ahead on several threads reach the scanner as one thread reads them: the report, the
// logs that could not be read and why, byte for byte.
class ReadAheadTest : public ::testing::Test, protected SweepFolders {
protected:
    // The folder as each run begins: random logs of the scanner's pieces, logs larger than the
    // blocks read, and the logs the seam acts on.
    void makeLogs() {
        for (const auto& file : logs.files()) {
            fs::remove(file);
        }
        std::mt19937 random(20261207);
        for (int i = 0; i < 40; ++i) {
            logs.write("random" + std::to_string(i) + ".log",
                       randomLog(random, static_cast<int>(random() % 300)));
        }
        // Markers and line ends at every block edge: lines of lengths that do not divide 64 KiB.
        std::string large;
        for (int i = 0; large.size() < 3 * 1024 * 1024; ++i) {
            large += (i % 3 == 0 ? M : "line " + std::string(i % 97, 'x')) + "\r\n";
        }
        logs.write("large.log", large);
        logs.write("stamped.log", utf16("[0031.64] " + M + "\r\n") + large.substr(0, 200000));
        for (const char* name : {"fails.log", "shrinks.log", "grows.log", "replaced.log"}) {
            logs.write(name, large.substr(0, 300000));
        }
    }

    struct Result {
        std::string report;
        std::string unreadable;
        std::uint64_t findings;
        int logsRead;
    };

    Result sweepWith(unsigned readers) {
        makeLogs();
        const vesk::ListedFolder listed(fileSystem, logs.path(), false);
        fs::rename(logs / "random0.log", logs / "replaced.log");  // after the listing
        const auto outcome = vesk::Sweep(fileSystem, clock, reports.path(), {.readers = readers})
                                 .run({&listed}, events);
        std::map<std::string, std::string> unreadable;
        for (const auto& log : outcome.unreadable) {
            unreadable[log.path.filename().string()] = log.reason;
        }
        std::string named;
        for (const auto& [name, reason] : unreadable) {
            named += name + ": " + reason + "\n";
        }
        return {report(), named, outcome.findings, outcome.logsRead};
    }

    vesk::SweepEvents events;
};

TEST_F(ReadAheadTest, SeveralThreadsReadWhatOneThreadReads) {
    // Logs that fail, shrink or grow while they are read, as the threads' reads reach them.
    std::mutex acted;
    fileSystem.readLimit = 1 << 20;
    fileSystem.onRead = [&](const fs::path& name, vesk::InputFile& log, std::uint64_t at,
                            char* data, std::size_t size, std::error_code& ec) {
        const std::lock_guard lock(acted);
        if (name == "fails.log" && at >= 65536) {
            ec = std::make_error_code(std::errc::io_error);
            return std::size_t{0};
        }
        if (name == "shrinks.log" && at >= 131072) {  // at a block's edge: what is kept is kept
            fs::resize_file(logs / name, 131072);
        }
        if (name == "grows.log") {
            std::ofstream(logs / name, std::ios::app) << M << "\r\nlater\r\n";
        }
        return log.readAt(at, data, size, ec);
    };
    const Result one = sweepWith(0);
    for (const char* named :
         {"fails.log: ", "random0.log: ", "replaced.log: Replaced after the folder was listed\n",
          "shrinks.log: Shorter than when it was opened\n"}) {
        EXPECT_NE(one.unreadable.find(named), std::string::npos) << named << one.unreadable;
    }
    EXPECT_GT(one.findings, 10000u);
    for (const unsigned readers : {1u, 3u}) {
        const Result several = sweepWith(readers);
        EXPECT_TRUE(several.report == one.report) << readers << " threads";
        EXPECT_EQ(several.unreadable, one.unreadable) << readers << " threads";
        EXPECT_EQ(several.findings, one.findings);
        EXPECT_EQ(several.logsRead, one.logsRead);
    }
}

}  // namespace

TEST(ReadersTest, OneForEachCoreNoOtherTaskKeepsBusy) {
    const struct {
        unsigned cores;
        const char* loadavg;
        unsigned readers;
    } cases[] = {
        {2, "0.10 0.20 0.30 1/116 4242\n", 1},  // only the sweep runs
        {2, "2.00 2.00 2.00 3/120 4242\n", 0},  // two other tasks hold both cores
        {2, "1.00 1.00 1.00 2/120 4242\n", 0},
        {8, "3.10 2.00 1.00 3/300 4242\n", 5},
        {1, "0.00 0.00 0.00 1/100 4242\n", 0},
        {4, "", 3},  // nothing to go by: every core but the sweep's
        {4, "0.10 0.20 0.30 x/116 4242", 3},
        {4, "0.10 0.20 0.30 0/116 4242", 3},
        {4, "0.10 0.20 0.30 12", 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vesk::readersBeside(c.cores, c.loadavg), c.readers) << c.loadavg;
    }
}
