#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <fstream>
#include <future>
#include <mutex>
#include <optional>

#include "sweep_run_fixture.h"

#ifndef _WIN32
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#endif

namespace {

namespace fs = std::filesystem;
using vesk::SweepOutcome;

TEST_F(SweepRunTest, ReportsTheLineAfterEachMarkerFromEveryLogWithTheBarAndTheMessage) {
    logs.write("a.log", "x\r\n" + M);  // the marker carries to the next log
    logs.write("empty.log", "");
    logs.write("B.LOG", "z\r\n" + M + "\r\nupper\r\n");
    logs.write("c.Log", "lf only\n" + M + "\nlinux finding\nquiet\n");
    // A UE3 server's stamped lines, as UTF-16LE with its byte-order mark.
    std::string stamped = "\xFF\xFE";
    for (const char c : "[0031.64] " + M + "\r\n[0031.65] stamped finding\r\n") {
        stamped += {c, '\0'};
    }
    logs.write("d.log", stamped);
    fileSystem.order = {"a.log", "empty.log", "B.LOG", "c.Log", "d.log"};
    const auto outcome = sweep(logs.path());
    EXPECT_EQ(outcome.status(), SweepOutcome::Status::completed);
    EXPECT_EQ(report(), "z\r\nupper\r\nlinux finding\r\n[0031.65] stamped finding\r\n");
    EXPECT_EQ(view->calls, "disable 20 40 60 80 100 enable [VESK Parser]");
    EXPECT_EQ(view->messages, std::vector<std::string>{"Operation completed!"});
}

TEST_F(SweepRunTest, OneListingFillsTheFileListOpensTheGateAndCountsTheLogs) {
    const std::string found = M + "\r\nfound\r\n";
    struct Case {
        std::vector<std::pair<std::string, std::string>> files;  // in name order
        std::string calls;
        std::string report;
    };
    const std::vector<Case> cases = {
        {{{"readme.txt", found}}, "[VESK Parser]", ""},
        {{{"catalog", found}}, "disable enable [VESK Parser]", ""},
        {{{"a.log", found}, {"catalog", found}}, "disable 50 enable [VESK Parser]", "found\r\n"},
    };
    int listings = 0;
    fileSystem.afterListing = [&] {
        ++listings;
        return std::error_code();
    };
    for (const auto& c : cases) {
        TempFolder folder;
        std::vector<fs::path> names;
        for (const auto& [name, content] : c.files) {
            names.push_back(folder.write(name, content).filename());
        }
        reports.write(reportPath().filename(), "earlier");
        listings = 0;
        sweep(folder.path());
        EXPECT_EQ(view->calls, c.calls) << c.files.back().first;
        EXPECT_EQ(view->files, names) << c.files.back().first;
        EXPECT_EQ(listings, 1) << "the file list and the sweep share one listing";
        EXPECT_EQ(report(), c.report) << c.files.back().first;
    }
}

TEST_F(SweepRunTest, EachRunOfTheDayReplacesItsReportWithoutReadingIt) {
    // The findings hold a marker line, so a run that read the report would add to them. Logs
    // come before and after it in name order.
    reports.write("a.log", M + "\r\n" + M + "\r\nfinding\r\n");
    reports.write(reportPath().filename(), M + "\r\nstale\r\n");
    reports.write("z.log", "x\r\n" + M + "\r\nlast\r\n");
#ifdef _WIN32
    // The same folder spelt otherwise.
    std::wstring other = reports.path().native();
    std::transform(other.begin(), other.end(), other.begin(), ::towupper);
#else
    const fs::path other = logs / "link";
    fs::create_directory_symlink(reports.path(), other);
#endif
    for (const fs::path& folder : {reports.path(), reports.path(), fs::path(other)}) {
        sweep(folder);
        EXPECT_EQ(report(), M + "\r\nfinding\r\nlast\r\n") << folder;
        EXPECT_EQ(view->calls, "disable 33 66 99 enable [VESK Parser]")
            << "the report's entry still moves the bar";
    }
    // The next day's report is another file, and a new run starts with the marker flag down.
    clock.date = {2001, 7, 11};
    logs.write("b.log", "not carried from the last run\r\n" + M + "\r\nsecond\r\n");
    sweep(logs.path());
    EXPECT_EQ(readBytes(reports / "VOReradivu_2001-07-10.log"), M + "\r\nfinding\r\nlast\r\n");
    EXPECT_EQ(readBytes(reports / "VOReradivu_2001-07-11.log"), "second\r\n");
}

TEST_F(SweepRunTest, TheLogsReadAreTheLogsListed) {
    for (const char* name : {"renamed.log", "replaced.log", "removed.log", "kept.log"}) {
        logs.write(name, M + "\r\nfrom " + std::string(name) + "\r\n");
    }
    std::string linked;
#ifndef _WIN32
    // A link to a file on another file system in a log's place: replaced all the same.
    std::optional<TempFolder> elsewhere;
    struct stat here {};
    struct stat there {};
    const bool otherVolume = ::stat("/dev/shm", &there) == 0 &&
                             ::stat(logs.path().c_str(), &here) == 0 && here.st_dev != there.st_dev;
    if (otherVolume) {
        elsewhere.emplace("/dev/shm");
        logs.write("linked.log", M + "\r\nfrom linked.log\r\n");
        elsewhere->write("other.log", M + "\r\nfrom another volume\r\n");
        linked = "linked.log: Replaced after the folder was listed\n";
    }
#endif
    fileSystem.afterListing = [&] {
        fs::rename(logs / "renamed.log", logs / "other.log");
        logs.write("new", M + "\r\nnew contents\r\n");
        fs::rename(logs / "new", logs / "replaced.log");
        fs::remove(logs / "removed.log");
#ifndef _WIN32
        if (otherVolume) {
            fs::remove(logs / "linked.log");
            fs::create_symlink(*elsewhere / "other.log", logs / "linked.log");
        }
#endif
        return std::error_code();
    };
    const auto outcome = sweep(logs.path());
    EXPECT_EQ(report(), "from kept.log\r\n");
    const std::string named = unreadable(outcome);
#ifdef _WIN32
    const std::string gone = named.substr(13, named.find('\n') - 13);  // the system's own words
#else
    const std::string gone = std::make_error_code(std::errc::no_such_file_or_directory).message();
#endif
    EXPECT_EQ(named, linked + "removed.log: " + gone + "\nrenamed.log: " + gone +
                         "\nreplaced.log: Replaced after the folder was listed\n");
    // A folder that cannot be listed at all is named too, and the file list keeps what it had.
    EXPECT_EQ(unreadable(sweep(logs / "gone")), "gone: " + gone + "\n");
    EXPECT_TRUE(view->files.empty());

    // A folder that fails to be read to its end is named, whatever was read of it.
    const auto failure = std::make_error_code(std::errc::io_error);
    fileSystem.afterListing = [&] { return failure; };
    const auto failed = sweep(logs.path());
    EXPECT_EQ(failed.status(), SweepOutcome::Status::someUnreadable);
    EXPECT_EQ(unreadable(failed),
              logs.path().filename().string() + ": " + failure.message() + "\n");
}

TEST_F(SweepRunTest, ALogIsReadAsFarAsItReachedWhenItWasOpened) {
    const fs::path live = logs.write("live.log", M + "\r\nbefore\r\n");
    const fs::path rotated =
        logs.write("rotated.log", "x\r\n" + M + "\r\nkept\r\n" + M + "\r\nlost");
    fileSystem.order = {"live.log", "rotated.log"};
    fileSystem.onRead = [&](const auto& name, auto& log, std::uint64_t at, char* data,
                            std::size_t size, auto& ec) {
        if (name == "live.log" && at < 32) {  // a server writing faster than the run reads
            std::ofstream(live, std::ios::app) << M << "\r\nafter\r\n";
        } else if (name == "rotated.log" && at == 32) {  // copy-and-truncate rotation
            fs::resize_file(rotated, 0);
        }
        return log.readAt(at, data, size, ec);
    };
    EXPECT_EQ(unreadable(sweep(logs.path())), "rotated.log: Shorter than when it was opened\n");
    EXPECT_EQ(report(), "before\r\nkept\r\n");
}

TEST_F(SweepRunTest, UnreadableLogsAreNamedAndTheOthersStillSwept) {
    logs.write("a.log", M + "\r\nthe first finding of all");  // fails after 32 bytes
    logs.write("b.log", "carried\r\n" + M + "\r\nsecond\r\n");
    fileSystem.order = {"a.log"};
    for (int i = 0; i < 11; ++i) {
        fileSystem.order.push_back("gone" + std::to_string(i) + ".log");
    }
    fileSystem.order.push_back("b.log");
    fileSystem.onRead = [](const auto& name, auto& log, std::uint64_t at, char* data,
                           std::size_t size, auto& ec) {
        if (name == "a.log" && at == 32) {
            ec = std::make_error_code(std::errc::io_error);
            return std::size_t{0};
        }
        return log.readAt(at, data, size, ec);
    };
    const auto outcome = sweep(logs.path());
    EXPECT_EQ(outcome.status(), SweepOutcome::Status::someUnreadable);
    EXPECT_EQ(report(), "the first findi\r\ncarried\r\nsecond\r\n")
        << "the passed line is closed where it broke off; the marker line's flag carries";
    EXPECT_EQ(outcome.unreadable.size(), 12u);
    const std::string& text = view->messages.at(0);
    EXPECT_TRUE(text.starts_with("Operation completed!\r\rThese logs could not be read:\r" +
                                 (logs / "a.log").string() + ": " +
                                 std::make_error_code(std::errc::io_error).message() + "\r"))
        << text;
    EXPECT_NE(text.find("gone7.log: "), std::string::npos) << text;
    EXPECT_EQ(text.find("gone8.log"), std::string::npos) << "ten are named, in name order";
    EXPECT_TRUE(text.ends_with("\rand 2 more.")) << text;
    EXPECT_EQ(view->calls, "disable 7 14 21 28 35 42 49 56 63 70 77 84 91 enable [VESK Parser]")
        << "an unreadable log moves the bar too";
}

TEST_F(SweepRunTest, AReportThatCannotBeCreatedOrPutInPlaceIsNamedWithWhatBecameOfTheFindings) {
    logs.write("a.log", M + "\r\nfound\r\n");
    fs::create_directory(reportPath());
    auto outcome = sweep(logs.path());
    EXPECT_EQ(outcome.status(), SweepOutcome::Status::reportFailed);
    EXPECT_EQ(view->calls, "enable [VESK Parser]");
    EXPECT_EQ(view->messages.at(0),
              "The report " + reportPath().string() +
                  " could not be written: " + outcome.reportFailure->reason +
                  "\rNone of this run's findings were stored; the day's earlier report, if any, "
                  "is left as it was.");

    // A folder in the report's place once the run has its hidden draft, which keeps the findings.
    fs::remove(reportPath());
    fileSystem.onRead = [&](const auto&, auto& log, std::uint64_t at, char* data, std::size_t size,
                            auto& ec) {
        fs::create_directories(reportPath());
        return log.readAt(at, data, size, ec);
    };
    outcome = sweep(logs.path());
    EXPECT_EQ(view->messages.at(0), "The report " + reportPath().string() +
                                        " could not be replaced: " + outcome.reportFailure->reason +
                                        "\rThis run's findings are in " +
                                        outcome.reportFailure->keptIn.string() + ".");
    EXPECT_EQ(readBytes(outcome.reportFailure->keptIn), "found\r\n");
    EXPECT_TRUE(outcome.reportFailure->keptIn.filename().string().starts_with(
        ".VOReradivu_2001-07-10.log."));
}

// Where drafts have names: a dead run's is taken away by the next run, a live run's is not.
TEST_F(SweepRunTest, ANamedDraftIsHeldByItsRunAndTakenAwayOnceItsRunIsGone) {
    fileSystem.useNamedDrafts();
    logs.write("a.log", M + "\r\nfound\r\n");
    std::error_code ec;
    auto live = fileSystem.draftReport(reportPath(), ec);
    ASSERT_NE(live, nullptr) << ec.message();
    const fs::path dead = reports.write(".VOReradivu_2001-07-09.log.AbCdEf012345", "left behind");
    const fs::path kept = reports.write(".VOReradivu_2001-07-09.log.AbCdEf012345.kept", "findings");
    const auto drafts = [&] {
        std::vector<fs::path> names;
        for (const auto& file : reports.files()) {
            names.push_back(file.filename());
        }
        std::sort(names.begin(), names.end());
        return names;
    };
    const auto whileLive = drafts();  // the dead one, the kept one, the live one
    ASSERT_EQ(whileLive.size(), 3u);
    EXPECT_EQ(sweep(logs.path()).status(), SweepOutcome::Status::completed);
    EXPECT_EQ(report(), "found\r\n");
    EXPECT_FALSE(fs::exists(dead));
    auto expected = whileLive;
    std::erase(expected, dead.filename());
    expected.push_back(reportPath().filename());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(drafts(), expected) << "the live run's draft and the kept one stay";
    live.reset();
    EXPECT_EQ(drafts(), (std::vector<fs::path>{kept.filename(), reportPath().filename()}));
}

// Stopped midway, as the window stops it when it closes: the run ends after the block being read,
// tells the view nothing more, and leaves the day's earlier report and no draft.
TEST_F(SweepRunTest, AStoppedRunEndsMidwayWithoutAReport) {
    fileSystem.useNamedDrafts();
    reports.write(reportPath().filename(), "earlier\r\n");
    logs.write("a.log", M + "\r\nfound\r\n");
    const std::uint64_t size = std::uint64_t{64} << 20;  // millions of reads of a few bytes
    fs::resize_file(logs.write("b.log", ""), size);
    std::promise<void> reading;
    std::once_flag first;
    std::atomic<std::uint64_t> bytes{0};
    fileSystem.onRead = [&](const auto& name, auto& log, std::uint64_t at, char* data,
                            std::size_t limit, auto& ec) {
        if (name == "b.log") {
            std::call_once(first, [&] { reading.set_value(); });
        }
        const std::size_t read = log.readAt(at, data, limit, ec);
        bytes += read;
        return read;
    };
    view = std::make_unique<RecordingView>();
    ASSERT_TRUE(run.start(logs.path(), *view));
    reading.get_future().wait();
    EXPECT_FALSE(run.start(logs.path(), *view)) << "one run at a time";
    run.stop();
    EXPECT_FALSE(run.running());
    EXPECT_EQ(run.wait().status(), SweepOutcome::Status::stopped);
    EXPECT_LT(bytes.load(), size);
    EXPECT_TRUE(view->calls == "disable" || view->calls == "disable 50") << view->calls;
    EXPECT_EQ(report(), "earlier\r\n");
    EXPECT_EQ(reports.files(), std::vector<fs::path>{reportPath()}) << "no draft is left";
}

#ifndef _WIN32

// The report keeps its permissions as an editor's save does: its mode, and its owner and group
// where the run may set them.
TEST_F(SweepRunTest, TheReportKeepsItsModeAndOwner) {
    logs.write("a.log", M + "\r\nfound\r\n");
    reports.write(reportPath().filename(), "earlier");
    ASSERT_EQ(::chmod(reportPath().c_str(), 0600), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(reportPath().c_str(), 65534, 65534), 0);
    }
    sweep(logs.path());
    struct stat st {};
    ASSERT_EQ(::stat(reportPath().c_str(), &st), 0);
    EXPECT_EQ(report(), "found\r\n");
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
}

