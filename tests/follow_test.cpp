#include "sweep/follow.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <thread>

#include "sweep_fixture.h"

#ifndef _WIN32
#include <utime.h>
#endif

namespace {

namespace fs = std::filesystem;

// What following told of: each finding as a line of the report would hold it.
struct Told : vesk::FollowEvents {
    void finding(const fs::path&, std::string_view line) override { findings.emplace_back(line); }
    std::vector<std::string> findings;
};

// Following driven step by step over folders that change as servers, rotators and deploys change
// them. After each step the published report is what a run writes then, and what was told of is
// in it; renaming or touching a log tells of nothing.
class FollowModel {
public:
    FollowModel(std::uint32_t seed, bool exactTimes, bool reportAmongLogs)
        : random_(seed), reportAmongLogs_(reportAmongLogs) {
        paths_ = {folders_.logs.path(), second_.path()};
        if (reportAmongLogs_) {
            paths_.push_back(folders_.reports.path());
        }
        if (exactTimes) {
            folders_.fileSystem.timesOf = [this](const fs::path& path) {
                const auto version = versions_[fileOf(path)];
                return vesk::FileTimes{version, version};
            };
        }
        for (int i = 0; i < 3; ++i) {
            write(logs(0) / name(), lines(), false);
        }
    }

    void start(vesk::ChangeWatcher* watcher) {
        follower_.emplace(folders_.fileSystem, folders_.clock, folders_.reports.path(), paths_,
                          told_);
        watcher_ = watcher;
        if (watcher != nullptr) {
            follower_->watchWith(*watcher);
        }
        follower_->start();
        check("the first sweep", true);
    }

    // A random change, looked at as a watcher tells of it, or everything looked at.
    void step(int number) {
        const std::size_t told = told_.findings.size();
        const auto [what, quiet] = change();
        vesk::Changes changes;
        if (watcher_ == nullptr) {
            changes.everything = true;
        } else {
            watcher_->wait(std::chrono::steady_clock::now() + std::chrono::milliseconds(20),
                           changes);
        }
        follower_->lookAgain(changes);
        follower_->publishNow();
        check("step " + std::to_string(number) + ": " + what, !quiet);
        if (quiet) {
            EXPECT_EQ(told_.findings.size(), told) << what << " tells of nothing";
        }
    }

    vesk::Follower& follower() { return *follower_; }
    const std::vector<fs::path>& folders() const { return paths_; }

private:
    fs::path logs(std::size_t index) const { return paths_.at(index); }

    std::string name() {
        static const char* kNames[] = {"a.log", "b.log", "C.LOG", "server.log"};
        return kNames[random_() % std::size(kNames)];
    }
    std::string lines(int most = 6) {
        static const std::vector<std::string> kLines = {M, "[0031.64] " + M, "quiet", ""};
        std::string text;
        for (int i = 0, n = 1 + static_cast<int>(random_() % most); i < n; ++i) {
            const std::size_t pick = random_() % (kLines.size() + 1);
            text += (pick < kLines.size() ? kLines[pick] : "found " + std::to_string(random_())) +
                    (random_() % 4 == 0 ? "\n" : "\r\n");
        }
        return text;
    }
    // Writes, or appends, and the file's times move on.
    void write(const fs::path& path, const std::string& text, bool append) {
        std::ofstream(path, append ? std::ios::app | std::ios::binary : std::ios::binary) << text;
        touch(path);
    }
    // Times are kept by the file, whatever name leads to it.
    static vesk::FileIdentity fileOf(const fs::path& path) {
        std::error_code ec;
        return vesk::makeNativeFileSystem()->lookAt(path, ec).identity;
    }
    void touch(const fs::path& path) {
        ++versions_[fileOf(path)];
#ifndef _WIN32
        ::utime(path.c_str(), nullptr);
#endif
    }
    fs::path anyLog() {
        std::vector<fs::path> all;
        for (const auto& folder : paths_) {
            std::error_code ec;
            for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
                if (it->path().extension() == ".log" &&
                    !it->path().filename().string().starts_with("VOReradivu_")) {
                    all.push_back(it->path());
                }
            }
        }
        return all.empty() ? logs(0) / name() : all[random_() % all.size()];
    }

