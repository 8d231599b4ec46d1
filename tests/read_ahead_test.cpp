#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <stop_token>
#include <thread>

#include "sweep/sweep.h"
#ifdef __linux__
#include <linux/io_uring.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <set>

#include "platform/linux/cpu_quota.h"
#include "platform/plain_calls.h"
#endif
#ifdef VESK_IO_URING
#include "platform/linux/log_ring.h"
#endif
#include "sweep_fixture.h"

namespace {

namespace fs = std::filesystem;

// Logs read and scanned in parts on several threads are joined as one thread reads them: the
// report, the logs that could not be read and why, byte for byte.
class ReadAheadTest : public ::testing::Test, protected SweepFolders {
protected:
    // The folder as each run begins: random logs of the scanner's pieces, logs larger than the
    // stretches read on their own, UTF-16LE text across stretches, and the logs the seam acts on.
    void makeLogs(std::uint32_t seed) {
        for (const auto& file : logs.files()) {
            fs::remove(file);
        }
        std::mt19937 random(seed);
        // More logs than are taken ahead at once, so that their places are used again.
        for (int i = 0; i < 150; ++i) {
            logs.write("random" + std::to_string(i) + ".log",
                       randomLog(random, static_cast<int>(random() % (i < 40 ? 300 : 20))));
        }
        // Markers and line ends at every edge: lines of lengths that divide nothing.
        std::string large;
        for (int i = 0; large.size() < 600000; ++i) {
            large +=
                (i % 3 == 0 ? M : "line " + std::string(i % 97, 'x')) + (i % 7 == 0   ? "\r"
                                                                         : i % 5 == 0 ? "\n"
                                                                                      : "\r\n");
        }
        logs.write("large.log", large);
        logs.write("mixed.log",
                   large.substr(0, 100000) + "\r\n" +
                       utf16("x\r\n" + M + "\r\nwide" + std::string(30000, 'w') + "\r\n") + M +
                       "\r\nnarrow\r\n" + large.substr(0, 100000));
        logs.write("long lines.log", std::string(250000, 'q') + "\r\n" + M + "\r\n" +
                                         std::string(250000, 'p') + "\r\n" + M);
        for (const char* name : {"fails.log", "shrinks.log", "grows.log", "replaced.log"}) {
            logs.write(name, large.substr(0, 300000));
        }
    }

    struct Result {
        std::string report;
        std::string unreadable;
        std::uint64_t findings;
        int logsRead;
        std::string told;  // each finding told of, where it begins
    };

    // Where each finding is told of, its log read on its own first.
    Result sweepWith(unsigned readers, std::uint64_t stretch, std::uint32_t seed,
                     std::size_t inMemory = vesk::SweepSettings().findingsInMemory,
                     bool tell = false) {
        makeLogs(seed);
        const vesk::ListedFolder listed(fileSystem, logs.path(), vesk::LogSizes::skipped);
        fs::rename(logs / "random0.log", logs / "replaced.log");  // after the listing
        const auto outcome = vesk::Sweep(fileSystem, clock, reports.path(),
                                         {.blockSize = 4096,
                                          .readers = readers,
                                          .stretchSize = stretch,
                                          .findingsInMemory = inMemory})
                                 .run({&listed}, events, {}, {.tellFindings = tell});
        std::map<std::string, std::string> unreadable;
        for (const auto& log : outcome.unreadable) {
            unreadable[log.path.filename().string()] = log.reason;
        }
        std::string named;
        for (const auto& [name, reason] : unreadable) {
            named += name + ": " + reason + "\n";
        }
        return {report(), named, outcome.findings, outcome.logsRead,
                std::exchange(events.told, {})};
    }