TEST_F(SweepRunTest, NothingButOrdinaryFilesIsEverOpened) {
    const fs::path real = logs.write("real.log", M + "\r\nfound\r\n");
    fs::create_directory(logs / "folder.log");
    ASSERT_EQ(::mkfifo((logs / "pipe.log").c_str(), 0600), 0);
    fs::create_symlink(logs / "gone", logs / "dangling.log");
    fs::create_symlink(real, logs / "link.log");
    logs.write(".hidden.log", M + "\r\nhidden\r\n");
    logs.write("swapped.log", M + "\r\nswapped\r\n");
    fileSystem.afterListing = [&, listings = 0]() mutable {
        if (++listings == 1) {  // a FIFO in a log's place once the run has listed the folder
            fs::remove(logs / "swapped.log");
            ::mkfifo((logs / "swapped.log").c_str(), 0600);
        }
        return std::error_code();
    };
    ASSERT_EQ(::mkfifo(reportPath().c_str(), 0600), 0);  // opening it would hang the run
    EXPECT_EQ(unreadable(sweep(logs.path())), "swapped.log: Not an ordinary file\n");
    EXPECT_EQ(report(), "found\r\nfound\r\n") << "the link to a log is read as a log";
    fs::remove(reportPath());
    fs::create_symlink(real, reportPath());  // writing through it would truncate the log
    EXPECT_EQ(sweep(logs.path()).status(), SweepOutcome::Status::completed);
    EXPECT_EQ(readBytes(real), M + "\r\nfound\r\n");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(reportPath())));
    EXPECT_EQ(report(), "found\r\nfound\r\n");
    EXPECT_EQ(reports.files(), std::vector<fs::path>{reportPath()}) << "no draft is left";
}