    // Makes a change; returns what it was, and whether it adds nothing new to the folders.
    std::pair<std::string, bool> change() {
        const fs::path log = anyLog();
        const fs::path folder = log.parent_path();
        std::error_code ec;
        switch (random_() % 12) {
            case 0:
            case 1:
                write(log, lines(), true);
                return {"lines appended to " + log.string(), false};
            case 2:
                write(log, pending_ = M.substr(0, random_() % M.size()), true);
                return {"a line begun in " + log.string(), false};
            case 3: {
                const auto size = fs::file_size(log, ec);
                std::string text = lines(12);
                text.resize(ec ? 0 : static_cast<std::size_t>(size), 'r');
                write(log, text, false);
                return {"written again as long in " + log.string(), false};
            }
            case 4:
                fs::copy_file(log, folder / ("copy-" + log.filename().string()),
                              fs::copy_options::overwrite_existing, ec);
                touch(folder / ("copy-" + log.filename().string()));
                write(log, "", false);
                return {"copied and truncated: " + log.string(), false};
            case 5: {
                fs::rename(log, folder / ("old-" + log.filename().string()), ec);
                return {"renamed away: " + log.string(), true};
            }
            case 6:
                fs::remove(log, ec);
                return {"removed: " + log.string(), true};
            case 7:
                write(folder / name(), lines(), true);
                return {"a log begun in " + folder.string(), false};
            case 8:
                fs::resize_file(log, fs::exists(log) ? fs::file_size(log) / 2 : 0, ec);
                touch(log);
                return {"shrunk: " + log.string(), false};
            case 9:
                if (fs::exists(second_.path())) {
                    fs::remove_all(second_.path());
                    return {"the second folder removed", true};
                }
                fs::create_directory(second_.path());
                write(second_ / name(), lines(), false);
                return {"the second folder made again", false};
            case 10: {
                const fs::path target = outside_ / "target.log";
                if (!fs::exists(folder / "linked.log")) {
                    write(target, lines(), true);
                    fs::create_symlink(target, folder / "linked.log", ec);
                }
                write(target, lines(), true);
                return {"a linked log written through its target in " + folder.string(), false};
            }
            default:
                touch(log);
                return {"touched: " + log.string(), true};
        }
    }

    // The report published is what a run writes now, into the same place.
    void check(const std::string& step, bool tellsAnything) {
        const std::string published = folders_.report();
        std::vector<vesk::ListedFolder> listed;
        std::vector<const vesk::ListedFolder*> swept;
        for (const auto& folder : paths_) {
            listed.emplace_back(folders_.fileSystem, folder, false);
        }
        for (const auto& folder : listed) {
            swept.push_back(&folder);
        }
        vesk::SweepEvents quiet;
        vesk::Sweep(folders_.fileSystem, folders_.clock, folders_.reports.path()).run(swept, quiet);
        ASSERT_EQ(published, folders_.report()) << step;
        if (tellsAnything) {
            for (const auto& finding : told_.findings) {
                EXPECT_NE(("\r\n" + published).find("\r\n" + finding + "\r\n"), std::string::npos)
                    << step << ": told of " << finding;
            }
        }
        told_.findings.clear();
    }

    std::mt19937 random_;
    bool reportAmongLogs_;
    SweepFolders folders_;
    TempFolder second_;
    TempFolder outside_;
    std::vector<fs::path> paths_;
    struct ByFile {
        bool operator()(const vesk::FileIdentity& a, const vesk::FileIdentity& b) const {
            return std::pair(a.volume, a.file) < std::pair(b.volume, b.file);
        }
    };
    std::map<vesk::FileIdentity, std::int64_t, ByFile> versions_;
    std::string pending_;
    Told told_;
    std::optional<vesk::Follower> follower_;
    vesk::ChangeWatcher* watcher_ = nullptr;
};