    struct Told : vesk::SweepEvents {
        void finding(const vesk::Finding& finding) override {
            told += finding.log.filename().string() + "@" + std::to_string(finding.offset) + " " +
                    std::string(finding.line) + "\n";
        }
        std::string told;
    } events;
};

TEST_F(ReadAheadTest, SeveralThreadsReadWhatOneThreadReads) {
    // Logs that fail, shrink or grow while they are read, as the threads' reads reach the same
    // byte, whatever the stretch they read.
    std::mutex acted;
    fileSystem.readLimit = 1 << 20;
    fileSystem.onRead = [&](const fs::path& name, vesk::InputFile& log, std::uint64_t at,
                            char* data, std::size_t size, std::error_code& ec) {
        const std::lock_guard lock(acted);
        if (name == "fails.log" && at + size > 65536) {
            if (at >= 65536) {
                ec = std::make_error_code(std::errc::io_error);
                return std::size_t{0};
            }
            size = 65536 - at;
        }
        if (name == "shrinks.log" && at + size > 131072) {
            fs::resize_file(logs / name, 131072);
        }
        if (name == "grows.log") {
            std::ofstream(logs / name, std::ios::app) << M << "\r\nlater\r\n";
        }
        return log.readAt(at, data, size, ec);
    };
    for (const std::uint32_t seed : {20261207u, 20261208u}) {
        fileSystem.readTogether = false;
        const Result one = sweepWith(0, 0, seed);
        for (const char* named : {"fails.log: ", "random0.log: ",
                                  "replaced.log: Replaced after the folder was listed\n",
                                  "shrinks.log: Shorter than when it was opened\n"}) {
            EXPECT_NE(one.unreadable.find(named), std::string::npos) << named << one.unreadable;
        }
        EXPECT_GT(one.findings, 10000u);
        EXPECT_NE(one.report.find("www\r\nnarrow\r\n"), std::string::npos);
        const std::string told = sweepWith(0, 0, seed, 1 << 24, true).told;
        EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), one.findings);
        // Stretches of a few lines, of many, and none (each log whole); the findings read ahead
        // kept in memory, in a scratch file, or in both; each log joined straight into the
        // report, or read on its own first and its findings told of.
        const std::pair<std::uint64_t, std::size_t> ways[] = {
            {997, 1 << 24}, {4096, 0}, {70001, 100000}, {1 << 30, 300000}};
        for (const unsigned readers : {0u, 1u, 3u}) {
            // Small logs taken in batches where the folder says it reads them together, or not.
            fileSystem.readTogether = readers != 1;
            for (const auto& [stretch, inMemory] : ways) {
                for (const bool tell : {false, true}) {
                    if (readers == 0 && stretch != 997) {
                        continue;
                    }
                    const Result several = sweepWith(readers, stretch, seed, inMemory, tell);
                    EXPECT_TRUE(several.report == one.report)
                        << readers << " threads, " << stretch << ", " << inMemory << ", " << tell;
                    EXPECT_EQ(several.unreadable, one.unreadable) << readers << " threads";
                    EXPECT_EQ(several.findings, one.findings);
                    EXPECT_EQ(several.logsRead, one.logsRead);
                    EXPECT_TRUE(several.told == (tell ? told : ""));
                }
            }
        }
    }
}

// A log that meets the descriptor limit waits for another to close rather than being named,
// however few logs may be open at once.
TEST_F(ReadAheadTest, ALogThatMeetsTheDescriptorLimitWaitsForAnotherToClose) {
    const Result unlimited = sweepWith(0, 0, 20261209);
    for (const std::size_t most : {1, 2, 4}) {
        fileSystem.mostLogsOpen = most;
        for (const std::uint64_t stretch : {997, 1 << 30}) {
            const Result limited = sweepWith(3, stretch, 20261209);
            EXPECT_TRUE(limited.report == unlimited.report) << most << " open, " << stretch;
            EXPECT_EQ(limited.unreadable, unlimited.unreadable) << most << " open, " << stretch;
            EXPECT_EQ(limited.logsRead, unlimited.logsRead);
        }
    }
}

// The log to join meets the limit while the one log read ahead holds the last descriptor and is
// being read: it waits until that one can be given back.
TEST_F(ReadAheadTest, TheLogToJoinWaitsForALogReadAheadToBeGivenBack) {
    logs.write("a.log", "x\r\n" + M + "\r\n");
    logs.write("b.log", "found\r\n" + std::string(8000, 'x') + "\r\n" + M + "\r\nlast\r\n");
    const auto await = [](const auto& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
    };
    std::atomic<bool> bRead = false;
    fileSystem.mostLogsOpen = 1;
    fileSystem.beforeOpen = [&](const fs::path& name) {
        if (name == "a.log") {
            await([&] { return bRead.load(); });
        }
    };
    fileSystem.onRead = [&](const fs::path& name, vesk::InputFile& log, std::uint64_t at,
                            char* data, std::size_t size, std::error_code& ec) {
        if (name == "b.log") {
            bRead = true;
            await([&] { return fileSystem.refusedOpens > 0; });
        }
        return log.readAt(at, data, size, ec);
    };
    const vesk::ListedFolder listed(fileSystem, logs.path(), vesk::LogSizes::skipped);
    const auto outcome = vesk::Sweep(fileSystem, clock, reports.path(),
                                     {.blockSize = 4096, .readers = 1, .stretchSize = 1000})
                             .run({&listed}, events);
    EXPECT_EQ(fileSystem.refusedOpens, 1);
    EXPECT_TRUE(outcome.unreadable.empty());
    EXPECT_EQ(report(), "found\r\nlast\r\n");
}