// A real full disk: a tmpfs of 64 KiB as the report's folder, which only root may mount.
TEST_F(SweepRunTest, ADiskThatFillsMidwayLeavesTheEarlierReportAsItWas) {
    if (::mount("tmpfs", reports.path().c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    }
    struct Unmount {
        const fs::path& at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{reports.path()};
    reports.write(reportPath().filename(), "earlier\r\n");
    logs.write("a.log", M + "\r\n" + std::string(256 * 1024, 'x') + "\r\n");
    logs.write("b.log", "nothing\r\n");
    fileSystem.order = {"a.log", "b.log"};
    const auto outcome = sweep(logs.path());
    EXPECT_EQ(outcome.status(), SweepOutcome::Status::reportFailed);
    EXPECT_EQ(outcome.reportFailure->reason,
              std::make_error_code(std::errc::no_space_on_device).message());
    EXPECT_EQ(report(), "earlier\r\n");
    EXPECT_EQ(reports.files(), std::vector<fs::path>{reportPath()}) << "no draft is left";
    EXPECT_EQ(view->calls, "disable enable [VESK Parser]");
}

// A file system without nameless files, as FUSE file systems and some network ones are (bindfs
// here): the run takes a named draft, and leaves only the report.
TEST_F(SweepRunTest, WithoutNamelessFilesTheDraftHasAName) {
    const TempFolder below;
    if (std::system(
            ("bindfs " + below.path().string() + " " + reports.path().string() + " 2>/dev/null")
                .c_str()) != 0) {
        GTEST_SKIP() << "cannot mount a FUSE file system here (bindfs and /dev/fuse)";
    }
    struct Unmount {
        const fs::path& at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{reports.path()};
    logs.write("a.log", M + "\r\nfound\r\n");
    EXPECT_EQ(sweep(logs.path()).status(), SweepOutcome::Status::completed);
    EXPECT_EQ(report(), "found\r\n");
    EXPECT_EQ(reports.files(), std::vector<fs::path>{reportPath()}) << "no draft is left";
}

#endif

}  // namespace