// Seeds that once found a fault run first.
const std::vector<std::uint32_t> kSeeds = {105, 20261208, 1, 2, 3, 4};

TEST(Follower, KeepsTheReportWhatARunWritesWhateverHappensToTheLogs) {
    for (const std::uint32_t seed : kSeeds) {
        SCOPED_TRACE(seed);
        FollowModel model(seed, true, seed % 2 == 0);
        model.start(nullptr);
        for (int step = 0; step < 60 && !::testing::Test::HasFatalFailure(); ++step) {
            model.step(step);
        }
    }
}

#ifndef _WIN32
// The same on the real file system, as its watches tell of each change.
TEST(Follower, KeepsTheReportWhatARunWritesAsTheWatchesTell) {
    for (const std::uint32_t seed : {11u, 12u}) {
        SCOPED_TRACE(seed);
        const auto watcher = vesk::makeChangeWatcher();
        FollowModel model(seed, false, false);
        model.start(watcher.get());
        for (int step = 0; step < 30 && !::testing::Test::HasFatalFailure(); ++step) {
            model.step(step);
        }
    }
}
#endif

#ifndef _WIN32
// An append that leaves a log ending on a marker line makes findings of the first lines after
// it: through empty logs, from folder to folder, up to the first log that carried the flag
// already. Each is told of once, as the watches tell of the append.
TEST(Follower, TellsOfTheFirstLinesAnAppendMakesFindings) {
    struct Case {
        const char* what;
        std::vector<std::string> first;   // a.log, b.log, c.log in the first folder
        std::vector<std::string> second;  // d.log in the second
        std::vector<std::string> told;
    };
    const std::vector<Case> cases = {
        {"the next log's", {"quiet\r\n", "b1\r\nb2\r\n", "c1\r\n"}, {"d1\r\n"}, {"b1"}},
        {"through an empty log", {"quiet\r\n", "", "c1\r\n"}, {"d1\r\n"}, {"c1"}},
        {"into the next folder", {"quiet\r\n", "", ""}, {"d1\r\n"}, {"d1"}},
        {"up to a log that carried it already",
         {"quiet\r\n", M + "\r\n", "c1\r\n"},
         {"d1\r\n"},
         {M}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SweepFolders folders;
        TempFolder second;
        const char* names[] = {"a.log", "b.log", "c.log"};
        for (std::size_t i = 0; i < c.first.size(); ++i) {
            folders.logs.write(names[i], c.first[i]);
        }
        second.write("d.log", c.second[0]);
        Told told;
        vesk::Follower follower(folders.fileSystem, folders.clock, folders.reports.path(),
                                {folders.logs.path(), second.path()}, told);
        const auto watcher = vesk::makeChangeWatcher();
        follower.watchWith(*watcher);
        follower.start();
        std::ofstream(folders.logs / "a.log", std::ios::app | std::ios::binary) << M << "\r\n";
        vesk::Changes changes;
        watcher->wait(std::chrono::steady_clock::now() + std::chrono::milliseconds(50), changes);
        follower.lookAgain(changes);
        EXPECT_EQ(told.findings, c.told);
    }
}
#endif

// A folder that cannot be listed for a while keeps its logs' findings, named once, and is looked
// at again until it can be; one that is gone takes them with it.
TEST(Follower, KeepsAFolderThatCannotBeListedForAWhile) {
    struct Gone : vesk::FollowEvents {
        void folderGone(const vesk::UnreadableLog&) override { ++named; }
        int named = 0;
    } events;
    SweepFolders folders;
    folders.logs.write("a.log", M + "\r\nfound\r\n");
    vesk::Follower follower(folders.fileSystem, folders.clock, folders.reports.path(),
                            {folders.logs.path()}, events);
    follower.start();
    folders.fileSystem.afterListing = [] {
        return std::make_error_code(std::errc::not_enough_memory);
    };
    folders.logs.write("b.log", M + "\r\nlater\r\n");
    for (int i = 0; i < 2; ++i) {
        follower.lookAgain({{}, true});
        follower.publishNow();
        EXPECT_EQ(folders.report(), "found\r\n") << "while it cannot be listed";
        EXPECT_EQ(follower.status(), vesk::SweepOutcome::Status::someUnreadable);
    }
    EXPECT_EQ(events.named, 1);
    const auto due = follower.nextDue();
    EXPECT_TRUE(due && *due < std::chrono::steady_clock::now() + std::chrono::seconds(2))
        << "looked at again within a second or so";
    folders.fileSystem.afterListing = nullptr;
    follower.lookAgain({{}, true});
    follower.publishNow();
    EXPECT_EQ(folders.report(), "found\r\nlater\r\n");
    EXPECT_EQ(follower.status(), vesk::SweepOutcome::Status::completed);

    fs::remove_all(folders.logs.path());
    follower.lookAgain({{}, true});
    follower.publishNow();
    EXPECT_EQ(folders.report(), "");
}

// A publication that fails is named once and tried again, after a delay that doubles up to the
// longest, until it succeeds; while the last one failed, following ends as a failed run does.
TEST(Follower, TriesAFailedPublicationAgainUntilItSucceeds) {
    using namespace std::chrono_literals;
    using Steady = std::chrono::steady_clock;
    // Sleeping may end a little early where the clock is coarse (Windows).
    const auto awaitClock = [](Steady::time_point at) {
        while (Steady::now() < at) {
            std::this_thread::sleep_for(1ms);
        }
    };
    struct Failures : vesk::FollowEvents {
        void reportFailed(const vesk::ReportFailure&) override { ++named; }
        int named = 0;
    } events;
    SweepFolders folders;
    folders.logs.write("a.log", M + "\r\nfound\r\n");
    folders.fileSystem.draftFails = std::make_error_code(std::errc::no_space_on_device);
    vesk::SweepSettings settings;
    settings.firstRetry = 200ms;
    settings.longestRetry = 400ms;
    vesk::Follower follower(folders.fileSystem, folders.clock, folders.reports.path(),
                            {folders.logs.path()}, events, settings);
    follower.start();
    for (const auto delay : {200ms, 400ms, 400ms}) {
        const auto due = follower.nextDue();
        ASSERT_TRUE(due.has_value());
        EXPECT_GT(*due - Steady::now(), delay / 2) << "tried again after " << delay.count();
        EXPECT_LE(*due - Steady::now(), delay);
        EXPECT_EQ(follower.status(), vesk::SweepOutcome::Status::reportFailed);
        awaitClock(*due);
        follower.publishWhenDue();
    }
    EXPECT_EQ(events.named, 1) << "named when it first failed";
    folders.fileSystem.draftFails.clear();
    awaitClock(*follower.nextDue());
    follower.publishWhenDue();
    EXPECT_EQ(folders.report(), "found\r\n");
    EXPECT_EQ(follower.status(), vesk::SweepOutcome::Status::completed);
}

// At local midnight the next day's report begins as a run on the new day would write it, and the
// day before's stays as it was.
TEST(Follower, BeginsTheNewDaysReportAtMidnight) {
    SweepFolders folders;
    folders.logs.write("a.log", M + "\r\nfound\r\n");
    vesk::FollowEvents events;
    vesk::Follower follower(folders.fileSystem, folders.clock, folders.reports.path(),
                            {folders.logs.path()}, events);
    follower.start();
    const auto firstDay = folders.reportPath();
    EXPECT_EQ(readBytes(firstDay), "found\r\n");

    folders.clock.date = {2001, 7, 11};
    const auto due = follower.nextDue();
    const auto midnight = std::chrono::steady_clock::now() + std::chrono::hours(1);
    EXPECT_TRUE(due && *due > midnight - std::chrono::seconds(1) &&
                *due < midnight + std::chrono::seconds(1))
        << "when the clock says midnight is";
    follower.publishWhenDue();
    EXPECT_EQ(folders.report(), "found\r\n") << "the new day's report, whole";
    EXPECT_EQ(readBytes(firstDay), "found\r\n") << "the day before's report stays";
}

}  // namespace