// Stretches that hold no line end, or only one at their edge, are read once all the same: a
// stretch's bytes up to its first line end are handed to the thread that joins, and a long line
// that does not pass is only looked through for its end.
TEST_F(ReadAheadTest, EachByteIsReadOnce) {
    constexpr std::size_t kStretch = 16384;
    const std::string logs[] = {
        "quiet\r\n" + std::string(300000, 'x'),
        std::string(200000, '\0') + "\r\n" + M + "\nafter\n" + std::string(70000, '\0'),
        // The only line end of a stretch at its last byte, at its first, and split across.
        std::string(kStretch - 1, 'q') + "\n" + "\n" + std::string(2 * kStretch - 2, 'a') + "\r" +
            "\n" + M + "\r\nfound\r\n" + std::string(3 * kStretch, 'z') + "\r\ntail",
        std::string(kStretch, 'w') + "\r\n" + std::string(100, 'w') + "\r\n" +
            std::string(kStretch * 3, 'w'),
    };
    std::uint64_t size = 0;
    for (std::size_t i = 0; i < std::size(logs); ++i) {
        this->logs.write("log" + std::to_string(i) + ".log", logs[i]);
        size += logs[i].size();
    }
    // Where there are threads to read ahead, a log's first stretch is read only once they have
    // read all the others, so that every stretch is joined as read ahead.
    std::mutex mutex;
    std::condition_variable readAhead;
    std::map<fs::path, std::uint64_t> beyondFirst;
    bool holdFirst = false;
    fileSystem.readLimit = 1 << 20;
    fileSystem.onRead = [&](const fs::path& name, vesk::InputFile& log, std::uint64_t at,
                            char* data, std::size_t size, std::error_code& ec) {
        std::unique_lock lock(mutex);
        if (at < kStretch && holdFirst) {
            readAhead.wait_for(lock, std::chrono::seconds(10),
                               [&] { return beyondFirst[name] == log.size() - kStretch; });
        }
        lock.unlock();
        const std::size_t read = log.readAt(at, data, size, ec);
        lock.lock();
        if (at >= kStretch) {
            beyondFirst[name] += read;
            readAhead.notify_all();
        }
        return read;
    };
    const vesk::ListedFolder listed(fileSystem, this->logs.path(), vesk::LogSizes::skipped);
    std::string one;
    for (const unsigned readers : {0u, 1u, 3u}) {
        fileSystem.bytesRead = 0;
        beyondFirst.clear();
        holdFirst = readers > 0;
        const auto outcome =
            vesk::Sweep(fileSystem, clock, reports.path(),
                        {.blockSize = 4096, .readers = readers, .stretchSize = kStretch})
                .run({&listed}, events);
        EXPECT_EQ(outcome.logsRead, 4);
        EXPECT_EQ(fileSystem.bytesRead, size) << readers << " threads";
        if (readers == 0) {
            one = report();
            EXPECT_EQ(one, "after\r\nfound\r\n");
        } else {
            EXPECT_TRUE(report() == one) << readers << " threads";
        }
    }
}

// A stop asked for while threads read a log without line ends is seen before the next block.
TEST_F(ReadAheadTest, AStopEndsTheReadingOfALongLineWithinABlock) {
    constexpr std::size_t kBlock = 4096;
    constexpr std::size_t kStretch = 65536;
    // Long enough that the threads reading ahead are still at it when the stop comes, midway
    // through a stretch.
    logs.write("long.log", std::string(32 << 20, 'x'));
    std::stop_source stop;
    std::atomic<std::uint64_t> afterStop{0};
    fileSystem.readLimit = 1 << 20;
    fileSystem.onRead = [&](const fs::path&, vesk::InputFile& log, std::uint64_t at, char* data,
                            std::size_t size, std::error_code& ec) {
        if (stop.stop_requested()) {
            afterStop += size;
        } else if (at >= (2 << 20) && at % kStretch >= kBlock) {
            stop.request_stop();
        }
        return log.readAt(at, data, size, ec);
    };
    const vesk::ListedFolder listed(fileSystem, logs.path(), vesk::LogSizes::skipped);
    for (const unsigned readers : {1u, 3u}) {
        stop = {};
        afterStop = 0;
        fileSystem.bytesRead = 0;
        const auto outcome =
            vesk::Sweep(fileSystem, clock, reports.path(),
                        {.blockSize = kBlock, .readers = readers, .stretchSize = kStretch})
                .run({&listed}, events, stop.get_token());
        EXPECT_TRUE(outcome.stopped);
        EXPECT_LE(afterStop, (readers + 1) * kBlock) << readers << " threads";
    }
}

#ifdef __linux__
// Small logs read together through io_uring, where the system lets the test have it, give what
// plain calls give: the report, the logs that could not be read and why, with descriptors to
// spare and with too few of them.
TEST_F(ReadAheadTest, LogsReadTogetherGiveWhatPlainCallsGive) {
    // What the descriptors allow: plenty, or a few beyond those open now.
    int highest = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        highest = std::max(highest, std::stoi(entry.path().filename().string()));
    }
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    const rlim_t plenty = limit.rlim_cur;
    std::vector<rlim_t> limits = {plenty};
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    limits.push_back(static_cast<rlim_t>(highest) + 5);
#endif
    const auto sweep = [&](vesk::FileSystem& files, rlim_t descriptors, unsigned readers) {
        fs::remove(logs / "random7.log");
        makeLogs(20261209);
        std::vector<vesk::ListedFolder> listed;
        listed.emplace_back(files, logs.path(), vesk::LogSizes::skipped);
        // After the listing: one log replaced by another, one by a FIFO.
        fs::rename(logs / "random0.log", logs / "replaced.log");
        fs::remove(logs / "random7.log");
        ::mkfifo((logs / "random7.log").c_str(), 0600);
        ::setrlimit(RLIMIT_NOFILE, &(limit.rlim_cur = descriptors, limit));
        const auto outcome =
            vesk::Sweep(files, clock, reports.path(), {.blockSize = 4096, .readers = readers})
                .run({&listed.front()}, events);
        ::setrlimit(RLIMIT_NOFILE, &(limit.rlim_cur = plenty, limit));
        std::set<std::string> unreadable;
        for (const auto& log : outcome.unreadable) {
            unreadable.insert(log.path.filename().string() + ": " + log.reason);
        }
        return std::make_pair(report(), unreadable);
    };
    const auto plain = vesk::makeFileSystemWithPlainCalls();
    const auto native = vesk::makeNativeFileSystem();
    const auto expected = sweep(*plain, plenty, 0);
    EXPECT_EQ(expected.second,
              (std::set<std::string>{"random0.log: No such file or directory",
                                     "random7.log: Not an ordinary file",
                                     "replaced.log: Replaced after the folder was listed"}));
#ifdef VESK_IO_URING
    const std::uint64_t before = vesk::logsReadTogether();
#endif
    for (const rlim_t descriptors : limits) {
        for (const unsigned readers : {0u, 1u}) {
            for (vesk::FileSystem* files : {plain.get(), native.get()}) {
                const auto got = sweep(*files, descriptors, readers);
                EXPECT_TRUE(got.first == expected.first) << descriptors << ", " << readers;
                EXPECT_EQ(got.second, expected.second) << descriptors << ", " << readers;
            }
        }
    }
#ifdef VESK_IO_URING
    io_uring_params params{};
    const int ring = static_cast<int>(::syscall(__NR_io_uring_setup, 4, &params));
    if (ring >= 0) {
        ::close(ring);
        EXPECT_GT(vesk::logsReadTogether(), before + 150);
    }
#endif
}

// Threads are taken for the cores a job's CPU quota gives, rounded up, in either hierarchy of
// control groups; a group without a quota gives none.
TEST(CoresOfQuota, ReadsTheJobsQuotaInEitherHierarchy) {
    const TempFolder root;
    fs::create_directories(root / "job.slice/web.service");
    fs::create_directories(root / "cpu/batch");
    fs::create_directories(root / "free.slice");
    std::ofstream(root / "job.slice/web.service/cpu.max") << "150000 100000\n";
    std::ofstream(root / "free.slice/cpu.max") << "max 100000\n";
    std::ofstream(root / "cpu/batch/cpu.cfs_quota_us") << "200000\n";
    std::ofstream(root / "cpu/batch/cpu.cfs_period_us") << "100000\n";
    const std::pair<const char*, unsigned> cases[] = {
        {"0::/job.slice/web.service\n", 2},
        {"0::/free.slice\n", 0},
        {"7:memory:/batch\n4:cpu,cpuacct:/batch\n", 2},
        {"7:memory:/batch\n", 0},
        {"0::/nowhere\n", 0},
    };
    for (const auto& [groups, cores] : cases) {
        std::istringstream listed(groups);
        EXPECT_EQ(vesk::coresOfQuota(listed, root.path()), cores) << groups;
    }
}

// Readers are taken for the cores the process may run on, not for those the machine has: held to
// one, as taskset holds it, the sweep reads on its own thread alone.
TEST(MachineReaders, CountTheCoresTheProcessMayRunOn) {
    cpu_set_t allowed;
    ASSERT_EQ(::sched_getaffinity(0, sizeof allowed, &allowed), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    int cpu = 0;
    while (!CPU_ISSET(cpu, &allowed)) {
        ++cpu;
    }
    CPU_SET(cpu, &one);
    ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
    const unsigned readers = vesk::Sweep::machineReaders();
    ASSERT_EQ(::sched_setaffinity(0, sizeof allowed, &allowed), 0);
    EXPECT_EQ(readers, 0u);
}
#endif

}  // namespace
